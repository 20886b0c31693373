// Printing vehicle records: the wrapping of long texts, the first page's
// heading with the photo, the table and its page breaks, laid out through
// the headless print recorder (300 dpi; characters half the em wide).
#include <algorithm>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/settings.h"
#include "app/status_log.h"
#include "platform/headless/headless_print.h"
#include "printing/print_job.h"
#include "printing/print_settings_screen.h"
#include "ui/popups.h"
#include "ui_fixture.h"
#include "vehicle_fixtures.h"
#include "vehicles/vehicle_print.h"
#include "vehicles/vehicle_records.h"

namespace domora {
namespace {

using test::bitmap_file;
using test::fuel_chunk;
using test::service_chunk;
using test::vehicle_chunk;

using Call = HeadlessPrintService::Call;

// The Vehicle Records layout at 300 dpi: letter paper with half-inch margins.
constexpr Rect kText{150, 150, 2400, 3150};
constexpr int kLine = 58;        // 14 point
constexpr int kNormalChar = 29;  // half the em
constexpr int kBoldChar = 30;

class VehiclePrint : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        set_message_handler(nullptr);
        os.us_measurement = true;
        set_print_service(&printer);
        status_log_set_path(path("status.log"));
        vehicle_manager() = VehicleManager{};
        vehicle_manager().store.set_path(path("vehicle11.dat"));
        settings().vehicle_id = 1;
    }
    void TearDown() override {
        vehicle_manager() = VehicleManager{};
        set_print_service(nullptr);
        UiTest::TearDown();
    }
    void load(const std::string& file) {
        write(path("vehicle11.dat"), file);
        vehicle_manager().store.load();
        vehicle_manager().store.rebuild_vehicle_list();
        vehicle_manager().store.select_vehicle(1);
        vehicle_manager().store.rebuild_record_view();
    }
    bool print() {
        PrintSettings record = default_print_settings(kLayoutVehicleRecords);
        record.set_printer("Office Laser");
        return print_vehicle_records(vehicle_manager(), record);
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const Call& c : printer.texts()) out.push_back(c.text);
        return out;
    }
    // The drawn text call with this text (the first, or the n-th from 0).
    Call text(const std::string& wanted, int n = 0) const {
        for (const Call& c : printer.texts()) {
            if (c.text == wanted && n-- == 0) return c;
        }
        ADD_FAILURE() << "not drawn: " << wanted;
        return Call{};
    }
    // Page index of the first text call with this text.
    int page_of_text(const std::string& wanted) const {
        for (std::size_t i = 0; i < printer.calls.size(); ++i) {
            if (printer.calls[i].kind == "text" && printer.calls[i].text == wanted) return printer.page_of(i);
        }
        return -1;
    }
    bool shown(const std::string& message) const {
        return std::any_of(os.drawn_texts.begin(), os.drawn_texts.end(), [&](const auto& t) { return t.text == message; });
    }
    HeadlessPrintService printer;
};

// ---- wrapping -------------------------------------------------------------------------------------------

TEST_F(VehiclePrint, TextsWrapAtTheLastBlankThatFitsAndLongWordsBreakBetweenCharacters) {
    const FontHandle font = printer.create_font(FontSpec{"Arial", 20, 400, false, true});  // 10 px a character
    const auto lines = [&](const std::string& text, int room, int& y) {
        std::vector<std::string> out;
        for (const WrappedLine& l : wrap_print_text(font, text, 100, 100 + room, y)) out.push_back(l.text + "@" + std::to_string(l.y));
        return out;
    };
    int y = 0;
    EXPECT_EQ(lines("Oil and filter", 200, y), std::vector<std::string>{"Oil and filter@0"}) << "fits whole";
    EXPECT_EQ(y, 0) << "the last line does not move y";
    EXPECT_EQ(lines("ab cdefgh ij", 50, y), (std::vector<std::string>{"ab@0", "cdefg@20", "h ij@40"}));
    EXPECT_EQ(y, 40);
    y = 0;
    EXPECT_EQ(lines("Supercalifragilistic", 70, y), (std::vector<std::string>{"Superca@0", "lifragi@20", "listic@40"}));
    y = 0;
    // A blank just past the room ends the line; the next does not start with it.
    EXPECT_EQ(lines("Oil change and filter", 100, y), (std::vector<std::string>{"Oil change@0", "and filter@20"}));
    y = 0;
    // Too narrow for a single character: one a line, and the walk still ends.
    EXPECT_EQ(lines("abc", 0, y), (std::vector<std::string>{"a@0", "b@20", "c@40"}));
    EXPECT_EQ(y, 40);
    y = 0;
    EXPECT_EQ(lines("abcde ", 50, y), std::vector<std::string>{"abcde@0"}) << "a trailing blank makes no empty line";
    EXPECT_EQ(y, 0);
    y = 7;
    EXPECT_EQ(lines("", 50, y), std::vector<std::string>{"@7"});
    printer.release_font(font);
}

// ---- the first page -----------------------------------------------------------------------------------------

TEST_F(VehiclePrint, TwoRecordsWithAPhotoPrintTheHeadingTableAndRowsOnOnePage) {
    const std::string photo = bitmap_file(4, 3, [](int, int) { return 0x336699u; });
    load(vehicle_chunk(1, "Honda", photo) + service_chunk(1, 5, 7, 1986735, 45500, "Oil change", true) +
         fuel_chunk(1, 6, 8, true) + service_chunk(1, 7, 9, 0, 0, "Not selected"));
    ASSERT_TRUE(print());
    EXPECT_EQ(printer.pages, 1);
    EXPECT_EQ(printer.live_fonts(), 0);
    EXPECT_FALSE(printer.device_open);

    // The photo: 1.5 inches high, as wide as its 4:3 shape asks, at the text corner, framed.
    const auto images = printer.calls_of("image");
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].rect, (Rect{150, 150, 750, 600}));
    EXPECT_EQ(images[0].x, 4);
    EXPECT_EQ(images[0].y, 3);
    const auto frames = printer.calls_of("frame");
    ASSERT_EQ(frames.size(), 1u) << "outlines are off in the defaults";
    EXPECT_EQ(frames[0].rect, (Rect{150, 150, 750, 600}));

    // The head column starts 0.2 inch right of the photo.
    const Call heading = text("2020 Honda Civic");
    EXPECT_EQ(heading.x, 810);
    EXPECT_EQ(heading.y, 150);
    EXPECT_EQ(heading.weight, 700);
    EXPECT_EQ(heading.width, 70) << "the large font";
    EXPECT_EQ(text("VIN: ").y, 150 + 2 * kLine);
    EXPECT_EQ(text("JH4KA").x, 810 + 5 * kBoldChar);
    EXPECT_EQ(text("License: ").y, 150 + 4 * kLine);
    EXPECT_EQ(text("ABC 123").x, 810 + 9 * kBoldChar);

    // The table starts two lines under the photo frame, the taller of the two.
    const int table = 150 + 450 + 2 * kLine;
    const int date_right = 150 + 12 * kBoldChar, gap = 3 * kBoldChar;
    const int odometer_right = date_right + gap + 12 * kBoldChar, cost_right = odometer_right + gap + 10 * kBoldChar;
    const int record_left = cost_right + gap;
    EXPECT_EQ(text("Date").x, 150);
    EXPECT_EQ(text("Date").y, table);
    EXPECT_EQ(text("Odometer").x, odometer_right - 8 * kBoldChar);
    EXPECT_EQ(text("Cost").x, cost_right - 4 * kBoldChar);
    EXPECT_EQ(text("Record").x, record_left);
    const auto fills = printer.calls_of("fill");
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].rect, (Rect{150, table + kLine, 2400, table + kLine + 3}));

    const int row = table + 87;  // one and a half lines
    EXPECT_EQ(texts(), (std::vector<std::string>{"Page 1", "2020 Honda Civic", "VIN: ", "JH4KA", "License: ", "ABC 123", "Date",
                                                 "Odometer", "Cost", "Record",
                                                 // The service: month and day apart, odometer, cost, description.
                                                 "Mar", "7, 2024", "12,345 mi", "$", "45.50", "Oil change",
                                                 // The fill-up: its detail wraps in the column.
                                                 "Mar", "8, 2024", "12,645 mi", "$", "35.00", "Gas:  ",
                                                 "30.0 mpg   (300 mi using", "10.0 gal at $3.50)"}));
    EXPECT_EQ(text("Mar").y, row);
    EXPECT_EQ(text("7, 2024").x, date_right - 7 * kNormalChar);
    EXPECT_EQ(text("12,345 mi").x, odometer_right - 9 * kNormalChar);
    EXPECT_EQ(text("$").x, odometer_right + gap);
    EXPECT_EQ(text("45.50").x, cost_right - 5 * kNormalChar);
    EXPECT_EQ(text("Oil change").x, record_left);
    EXPECT_EQ(text("Mar", 1).y, row + kLine);
    EXPECT_EQ(text("Gas:  ").x, record_left);
    EXPECT_EQ(text("30.0 mpg   (300 mi using").x, record_left + 6 * kBoldChar);
    EXPECT_EQ(text("10.0 gal at $3.50)").y, row + 2 * kLine);
    // "Page 1" centred at the bottom.
    EXPECT_EQ(text("Page 1").x, 150 + 1125 - 3 * kNormalChar);
    EXPECT_EQ(text("Page 1").y, 3150 - kLine);
    // The date is clipped to its column for one line.
    bool clipped = false;
    for (const Call& c : printer.calls_of("clip")) clipped = clipped || c.rect == Rect{150, row, date_right, row + kLine};
    EXPECT_TRUE(clipped);
}

TEST_F(VehiclePrint, WithoutAPhotoTheHeadStartsAtTheLeftAndTheFrameHeightStillCounts) {
    load(vehicle_chunk(1, "Honda") + service_chunk(1, 5, 7, 1986735, 45500, "Oil change", true));
    ASSERT_TRUE(print());
    EXPECT_TRUE(printer.calls_of("image").empty());
    EXPECT_EQ(text("2020 Honda Civic").x, 150);
    EXPECT_EQ(text("VIN: ").x, 150);
    EXPECT_EQ(text("Date").y, 150 + 450 + 2 * kLine);
}

TEST_F(VehiclePrint, ALongHeadingAndVinWrapAndPushTheTableDown) {
    // A model so long that the heading takes three lines of the large font.
    ChunkHeader h;
    h.type = kRecordVehicle;
    h.vehicle_id = 1;
    h.record_id = 1;
    h.year = 2020;
    const std::string model(120, 'M');
    const std::string vin = "VIN " + std::string(140, '7');
    load(encode_chunk(h, vehicle_body("Honda", model, vin, "ABC", "")) + service_chunk(1, 5, 7, 0, 0, "Wash", true));
    ASSERT_TRUE(print());
    // 2250 px of room is 62 large bold characters (36 each): "2020 Honda" breaks at its blank.
    EXPECT_EQ(texts()[1], "2020 Honda");
    EXPECT_EQ(texts()[2], std::string(62, 'M'));
    EXPECT_EQ(texts()[3], std::string(58, 'M'));
    const int vin_y = 150 + 2 * 70 + 2 * kLine;
    EXPECT_EQ(text("VIN: ").y, vin_y);
    // The VIN column is 2250 - 150 = 2100 px, 72 characters: "VIN" breaks at its blank.
    EXPECT_EQ(texts()[5], "VIN");
    EXPECT_EQ(texts()[6], std::string(72, '7'));
    EXPECT_EQ(texts()[7], std::string(68, '7'));
    const int license_y = vin_y + 2 * kLine + 2 * kLine;
    EXPECT_EQ(text("License: ").y, license_y);
    EXPECT_EQ(text("Date").y, license_y + 2 * kLine);
}

// ---- pages -------------------------------------------------------------------------------------------------------

TEST_F(VehiclePrint, ARecordThatWouldEndTooNearTheBottomStartsPageTwoWithoutTheHeading) {
    std::string file = vehicle_chunk(1, "Honda");
    for (int i = 0; i < 60; ++i) file += service_chunk(1, 10 + i, 1 + i % 28, 100000 + i, 1000, "Service " + std::to_string(i), true);
    load(file);
    ASSERT_TRUE(print());
    EXPECT_EQ(printer.pages, 2);
    // Rows of page one run from 2 lines under the table heading; each needs two lines free below it.
    const int first_row = 150 + 450 + 2 * kLine + 87;
    const int rows_on_first = (3150 - 2 * kLine - first_row) / kLine + 1;
    EXPECT_EQ(page_of_text("Service " + std::to_string(rows_on_first - 1)), 0);
    EXPECT_EQ(page_of_text("Service " + std::to_string(rows_on_first)), 1);
    EXPECT_EQ(text("Service " + std::to_string(rows_on_first)).y, 150) << "page two starts at the top";
    EXPECT_EQ(page_of_text("Page 2"), 1);
    EXPECT_EQ(text("Page 2").y, 3150 - kLine);
    EXPECT_EQ(text("Page 2").x, 150 + 1125 - 3 * kNormalChar);
    for (const char* head : {"2020 Honda Civic", "VIN: ", "Date", "Record"}) {
        int count = 0;
        for (const Call& c : printer.texts()) count += c.text == head ? 1 : 0;
        EXPECT_EQ(count, 1) << head << " only on the first page";
    }
}

TEST_F(VehiclePrint, OutlinesFrameTheFirstPageOnly) {
    std::string file = vehicle_chunk(1, "Honda");
    for (int i = 0; i < 60; ++i) file += service_chunk(1, 10 + i, 1, 0, 0, "Wash", true);
    load(file);
    PrintSettings record = default_print_settings(kLayoutVehicleRecords);
    record.set_printer("Office Laser");
    record.set_outlines(true);
    ASSERT_TRUE(print_vehicle_records(vehicle_manager(), record));
    ASSERT_EQ(printer.pages, 2);
    int first = 0, second = 0;
    for (std::size_t i = 0; i < printer.calls.size(); ++i) {
        if (printer.calls[i].kind != "frame") continue;
        (printer.page_of(i) == 0 ? first : second) += 1;
        EXPECT_EQ(printer.calls[i].rect, (Rect{0, 0, 2550, 3300}));
    }
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
}

// ---- nothing to print ----------------------------------------------------------------------------------------

TEST_F(VehiclePrint, NothingSelectedOrNoDataIsSaidAndNoPrinterIsOpened) {
    EXPECT_FALSE(print());
    main_window().quit_requested = false;
    EXPECT_TRUE(shown("No Data To Print"));

    load(vehicle_chunk(1, "Honda") + service_chunk(1, 5, 7, 0, 0, "Wash") + fuel_chunk(2, 6, 8, true));
    EXPECT_FALSE(print());
    main_window().quit_requested = false;
    EXPECT_TRUE(shown("No records have been selected")) << "the selected fill-up is another vehicle's";
    // The button says so before the settings screen.
    os.drawn_texts.clear();
    print_vehicle_records(vehicle_manager());
    main_window().quit_requested = false;
    EXPECT_TRUE(shown("No records have been selected"));
    EXPECT_FALSE(shown("Print Settings - Vehicle Records"));
    EXPECT_TRUE(printer.opened.empty());
}

TEST_F(VehiclePrint, APrinterThatCannotStartIsLogged) {
    load(vehicle_chunk(1, "Honda") + service_chunk(1, 5, 7, 0, 0, "Wash", true));
    PrintSettings record = default_print_settings(kLayoutVehicleRecords);
    record.set_printer("Office Laser");
    printer.document_fails = true;
    EXPECT_FALSE(print_vehicle_records(vehicle_manager(), record));
    main_window().quit_requested = false;
    EXPECT_NE(read(path("status.log")).find("Printer_Start failed"), std::string::npos);
    EXPECT_FALSE(printer.device_open);
}

}  // namespace
}  // namespace domora
