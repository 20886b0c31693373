// The print settings screen driven with scripted clicks and keys.
#include <string>

#include "app/settings.h"
#include "app/status_log.h"
#include "platform/headless/headless_print.h"
#include "printing/device_mode.h"
#include "printing/print_job.h"
#include "printing/print_settings_screen.h"
#include "ui/file_browser.h"
#include "ui/popups.h"
#include "ui_fixture.h"

namespace domora {
namespace {

constexpr int kPrinterRow = 100;
constexpr int kOrientationRow = 102;
constexpr int kHorizontalPositionRow = 105;
constexpr int kCopiesRow = 115;
constexpr int kSheet = 140;

class PrintSettingsScreen : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        set_print_service(&printer);
        status_log_set_path(path("status.log"));
        reset_label_map();
    }
    void TearDown() override {
        set_print_service(nullptr);
        UiTest::TearDown();
    }
    // Where a widget of the screen sits: the screen is shown once and left with Escape.
    Rect locate(int layout_id, PrintSettings record, int id) {
        os.push_key(kKeyEscape);
        print_settings_screen(layout_id, "Layout", &record);
        const int index = FindWidget(id);
        return index < 0 ? Rect{} : widgets()[static_cast<std::size_t>(index)].rect();
    }
    void click(const Rect& r, int button = 1) { os.push_click((r.left + r.right) / 2, (r.top + r.bottom) / 2, button); }
    std::string row_text(int id) {
        const int index = FindWidget(id);
        return index < 0 ? std::string() : widgets()[static_cast<std::size_t>(index)].text;
    }
    HeadlessPrintService printer;
};

TEST_F(PrintSettingsScreen, RowsShowTheRecordAndPickersChangeIt) {
    PrintSettings r = default_print_settings(kLayoutLabel5160);
    const Rect copies = locate(kLayoutLabel5160, r, kCopiesRow);
    EXPECT_EQ(row_text(kCopiesRow), "Copies: 1 labels for each address");
    EXPECT_EQ(row_text(kPrinterRow), "Printer: Office Laser");
    EXPECT_EQ(row_text(kPrinterRow + 1), "Paper: Letter - 8.5\" x 11\"");
    EXPECT_EQ(row_text(kHorizontalPositionRow), "Horizontal Position: 0.188\"");
    EXPECT_EQ(row_text(kPrinterRow + 4), "Font Size: 12 point");
    EXPECT_EQ(row_text(kPrinterRow + 16), "Index Headings: None");
    const Rect hpos = locate(kLayoutLabel5160, r, kHorizontalPositionRow);

    // Each list opens on the row's value: one down is the second count, and
    // Enter alone keeps the position of three sixteenths of an inch; OK prints.
    click(copies);
    os.push_key(kKeyDown);
    os.push_key(kKeyReturn);
    click(hpos);
    os.push_key(kKeyReturn);
    os.push_char('o');
    EXPECT_EQ(print_settings_screen(kLayoutLabel5160, "Labels", &r), kPrintSettingsPrint);
    EXPECT_EQ(r.copies(), 2);
    EXPECT_EQ(r.horizontal_position(), 188) << "entry 3 is 187.5, stored even";
}

TEST_F(PrintSettingsScreen, TheKeyboardReachesEveryRow) {
    PrintSettings r = default_print_settings(kLayoutLabel5160);
    // Up from nowhere lands on the last row, Index Headings; Space opens its picker.
    os.push_key(kKeyUp);
    os.push_key(kKeySpace);
    os.push_key(kKeyDown);  // from None, where the list opens, to Full Bar
    os.push_key(kKeyReturn);
    os.push_key(kKeyReturn);
    EXPECT_EQ(print_settings_screen(kLayoutLabel5160, "Labels", &r), kPrintSettingsPrint);
    EXPECT_EQ(r.index_headings(), 1);
}

TEST_F(PrintSettingsScreen, LandscapeOnAnEnvelopeSwapsThePaper) {
    PrintSettings r = default_print_settings(kLayoutEnvelopeC5);
    const Rect orientation = locate(kLayoutEnvelopeC5, r, kOrientationRow);
    click(orientation);
    os.push_key(kKeyUp);  // from Landscape, an envelope's own
    os.push_key(kKeyReturn);
    os.push_char('c');
    EXPECT_EQ(print_settings_screen(kLayoutEnvelopeC5, "Envelopes", &r), kPrintSettingsCancel);
    EXPECT_EQ(r.orientation(), kPortrait);
    EXPECT_EQ(r.paper_width(), 8270);
    EXPECT_EQ(r.paper_height(), 11690);
}

TEST_F(PrintSettingsScreen, ARightClickMarksALabelAsUsed) {
    PrintSettings r = default_print_settings(kLayoutLabel5160);
    const Rect sheet = locate(kLayoutLabel5160, r, kSheet);
    ASSERT_GT(sheet.right, sheet.left);
    // Position 4 is the second label of the second row.
    const double s = (sheet.right - sheet.left) / 8500.0;
    const int x = sheet.left + static_cast<int>((188 + 2625 + 125 + 1300) * s);
    const int y = sheet.top + static_cast<int>((500 + 1000 + 500) * s);
    os.push_click(x, y, 2);
    os.push_click(x, y, 1);  // the left button leaves it alone
    os.push_key(kKeyEscape);
    print_settings_screen(kLayoutLabel5160, "Labels", &r);
    EXPECT_EQ(label_map()[4], 0);
    for (int i = 0; i < 30; ++i) {
        if (i != 4) {
            EXPECT_EQ(label_map()[static_cast<std::size_t>(i)], 1) << i;
        }
    }
    EXPECT_NE(os.pixel(x, y), rgb(255, 255, 255)) << "a used label shows in another shade";
    os.push_click(x, y, 2);
    os.push_key(kKeyEscape);
    print_settings_screen(kLayoutLabel5160, "Labels", &r);
    EXPECT_EQ(label_map()[4], 1);
    // Layouts without labels have no sheet.
    PrintSettings book = default_print_settings(kLayoutAddressBook);
    EXPECT_EQ(locate(kLayoutAddressBook, book, kSheet).right, 0);
}

TEST_F(PrintSettingsScreen, DefaultsAskFirstAndKeepTheCurrentDefaultPrinter) {
    PrintSettings r = default_print_settings(kLayoutLabel5163);
    r.set_copies(9);
    r.set_printer("Den Printer");
    printer.installed = {"Office Laser", "Den Printer"};
    printer.default_name = "Office Laser";
    os.push_char('d');
    os.push_key(kKeyEscape);  // the question is not answered: nothing changes
    os.push_char('d');
    os.push_key(kKeyReturn);  // Enter is Cancel: resetting is not what a stray key should do
    os.push_call([&] { EXPECT_EQ(r.copies(), 9); });
    os.push_char('d');
    os.push_char('o');  // OK
    os.push_char('c');
    EXPECT_EQ(print_settings_screen(kLayoutLabel5163, "Labels", &r), kPrintSettingsCancel);
    EXPECT_EQ(r.copies(), 1);
    EXPECT_EQ(r.printer(), "Office Laser");
}

TEST_F(PrintSettingsScreen, OnALowScreenEveryRowAndTheOkButtonAreInsideTheWindow) {
    PrintSettings r = default_print_settings(kLayoutLabel5160);
    for (const int height : {970, 700}) {
        os.client_height = height;
        read_client_size();
        rebuild_surface();
        const Rect ok = locate(kLayoutLabel5160, r, 131);
        EXPECT_LE(ok.bottom, height - 10) << height;
        Rect above = locate(kLayoutLabel5160, r, kPrinterRow);
        for (int row = kPrinterRow + 1; row <= kPrinterRow + 16; ++row) {
            const Rect here = locate(kLayoutLabel5160, r, row);
            EXPECT_GE(here.top, above.bottom) << "row " << row << " at " << height;
            above = here;
        }
        EXPECT_GE(ok.top, above.bottom);
    }
    // And OK, clicked there, prints.
    const Rect ok = locate(kLayoutLabel5160, r, 131);
    click(ok);
    EXPECT_EQ(print_settings_screen(kLayoutLabel5160, "Labels", &r), kPrintSettingsPrint);
}

TEST_F(PrintSettingsScreen, SavingAsPdfEndsByNamingTheFile) {
    settings().export_path = dir();
    PrintSettings r = default_print_settings(kLayoutVehicleRecords);
    r.set_printer(kSaveAsPdf);
    std::string folder = dir(), name;
    int result = 0;
    BrowseForFile("Save as PDF", folder, name, result);  // ends at once: where is its OK?
    main_window().quit_requested = false;
    const Rect ok = widgets()[static_cast<std::size_t>(FindWidget(750))].rect();
    click(ok);
    PrintJob job;
    ASSERT_TRUE(Printer_Start(r, job));
    next_card(job);
    end_document(job);
    ASSERT_EQ(os.message_boxes.size(), 1u);
    EXPECT_EQ(os.message_boxes[0].text, "Saved as PDF:\r\n" + path("Domora.pdf"));
}

TEST_F(PrintSettingsScreen, ChoosingAPrinterAsksForItsOptions) {
    printer.installed = {"Office Laser", "Den Printer"};
    printer.default_options["Den Printer"] = "print-color-mode=monochrome\n";
    printer.properties_options = "sides=two-sided-long-edge\n";
    PrintSettings r = default_print_settings(kLayoutLabel5160);
    const Rect row = locate(kLayoutLabel5160, r, kPrinterRow);
    click(row);
    os.push_key(kKeyDown);  // from Office Laser, the record's printer
    os.push_key(kKeyReturn);
    os.push_key(kKeyEscape);
    print_settings_screen(kLayoutLabel5160, "Labels", &r);
    ASSERT_EQ(printer.properties_calls.size(), 1u);
    EXPECT_EQ(printer.properties_calls[0].printer, "Den Printer");
    EXPECT_EQ(printer.properties_calls[0].options, "print-color-mode=monochrome\n");
    EXPECT_EQ(r.printer(), "Den Printer");
    EXPECT_EQ(device_mode_options(r.device_mode()), "sides=two-sided-long-edge\n");
    EXPECT_EQ(device_mode_field(r.device_mode(), kDmPaperSizeOffset), 1) << "validated after the choice";

    // Cancelled properties keep the printer; "Save as PDF" asks nothing.
    printer.properties_confirm = false;
    click(row);
    os.push_key(kKeyUp);
    os.push_key(kKeyReturn);
    os.push_key(kKeyEscape);
    print_settings_screen(kLayoutLabel5160, "Labels", &r);
    EXPECT_EQ(r.printer(), "Den Printer");
    click(row);
    os.push_key(kKeyDown);
    os.push_key(kKeyReturn);
    os.push_key(kKeyEscape);
    print_settings_screen(kLayoutLabel5160, "Labels", &r);
    EXPECT_EQ(r.printer(), kSaveAsPdf);
    EXPECT_EQ(printer.properties_calls.size(), 2u);
}

TEST_F(PrintSettingsScreen, WithoutARecordNothingIsShown) {
    EXPECT_EQ(print_settings_screen(kLayoutLabel5160, "Labels", nullptr), kPrintSettingsCancel);
    ASSERT_EQ(os.message_boxes.size(), 1u);
    EXPECT_EQ(os.message_boxes[0].text, "No printer settings buffer?");
}

}  // namespace
}  // namespace domora
