// Fill-ups from other fuel logs: the four apps' exports with their bad rows,
// the numbers and dates as files write them, the chaining of each fill-up
// onto the one before it, and the Import button through its form.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/settings.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "ui/file_browser.h"
#include "ui/popups.h"
#include "vehicle_fixtures.h"
#include "vehicle_ui_fixture.h"
#include "vehicles/fillup_csv.h"
#include "vehicles/fillup_import.h"
#include "vehicles/vehicle_records.h"
#include "vehicles/vehicle_units.h"

namespace domora {
namespace {

class FillUpImport : public test::VehicleUiTest {
protected:
    void SetUp() override {
        VehicleUiTest::SetUp();
        os.us_measurement = true;
        settings().import_path = dir();
    }
    ImportPlan plan_of(const std::string& csv) {
        const CsvTable table = read_csv_table(csv);
        return plan_import(read_fill_ups(table, guess_layout(table, os.us_measurement, os.date_order_value)), store(), 1, 100);
    }
    static std::string fixture(const std::string& name) { return read(std::string(DOMORA_TEST_DATA_DIR) + "/fillups/" + name); }
    // The name typed into the file browser's field, then OK.
    void choose_file(const std::string& name) {
        const WidgetRecord ok = widget_of(750, [this] {
            std::string folder = dir(), typed;
            int result = 0;
            BrowseForFile("Import Fill-ups from a CSV File", folder, typed, result);
        });
        os.push_key(kKeyEnd);
        for (int i = 0; i < 40; ++i) os.push_key(kKeyBack);
        os.push_text(name);
        click(ok);
    }
    int vehicle_file_writes() const {
        return static_cast<int>(std::count_if(os.created_files.begin(), os.created_files.end(), [](const std::string& f) {
            return f.find("vehicle11.dat") != std::string::npos;
        }));
    }
};

TEST_F(FillUpImport, EachAppsExportComesInAndItsBadRowIsNamed) {
    load(test::vehicle_chunk(1, "Honda"));
    struct Case {
        const char* file;
        bool us;
        std::size_t imported;
        int first_line;
        std::vector<std::pair<int, std::string>> bad;
        ChunkHeader second;  // the second fill-up of the file, the first imported
    };
    ChunkHeader fuelly, sprit, drivvo, lube;
    // 12,345 to 12,651 mi on 9.808 gal at $3.499 a gallon.
    fuelly.a = 1986735, fuelly.b = 2035981, fuelly.c = 37127, fuelly.d = 34318;
    // 48,210 to 48,842 km on 43,55 litres for 76,17.
    sprit.a = 4821000, sprit.b = 4884200, sprit.c = 43550, sprit.d = 76170;
    // No total: 38.50 litres at 5.79 a litre.
    drivvo.a = 2050000, drivvo.b = 2098000, drivvo.c = 38500, drivvo.d = 222915;
    // Miles and gallons by the locale: 30,110 to 30,418 mi on 10.9 gal.
    lube.a = 4845735, lube.b = 4895303, lube.c = 41261, lube.d = 37100;
    const Case cases[] = {
        {"fuelly.csv", true, 3, 2, {{5, "the date cannot be read"}}, fuelly},
        {"spritmonitor.csv", false, 3, 2, {{5, "the fuel quantity cannot be read"}}, sprit},
        {"drivvo.csv", false, 2, 2, {{4, "no odometer reading"}}, drivvo},
        {"lubelogger.csv", true, 4, 2, {{5, "the cost cannot be read"}}, lube},
    };
    for (const Case& c : cases) {
        os.us_measurement = c.us;
        const ImportPlan plan = plan_of(fixture(c.file));
        ASSERT_EQ(plan.records.size(), c.imported) << c.file;
        EXPECT_EQ(plan.first_without_start, c.first_line) << c.file;
        std::vector<std::pair<int, std::string>> bad;
        for (const BadRow& b : plan.bad) bad.emplace_back(b.line, b.reason);
        EXPECT_EQ(bad, c.bad) << c.file;
        const ChunkHeader& h = plan.records[0];
        EXPECT_EQ(std::vector<int>({h.a, h.b, h.c, h.d}), std::vector<int>({c.second.a, c.second.b, c.second.c, c.second.d}))
            << c.file;
        EXPECT_EQ(h.e, fuel_economy(h.a, h.b, h.c)) << c.file;
        for (std::size_t i = 1; i < plan.records.size(); ++i) {
            EXPECT_EQ(plan.records[i].a, plan.records[i - 1].b) << c.file << ": each starts where the one before ended";
            EXPECT_EQ(plan.records[i].record_id, plan.records[i - 1].record_id + 1);
        }
    }
    // LubeLogger's note over two lines: the row after it is on line 8.
    os.us_measurement = true;
    const ImportPlan lube_plan = plan_of(fixture("lubelogger.csv"));
    EXPECT_EQ(lube_plan.records.back().b, 5093574) << "31,650 mi";
    EXPECT_EQ(lube_plan.records.back().month, 3);
    EXPECT_EQ(lube_plan.records.back().day, 15);
}

TEST_F(FillUpImport, NumbersAndDatesAreReadAsTheFileWritesThemOrNotAtAll) {
    for (const auto& [text, decimal, plain] : std::vector<std::tuple<std::string, char, std::string>>{
             {"1,234.5", '.', "1234.5"}, {"1.234,5", ',', "1234.5"}, {"45,00 \x80", ',', "45.00"}, {"$42.10", '.', "42.10"},
             {"12.5 gal", '.', "12.5"},  {",5", ',', "0.5"},         {"1 234,5", ',', "1234.5"},
             // What is no plain number is refused, never read as a different one.
             {"-5", '.', ""}, {"1e5", '.', ""}, {"12.3.4", '.', ""}, {"45.67", ',', ""}, {"1,23", '.', ""}, {"", '.', ""},
             {"12 of 20", '.', ""}}) {
        EXPECT_EQ(plain_number(text, decimal), plain) << text << " with " << decimal;
    }
    struct DateCase {
        std::string text;
        DateOrder order;
        int y, m, d;  // 0 when refused
    };
    const DateCase dates[] = {
        {"2024-02-29", DateOrder::DayMonthYear, 2024, 2, 29},
        {"2023-02-29", DateOrder::YearMonthDay, 0, 0, 0},
        {"07.03.24", DateOrder::DayMonthYear, 2024, 3, 7},
        {"3/7/2024", DateOrder::MonthDayYear, 2024, 3, 7},
        {"3/7/2024", DateOrder::DayMonthYear, 2024, 7, 3},
        {"2024-03-07T08:15:00", DateOrder::MonthDayYear, 2024, 3, 7},
        {"Sep 17, 2008 11:31 AM", DateOrder::DayMonthYear, 2008, 9, 17},
        {"7-Mar-2024", DateOrder::MonthDayYear, 2024, 3, 7},
        {"31/04/2024", DateOrder::DayMonthYear, 0, 0, 0},
        {"2024-03", DateOrder::YearMonthDay, 0, 0, 0},
        {"2024-03-07 or so", DateOrder::YearMonthDay, 0, 0, 0},
    };
    for (const DateCase& c : dates) {
        int y = 0, m = 0, d = 0;
        const bool read = read_file_date(c.text, c.order, y, m, d);
        EXPECT_EQ(read, c.y != 0) << c.text;
        if (read) {
            EXPECT_EQ(std::vector<int>({y, m, d}), std::vector<int>({c.y, c.m, c.d})) << c.text;
        }
    }
}

TEST_F(FillUpImport, FillUpsChainOntoTheVehiclesOwnAndWhatIsThereAlreadyIsLeftOut) {
    // The vehicle has a fill-up ending at 1,300 mi on March 7, 2024.
    load(test::vehicle_chunk(1, "Honda") + test::fuel_chunk(1, 2, 7, false, 160934, 209215));
    const ImportPlan plan = plan_of(
        "date,odometer,gallons,total cost\n"
        "2024-03-07,1300,10,35\n"   // the vehicle's own fill-up again
        "2024-03-20,1600,10,36\n"   // starts at its 1,300 mi
        "2024-03-01,1000,10,30\n"   // before it: the first, with nothing to start from
        "2024-03-21,1600,2,8\n"     // the same reading as the fill-up before it
        ",,,\n");                   // a blank row is no row
    EXPECT_EQ(plan.already_there, 1);
    EXPECT_EQ(plan.first_without_start, 4);
    ASSERT_EQ(plan.records.size(), 1u);
    EXPECT_EQ(plan.records[0].a, 209215);
    EXPECT_EQ(plan.records[0].b, 257495);
    ASSERT_EQ(plan.bad.size(), 1u);
    EXPECT_EQ(plan.bad[0].line, 5);
    EXPECT_EQ(plan.bad[0].reason, "the same odometer reading as the fill-up before it");
}

TEST_F(FillUpImport, TheButtonGoesThroughTheFormSavesOnceAndNamesTheBadLines) {
    load(test::vehicle_chunk(1, "Honda"));
    write(path("fuelly.csv"), fixture("fuelly.csv"));
    const int writes_before = vehicle_file_writes();
    choose_file("fuelly.csv");
    os.push_key(kKeyReturn);  // OK on the form: Fuelly's columns are found
    const std::string report = import_fill_ups(vehicle_manager());
    EXPECT_TRUE(drawn("Select the CSV columns and units of the fill-ups."));
    EXPECT_TRUE(drawn("Line 2 reads: Mar 2, 2024 - 12,345 mi - 9.8 gal - $ 33.94"));
    EXPECT_EQ(report,
              "3 fill-ups imported into 2020 Honda Civic."
              "|The fill-up of line 2 has no earlier reading to start from and was skipped."
              "||1 line could not be read:|Line 5: the date cannot be read");
    EXPECT_EQ(vehicle_file_writes() - writes_before, 1) << "one save for the lot";
    EXPECT_EQ(store().record_count(), 3);
    EXPECT_EQ(store().header(store().record_offset(store().record_position())).b, 2182431) << "the latest is current";
    const std::string log = read(path("status.log"));
    EXPECT_NE(log.find("Fill-up Import: line 5 - the date cannot be read"), std::string::npos) << log;

    // A layout of no app: the form starts blank and OK asks for the columns.
    again();
    os.drawn_texts.clear();
    write(path("other.csv"), "When;Reading;Amount\n2024-01-01;1000;40\n2024-01-15;1500;38\n");
    choose_file("other.csv");
    os.push_key(kKeyReturn);  // OK with nothing chosen
    os.push_key(kKeyReturn);  // "Please choose the columns ..."
    os.push_key(kKeyEscape);  // Cancel
    EXPECT_EQ(import_fill_ups(vehicle_manager()), "");
    EXPECT_TRUE(drawn("the odometer and the fuel quantity."));
    EXPECT_EQ(store().record_count(), 3) << "nothing imported on Cancel";
}

TEST_F(FillUpImport, TheReportGroupsLinesByReasonAndStaysThePopupsSize) {
    ImportPlan plan;
    for (int line = 2; line < 300; ++line) plan.bad.push_back(BadRow{line, line % 2 ? "no date" : "no fuel quantity"});
    const std::string text = import_report(plan, 0, "");
    EXPECT_EQ(text.rfind("No fill-ups were imported.||298 lines could not be read:|Lines 2, 4, 6,", 0), 0u) << text;
    EXPECT_NE(text.find(", 20,|22, 24"), std::string::npos) << "ten numbers to a line";
    EXPECT_NE(text.find("|and 158 more lines, all named in the status log"), std::string::npos) << text;
    EXPECT_LE(std::count(text.begin(), text.end(), '|'), 20);
}

}  // namespace
}  // namespace domora
