// The print settings record, its defaults and validation, and the print
// engine's grid walk, checked through the headless print recorder.
#include <string>
#include <vector>

#include "app/settings.h"
#include "app/status_log.h"
#include "platform/headless/headless_print.h"
#include "printing/device_mode.h"
#include "printing/print_job.h"
#include "printing/print_settings.h"
#include "printing/print_settings_screen.h"
#include "support.h"

namespace domora {
namespace {

class PrintEngine : public test::DomoraTest {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        set_print_service(&printer);
        status_log_set_path(path("status.log"));
        settings_set_path(path("setup313.dat"));
    }
    void TearDown() override {
        set_print_service(nullptr);
        DomoraTest::TearDown();
    }
    std::vector<std::string> log() const { return log_lines(path("status.log")); }
    bool logged(const std::string& line) const {
        for (const std::string& l : log()) {
            if (l == line) return true;
        }
        return false;
    }
    HeadlessPrintService printer;
};

TEST_F(PrintEngine, DefaultRecordKeepsItsByteLayout) {
    printer.default_options["Office Laser"] = "sides=two-sided-long-edge\n";
    const PrintSettings r = default_print_settings(kLayoutLabel5160);
    const std::string& b = r.bytes();
    ASSERT_GT(b.size(), kPrintSettingsSize + kDevModePublicSize);
    EXPECT_EQ(r.i32(0), static_cast<std::int32_t>(b.size()));
    EXPECT_EQ(b.substr(100, 13), std::string("Office Laser\0", 13));
    EXPECT_EQ(b.substr(328, 6), std::string("Arial\0", 6));
    EXPECT_EQ(r.i32(300), 12) << "the font description's height is the size in points";
    EXPECT_EQ(r.i32(316), 400);
    EXPECT_EQ(r.horizontal_position(), 188);
    EXPECT_EQ(r.vertical_position(), 500);
    EXPECT_EQ(r.card_width(), 2625);
    EXPECT_EQ(r.horz_count(), 3);
    EXPECT_EQ(r.vert_count(), 10);
    EXPECT_EQ(r.paper_width(), 8500);
    EXPECT_EQ(r.paper_height(), 11000);
    EXPECT_EQ(r.copies(), 1);
    // The device mode: public part where the classic structure has it, then our options.
    const std::string dm = r.device_mode();
    EXPECT_EQ(dm.substr(0, 13), std::string("Office Laser\0", 13));
    EXPECT_EQ(device_mode_fields_in_use(dm), kDmOrientation | kDmPaperSize);
    EXPECT_EQ(device_mode_field(dm, kDmOrientationOffset), 1);
    EXPECT_EQ(device_mode_field(dm, kDmPaperSizeOffset), 1);
    EXPECT_EQ(device_mode_options(dm), "sides=two-sided-long-edge\n");
    EXPECT_TRUE(logged("Default Printer Name: Office Laser"));

    // Stored and loaded again byte for byte.
    EXPECT_EQ(load_print_settings(kLayoutLabel5160, b).bytes(), b);
}

TEST_F(PrintEngine, DamagedValuesAndForeignDeviceModes) {
    const std::string defaults = default_print_settings(kLayoutLabel5161).bytes();
    EXPECT_EQ(load_print_settings(kLayoutLabel5161, "short").bytes(), defaults);
    std::string wrong_length = defaults;
    wrong_length.pop_back();
    EXPECT_EQ(load_print_settings(kLayoutLabel5161, wrong_length).bytes(), defaults)
        << "a total that disagrees with the bytes is not trusted";

    // Another system's driver data in the tail is carried but gives no options.
    std::string dm = make_device_mode("Office Laser", "");
    dm.resize(kDevModePublicSize);
    dm += std::string("\x01\x02\xff\x00", 4);
    dm[38] = 4;
    dm[39] = 0;
    EXPECT_TRUE(device_mode_valid(dm));
    EXPECT_EQ(device_mode_options(dm), "");
    // Size fields that run past the bytes make the device mode unusable, not a crash.
    dm[38] = 100;
    EXPECT_FALSE(device_mode_valid(dm));
    EXPECT_EQ(device_mode_field(dm, kDmPaperSizeOffset), 0);
    PrintSettings r = default_print_settings(kLayoutLabel5161);
    r.set_device_mode(dm);
    validate_print_settings(kLayoutLabel5161, r);
    EXPECT_EQ(r.device_mode(), dm) << "validation leaves a device mode it cannot read alone";
}

TEST_F(PrintEngine, Avery5160At300DpiWalksTheGridAndStartsANewPage) {
    PrintSettings r = default_print_settings(kLayoutLabel5160);
    PrintJob job;
    ASSERT_TRUE(Printer_Start(r, job));
    EXPECT_EQ(job.card_wide, 788);
    EXPECT_EQ(job.card_high, 300);
    EXPECT_EQ(job.horz_spacing, 38);
    EXPECT_EQ(job.page_left, 56);
    EXPECT_EQ(job.page_top, 150);
    EXPECT_EQ(job.line_width, 3);
    EXPECT_EQ(job.font_height, 50);
    EXPECT_EQ(job.large_font_height, 60);
    std::vector<Rect> cards;
    for (int i = 0; i < 31; ++i) {
        next_card(job);
        cards.push_back(job.card);
    }
    EXPECT_EQ(cards[1].left, 56 + 788 + 38);
    EXPECT_EQ(cards[3].left, 56);
    EXPECT_EQ(cards[3].top, 150 + 300);
    EXPECT_EQ(cards[29].top, 150 + 9 * 300);
    EXPECT_EQ(cards[30].left, 56) << "the 31st card starts a new page at the first position";
    EXPECT_EQ(cards[30].top, 150);
    EXPECT_EQ(job.page, 2);
    EXPECT_EQ(printer.pages, 2);
    EXPECT_EQ(job.text.left, 56 + 38);
    EXPECT_EQ(job.text.bottom, 150 + 300 - 38);
    // The card's clip, then the text region's, each enlarged as the walk does it.
    const auto clips = printer.calls_of("clip");
    ASSERT_GE(clips.size(), 2u);
    EXPECT_EQ(clips[clips.size() - 2].rect.right, 56 + 788 + 1);
    EXPECT_EQ(clips.back().rect.right, 56 + 788 - 38 + 2);
    end_document(job);
    EXPECT_EQ(printer.calls.back().kind, "close");
    EXPECT_EQ(printer.live_fonts(), 0);
    EXPECT_EQ(printer.calls_of("end_page").size(), 2u);
    EXPECT_TRUE(logged("=== Printer Start ==="));
    EXPECT_TRUE(logged("Psettings - Card Size:  2625 x  1000"));
    EXPECT_TRUE(logged("PRINTER START - pv.card_wide:  788 - pv.card_high:  300"));
    EXPECT_TRUE(logged("Card Position:  56 -  150"));
    EXPECT_TRUE(logged("Text Region:  94/ 188/ 806/ 412"));
    EXPECT_TRUE(logged("End Document:  1 =  0 - Success"));
}

TEST_F(PrintEngine, PhysicalOffsetsMoveThePageCorner) {
    printer.margin = 50;
    PrintSettings r = default_print_settings(kLayoutLabel5160);
    PrintJob job;
    ASSERT_TRUE(Printer_Start(r, job));
    EXPECT_EQ(job.page_left, 6);
    EXPECT_EQ(job.page_top, 100);
    EXPECT_TRUE(logged("Offset:  50 x  50"));
    end_document(job);
}

TEST_F(PrintEngine, LandscapeEnvelopesSwapThePaper) {
    const PrintSettings envelope = default_print_settings(kLayoutEnvelope10);
    EXPECT_EQ(envelope.paper_width(), 11000);
    EXPECT_EQ(envelope.paper_height(), 8500);
    PrintSettings dl = default_print_settings(kLayoutEnvelopeDl);
    EXPECT_EQ(dl.paper_width(), 11690);
    dl.set_orientation(kPortrait);
    validate_print_settings(kLayoutEnvelopeDl, dl);
    EXPECT_EQ(dl.paper_width(), 8270);
    EXPECT_EQ(dl.paper_height(), 11690);
    // Whole-page layouts take the paper as their card.
    PrintSettings book = default_print_settings(kLayoutAddressBook);
    book.set_paper(kPaperLegal);
    validate_print_settings(kLayoutAddressBook, book);
    EXPECT_EQ(book.card_height(), 14000);
}

TEST_F(PrintEngine, APrinterThatIsGoneGivesTheDefaultsWithTheCurrentPrinter) {
    PrintSettings r = default_print_settings(kLayoutLabel5163);
    r.set_printer("Old Inkjet");
    r.set_copies(7);
    r.set_paper(kPaperA4);
    r.set_orientation(kLandscape);
    printer.installed = {"Office Laser", "Den Printer"};
    printer.default_name = "Den Printer";
    validate_print_settings(kLayoutLabel5163, r);
    EXPECT_EQ(r.printer(), "Den Printer");
    EXPECT_EQ(r.copies(), 1);
    EXPECT_EQ(std::vector<int>({r.paper(), r.orientation(), r.paper_width(), r.paper_height()}),
              (std::vector<int>{kPaperA4, kLandscape, 11690, 8270}))
        << "the paper and its orientation are the user's, whatever the printer";
    EXPECT_EQ(device_mode_field(r.device_mode(), kDmPaperSizeOffset), kPaperA4);
    // Names compare without regard to case.
    r.set_printer("OFFICE LASER");
    r.set_copies(7);
    validate_print_settings(kLayoutLabel5163, r);
    EXPECT_EQ(r.copies(), 7);
    // "Save as PDF" is always there.
    r.set_printer(kSaveAsPdf);
    validate_print_settings(kLayoutLabel5163, r);
    EXPECT_EQ(r.printer(), kSaveAsPdf);
}

TEST_F(PrintEngine, WithoutADefaultTheFirstPrinterIsTheDefaultAndWithoutPrintersAPdfFile) {
    // A desktop whose CUPS has printers but names none the default.
    printer.installed = {"Office Laser", "Den Printer"};
    printer.default_name.clear();
    EXPECT_EQ(default_print_settings(kLayoutLabel5160).printer(), "Office Laser");

    printer.installed.clear();
    PrintSettings r = default_print_settings(kLayoutMemberList);
    EXPECT_EQ(r.printer(), kSaveAsPdf);
    r.set_printer("Gone");
    r.set_orientation(kLandscape);
    validate_print_settings(kLayoutMemberList, r);
    EXPECT_EQ(r.printer(), kSaveAsPdf);
    EXPECT_EQ(r.orientation(), kLandscape);
    EXPECT_EQ(r.card_width(), 11000) << "the whole sheet, turned";
    int defaults_built = 0;
    for (const std::string& l : log()) defaults_built += l == std::string("Default Printer Name: ") + kSaveAsPdf ? 1 : 0;
    EXPECT_EQ(defaults_built, 2) << "once for the first record, once for the rebuild; never again";
    validate_print_settings(kLayoutMemberList, r);
    EXPECT_EQ(defaults_built, 2);
}

TEST_F(PrintEngine, ACardWithoutSizeIsRefused) {
    PrintSettings r = default_print_settings(kLayoutLabel5160);
    r.set_card_width(0);
    PrintJob job;
    EXPECT_FALSE(Printer_Start(r, job));
    ASSERT_EQ(os.message_boxes.size(), 1u);
    EXPECT_EQ(os.message_boxes[0].text, "Your printer is not setup correctly.\r\nPlease check your printer settings.");
}

TEST_F(PrintEngine, FontSizesOutOfRangePrintAtTenPointsAndCopiesAreLimited) {
    for (int size : {0, 64}) {
        PrintSettings r = default_print_settings(kLayoutLabel5160);
        r.set_font_size(size);
        PrintJob job;
        ASSERT_TRUE(Printer_Start(r, job));
        EXPECT_EQ(r.font_size(), 10);
        EXPECT_EQ(job.font_height, 42);
        end_document(job);
    }
    for (auto [stored, valid] : {std::pair{0, 1}, std::pair{250, 100}, std::pair{55, 55}}) {
        PrintSettings r = default_print_settings(kLayoutLabel5160);
        r.set_copies(stored);
        validate_print_settings(kLayoutLabel5160, r);
        EXPECT_EQ(r.copies(), valid);
    }
    // Counts that would run past the label map are kept within a sheet of 256.
    PrintSettings r = default_print_settings(kLayoutLabel5160);
    r.set_horz_count(0);
    r.set_vert_count(1000);
    validate_print_settings(kLayoutLabel5160, r);
    EXPECT_EQ(r.horz_count(), 1);
    EXPECT_EQ(r.vert_count(), 256);
}

TEST_F(PrintEngine, LengthPickerOffersSixteenthsAndStoresHalvesToEven) {
    const PrintSettings r = default_print_settings(kLayoutLabel5160);
    const std::vector<std::string> h = length_choices(r, kRowHorizontalPosition);
    ASSERT_EQ(h.size(), 7u);
    EXPECT_EQ(h.front(), "0.000\"");
    EXPECT_EQ(h.back(), "0.375\"");
    EXPECT_EQ(length_of_entry(1), 62);
    EXPECT_EQ(length_of_entry(3), 188);
    EXPECT_EQ(length_of_entry(2), 125);
    // Margins up to a quarter of the card: 1000 / 4 = 250 gives five entries.
    EXPECT_EQ(length_choices(r, kRowTopMargin).size(), 5u);
    // Cards that overflow the paper still offer 0.
    PrintSettings wide = r;
    wide.set_card_width(5000);
    EXPECT_EQ(length_choices(wide, kRowHorizontalPosition).size(), 1u);
    EXPECT_EQ(inches_text(1500), "1.500\"");
    EXPECT_EQ(paper_name(kPaperA5), "A5 - 148mm \xD7 210 mm");
}

TEST_F(PrintEngine, FontChoicesLeaveOutVerticalVariants) {
    printer.families = {"Verdana", "@Arial Unicode", "arial", "Courier New", "Verdana"};
    EXPECT_EQ(font_choices("Office Laser"), (std::vector<std::string>{"arial", "Courier New", "Verdana"}));
}

}  // namespace
}  // namespace domora
