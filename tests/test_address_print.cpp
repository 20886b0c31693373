// The address layouts: labels, envelopes, the address book and the member
// list, laid out through the headless print recorder.
#include <string>
#include <vector>

#include "addresses/address_print.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "platform/headless/headless_print.h"
#include "printing/print_job.h"
#include "printing/print_settings_screen.h"
#include "ui/popups.h"
#include "ui_fixture.h"

namespace domora {
namespace {

AddressValues person(const std::string& first, const std::string& last, const std::string& company = "") {
    AddressValues v;
    v[kFieldFirst] = first;
    v[kFieldLast] = last;
    v[kFieldCompany] = company;
    return v;
}

class AddressPrint : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        set_print_service(&printer);
        status_log_set_path(path("status.log"));
        app_paths().address_file = path("address10.dat");
        reset_label_map();
    }
    void TearDown() override {
        set_print_service(nullptr);
        UiTest::TearDown();
    }
    // The addresses as the address file, in this order; selected ones marked.
    void load(const std::vector<AddressValues>& people, const std::vector<bool>& selected = {}) {
        std::string file;
        for (std::size_t i = 0; i < people.size(); ++i) {
            const bool sel = selected.empty() || selected[i];
            file += build_address_record(static_cast<std::int32_t>(i + 1), true, sel ? kSelectedMark : 0, people[i]);
        }
        write(path("address10.dat"), file);
        ASSERT_TRUE(store.load().ok());
    }
    std::vector<std::string> drawn() const {
        std::vector<std::string> out;
        for (const auto& t : printer.texts()) out.push_back(t.text);
        return out;
    }
    HeadlessPrintService printer;
    AddressStore store;
};

TEST_F(AddressPrint, LabelLines) {
    AddressValues a = person("Ann", "Lee", "Acme");
    a[kFieldAddress1] = "1 Main St";
    a[kFieldAddress2] = "Suite 2";
    a[kFieldCity] = "Springfield";
    a[kFieldState] = "IL";
    a[kFieldZip] = "62701";
    a[kFieldCountry] = "USA";
    EXPECT_EQ(label_lines(a), (std::vector<std::string>{"Ann Lee - Acme", "1 Main St", "Suite 2", "Springfield, IL 62701", "USA"}));
    a[kFieldCountry] = "";
    EXPECT_EQ(label_lines(a).size(), 5u);
    EXPECT_EQ(label_lines(a)[0], "Ann Lee");
    // Blanks and commas go from both ends; a city line of only ", " disappears.
    AddressValues b = person("", "Lee");
    EXPECT_EQ(label_lines(b), std::vector<std::string>{"Lee"});
    b[kFieldZip] = "62701";
    EXPECT_EQ(label_lines(b), (std::vector<std::string>{"Lee", "62701"}));
    // Envelopes print no city line without City and State, even with a Zip.
    EXPECT_EQ(envelope_lines(b), std::vector<std::string>{"Lee"});
    b[kFieldState] = "IL";
    EXPECT_EQ(envelope_lines(b), (std::vector<std::string>{"Lee", ", IL 62701"}));
}

TEST_F(AddressPrint, TwoCopiesOfThreeAddressesFillSixLabelsInViewOrder) {
    load({person("Ann", "Adams"), person("Bob", "Baker"), person("Cy", "Cole"), person("Di", "Dunn")}, {true, false, true, true});
    PrintSettings r = default_print_settings(kLayoutLabel5160);
    r.set_copies(2);
    ASSERT_TRUE(print_labels(store, kLayoutLabel5160, r));
    EXPECT_EQ(drawn(), (std::vector<std::string>{"Ann Adams", "Ann Adams", "Cy Cole", "Cy Cole", "Di Dunn", "Di Dunn"}));
    const auto texts = printer.texts();
    // 5160 at 300 dpi: first card at (56, 150), cards 826 apart, text inside the 38-pixel margin.
    EXPECT_EQ(texts[0].x, 56 + 38);
    EXPECT_EQ(texts[1].x, 56 + 826 + 38);
    EXPECT_EQ(texts[3].x, 56 + 38);
    // One 12-point line centred in the 224-pixel text region.
    EXPECT_EQ(texts[0].y, (188 + 412) / 2 - 50 / 2);
    EXPECT_EQ(texts[3].y, 450 + (188 + 412) / 2 - 50 / 2 - 150);
    EXPECT_EQ(texts[0].width, 50);
    EXPECT_EQ(printer.pages, 1);
    EXPECT_EQ(printer.live_fonts(), 0);
    const std::string log = read(path("status.log"));
    EXPECT_NE(log.find("\r\n\r\nCurrent Label:  0 - State:  1 - Label Copies:  2\r\n"), std::string::npos);
    EXPECT_NE(log.find("Current Label:  5 - State:  1 - Label Copies:  2\r\n"), std::string::npos);
}

TEST_F(AddressPrint, UsedPositionsAreSkippedOnTheFirstSheetOnly) {
    std::vector<AddressValues> people;
    for (int i = 0; i < 30; ++i) people.push_back(person("P", "L" + std::to_string(100 + i)));
    load(people);
    for (int i = 0; i < 4; ++i) label_map()[static_cast<std::size_t>(i)] = 0;
    PrintSettings r = default_print_settings(kLayoutLabel5160);
    ASSERT_TRUE(print_labels(store, kLayoutLabel5160, r));
    const auto texts = printer.texts();
    ASSERT_EQ(texts.size(), 30u);
    // The first address goes on position 5 (row 1, column 1).
    EXPECT_EQ(texts[0].x, 56 + 826 + 38);
    EXPECT_EQ(texts[0].text, "P L100");
    // After 26 labels the second sheet starts at position 1.
    EXPECT_EQ(texts[26].x, 56 + 38);
    EXPECT_EQ(texts[26].y, texts[0].y - 300);
    std::size_t index = 0;
    int seen = 0;
    for (std::size_t i = 0; i < printer.calls.size(); ++i) {
        if (printer.calls[i].kind == "text" && seen++ == 26) index = i;
    }
    EXPECT_EQ(printer.page_of(index), 1);
    EXPECT_EQ(label_map()[0], 1) << "the map is blank again after the first sheet";
}

TEST_F(AddressPrint, LongLinesShrinkTheFontAndOutlinesFrameEachLabel) {
    AddressValues a = person("Bartholomew-Maximilian", "Featherstonehaugh-Worthington");
    load({a});
    PrintSettings r = default_print_settings(kLayoutLabel5160);
    r.set_outlines(true);
    ASSERT_TRUE(print_labels(store, kLayoutLabel5160, r));
    const auto texts = printer.texts();
    ASSERT_EQ(texts.size(), 1u);
    // 52 characters at half the em height each must fit 712 pixels: 6 points is the floor.
    EXPECT_EQ(texts[0].width, points_to_pixels(300, 6));
    const auto frames = printer.calls_of("frame");
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].rect.left, 56);
    EXPECT_EQ(frames[0].rect.right, 56 + 788);
    EXPECT_EQ(frames[0].width, 3);
}

TEST_F(AddressPrint, EnvelopesCentreTheAddressAndPrintTheReturnAddress) {
    AddressValues a = person("Ann", "Lee");
    a[kFieldAddress1] = "1 Main St";
    a[kFieldZip] = "62701";
    load({a});
    settings().return_address = " Tom Fox |12 Elm Rd||Dover, DE 19901|";
    PrintSettings r = default_print_settings(kLayoutEnvelope10);
    ASSERT_TRUE(print_envelopes(store, kLayoutEnvelope10, r));
    ASSERT_EQ(printer.opened.size(), 1u);
    EXPECT_EQ(printer.opened[0].orientation, kLandscape);
    const auto texts = printer.texts();
    ASSERT_EQ(texts.size(), 5u) << "no city line without City and State, though Zip is filled";
    EXPECT_EQ(texts[0].text, "Ann Lee");
    EXPECT_EQ(texts[1].text, "1 Main St");
    // Card at (450, 656), 2850 x 1238 pixels with 75-pixel margins; 14 points is 58 pixels.
    const int mid_x = (450 + 75 + 450 + 2850 - 75) / 2, mid_y = (656 + 75 + 656 + 1238 - 75) / 2;
    EXPECT_EQ(texts[0].x, mid_x - 9 * 29 / 2);
    EXPECT_EQ(texts[0].y, mid_y - 58 * 2 / 2);
    EXPECT_EQ(texts[1].y, texts[0].y + 58);
    EXPECT_EQ(texts[2].text, "Tom Fox");
    EXPECT_EQ(texts[2].x, 450 + 75);
    EXPECT_EQ(texts[2].y, 656 + 75);
    EXPECT_EQ(texts[2].width, 50);
    EXPECT_EQ(texts[3].text, "12 Elm Rd");
    EXPECT_EQ(texts[3].y, 656 + 75 + 50);
    EXPECT_EQ(texts[4].text, "Dover, DE 19901");
    EXPECT_EQ(texts[4].y, 656 + 75 + 2 * 50) << "empty parts take no line";
}

// ---- geometry where the two directions differ ---------------------------------------------------------------
// Default layouts have equal left and right margins and test printers equal
// offsets, so a slip from one direction to the other shows only here.

// Where label `index` of a 5160 sheet printed at 300 dpi goes: its card's
// corner and the text area inside margins of (left, right, top, bottom) pixels.
struct LabelPlace {
    int page = 0;
    Rect card;
    Rect text;
};

LabelPlace label_place(int index, int corner_x, int corner_y, int left, int right, int top, int bottom) {
    const int on_sheet = index % 30;
    LabelPlace p;
    p.page = index / 30;
    const int x = corner_x + (on_sheet % 3) * (788 + 38);
    const int y = corner_y + (on_sheet / 3) * 300;
    p.card = Rect{x, y, x + 788, y + 300};
    p.text = Rect{x + left, y + top, x + 788 - right, y + 300 - bottom};
    return p;
}

// Checks every label's frame, text clip, first line and page against where it belongs.
void expect_labels_at(const HeadlessPrintService& printer, int count, int corner_x, int corner_y, int left, int right,
                      int top, int bottom) {
    std::vector<std::size_t> frames, texts;
    for (std::size_t i = 0; i < printer.calls.size(); ++i) {
        if (printer.calls[i].kind == "frame") frames.push_back(i);
        if (printer.calls[i].kind == "text") texts.push_back(i);
    }
    ASSERT_EQ(frames.size(), static_cast<std::size_t>(count));
    ASSERT_EQ(texts.size(), static_cast<std::size_t>(count)) << "one line a label";
    for (int i = 0; i < count; ++i) {
        const LabelPlace want = label_place(i, corner_x, corner_y, left, right, top, bottom);
        const std::size_t frame = frames[static_cast<std::size_t>(i)];
        const auto& f = printer.calls[frame].rect;
        EXPECT_EQ(std::vector<int>({f.left, f.top, f.right, f.bottom}),
                  std::vector<int>({want.card.left, want.card.top, want.card.right, want.card.bottom}))
            << "label " << i;
        // The text area's clip comes just before the frame, two pixels larger to the right and bottom.
        ASSERT_GE(frame, 2u);
        const auto& c = printer.calls[frame - 2];
        ASSERT_EQ(c.kind, "clip");
        EXPECT_EQ(std::vector<int>({c.rect.left, c.rect.top, c.rect.right, c.rect.bottom}),
                  std::vector<int>({want.text.left, want.text.top, want.text.right + 2, want.text.bottom + 2}))
            << "label " << i;
        const auto& t = printer.calls[texts[static_cast<std::size_t>(i)]];
        EXPECT_EQ(t.x, want.text.left) << "label " << i;
        EXPECT_EQ(t.y, (want.text.top + want.text.bottom) / 2 - t.width / 2) << "label " << i;
        EXPECT_EQ(printer.page_of(texts[static_cast<std::size_t>(i)]), want.page) << "label " << i;
    }
}

std::vector<AddressValues> people_named(int count) {
    std::vector<AddressValues> people;
    for (int i = 0; i < count; ++i) people.push_back(person("P", "L" + std::to_string(100 + i)));
    return people;
}

TEST_F(AddressPrint, APrinterWhoseOffsetsDifferMovesTheCornerByEach) {
    printer.margin = 20;
    printer.margin_y = 90;
    load(people_named(4));
    PrintSettings r = default_print_settings(kLayoutLabel5160);
    r.set_outlines(true);
    ASSERT_TRUE(print_labels(store, kLayoutLabel5160, r));
    // The first card at (56 - 20, 150 - 90); default margins of 38 pixels all round.
    expect_labels_at(printer, 4, 36, 60, 38, 38, 38, 38);
}

TEST_F(AddressPrint, UnequalMarginsShapeTheTextAreaSideBySide) {
    load(people_named(4));
    PrintSettings r = default_print_settings(kLayoutLabel5160);
    r.set_outlines(true);
    r.set_margins(125, 500, 62, 250);  // 38, 150, 19 and 75 pixels
    ASSERT_TRUE(print_labels(store, kLayoutLabel5160, r));
    expect_labels_at(printer, 4, 56, 150, 38, 150, 19, 75);

    // A line of 26 characters fits 712 pixels at 12 points but not 600: it shrinks.
    printer.calls.clear();
    AddressValues wide = person("Abcdefghijkl", "Mnopqrstuvwxy");
    load({wide});
    ASSERT_TRUE(print_labels(store, kLayoutLabel5160, r));
    ASSERT_EQ(printer.texts().size(), 1u);
    EXPECT_EQ(printer.texts()[0].width, points_to_pixels(300, 11)) << "23 pixels a character, 26 of them in 600";

    // An envelope centres the address between its own left and right margins.
    printer.calls.clear();
    PrintSettings e = default_print_settings(kLayoutEnvelope10);
    e.set_margins(250, 750, 250, 250);  // 75 and 225 pixels
    ASSERT_TRUE(print_envelopes(store, kLayoutEnvelope10, e));
    ASSERT_FALSE(printer.texts().empty());
    const int widest = 26 * 29;  // 14 points is 58 pixels, a character half of it
    EXPECT_EQ(printer.texts()[0].x, (450 + 75 + 450 + 2850 - 225) / 2 - widest / 2);
}

TEST_F(AddressPrint, MoreLabelsThanASheetHoldsStartEachSheetAtItsCorner) {
    printer.margin = 20;
    printer.margin_y = 90;
    load(people_named(65));
    PrintSettings r = default_print_settings(kLayoutLabel5160);
    r.set_outlines(true);
    r.set_margins(125, 500, 62, 250);
    ASSERT_TRUE(print_labels(store, kLayoutLabel5160, r));
    EXPECT_EQ(printer.pages, 3);
    EXPECT_EQ(printer.calls_of("end_page").size(), 3u);
    expect_labels_at(printer, 65, 36, 60, 38, 150, 19, 75);
    EXPECT_EQ(printer.texts()[64].text, "P L164");
}

TEST_F(AddressPrint, BookEntriesKeepOneEmptyLineBetweenGroups) {
    AddressValues a = person("Ann", "Lee");
    a[kFieldAddress1] = "1 Main St";
    a[kFieldMisc1] = "Met in Rome";
    EXPECT_EQ(book_entry_lines(a), (std::vector<std::string>{"*Lee, Ann", "1 Main St", "", "Met in Rome", ""}));
    a[kFieldHomePhone] = "555-1234";
    a[kFieldCity] = "";
    a[kFieldState] = "IL";
    a[kFieldZip] = "62701";
    EXPECT_EQ(book_entry_lines(a),
              (std::vector<std::string>{"*Lee, Ann", "1 Main St", "IL  62701", "", "Home: 555-1234", "", "Met in Rome", ""}));
    EXPECT_EQ(book_name(person("Ann", "")), "Ann");
    EXPECT_EQ(book_name(person("", "")), "");
    EXPECT_EQ(book_entry_lines(person("", "", "Acme"))[0], "Acme");
}

TEST_F(AddressPrint, FullBarHeadingsStartEveryPage) {
    std::vector<AddressValues> people;
    for (int i = 0; i < 40; ++i) {
        AddressValues a = person("P" + std::to_string(i), "Lee");
        a[kFieldAddress1] = "1 Main St";
        a[kFieldEmail] = "p@example.com";
        people.push_back(a);
    }
    load(people);
    PrintSettings r = default_print_settings(kLayoutAddressBook);
    ASSERT_TRUE(print_address_book(store, kLayoutAddressBook, r));
    ASSERT_GE(printer.pages, 2);
    // A bar is a black fill 1.2 font heights tall with the letter on it in white.
    int bars = 0, letters = 0;
    for (const auto& c : printer.calls) {
        if (c.kind == "fill" && c.rect.bottom - c.rect.top == 70) ++bars;
        if (c.kind == "text" && c.colour == kPrintWhite && c.text == "L") ++letters;
    }
    EXPECT_EQ(bars, printer.pages) << "one bar on every page, though every entry starts with L";
    EXPECT_EQ(letters, printer.pages);
    // The values of the labelled lines line up after "Email: ".
    const auto texts = printer.texts();
    for (const auto& t : texts) {
        if (t.text == "p@example.com") {
            EXPECT_EQ(t.x, 300 + 7 * 29);
        }
    }
    EXPECT_EQ(texts[1].text, "Lee, P0");
    EXPECT_EQ(texts[1].width, 70) << "the heading in the large bold font";
}

TEST_F(AddressPrint, MemberListColumnsAndRules) {
    AddressValues a = person("Ann", "Lee");
    a[kFieldEmail] = "ann@example.com";
    a[kFieldHomePhone] = "555-1";
    a[kFieldCity] = "Rome";
    AddressValues company = person("", "", "Acme Corporation Worldwide");
    AddressValues wide = person("X", "Y");
    wide[kFieldEmail] = std::string(90, 'e');  // unselected, yet it widens the Email column
    load({a, company, wide}, {true, true, false});
    PrintSettings r = default_print_settings(kLayoutMemberList);
    ASSERT_TRUE(print_member_list(store, kLayoutMemberList, r));
    std::vector<HeadlessPrintService::Call> texts;
    for (const auto& t : printer.texts()) {
        if (!t.text.empty()) texts.push_back(t);
    }
    // 12 points at 300 dpi: 50-pixel em, 25 pixels a character; text left at 150.
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts[0].text, "Lee");
    EXPECT_EQ(texts[0].x, 150);
    EXPECT_EQ(texts[1].text, "Ann");
    EXPECT_EQ(texts[1].x, 150 + 7 * 25);
    // Email would be 94 characters wide (2350 pixels) and run past the right edge at 2400:
    // it is left out, and the narrower phone column still prints.
    EXPECT_EQ(texts[2].text, "555-1");
    EXPECT_EQ(texts[2].x, 150 + 14 * 25);
    EXPECT_EQ(texts[3].text, "Rome");
    EXPECT_EQ(texts[4].text, "Acme Corporation Worldwide");
    EXPECT_EQ(texts[4].x, 150);
    // The company is clipped at the end of the First column less the four blanks.
    const auto& calls = printer.calls;
    for (std::size_t i = 1; i < calls.size(); ++i) {
        if (calls[i].kind == "text" && calls[i].text == "Acme Corporation Worldwide") {
            EXPECT_EQ(calls[i - 1].kind, "clip");
            EXPECT_EQ(calls[i - 1].rect.right, 150 + 14 * 25 - 4 * 25);
        }
    }
    // Rules follow both printed rows: the company is not the last address of the view.
    int rules = 0;
    for (const auto& c : calls) rules += c.kind == "fill" ? 1 : 0;
    EXPECT_EQ(rules, 2);
}

TEST_F(AddressPrint, ThePrintButtonFlowStoresTheSettingsAndPrints) {
    load({person("Ann", "Lee")});
    store.set_current(0);
    // The choice: the 5160 labels are the fourth entry; then OK on the settings screen.
    for (int i = 0; i < 3; ++i) os.push_key(kKeyDown);
    os.push_key(kKeyReturn);
    os.push_char('o');
    print_selected_addresses(store);
    EXPECT_EQ(drawn(), std::vector<std::string>{"Ann Lee"});
    EXPECT_FALSE(settings().label_5160.empty()) << "the settings were stored";
    EXPECT_EQ(load_print_settings(kLayoutLabel5160, settings().label_5160).printer(), "Office Laser");
}

TEST_F(AddressPrint, NothingToPrint) {
    print_selected_addresses(store);
    EXPECT_TRUE(printer.calls.empty());
    ASSERT_EQ(os.message_boxes.size(), 1u);
    EXPECT_EQ(os.message_boxes[0].text, "There are no addresses to print");
}

}  // namespace
}  // namespace domora
