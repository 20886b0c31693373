// Number and date entry of the vehicle forms: any text the forms take (79
// characters) reads without overflow in either unit system, a date that
// passes the check reads back the same from the text a form shows for it,
// a cost shown in a form reads back to what it shows, and a text with a sign
// is never taken for a number.
#include "app/text.h"
#include "fuzz_support.h"
#include "vehicles/vehicle_units.h"

using namespace domora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    HeadlessPlatform& os = fuzz::fuzz_platform();
    const std::string text(fuzz::input_text(data, std::min<std::size_t>(size, 79)));
    (void)leading_number(text);

    const VehicleDate date = read_date(text);
    if (valid_date(date)) {
        const VehicleDate again = read_date(date_entry_text(date.year, date.month, date.day));
        FUZZ_CHECK(again.year == date.year && again.month == date.month && again.day == date.day);
        (void)format_date(date.year, date.month, date.day);
    }

    for (bool us : {false, true}) {
        os.us_measurement = us;
        // A text that is no number is refused, never read as some other number.
        const std::optional<std::int64_t> typed_distance = distance_entry(text);
        const std::optional<std::int64_t> typed_fuel = fuel_entry(text);
        const std::optional<std::int64_t> typed_cost = cost_entry(text);
        if (text.find_first_of("-+") != std::string::npos) FUZZ_CHECK(!typed_distance && !typed_fuel && !typed_cost);
        const std::int64_t distance = typed_distance.value_or(0);
        const std::int64_t fuel = typed_fuel.value_or(0);
        const std::int64_t cost = typed_cost.value_or(0);
        FUZZ_CHECK(distance >= 0 && fuel >= 0 && cost >= 0);
        if (fits_stored(distance)) {
            const std::string shown = odometer_entry_text(distance);
            FUZZ_CHECK(distance_entry(shown).has_value());
        }
        if (fits_stored(fuel)) {
            FUZZ_CHECK(fuel_entry(fuel_entry_text(fuel)).has_value());
            if (fuel > 0) (void)fuel_economy(0, distance, fuel);
        }
        if (fits_stored(cost)) {
            // The form shows cents; what it shows reads back to itself.
            const std::int64_t shown = cost_entry(cost_entry_text(cost)).value_or(-1);
            FUZZ_CHECK(cost_entry(cost_entry_text(shown)) == shown);
            (void)format_cost_total(cost);
            if (fits_stored(fuel)) (void)fuel_price(cost, fuel);
        }
    }
    return 0;
}
