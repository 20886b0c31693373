// Export on the Vehicles screen: the CSV lines of fuel and maintenance
// records, the file name, and the question, browser and messages around
// them; what is written is read back the way spreadsheets read it.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/settings.h"
#include "app/startup.h"
#include "ui/file_browser.h"
#include "ui/popups.h"
#include "ui_fixture.h"
#include "vehicle_fixtures.h"
#include "vehicles/vehicle_export.h"
#include "vehicles/vehicle_records.h"
#include "vehicles/vehicle_store.h"

namespace domora {
namespace {

using test::fuel_chunk;
using test::service_chunk;
using test::vehicle_chunk;

// The rows of a CSV file as Python's csv module reads them.
std::vector<std::vector<std::string>> python_rows(const std::string& file) {
    const std::string command = "python3 -c \"import csv,sys\n"
                                "for row in csv.reader(open(sys.argv[1], newline='', encoding='cp1252')):\n"
                                "    sys.stdout.buffer.write(b'\\x1f'.join(f.encode('cp1252') for f in row) + b'\\n')\" '" +
                                file + "'";
    std::vector<std::vector<std::string>> rows;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return rows;
    std::string out;
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
    EXPECT_EQ(::pclose(pipe), 0) << "python3 read " << file;
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t end = out.find('\n', start);
        const std::string line = out.substr(start, end - start);
        start = end == std::string::npos ? out.size() : end + 1;
        std::vector<std::string> fields;
        std::size_t from = 0;
        for (;;) {
            const std::size_t sep = line.find('\x1f', from);
            fields.push_back(line.substr(from, sep == std::string::npos ? std::string::npos : sep - from));
            if (sep == std::string::npos) break;
            from = sep + 1;
        }
        rows.push_back(fields);
    }
    return rows;
}

class VehicleExport : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        set_message_handler(nullptr);
        os.us_measurement = true;
        clear_field_buffer();
        popup_list() = PopupList{};
        vehicle_manager() = VehicleManager{};
        vehicle_manager().store.set_path(path("vehicle11.dat"));
        settings().vehicle_id = 1;
        std::filesystem::create_directories(path("out"));
        settings().export_path = path("out/");
    }
    void TearDown() override {
        vehicle_manager() = VehicleManager{};
        UiTest::TearDown();
    }
    VehicleStore& store() { return vehicle_manager().store; }
    void load(const std::string& file) {
        write(path("vehicle11.dat"), file);
        store().load();
    }
    // Button n (from 0) of a popup with this message and these buttons.
    WidgetRecord button(const std::string& message, const std::string& buttons, int n) {
        return widget_of(kFirstButtonId + n, [&] {
            int result = 0;
            ShowPopup(message, "", 1, buttons, 0, result);
        });
    }
    WidgetRecord question(int n) {
        return button("Export all records for this vehicle|or just the selected records?", "All|Selected|Cancel", n);
    }
    WidgetRecord overwrite(const std::string& name, int n) {
        return button(name + "|Already Exists!|Do you want to overwrite it?", "OK|Cancel", n);
    }
    WidgetRecord browser_ok() {
        return widget_of(750, [this] {
            std::string folder = path("out/"), n = "Vehicle Records";
            int result = 0;
            BrowseForFile("Export Vehicle Records", folder, n, result);
        });
    }
    // The name typed into the browser's field, then OK.
    void save_as(const WidgetRecord& ok, const std::string& name) {
        os.push_key(kKeyEnd);
        for (int i = 0; i < 40; ++i) os.push_key(kKeyBack);
        os.push_text(name);
        click(ok);
    }
    bool drawn(const std::string& text) const {
        return std::any_of(os.drawn_texts.begin(), os.drawn_texts.end(), [&](const auto& t) { return t.text == text; });
    }
    std::string csv_of(const std::string& file) {
        load(file);
        return vehicle_records_csv(store(), vehicle_records_for_output(store(), false));
    }
};

// ---- the file's lines ------------------------------------------------------------------------------------------------

TEST_F(VehicleExport, EachRecordIsOneLineOfFiveQuotedFields) {
    const std::string csv = csv_of(vehicle_chunk(1, "Honda") + service_chunk(1, 5, 7, 1986735, 45500, "Oil change") +
                                   fuel_chunk(1, 6, 8) + service_chunk(1, 7, 9, 0, 0, "Washed") +
                                   service_chunk(2, 8, 9, 5, 5, "Another car's"));
    EXPECT_EQ(csv,
              "Date,Odometer Start,Odometer End,Fuel/Description,Cost\r\n"
              "\"Mar 7, 2024\",\"\",\"12,345 mi\",\"Oil change\",\"$45.50\"\r\n"
              "\"Mar 8, 2024\",\"12,345 mi\",\"12,645 mi\",\"10.0\",\"$35.00\"\r\n"
              "\"Mar 9, 2024\",\"\",\"\",\"Washed\",\"\"\r\n");
    os.us_measurement = false;
    EXPECT_NE(csv_of(vehicle_chunk(1, "Honda") + fuel_chunk(1, 6, 8)).find("\"19,867 km\",\"20,350 km\",\"37.9\",\"$35.00\""),
              std::string::npos);
}

TEST_F(VehicleExport, QuotesInsideAValueAreDoubledSoSpreadsheetsReadItWhole) {
    load(vehicle_chunk(1, "Honda") + service_chunk(1, 5, 7, 1986735, 45500, "Tyres 16\" \"Winter\", fitted") +
         service_chunk(1, 6, 8, 0, 1000, "Caf\xE9 \"run\""));
    const std::string csv = vehicle_records_csv(store(), vehicle_records_for_output(store(), false));
    EXPECT_NE(csv.find("\"Tyres 16\"\" \"\"Winter\"\", fitted\""), std::string::npos);
    write(path("out/check.csv"), csv);
    const auto rows = python_rows(path("out/check.csv"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Date", "Odometer Start", "Odometer End", "Fuel/Description", "Cost"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"Mar 7, 2024", "", "12,345 mi", "Tyres 16\" \"Winter\", fitted", "$45.50"}));
    EXPECT_EQ(rows[2], (std::vector<std::string>{"Mar 8, 2024", "", "", "Caf\xE9 \"run\"", "$1.00"}));
}

TEST_F(VehicleExport, TheNameAlwaysEndsInCsv) {
    EXPECT_EQ(vehicle_export_name("trip.txt"), "trip.csv");
    EXPECT_EQ(vehicle_export_name("trip"), "trip.csv");
    EXPECT_EQ(vehicle_export_name("trip.csv"), "trip.csv");
    EXPECT_EQ(vehicle_export_name("car.2024.txt"), "car.2024.csv");
    EXPECT_EQ(vehicle_export_name("trip."), "trip.csv");
    EXPECT_EQ(vehicle_export_name(""), "Vehicle Records.csv");
    EXPECT_EQ(vehicle_export_name("   "), "Vehicle Records.csv");
}

// ---- the flow from the button ------------------------------------------------------------------------------------------

TEST_F(VehicleExport, SelectedExportsTheMarkedRecordsToTheChosenFile) {
    load(vehicle_chunk(1, "Honda") + service_chunk(1, 5, 7, 1986735, 45500, "Oil change", true) + fuel_chunk(1, 6, 8) +
         service_chunk(1, 7, 9, 0, 0, "Washed", true));
    const WidgetRecord all = question(0), selected = question(1), cancel = question(2), ok = browser_ok();
    click(selected);
    save_as(ok, "trip.txt");
    ask_and_export_vehicle_records(vehicle_manager());
    again();
    EXPECT_TRUE(drawn("Export all records for this vehicle"));
    EXPECT_TRUE(drawn("or just the selected records?"));
    const auto rows = python_rows(path("out/trip.csv"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][3], "Oil change");
    EXPECT_EQ(rows[2][3], "Washed");
    EXPECT_EQ(settings().export_path, path("out/"));
    EXPECT_FALSE(std::filesystem::exists(path("out/trip.txt")));
    EXPECT_TRUE(drawn("2 records exported to")) << "the export says what it did";
    EXPECT_TRUE(drawn(path("out/trip.csv")));

    // All takes every record of the vehicle; Cancel nothing.
    click(all);
    save_as(ok, "all");
    ask_and_export_vehicle_records(vehicle_manager());
    again();
    EXPECT_EQ(python_rows(path("out/all.csv")).size(), 4u);
    click(cancel);
    save_as(ok, "none");
    ask_and_export_vehicle_records(vehicle_manager());
    again();
    EXPECT_FALSE(std::filesystem::exists(path("out/none.csv")));
}

TEST_F(VehicleExport, NothingToExportIsSaidAndAnExistingFileIsKeptOnCancel) {
    export_vehicle_records(vehicle_manager(), false);
    again();
    EXPECT_TRUE(drawn("No Data To Export"));

    load(vehicle_chunk(1, "Honda") + fuel_chunk(1, 6, 8));
    export_vehicle_records(vehicle_manager(), true);
    again();
    EXPECT_TRUE(drawn("No Records to Export")) << "none carries the mark";

    write(path("out/trip.csv"), "keep me");
    const WidgetRecord ok = browser_ok(), keep = overwrite("trip.csv", 1), replace = overwrite("trip.csv", 0),
                       busy_ok = overwrite("busy.csv", 0);
    save_as(ok, "trip");
    click(keep);
    export_vehicle_records(vehicle_manager(), false);
    again();
    EXPECT_TRUE(drawn("Already Exists!"));
    EXPECT_EQ(read(path("out/trip.csv")), "keep me");

    save_as(ok, "trip");
    click(replace);
    export_vehicle_records(vehicle_manager(), false);
    again();
    EXPECT_EQ(python_rows(path("out/trip.csv")).size(), 2u);

    // A folder in the way cannot be written over.
    std::filesystem::create_directories(path("out/busy.csv"));
    os.drawn_texts.clear();
    save_as(ok, "busy");
    click(busy_ok);
    export_vehicle_records(vehicle_manager(), false);
    again();
    EXPECT_TRUE(drawn("busy.csv cannot be created."));
    EXPECT_TRUE(drawn("Another program is currently using the file."));
    EXPECT_TRUE(std::filesystem::is_directory(path("out/busy.csv")));
}

}  // namespace
}  // namespace domora
