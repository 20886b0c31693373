// What the vehicle forms take from the user: days the calendar has, and
// distances, fuel and money only as numbers that say what they mean. A text
// that is no such number is refused with the field's message and nothing is
// stored, rather than read as some other number.
#include <string>
#include <vector>

#include "ui/popups.h"
#include "vehicle_fixtures.h"
#include "vehicle_ui_fixture.h"
#include "vehicles/reminders.h"
#include "vehicles/vehicle_forms.h"
#include "vehicles/vehicle_screen.h"
#include "vehicles/vehicle_units.h"

namespace domora {
namespace {

class VehicleEntry : public test::VehicleUiTest {
protected:
    void SetUp() override {
        VehicleUiTest::SetUp();
        os.us_measurement = true;
        os.now = UtcTime{2024, 3, 7, 12, 0, 0, 0};
    }
    // Types into the open form: each field emptied and typed, Tab between
    // them, Enter on the last, which saves.
    void form(const std::vector<std::string>& values) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            os.push_key(kKeyEscape);
            os.push_text(values[i]);
            os.push_key(i + 1 < values.size() ? kKeyTab : kKeyReturn);
        }
    }
    static void reopen() { main_window().quit_requested = false; }
    void add_car() {
        write(path("vehicle11.dat"), test::vehicle_chunk(1, "Honda"));
        enter_vehicle_manager(m());
    }
    ChunkHeader record(int position) { return store().header(store().record_offset(position)); }
};

TEST_F(VehicleEntry, OnlyDaysTheCalendarHasAreDates) {
    for (const char* day : {"2024/02/29", "2000/02/29", "2023/02/28", "2024/04/30", "2024/12/31", "1900/01/01",
                            "2500/12/31", "Feb 29, 2024", "2/29/2024"}) {
        EXPECT_TRUE(valid_date(read_date(day))) << day;
    }
    // 1900 and 2100 are not leap years, 2000 is.
    for (const char* day : {"2024/02/30", "2023/02/29", "1900/02/29", "2100/02/29", "2024/04/31", "2024/06/31",
                            "2024/09/31", "2024/11/31", "2024/01/32", "2024/00/10", "2024/01/00", "1899/12/31",
                            "2501/01/01", "Feb 30, 2024", "yesterday", ""}) {
        EXPECT_FALSE(valid_date(read_date(day))) << day;
    }
}

TEST_F(VehicleEntry, NumbersWithGroupingUnitsAndCurrencyAreRead) {
    EXPECT_EQ(distance_entry("9,400 mi"), 1512783);
    EXPECT_EQ(distance_entry("9,400mi"), 1512783);
    EXPECT_EQ(distance_entry("9400"), 1512783) << "a bare number is in the locale's unit";
    EXPECT_EQ(distance_entry(" 1,234,567.5 KM "), 123456750);
    EXPECT_EQ(distance_entry("100 miles"), 16093);
    EXPECT_EQ(distance_entry("100 kilometres"), 10000);
    EXPECT_EQ(distance_entry(".5 km"), 50);
    EXPECT_EQ(distance_entry(""), 0);
    EXPECT_EQ(distance_entry("   "), 0);
    EXPECT_EQ(fuel_entry("12.5 gal"), 47318);
    EXPECT_EQ(fuel_entry("12.5G"), 47318);
    EXPECT_EQ(fuel_entry("2 gallons"), 7571);
    for (const char* litres : {"12.5 l", "12.5 liter", "12.5 Liters", "12.5 litre", "12.5 litres"}) {
        EXPECT_EQ(fuel_entry(litres), 12500) << litres;
    }
    EXPECT_EQ(cost_entry("$42.10"), 42100);
    EXPECT_EQ(cost_entry(" $ 1,042.10 "), 1042100);
    EXPECT_EQ(cost_entry("42."), 42000);
}

TEST_F(VehicleEntry, TextsThatAreNoPlainNumberAreRefusedNotGuessed) {
    // Each of these once came out as some other number: "1e400" as 1400, "-5" as 5, "12..5" as 12.
    for (const char* text : {"1e400", "-5", "+5", "5-", "12..5", "1.2.3", "12,5", "1,2345", "1,23,456", ",400",
                             "1,234.5,6", "9 400", "5 mi 3", "mi", ".", "0x10", "5 mi.", "5 furlongs", "5 l",
                             "$5", "12\xBD", "\xA3 5"}) {
        EXPECT_EQ(distance_entry(text), std::nullopt) << text;
    }
    for (const char* text : {"-5", "1e4", "12..5", "12,5 l", "gal", "12.5 km", "12.5 gals of", "12.5 lbs"}) {
        EXPECT_EQ(fuel_entry(text), std::nullopt) << text;
    }
    for (const char* text : {"-5", "-$5", "$-5", "$", "5$", "$$5", "1e400", "42.10 USD", "12..5", "4,21"}) {
        EXPECT_EQ(cost_entry(text), std::nullopt) << text;
    }
}

TEST_F(VehicleEntry, TheFuelFormNamesTheFieldThatHoldsNoNumber) {
    add_car();
    const struct {
        std::vector<std::string> values;
        const char* error;
    } cases[] = {
        {{"2023/02/29", "9,400 mi", "9,700 mi", "12.5 gal", "$42.10"}, "** Please enter the date in the format YYYY/MM/DD **"},
        {{"2024/02/30", "9,400 mi", "9,700 mi", "12.5 gal", "$42.10"}, "** Please enter the date in the format YYYY/MM/DD **"},
        {{"2024/02/29", "1e400", "9,700 mi", "12.5 gal", "$42.10"}, "** Please enter a valid odometer start **"},
        {{"2024/02/29", "9,400 mi", "12..5", "12.5 gal", "$42.10"}, "** Please enter a valid odometer end **"},
        {{"2024/02/29", "9,400 mi", "9,700 mi", "-5", "$42.10"}, "** Please enter the number of gallons used **"},
        {{"2024/02/29", "9,400 mi", "9,700 mi", "12.5 gal", "-5"}, "** Please enter a valid cost **"},
    };
    for (const auto& c : cases) {
        os.drawn_texts.clear();
        form(c.values);  // refused, then closed when no more keys come
        add_fuel_record(m());
        reopen();
        EXPECT_TRUE(drawn(c.error)) << c.error << " for " << c.values[0] << " " << c.values[1] << " " << c.values[2]
                                    << " " << c.values[3] << " " << c.values[4];
        EXPECT_EQ(store().record_count(), 0) << c.error;
    }
    // Put right in the same form, what was typed is what is stored.
    form({"2024/02/30", "9,400 mi", "9,700 mi", "12.5 gal", "-5"});
    form({"2024/02/29", "9,400 mi", "9,700 mi", "12.5 gal", "$42.10"});
    add_fuel_record(m());
    ASSERT_EQ(store().record_count(), 1);
    const ChunkHeader h = record(0);
    EXPECT_EQ(h.year, 2024);
    EXPECT_EQ(h.month, 2);
    EXPECT_EQ(h.day, 29);
    EXPECT_EQ(h.a, 1512783);
    EXPECT_EQ(h.b, 1561064);
    EXPECT_EQ(h.c, 47318);
    EXPECT_EQ(h.d, 42100);
}

TEST_F(VehicleEntry, TheMaintenanceFormRefusesNoDayAndNoNumber) {
    add_car();
    form({"2024/02/30", "12,345", "Oil change", "45.50"});
    form({"2024/02/29", "1e400", "Oil change", "45.50"});
    form({"2024/02/29", "12,345", "Oil change", "-5"});
    form({"2024/02/29", "12,345 mi", "Oil change", "$45.50"});
    add_maintenance_record(m());
    EXPECT_TRUE(drawn("** Please enter the date in the format YYYY/MM/DD **"));
    EXPECT_TRUE(drawn("** Please enter a valid odometer **"));
    EXPECT_TRUE(drawn("** Please enter a valid cost **"));
    ASSERT_EQ(store().record_count(), 1);
    const ChunkHeader h = record(0);
    EXPECT_EQ(h.day, 29);
    EXPECT_EQ(h.b, 1986735);
    EXPECT_EQ(h.d, 45500);
}

TEST_F(VehicleEntry, AReminderRefusesAnOdometerOrDistanceThatIsNoNumber) {
    os.us_measurement = false;
    add_car();
    const auto on = [&](int fields) {
        for (int i = 0; i < fields; ++i) os.push_key(kKeyReturn);
    };
    os.push_key(kKeyReturn);  // Add
    os.push_text("Timing belt");
    on(2);
    os.push_text("-5");
    on(3);  // a minus sign is no odometer
    on(2);
    os.push_key(kKeyEscape);
    os.push_text("150,000");
    on(2);
    os.push_text("1e4");
    on(1);  // nor is an exponent a distance
    on(4);
    os.push_key(kKeyEscape);
    os.push_text("10,000 km");
    on(1);
    os.push_key(kKeyEscape);  // Close the list
    manage_reminders(m());
    EXPECT_TRUE(drawn("** Please enter a valid odometer **"));
    EXPECT_TRUE(drawn("** Please enter a valid distance **"));
    const ReminderFile file = load_reminders(path("reminders.dat"));
    ASSERT_EQ(file.reminders.size(), 1u);
    EXPECT_EQ(file.reminders[0].due_odometer, 15000000);
    EXPECT_EQ(file.reminders[0].repeat_distance, 1000000);
}

}  // namespace
}  // namespace domora
