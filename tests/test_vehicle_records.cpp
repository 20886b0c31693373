// Units, dates and display texts of the vehicle log, and the operations
// behind the Vehicles screen's buttons driven through their real forms.
#include <algorithm>
#include <string>
#include <vector>

#include "app/files.h"
#include "app/messages.h"
#include "app/settings.h"
#include "app/status_log.h"
#include "ui/popups.h"
#include "ui_fixture.h"
#include "vehicles/vehicle_forms.h"
#include "vehicles/vehicle_records.h"
#include "vehicles/vehicle_units.h"

namespace domora {
namespace {

class VehicleRecords : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        set_message_handler(nullptr);  // messages land in os.message_boxes
        status_log_set_path(path("status.log"));
        os.us_measurement = true;
        os.now = UtcTime{2024, 3, 7, 12, 0, 0, 0};
        clear_field_buffer();
        popup_list() = PopupList{};
        m.store.set_path(path("vehicle11.dat"));
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
    bool drawn(const std::string& text) const {
        return std::any_of(os.drawn_texts.begin(), os.drawn_texts.end(), [&](const auto& t) { return t.text == text; });
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& box : os.message_boxes) texts.push_back(box.text);
        return texts;
    }
    ChunkHeader record(int position) const { return m.store.header(m.store.record_offset(position)); }

    // A vehicle, added through its form.
    void add_car(const std::string& make = "Honda", const std::string& model = "Civic") {
        form({"2020", make, model, "1HGCM", "ABC 123"});
        add_vehicle(m);
        reopen();
    }
    void add_fill_up(const std::string& start, const std::string& end, const std::string& fuel, const std::string& cost,
                     const std::string& date = "2024/03/07") {
        form({date, start, end, fuel, cost});
        add_fuel_record(m);
        reopen();
    }
    void add_service(const std::string& date, const std::string& odometer, const std::string& description,
                     const std::string& cost) {
        form({date, odometer, description, cost});
        add_maintenance_record(m);
        reopen();
    }

    VehicleManager m;
};

// ---- units -------------------------------------------------------------------------------------------------

TEST_F(VehicleRecords, DistancesAreStoredInHundredthsOfAKilometre) {
    os.us_measurement = false;
    EXPECT_EQ(distance_entry("100 mi"), 16093);
    EXPECT_EQ(distance_entry("100"), 10000);
    EXPECT_EQ(distance_entry("1,234.5 KM"), 123450);
    os.us_measurement = true;
    EXPECT_EQ(distance_entry("1000"), 160934);
    EXPECT_EQ(distance_entry("1300"), 209215);
    EXPECT_EQ(distance_entry("100 km"), 10000);
    EXPECT_EQ(distance_entry(""), 0);

    // Halves go to the even neighbour, on the typed decimals themselves.
    os.us_measurement = false;
    EXPECT_EQ(distance_entry("0.005"), 0);
    EXPECT_EQ(distance_entry("0.015"), 2);
    EXPECT_EQ(distance_entry("0.025"), 2);
    EXPECT_FALSE(fits_stored(*distance_entry("21474837")));
    EXPECT_TRUE(fits_stored(*distance_entry("21474836")));
    EXPECT_FALSE(fits_stored(*distance_entry(std::string(79, '9'))));
}

TEST_F(VehicleRecords, ManyDecimalsNeitherOverflowNorRoundAsAHalf) {
    // The forms take 79 characters; decimals far below any stored unit are not read.
    os.us_measurement = false;
    const std::string tiny = "0." + std::string(33, '0') + "9";
    EXPECT_EQ(cost_entry(tiny), 0);
    EXPECT_EQ(distance_entry(tiny), 0);
    EXPECT_EQ(fuel_entry(tiny + " gal"), 0);
    EXPECT_EQ(cost_entry("." + std::string(78, '0')), 0);
    EXPECT_EQ(cost_entry("1." + std::string(77, '9')), 2000);
    // Just above a half: the unread digits still tip it upwards.
    EXPECT_EQ(cost_entry("0.0005" + std::string(30, '0') + "1"), 1);
    EXPECT_EQ(cost_entry("0.0005" + std::string(30, '0')), 0) << "an exact half goes to the even neighbour";
    EXPECT_EQ(fuel_entry("0.0" + std::string(76, '5')), 56);
}

TEST_F(VehicleRecords, FuelFollowsTheUnitWordOrElseTheLocale) {
    os.us_measurement = false;
    EXPECT_EQ(fuel_entry("12.5 gal"), 47318);
    EXPECT_EQ(fuel_entry("12.5"), 12500);
    os.us_measurement = true;
    EXPECT_EQ(fuel_entry("12.5 l"), 12500);
    EXPECT_EQ(fuel_entry("12.5"), 47318);
    EXPECT_EQ(fuel_entry("10"), 37854);
}

TEST_F(VehicleRecords, CostsAreThousandths) {
    EXPECT_EQ(cost_entry("$1,234.56"), 1234560);
    EXPECT_EQ(cost_entry(""), 0);
    EXPECT_FALSE(fits_stored(*cost_entry("2147484")));
}

TEST_F(VehicleRecords, EconomyIsComputedOnceAndShownInEitherUnit) {
    const std::int64_t economy = fuel_economy(160934, 209215, 37854);
    EXPECT_EQ(economy, 127545);
    EXPECT_EQ(format_economy(economy), "30.0 mpg");
    os.us_measurement = false;
    EXPECT_EQ(format_economy(economy), "12.8 km/l");
    EXPECT_EQ(fuel_economy(1000000, 1030000, 30000), 100000);
    EXPECT_EQ(format_economy(100000), "10.0 km/l");
    EXPECT_EQ(format_economy(0), "0.0 km/l");
}

TEST_F(VehicleRecords, TheChosenEconomyUnitChangesOnlyTheText) {
    // The worked fill-up: 300 mi on 10 gal.
    const std::int64_t economy = 127545;
    const std::pair<int, const char*> shown[] = {
        {kEconomyKmPerLitre, "12.8 km/l"}, {kEconomyLitresPer100Km, "7.84 L/100 km"},
        {kEconomyMpgUs, "30.0 mpg"},       {kEconomyMpgUk, "36.0 mpg (UK)"},
    };
    for (bool us : {true, false}) {
        os.us_measurement = us;
        for (const auto& [unit, text] : shown) {
            settings().fuel_economy_unit = unit;
            EXPECT_EQ(format_economy(economy), text) << unit << (us ? " in a U.S. locale" : " in a metric locale");
            EXPECT_EQ(economy_display_unit(), unit);
        }
        // Automatic, and a value no unit has, follow the locale.
        for (int automatic : {static_cast<int>(kEconomyAutomatic), 9, -1}) {
            settings().fuel_economy_unit = automatic;
            EXPECT_EQ(format_economy(economy), us ? "30.0 mpg" : "12.8 km/l") << automatic;
        }
    }
    EXPECT_NEAR(economy_value(economy, kEconomyLitresPer100Km), 7.8404, 1e-4);
    EXPECT_NEAR(economy_value(economy, kEconomyMpgUk), 36.029, 1e-3);
    EXPECT_NEAR(economy_value(economy, kEconomyMpgUs), 30.000, 1e-3);
    // Nothing burnt per 100 km is no figure, not a perfect one.
    EXPECT_EQ(format_economy_in(0, kEconomyLitresPer100Km), "-- L/100 km");
    EXPECT_EQ(format_economy_in(0, kEconomyMpgUk), "0.0 mpg (UK)");
    EXPECT_EQ(economy_value(0, kEconomyLitresPer100Km), 0);
}

TEST_F(VehicleRecords, DisplayTextsGroupThousandsAndRoundAsTheirMasksSay) {
    os.us_measurement = false;
    EXPECT_EQ(format_odometer(123456789), "1,234,568 km");
    EXPECT_EQ(format_odometer(150), "2 km") << "1.5 km, half to even";
    EXPECT_EQ(format_odometer(250), "2 km");
    EXPECT_EQ(format_fuel(1234567), "1,234.6 liter");
    EXPECT_EQ(format_fuel(500), "0.5 liter");
    os.us_measurement = true;
    EXPECT_EQ(format_odometer(160934), "1,000 mi");
    EXPECT_EQ(format_fuel(37854), "10.0 gal");
    EXPECT_EQ(format_fuel(3785411780), "1000000.0 gal") << "no grouping in the U.S. fuel mask";
    EXPECT_EQ(format_cost(1234560), "1234.56");
    EXPECT_EQ(format_cost(1235), "1.24") << "a half cent rounds up";
    EXPECT_EQ(format_cost_total(1234567890), "$ 1,234,567.89");
    EXPECT_EQ(format_cost_total(0), "$ 0.00");
    EXPECT_EQ(format_date(2024, 3, 7), "Mar 7, 2024");
    EXPECT_EQ(format_date(987, 12, 30), "Dec 30, 0987");

    EXPECT_EQ(fuel_price(35000, 37854), "3.50") << "per displayed gallon";
    EXPECT_EQ(fuel_price(35000, 10), "0.00") << "no division by a quantity shown as 0.0";
    os.us_measurement = false;
    EXPECT_EQ(fuel_price(2469000, 1234500), "2.00") << "the grouping comma is not the end of the number";
    os.us_measurement = true;
    EXPECT_EQ(fuel_detail(160934, 209215, 37854, 35000, 127545), "30.0 mpg   (300 mi using 10.0 gal at $3.50)");

    EXPECT_EQ(odometer_entry_text(160934), "1000");
    EXPECT_EQ(odometer_entry_text(0), "");
    EXPECT_EQ(fuel_entry_text(37854), "10.0");
    EXPECT_EQ(cost_entry_text(45500), "45.50");
    EXPECT_EQ(cost_entry_text(0), "");
    EXPECT_EQ(date_entry_text(2024, 3, 7), "2024/03/07");
}

TEST_F(VehicleRecords, DatesAreReadInEveryShapeTheFormsAccept) {
    for (const char* text : {"2024/3/7", "2024-03-07", "3/7/2024", "Mar 7, 2024", "7 March 2024", "2024 Mar 7", "  2024.03.07  ",
                             "2024/3/7/99", "MARCH 7 2024"}) {
        const VehicleDate d = read_date(text);
        EXPECT_EQ(d.year, 2024) << text;
        EXPECT_EQ(d.month, 3) << text;
        EXPECT_EQ(d.day, 7) << text;
    }
    EXPECT_FALSE(valid_date(read_date("2024/13/01")));
    EXPECT_FALSE(valid_date(read_date("1899/12/31")));
    EXPECT_FALSE(valid_date(read_date("yesterday")));
    EXPECT_EQ(read_date("").month, 0);
}

// ---- vehicles ---------------------------------------------------------------------------------------------------------

TEST_F(VehicleRecords, TheVehicleFormChecksTheYearThenTheNames) {
    form({"1850", "Honda", "Civic", "", ""});
    form({"2020", "", "", "", ""});
    form({"Model year 2020", "Honda", "", "", ""});
    add_vehicle(m);
    EXPECT_TRUE(drawn("** Please Enter A Year Betweeen 1900 and 2500 **"));
    EXPECT_TRUE(drawn("** Please enter a Manufacturer and/or Model for this vehicle **"));
    ASSERT_EQ(m.store.vehicles().size(), 1u);
    const std::optional<VehicleInfo> car = m.store.current_vehicle();
    ASSERT_TRUE(car);
    EXPECT_EQ(car->year, "2020");
    EXPECT_EQ(car->make, "Honda");
    EXPECT_EQ(settings().vehicle_id, car->vehicle_id);
    EXPECT_TRUE(file_exists(path("setup313.dat"))) << "the current vehicle is remembered";

    // Editing keeps the ids; an empty form shows nothing new.
    reopen();
    form({"2021", "Honda", "Civic Si", "VIN", "LIC"});
    edit_vehicle(m);
    ASSERT_EQ(m.store.vehicles().size(), 1u);
    EXPECT_EQ(m.store.current_vehicle()->model, "Civic Si");
    EXPECT_EQ(m.store.current_vehicle()->vehicle_id, car->vehicle_id);
    EXPECT_EQ(m.store.current_vehicle()->record_id, car->record_id);
}

TEST_F(VehicleRecords, AVehicleGoesOnlyWhenTheUserTypesYes) {
    add_car("Audi", "A4");
    add_car("BMW", "X1");
    add_fill_up("100", "200", "5", "");
    const int before = static_cast<int>(m.store.vehicles().size());
    for (const char* answer : {"y", "yess", ""}) {
        form({answer});
        delete_vehicle(m);
        reopen();
        EXPECT_EQ(static_cast<int>(m.store.vehicles().size()), before) << answer;
    }
    EXPECT_TRUE(drawn("Type 'YES' to delete this vehicle:"));
    EXPECT_TRUE(drawn("2020 BMW X1"));

    form({"  Yes "});
    delete_vehicle(m);
    reopen();
    ASSERT_EQ(m.store.vehicles().size(), 1u);
    EXPECT_EQ(m.store.current_vehicle()->make, "Audi") << "the last one went, so the one before it is current";
    for (std::size_t offset : m.store.chunks()) EXPECT_NE(m.store.header(offset).type, kRecordFuel) << "its fill-up went too";

    for (const char* answer : {"YES", "yes"}) {
        add_car();
        form({answer});
        delete_vehicle(m);
        reopen();
    }
    EXPECT_EQ(m.store.vehicles().size(), 1u);
    form({"YES"});
    delete_vehicle(m);
    reopen();
    EXPECT_TRUE(m.store.vehicles().empty());
    EXPECT_EQ(settings().vehicle_id, 0);
    delete_vehicle(m);
    EXPECT_EQ(messages().back(), "No Vehicle Selected");
}

TEST_F(VehicleRecords, ChoosingAVehicleShowsItsRecordsAndIsRemembered) {
    add_car("Audi", "A4");
    add_fill_up("100", "200", "5", "");
    add_car("BMW", "X1");
    EXPECT_EQ(m.store.record_count(), 0);
    os.push_key(kKeyUp);  // the list opens on the BMW, the current vehicle
    os.push_key(kKeyReturn);
    choose_vehicle(m, 100, 100, 200);
    EXPECT_EQ(popup_list().lines, (std::vector<std::string>{"2020 Audi A4", "2020 BMW X1"}));
    EXPECT_EQ(m.store.current_vehicle()->make, "Audi");
    EXPECT_EQ(m.store.record_count(), 1);
    EXPECT_TRUE(m.store.is_selected(0));
    settings().vehicle_id = 0;
    load_settings(os.work);
    EXPECT_EQ(settings().vehicle_id, m.store.current_vehicle()->vehicle_id);
}

TEST_F(VehicleRecords, TheGuardedButtonsAskForAVehicleAndThenForRecords) {
    add_fuel_record(m);
    add_maintenance_record(m);
    edit_current_record(m);
    delete_selected_records(m);
    edit_vehicle(m);
    choose_vehicle(m, 0, 0, 100);
    EXPECT_EQ(messages(), std::vector<std::string>(6, "Add a Vehicle First"));
    os.message_boxes.clear();
    add_car();
    edit_current_record(m);
    delete_selected_records(m);
    EXPECT_EQ(messages(), std::vector<std::string>(2, "No Records For This Vehicle"));
}

// ---- fuel ------------------------------------------------------------------------------------------------------------------

TEST_F(VehicleRecords, AFillUpIsStoredInFixedUnitsAndTheNextOneStartsWhereItEnded) {
    add_car();
    add_fill_up("1000", "1300", "10", "$35.00");
    ASSERT_EQ(m.store.record_count(), 1);
    const ChunkHeader first = record(0);
    EXPECT_EQ(first.type, kRecordFuel);
    EXPECT_EQ(first.a, 160934);
    EXPECT_EQ(first.b, 209215);
    EXPECT_EQ(first.c, 37854);
    EXPECT_EQ(first.d, 35000);
    EXPECT_EQ(first.e, 127545);
    EXPECT_EQ(first.year, 2024);
    EXPECT_EQ(m.store.average_economy(), 127545);

    // Cancelled at once: the form showed the previous odometer end and today.
    add_fuel_record(m);
    reopen();
    EXPECT_EQ(field_text(0), "2024/03/07");
    EXPECT_EQ(field_text(1), "1300");
    EXPECT_EQ(field_text(2), "");
    EXPECT_TRUE(drawn("Gallons Used"));
    EXPECT_EQ(m.store.record_count(), 1);

    os.us_measurement = false;
    add_fuel_record(m);
    reopen();
    EXPECT_TRUE(drawn("Liters Used"));
    EXPECT_TRUE(drawn("Odometer Start (km)"));
}

TEST_F(VehicleRecords, TheFuelFormRefusesWhatCannotBeAFillUpInOrder) {
    add_car();
    const struct {
        std::vector<std::string> values;
        const char* error;
    } cases[] = {
        {{"2024/13/01", "1000", "1300", "10", ""}, "** Please enter the date in the format YYYY/MM/DD **"},
        {{"2024/03/07", "", "1300", "10", ""}, "** Please enter a valid odometer start **"},
        {{"2024/03/07", "1000", "", "10", ""}, "** Please enter a valid odometer end **"},
        {{"2024/03/07", "99999999", "1300", "10", ""}, "** Please enter a smaller odometer start **"},
        {{"2024/03/07", "1000", "99999999", "10", ""}, "** Please enter a smaller odometer end **"},
        {{"2024/03/07", "1000", "1000", "10", ""}, "** The odometer start must be less than the odometer end **"},
        {{"2024/03/07", "1000", "1300", "", ""}, "** Please enter the number of gallons used **"},
        {{"2024/03/07", "1000", "1300", "999999", ""}, "** Please enter a smaller number of gallons used **"},
        {{"2024/03/07", "1000", "1300", "10", "3000000"}, "** Please enter a smaller cost **"},
        {{"2024/03/07", "1", "1000000", "0.001 l", ""}, "** The fuel used is too small for this distance **"},
    };
    for (const auto& c : cases) {
        os.drawn_texts.clear();
        form(c.values);
        add_fuel_record(m);
        reopen();
        EXPECT_TRUE(drawn(c.error)) << c.error;
        EXPECT_EQ(m.store.record_count(), 0) << c.error;
    }
    // Put right in the same form, the record is stored.
    form({"2024/13/01", "1000", "1300", "10", ""});
    form({"2024/02/29", "1000", "1300", "10", ""});
    add_fuel_record(m);
    EXPECT_EQ(m.store.record_count(), 1);
    EXPECT_EQ(record(0).day, 29);
}

TEST_F(VehicleRecords, AFormShownAgainStartsAtItsFirstField) {
    add_car();
    os.push_key(kKeyEscape);
    os.push_text("2024/13/01");
    for (int i = 0; i < 4; ++i) os.push_key(kKeyTab);
    // A real window reports other things before the saving Enter comes up.
    os.push_key_down(kKeyReturn);
    os.push_mouse_move(5, 5);
    os.push_mouse_move(6, 6);
    Event up;
    up.kind = EventKind::KeyUp;
    up.key = kKeyReturn;
    os.push_event(up);
    form({"2024/03/07", "1000", "1300", "10", ""});
    add_fuel_record(m);
    ASSERT_EQ(m.store.record_count(), 1);
    EXPECT_EQ(record(0).a, 160934);
}

TEST_F(VehicleRecords, EditingAFillUpReplacesItsChunkAndKeepsWhatWasNotTouched) {
    add_car();
    add_fill_up("1000", "1300", "10.123", "35.555");
    const ChunkHeader before = record(0);
    EXPECT_EQ(before.c, 38320);
    // Only the end changes; the fuel and cost texts (10.1, 35.56) go back as they were shown.
    form({"2024/03/08", "1000", "1310", "10.1", "35.56"});
    edit_current_record(m);
    ASSERT_EQ(m.store.record_count(), 1);
    ASSERT_EQ(m.store.chunks().size(), 2u) << "the vehicle and one fill-up";
    const ChunkHeader after = record(0);
    EXPECT_EQ(after.record_id, before.record_id);
    EXPECT_EQ(after.day, 8);
    EXPECT_EQ(after.b, distance_entry("1310"));
    EXPECT_EQ(after.c, 38320) << "the untouched fuel keeps its thousandths";
    EXPECT_EQ(after.d, 35555);
    EXPECT_EQ(after.e, fuel_economy(after.a, after.b, after.c));
}

// ---- maintenance ---------------------------------------------------------------------------------------------------------------

TEST_F(VehicleRecords, TheMaintenanceFormWantsADescriptionThenADate) {
    add_car();
    form({"2024/03/07", "12345", "", "45.50"});
    form({"2024/13/01", "12345", "Oil change", "45.50"});
    form({"Mar 7, 2024", "12,345 mi", "  Oil change  ", "$45.50"});
    add_maintenance_record(m);
    EXPECT_TRUE(drawn("** Please enter a description for this record **"));
    EXPECT_TRUE(drawn("** Please enter the date in the format YYYY/MM/DD **"));
    ASSERT_EQ(m.store.record_count(), 1);
    const ChunkHeader h = record(0);
    EXPECT_EQ(h.type, kRecordMaintenance);
    EXPECT_EQ(h.b, distance_entry("12345 mi"));
    EXPECT_EQ(h.d, 45500);
    EXPECT_EQ(m.store.description(m.store.record_offset(0)), "Oil change");
    EXPECT_EQ(m.store.maintenance_total(), 45500);

    reopen();
    form({"2024/03/08", "", "Wash", ""});
    add_maintenance_record(m);
    EXPECT_EQ(record(1).b, 0) << "an empty odometer is stored as 0";
    EXPECT_EQ(m.store.record_position(), 1);
    EXPECT_TRUE(m.store.is_selected(1));
    EXPECT_FALSE(m.store.is_selected(0));

    reopen();
    form({"2024/03/09", "1", "Big job", "9999999"});
    add_maintenance_record(m);
    EXPECT_TRUE(drawn("** Please enter a smaller cost **"));
    EXPECT_EQ(m.store.record_count(), 2);
}

// ---- delete, find, filter ----------------------------------------------------------------------------------------------------------

TEST_F(VehicleRecords, DeletingTheMarkedRecordsLeavesTheNextOneCurrent) {
    add_car();
    for (int i = 0; i < 5; ++i) add_service("2024/03/0" + std::to_string(i + 1), "", "Job " + std::to_string(i), "");
    m.store.clear_selected_marks();
    m.store.set_selected(1, true);
    m.store.set_selected(3, true);
    os.push_text("c");  // Cancel
    delete_selected_records(m);
    EXPECT_EQ(m.store.record_count(), 5);
    os.push_text("o");
    delete_selected_records(m);
    ASSERT_EQ(m.store.record_count(), 3);
    EXPECT_EQ(m.store.description(m.store.record_offset(1)), "Job 2");
    EXPECT_EQ(m.store.record_position(), 1);
    EXPECT_TRUE(m.store.is_selected(1));
    const std::vector<std::string> log = log_lines(path("status.log"));
    const auto begin = std::find(log.begin(), log.end(), "Begin Sort");
    ASSERT_NE(begin, log.end());
    EXPECT_NE(std::find(begin, log.end(), "List Records:  3"), log.end());
    EXPECT_EQ(log.back(), "Adjust Current Record");
}

TEST_F(VehicleRecords, FindMarksTheMatchesAndAnEditShowsAllRecordsAgain) {
    add_car("Audi", "A4");
    add_service("2024/01/05", "1000", "Oil change", "40");
    add_fill_up("1000", "1300", "10", "35");
    add_service("2024/02/05", "2000", "New tyres", "400");
    add_car("BMW", "X1");
    add_service("2024/01/06", "500", "Oil change", "50");
    os.push_key(kKeyUp);
    os.push_key(kKeyReturn);
    choose_vehicle(m, 0, 0, 100);
    reopen();

    form({"  OIL "});
    find_records(m);
    reopen();
    EXPECT_EQ(m.store.display_filter(), kFilterSearch);
    ASSERT_EQ(m.store.record_count(), 1) << "only the current vehicle's records are searched";
    EXPECT_EQ(m.store.description(m.store.record_offset(0)), "Oil change");

    form({"30.0 mpg"});
    find_records(m);
    reopen();
    ASSERT_EQ(m.store.record_count(), 1) << "the fuel details are searched as shown";
    EXPECT_EQ(record(0).type, kRecordFuel);

    form({""});
    find_records(m);
    reopen();
    EXPECT_EQ(m.store.record_count(), 0) << "an empty search finds nothing";

    form({"tyres"});
    find_records(m);
    reopen();
    ASSERT_EQ(m.store.record_count(), 1);
    form({"2024/02/05", "2000", "Winter tyres", "400"});
    edit_current_record(m);
    EXPECT_EQ(m.store.display_filter(), kFilterAll);
    EXPECT_EQ(m.store.record_count(), 3);
    EXPECT_EQ(m.store.description(m.store.record_offset(m.store.record_position())), "Winter tyres");
}

TEST_F(VehicleRecords, TheDisplayFilterPicksWhichRecordsShow) {
    add_car();
    add_service("2024/01/05", "1000", "Oil change", "40");
    add_fill_up("1000", "1300", "10", "35", "2024/01/06");
    add_fill_up("1300", "1600", "10", "35", "2024/01/07");
    os.push_key(kKeyDown);  // from All Records, where the list opens
    os.push_key(kKeyReturn);
    choose_display_filter(m, 0, 0, 100);
    EXPECT_EQ(popup_list().lines, (std::vector<std::string>{"All Records", "Fuel Records", "Maintenance Records", "Search Results"}));
    EXPECT_EQ(m.store.display_filter(), kFilterFuel);
    EXPECT_EQ(m.store.record_count(), 2);
    EXPECT_EQ(m.store.record_position(), 1);
    EXPECT_TRUE(m.store.is_selected(1));
    EXPECT_EQ(display_filter_name(kFilterMaintenance), "Maintenance Records");

    toggle_all_selected(m);
    EXPECT_TRUE(m.store.is_selected(0) && m.store.is_selected(1));
    toggle_all_selected(m);
    EXPECT_FALSE(m.store.is_selected(0) || m.store.is_selected(1));
}

}  // namespace
}  // namespace domora
