#include <string>
#include <vector>

#include "app/main_window.h"
#include "support.h"
#include "ui/popups.h"
#include "ui/widgets.h"

namespace domora {
namespace {

// Every dialog runs against the headless window: the script is queued first,
// and when it runs out the window closes, which ends whatever is still open.
class Popups : public test::DomoraTest {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        main_window() = MainWindowState{};
        input() = InputState{};
        main_window().client_width = os.client_width = 1600;
        main_window().client_height = os.client_height = 970;
        rebuild_surface();
        clear_field_buffer();
        popup_list() = PopupList{};
    }
    void TearDown() override {
        release_fonts();
        DomoraTest::TearDown();
    }

    // The records of one kind that the last dialog left in the table, in order.
    static std::vector<WidgetRecord> of_kind(int kind) {
        std::vector<WidgetRecord> found;
        for (const WidgetRecord& w : widgets()) {
            if (w.id == kEndMarker) break;
            if (w.kind == kind) found.push_back(w);
        }
        return found;
    }
    static WidgetRecord record(int id) {
        const int i = FindWidget(id);
        if (i < 0) {
            ADD_FAILURE() << "no widget " << id;
            return WidgetRecord{};
        }
        return widgets()[static_cast<std::size_t>(i)];
    }
    void click(const WidgetRecord& w) { os.push_click((w.x1 + w.x2) / 2, (w.y1 + w.y2) / 2); }
    // After a dialog that ended because the window closed, so the next one runs.
    static void reopen() { main_window().quit_requested = false; }
    // A single prompt over the queued script; returns the button chosen (0: none).
    static int prompt(int width) {
        int result = 0;
        ShowPopup("Enter a value", "", 1, "OK|Cancel", width, result);
        return result;
    }
};

// ---- layout -----------------------------------------------------------------------------------------

TEST_F(Popups, AMessageBoxIsCentredJustBelowTheMiddleWithOneLinePerPart) {
    int result = 0;
    ShowPopup("one||two", "", 1, "OK", 0, result);
    const std::vector<WidgetRecord> lines = of_kind(kKindLabel);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "one");
    EXPECT_EQ(lines[1].text, "") << "|| gives an empty line";
    EXPECT_EQ(lines[2].text, "two");
    EXPECT_EQ(lines[2].y1 - lines[0].y1, 2 * 20);

    const WidgetRecord panel = of_kind(kKindPanel).at(0);
    EXPECT_EQ(panel.x2 - panel.x1, 80 + 40);
    EXPECT_EQ(panel.y2 - panel.y1, 3 * 20 + 32 + 55);
    EXPECT_EQ(panel.x1 + panel.x2, 1600) << "centred horizontally";
    EXPECT_EQ(panel.y1, (970 - (panel.y2 - panel.y1)) / 2 + 10) << "10 below the exact centre";
    EXPECT_EQ(lines[0].y1, panel.y1 + 12);
    EXPECT_NEAR((lines[0].x1 + lines[0].x2 - 1) / 2.0, 800.0, 1.0);

    const WidgetRecord ok = record(5000);
    EXPECT_EQ(ok.x2 - ok.x1, 80) << "a short caption still gets an 80-pixel button";
    EXPECT_EQ(ok.y2 - ok.y1, 32);
    EXPECT_EQ(ok.y1, panel.y1 + 3 * 20 + 40);
    EXPECT_EQ(record(1).y2, 35) << "the header band still lets the window be moved";
}

TEST_F(Popups, AnEntryFormLinesUpLabelledFieldsAboveEqualButtons) {
    int result = 0;
    ShowPopup("Service record", "Date|Odometer|Description|Cost", 1, "Save|Cancel", 70, result);
    const std::vector<WidgetRecord> fields = of_kind(kKindTextInput);
    const std::vector<WidgetRecord> labels = of_kind(kKindLabel);
    ASSERT_EQ(fields.size(), 4u);
    ASSERT_EQ(labels.size(), 5u);  // the message line, then one per field
    const int top = of_kind(kKindPanel).at(0).y1;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(fields[i].x2 - fields[i].x1, 71 * 10) << "N + 1 letters X";
        EXPECT_EQ(fields[i].y1, top + 20 + 30 + 32 * static_cast<int>(i));
        EXPECT_EQ(labels[i + 1].x1 + 11 * static_cast<int>(labels[i + 1].text.size()), fields[i].x1 - 10)
            << labels[i + 1].text << " ends 10 left of its field";
    }
    const WidgetRecord save = record(5000), cancel = record(5001);
    EXPECT_EQ(save.y1, fields[0].y1 + 4 * 32 + 10);
    EXPECT_EQ(save.x2 - save.x1, 80);
    EXPECT_EQ(cancel.x1, save.x2) << "side by side, no gap";

    reopen();
    main_window().client_width = os.client_width = 800;
    rebuild_surface();
    EXPECT_EQ(prompt(99), 0);
    const WidgetRecord capped = of_kind(kKindTextInput).at(0);
    EXPECT_EQ(capped.x2 - capped.x1, 800 - 120) << "fields are capped to fit the window";
}

TEST_F(Popups, OnALowScreenTheFieldsMoveCloserAndTheButtonsStayInside) {
    // The address form's seventeen fields on 1024 x 768 with a panel and a title bar.
    std::string labels = "First";
    for (int i = 2; i <= 17; ++i) labels += "|Field " + std::to_string(i);
    for (const int height : {970, 700, 600}) {
        reopen();
        main_window().client_height = os.client_height = height;
        rebuild_surface();
        int result = 0;
        ShowPopup("Add Address|Enter the values below", labels, 1, "Save|Cancel", 40, result);
        const std::vector<WidgetRecord> fields = of_kind(kKindTextInput);
        ASSERT_EQ(fields.size(), 17u);
        for (std::size_t i = 1; i < fields.size(); ++i) EXPECT_GE(fields[i].y1, fields[i - 1].y2 + 2) << height;
        const WidgetRecord save = record(5000), panel = of_kind(kKindPanel).at(0);
        EXPECT_GE(save.y1, fields.back().y2) << height;
        EXPECT_LE(save.y2, panel.y2) << height;
        EXPECT_LE(panel.y2, height) << height;
        EXPECT_GE(panel.y1, 0) << height;
        if (height == 970) {
            EXPECT_EQ(fields[1].y1 - fields[0].y1, 32) << "room enough: the usual spacing";
        }
    }
}

TEST_F(Popups, AMessageLineWiderThanTheWindowStaysInsideAndEndsInAnEllipsis) {
    const std::string path = "/home/someone/" + std::string(200, 'd') + "/Addresses.vcf";
    int result = 0;
    os.drawn_texts.clear();
    ShowPopup("1 address exported to|" + path, "", 1, "OK", 0, result);
    const WidgetRecord panel = of_kind(kKindPanel).at(0);
    EXPECT_GE(panel.x1, 0);
    EXPECT_LE(panel.x2, 1600);
    const std::vector<WidgetRecord> lines = of_kind(kKindLabel);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].text, path) << "the table keeps the whole line";
    EXPECT_LE(lines[1].x2, panel.x2);
    bool cut = false;
    for (const auto& t : os.drawn_texts) cut = cut || (t.text.size() > 1 && t.text.back() == kEllipsis && path.rfind(t.text.substr(0, t.text.size() - 1), 0) == 0);
    EXPECT_TRUE(cut);
}

// ---- choosing a button ----------------------------------------------------------------------------

TEST_F(Popups, EnterChoosesTheDefaultButtonAndTheFlagsAreRestored) {
    os.environment["DOMORA_WIDGET_DUMP"] = path("dump.txt");
    os.push_key(kKeyReturn);
    int result = 0;
    ShowPopup("Delete this password?||Bank", "", 2, "Yes|No", 0, result);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(read(path("dump.txt")).substr(0, 17), "screen\t0\tpopup\t1\n") << "the flag is set while it runs";
    EXPECT_FALSE(main_window().popup_open);
    EXPECT_TRUE(main_window().screen_needs_redraw);

    main_window().popup_open = true;  // a popup over another popup
    os.push_key(kKeyReturn);
    ShowPopup("Sure?", "", 1, "Yes|No", 0, result);
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(main_window().popup_open) << "the earlier value comes back";
}

TEST_F(Popups, ALetterOrAClickPressesAButton) {
    os.push_text("l");
    int result = 0;
    ShowPopup("A new version is out", "", 1, "Read Now|Later", 0, result);
    EXPECT_EQ(result, 2);
    os.push_text("E");
    ShowPopup("Search", "", 1, "OK|Narrow|Widen|Exclude|Cancel", 0, result);
    EXPECT_EQ(result, 4);

    os.push_text("c");  // width 0: no fields whatever the labels say, so letters still press buttons
    ShowPopup("Note", "Name|Town", 1, "OK|Cancel", 0, result);
    EXPECT_EQ(result, 2);
    EXPECT_TRUE(of_kind(kKindTextInput).empty());

    result = 0;
    ShowPopup("Go ahead?", "", 1, "OK|Cancel", 0, result);  // nothing queued: just shows the buttons
    const WidgetRecord cancel = record(5001);
    reopen();
    click(cancel);
    ShowPopup("Go ahead?", "", 1, "OK|Cancel", 0, result);
    EXPECT_EQ(result, 2);
    EXPECT_FALSE(main_window().quit_requested) << "the click ended it, not the script";
}

TEST_F(Popups, EscapeChoosesCancelOrNoClosesAMessageAndOtherwiseWaits) {
    struct Case {
        const char* buttons;
        int expected;
    };
    for (const Case& c : {Case{"Yes|No", 2}, Case{"OK|Cancel", 2}, Case{"All|Selected|Cancel", 3}, Case{"OK", 1}}) {
        reopen();
        os.push_key(kKeyEscape);
        os.push_char(27);
        int result = 0;
        ShowPopup("Question", "", 1, c.buttons, 0, result);
        EXPECT_EQ(result, c.expected) << c.buttons;
        EXPECT_FALSE(main_window().quit_requested) << c.buttons << ": Escape ended it, not the script";
    }
    reopen();
    os.push_key(kKeyEscape);  // nothing to cancel with: Escape does nothing
    os.push_key(kKeyReturn);
    int result = 0;
    ShowPopup("A new version is out", "", 1, "Read Now|Later", 0, result);
    EXPECT_EQ(result, 1);

    reopen();
    os.push_key(kKeyEscape);  // in a field it empties the field and the dialog stays
    os.push_key(kKeyReturn);
    set_field_text(0, "typed");
    EXPECT_EQ(prompt(20 + 100), 1);
    EXPECT_EQ(field_text(0), "");
}

TEST_F(Popups, TheDefaultButtonHasAFocusFrameAndMnemonicsAreUnderlined) {
    int result = 0;
    ShowPopup("Delete this password?", "", 2, "Yes|No", 0, result);  // shows, then the window closes
    const WidgetRecord yes = record(5000), no = record(5001);
    EXPECT_EQ(yes.checked, 0);
    EXPECT_EQ(no.checked, 1) << "Enter chooses No";
    const FontHandle font = fonts().button;
    const int caption = MeasureText(font, "Yes").width, letter = MeasureText(font, "Y").width;
    const int left = (yes.x1 + yes.x2) / 2 - caption / 2;
    const int height = FontHeight(font);
    const int underline = yes.y1 + (32 - height) / 2 + height - std::max(2, height / 8);
    int frame_dots = 0, other_dots = 0;
    std::uint32_t under_y = 0, under_e = 0;
    os.push_call([&] {
        // The dotted frame just inside the default button's border, and none on the other.
        for (int x = no.x1 + 3; x < no.x2 - 3; ++x) frame_dots += os.pixel(x, no.y1 + 3) == rgb(0, 0, 0) ? 1 : 0;
        for (int x = yes.x1 + 3; x < yes.x2 - 3; ++x) other_dots += os.pixel(x, yes.y1 + 3) == rgb(0, 0, 0) ? 1 : 0;
        under_y = os.pixel(left + letter / 2, underline);
        under_e = os.pixel(left + letter + MeasureText(font, "e").width / 2, underline);
    });
    reopen();
    ShowPopup("Delete this password?", "", 2, "Yes|No", 0, result);
    EXPECT_GT(frame_dots, 10);
    EXPECT_EQ(other_dots, 0);
    EXPECT_EQ(under_y, rgb(0, 0, 0)) << "the Y of Yes is underlined";
    EXPECT_NE(under_e, rgb(0, 0, 0)) << "and only the Y";

    reopen();
    set_field_text(0, "x");
    ShowPopup("Name", "", 1, "OK|Cancel", 110, result);
    EXPECT_EQ(record(5000).checked, 1) << "Enter in the only field presses OK";
    EXPECT_EQ(record(5000).mnemonic, 1) << "a popup with fields underlines its mnemonics too";
    EXPECT_EQ(record(5001).mnemonic, 1);
}

TEST_F(Popups, AltLetterPressesAFormsButtonAndIsNeverTypedWhilePlainLettersAre) {
    os.push_text("zelda");
    os.push_alt('c');
    int result = 0;
    ShowPopup("Add Address", "E-mail", 1, "Save|Cancel", 40 + 100, result);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(field_text(0), "zelda") << "no c in front: the letter pressed Cancel";

    clear_field_buffer();
    os.push_text("cal");
    os.push_alt('S');
    os.push_alt('x');  // not a mnemonic here, and still not typed
    ShowPopup("Add Address", "First|Last", 1, "Save|Cancel", 40 + 100, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(field_text(0), "cal");
}

TEST_F(Popups, EveryButtonGetsAFreeLetterTheFirstWhenItCan) {
    using Positions = std::vector<int>;
    EXPECT_EQ(free_mnemonics({"OK", "Narrow", "Widen", "Exclude", "Cancel"}), (Positions{1, 1, 1, 1, 1}));
    EXPECT_EQ(free_mnemonics({"File", "Clipboard", "Cancel"}), (Positions{1, 1, 2}));
    EXPECT_EQ(free_mnemonics({"Save", "Save As", "Sort"}), (Positions{1, 6, 2})) << "a later word's start, else any free letter";
    EXPECT_EQ(free_mnemonics({"Ab", "Ba", "ab", "--"}), (Positions{1, 1, 0, 0})) << "none left, or none to give";

    // The choice dialog: Cancel's second letter presses it, and is underlined.
    int button = 0, chosen = 1;
    ShowChoice("Export Selected Addresses", "vCard|CSV", "File|Clipboard|Cancel", button, chosen);
    const WidgetRecord cancel = record(5002);
    EXPECT_EQ(cancel.mnemonic, 2);
    const FontHandle font = fonts().button;
    const int left = (cancel.x1 + cancel.x2) / 2 - MeasureText(font, "Cancel").width / 2 + MeasureText(font, "C").width;
    const int height = FontHeight(font);
    const int underline = cancel.y1 + (32 - height) / 2 + height - std::max(2, height / 8);
    std::uint32_t under_a = 0;
    os.push_call([&] { under_a = os.pixel(left + MeasureText(font, "a").width / 2, underline); });
    os.push_text("a");
    reopen();
    ShowChoice("Export Selected Addresses", "vCard|CSV", "File|Clipboard|Cancel", button, chosen);
    EXPECT_EQ(button, 3);
    EXPECT_EQ(under_a, rgb(0, 0, 0));
}

TEST_F(Popups, TheFocusFrameIsOnTheButtonEnterWouldPressAndCtrlEnterSavesFromAnyField) {
    std::vector<int> frames;
    auto look = [&] { os.push_call([&] { frames.push_back(record(5000).checked); }); };
    look();
    os.push_key(kKeyReturn);  // -> Odometer
    look();
    os.push_key(kKeyTab);     // -> Cost, the last field
    look();
    os.push_key(kKeyUp);
    look();
    os.push_text("77");
    os.push_key(kKeyReturn, false, /*ctrl*/ true);
    int result = 0;
    ShowPopup("Service", "Date|Odometer|Cost", 1, "Save|Cancel", 20, result);
    EXPECT_EQ(frames, (std::vector<int>{0, 0, 1, 0})) << "Enter moves on until the last field";
    EXPECT_EQ(result, 1) << "Ctrl+Enter saves from the middle field";
    EXPECT_EQ(field_text(1), "77");
    EXPECT_FALSE(main_window().quit_requested);
}

TEST_F(Popups, APresetTheCallerSelectsIsReplacedByTypingAndEscapeCanBeUndone) {
    set_field_text(0, "wrong guess");
    select_field_text(0);
    os.push_text("right");
    os.push_key(kKeyReturn);
    EXPECT_EQ(prompt(40 + 100), 1);
    EXPECT_EQ(field_text(0), "right");

    // The selection was for that dialog only; here Escape empties and Ctrl+Z brings it back.
    os.push_key(kKeyEscape);
    os.push_key('Z', false, true);
    os.push_text("!");
    os.push_key(kKeyReturn);
    EXPECT_EQ(prompt(40 + 100), 1);
    EXPECT_EQ(field_text(0), "right!");
}

TEST_F(Popups, ADialogEndedByQuittingLeavesTheResultAndTheBufferAlone) {
    set_field_text(0, "kept");
    int result = 7;
    ShowPopup("Anything", "", 1, "OK|Cancel", 0, result);
    EXPECT_TRUE(main_window().quit_requested);
    EXPECT_EQ(result, 7);
    EXPECT_EQ(field_text(0), "kept") << "a dialog without fields does not write the buffer";
    EXPECT_FALSE(main_window().popup_open);

    os.presented.clear();
    ShowPopup("Anything", "", 1, "OK|Cancel", 0, result);
    EXPECT_TRUE(os.presented.empty()) << "nothing is drawn once the program is quitting";
    EXPECT_EQ(result, 7);
}

// ---- input fields --------------------------------------------------------------------------------

TEST_F(Popups, ASinglePromptReturnsItsTextInTheFirstRecord) {
    os.push_text("Smith");
    os.push_key(kKeyReturn);
    EXPECT_EQ(prompt(40), 1);
    EXPECT_EQ(of_kind(kKindTextInput).size(), 1u);
    EXPECT_EQ(field_buffer()[0].id, 0);
    EXPECT_EQ(field_text(0), "Smith");
    EXPECT_EQ(field_buffer()[1].id, -1);

    // Shown again from the buffer, as after a failed check, the typing is kept.
    os.push_text("on");
    os.push_key(kKeyReturn);
    EXPECT_EQ(prompt(140), 1);
    EXPECT_EQ(field_text(0), "Smithon");
}

TEST_F(Popups, AnEntryFormStartsFromTheBufferAndMovesBetweenFields) {
    const std::vector<std::string> preset = {"2024/05/01", "1000", "Oil", "25"};
    for (int i = 0; i < 4; ++i) set_field_text(i, preset[static_cast<std::size_t>(i)]);
    int result = 0;
    const std::string labels = "Date|Odometer|Description|Cost";
    ShowPopup("Service", labels, 1, "Save|Cancel", 170, result);
    const std::vector<WidgetRecord> fields = of_kind(kKindTextInput);
    ASSERT_EQ(fields.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(fields[static_cast<std::size_t>(i)].text, preset[static_cast<std::size_t>(i)]);
    const WidgetRecord save = record(5000);
    reopen();

    os.push_key(kKeyUp);                  // already on the first field: stays
    os.push_text("s");                    // a letter is typed, not a button mnemonic
    os.push_key(kKeyTab);                 // -> Odometer
    os.push_text("1");
    os.push_key(kKeyReturn);              // -> Description
    os.push_text("x");
    os.push_key(kKeyTab, /*shift*/ true);  // back to Odometer
    os.push_text("2");
    os.push_key(kKeyDown);                // -> Description
    os.push_key(kKeyDown);                // -> Cost
    os.push_text("0");
    os.push_key(kKeyUp);                  // -> Description
    os.push_text("y");
    click(fields[3]);                     // Cost again, caret at the end
    os.push_text("5");
    click(save);
    ShowPopup("Service", labels, 1, "Save|Cancel", 170, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(field_text(0), "2024/05/01s");
    EXPECT_EQ(field_text(1), "100012");
    EXPECT_EQ(field_text(2), "Oilxy");
    EXPECT_EQ(field_text(3), "2505");
    for (int i = 0; i < 4; ++i) EXPECT_EQ(field_buffer()[static_cast<std::size_t>(i)].id, i);
    EXPECT_EQ(field_buffer()[4].id, -1);

    // Enter on the last field ends the form with the default button.
    for (int i = 0; i < 3; ++i) os.push_key(kKeyReturn);
    os.push_text("9");
    os.push_key(kKeyReturn);
    ShowPopup("Service", labels, 2, "Save|Cancel", 170, result);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(field_text(3), "25059");
    EXPECT_EQ(field_text(0), "2024/05/01s");
}

TEST_F(Popups, EscapeEmptiesAFieldAndTypingStopsAtTheMaximumLength) {
    set_field_text(0, "draft");
    os.push_key(kKeyEscape);  // the dialog stays open
    os.push_text("z");
    os.push_key(kKeyReturn);
    EXPECT_EQ(prompt(120), 1);
    EXPECT_EQ(field_text(0), "z");

    os.push_text("abcdefg");
    os.push_key(kKeyReturn);
    EXPECT_EQ(prompt(5), 1);
    EXPECT_EQ(field_text(0), "abcde");

    clear_field_buffer();
    set_field_text(0, "ab", 3);  // the record's own maximum wins over the width
    os.push_text("cdef");
    os.push_key(kKeyReturn);
    EXPECT_EQ(prompt(120), 1);
    EXPECT_EQ(field_text(0), "abc");

    clear_field_buffer();
    set_field_text(0, "abcdefgh");  // a preset longer than the field is cut
    os.push_key(kKeyReturn);
    EXPECT_EQ(prompt(104), 1);
    EXPECT_EQ(field_text(0), "abcd");
}

TEST_F(Popups, CutCopyAndPasteGoThroughTheClipboard) {
    set_field_text(0, "hello");
    os.push_key('A', false, /*ctrl*/ true);
    os.push_key('X', false, true);
    os.push_key(kKeyReturn);
    EXPECT_EQ(prompt(120), 1);
    EXPECT_EQ(os.clipboard, "hello");
    EXPECT_EQ(field_text(0), "");

    set_field_text(0, "kept");
    os.push_key('A', false, true);
    os.push_key('C', false, true);
    os.push_key(kKeyReturn);
    EXPECT_EQ(prompt(120), 1);
    EXPECT_EQ(os.clipboard, "kept");
    EXPECT_EQ(field_text(0), "kept");

    os.clipboard = "a\tb\r\nc123456";
    os.push_key('V', false, true);
    os.push_key(kKeyReturn);
    EXPECT_EQ(prompt(5), 1);
    EXPECT_EQ(field_text(0), "abc12") << "control characters skipped, stopping when full";

    set_field_text(0, "abcde");
    os.clipboard = "XYZ";
    os.push_key(kKeyLeft, /*shift*/ true);
    os.push_key(kKeyLeft, true);
    os.push_key('V', false, true);
    os.push_key(kKeyReturn);
    EXPECT_EQ(prompt(105), 1);
    EXPECT_EQ(field_text(0), "abcXY") << "the selection makes room, the field stays at 5";
}

TEST_F(Popups, CaretKeysSelectWithShiftAndDeletionTakesTheSelection) {
    set_field_text(0, "hello world");
    os.push_key(kKeyHome);
    for (int i = 0; i < 5; ++i) os.push_key(kKeyRight, true);
    os.push_key(kKeyDelete);         // " world"
    os.push_key(kKeyEnd);
    os.push_key(kKeyBack);           // " worl"
    os.push_key(kKeyHome);
    os.push_key(kKeyDelete);         // "worl"
    os.push_key(kKeyRight);
    os.push_key(kKeyRight);
    os.push_text("X");               // "woXrl"
    os.push_key(kKeyEnd, true);
    os.push_text("!");               // typing replaces the selection "rl"
    os.push_key(kKeyHome, true);
    os.push_key(kKeyBack);           // everything selected, then gone
    os.push_text("new");
    os.push_key(kKeyLeft);
    os.push_key(kKeyBack);           // "nw"
    os.push_key(kKeyReturn);
    EXPECT_EQ(prompt(130), 1);
    EXPECT_EQ(field_text(0), "nw");
}

// ---- the choice dialog ----------------------------------------------------------------------------

TEST_F(Popups, TheChoiceDialogPreselectsWithinRangeAndReportsTheHighlight) {
    const std::string options = "Plain Text|CSV|XML";
    int button = 0, chosen = 9;
    os.push_key(kKeyReturn);
    ShowChoice("Select Format", options, "OK|Cancel", button, chosen);
    EXPECT_EQ(button, 1);
    EXPECT_EQ(chosen, 2) << "kept within the options";

    chosen = -4;
    ShowChoice("Select Format", options, "OK|Cancel", button, chosen);
    EXPECT_EQ(button, 1) << "unchanged: the dialog ended by the window closing";
    EXPECT_EQ(chosen, 0);
    const WidgetRecord second = record(5001);
    const WidgetRecord list = record(1000);
    reopen();

    chosen = 0;
    os.push_key(kKeyDown);
    click(second);
    ShowChoice("Select Format", options, "OK|Cancel", button, chosen);
    EXPECT_EQ(button, 2);
    EXPECT_EQ(chosen, 1);

    os.push_click(list.x1 + 30, list.y1 + 4 + 26 * 2 + 10);  // a click on the third option
    os.push_key(kKeyReturn);
    ShowChoice("Select Format", options, "OK|Cancel", button, chosen);
    EXPECT_EQ(button, 1);
    EXPECT_EQ(chosen, 2);
}

// ---- the list picker ------------------------------------------------------------------------------

TEST_F(Popups, TheListPickerChoosesByKeysAndLetters) {
    popup_list().lines = {"apple", "Banana", "cherry", "blueberry"};
    int result = 99;
    os.push_key(kKeyDown);  // nothing is highlighted at first: the first Down reaches line 0
    os.push_key(kKeyDown);
    os.push_key(kKeyReturn);
    PickFromList(200, 300, 150, 0, 0, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(popup_list().chosen, 1);
    EXPECT_FALSE(main_window().popup_open);
    EXPECT_TRUE(main_window().screen_needs_redraw);

    os.push_text("b");
    os.push_key(kKeyReturn);
    PickFromList(200, 300, 150, 0, 0, result);
    EXPECT_EQ(result, 1) << "the first line with that letter, whatever its case";

    for (int key : {kKeyEscape, kKeySpace}) {
        os.push_key(kKeyDown);
        os.push_key(key);
        PickFromList(200, 300, 150, 0, 0, result);
        EXPECT_EQ(result, -1) << key;
    }
}

TEST_F(Popups, TheListPickerOpensOnTheCurrentValueInViewAndEnterKeepsIt) {
    for (int i = 0; i < 40; ++i) popup_list().lines.push_back("line " + std::to_string(i));
    int result = 0;
    popup_list().current = 30;
    os.push_key(kKeyReturn);
    PickFromList(200, 600, 150, 1, 0, result);
    EXPECT_EQ(result, 30);
    const int visible = static_cast<int>(of_kind(kKindPopupList).at(0).y2 - of_kind(kKindPopupList).at(0).y1 - 10) / 23;
    EXPECT_GE(30, popup_list().first_visible);
    EXPECT_LT(30, popup_list().first_visible + visible) << "scrolled into view";

    // The pointer resting over the list leaves the highlight to the keys.
    popup_list().current = 2;
    input().mouse_x = 220;
    input().mouse_y = 600 + 5 + 10;  // over the first visible line
    os.push_key(kKeyDown);
    os.push_key(kKeyReturn);
    PickFromList(200, 600, 150, 1, 0, result);
    EXPECT_EQ(result, 3);

    os.push_key(kKeyReturn);  // each list says its own current line: this one has none
    PickFromList(200, 600, 150, 1, 0, result);
    EXPECT_EQ(result, -1);
}

TEST_F(Popups, TheListPickerEndsOnAClickOutsideAndChoosesOnARelease) {
    popup_list().lines = {"one", "two", "three", "four"};
    int result = 5;
    PickFromList(200, 300, 150, 1, 0, result);
    EXPECT_EQ(result, -1) << "set on entry";
    const WidgetRecord list = of_kind(kKindPopupList).at(0);
    reopen();

    os.push_key(kKeyDown);
    os.push_click(list.x2 + 50, list.y1 + 10);
    PickFromList(200, 300, 150, 1, 0, result);
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(main_window().quit_requested);

    os.push_click(list.x1 + 20, list.y1 + 5 + 23 * 2 + 10);
    PickFromList(200, 300, 150, 1, 0, result);
    EXPECT_EQ(result, 2);
}

TEST_F(Popups, TheListPickerStaysInsideTheWindowAndScrollsLongLists) {
    popup_list().lines = {"a", "b", "c"};
    int result = 0;
    PickFromList(1550, 900, 200, 0, 0, result);
    const WidgetRecord list = of_kind(kKindPopupList).at(0);
    EXPECT_EQ(list.x2, 1600 - 20);
    EXPECT_EQ(list.y2, 970 - 20);
    EXPECT_EQ(FindWidget(500), -1) << "all lines fit: no scroll bar";
    reopen();

    popup_list().lines.clear();
    for (int i = 0; i < 30; ++i) popup_list().lines.push_back("line " + std::to_string(i));
    PickFromList(100, 700, 200, 1, 0, result);  // room for 10 lines
    EXPECT_GE(FindWidget(500), 0);
    EXPECT_GE(FindWidget(501), 0);
    const WidgetRecord down = record(502);
    reopen();

    os.push_key(kKeyEnd);
    os.push_key(kKeyReturn);
    PickFromList(100, 700, 200, 1, 0, result);
    EXPECT_EQ(result, 29);
    EXPECT_EQ(popup_list().first_visible, 20) << "the highlight is kept in view";

    // The down arrow: one line at once, repeating only when held past a pause.
    const int x = (down.x1 + down.x2) / 2, y = (down.y1 + down.y2) / 2;
    auto hold = [&](int ms) {
        reopen();
        os.push_mouse_move(x, y);
        os.push_button_down(x, y);
        for (int t = 0; t < ms; t += 10) os.push_wait(10);
        os.push_button_up(x, y);
        os.push_wait(60);
        PickFromList(100, 700, 200, 1, 0, result);
        return popup_list().first_visible;
    };
    EXPECT_EQ(hold(10), 1);
    EXPECT_EQ(hold(250), 1) << "no repeat before 350 ms";
    const int after_a_second = hold(1000);
    EXPECT_GE(after_a_second, 5);
    EXPECT_LE(after_a_second, 9);
}

TEST_F(Popups, DraggingThePickersScrollThumbScrollsTheList) {
    for (int i = 0; i < 30; ++i) popup_list().lines.push_back("line " + std::to_string(i));
    int result = 0;
    PickFromList(100, 700, 200, 1, 0, result);
    const WidgetRecord bar = record(501);
    reopen();

    // 30 lines of 23 px in a 196 px track: the thumb starts at the track's top.
    const int x = (bar.x1 + bar.x2) / 2;
    os.push_mouse_move(x, bar.y1 + 8);
    os.push_button_down(x, bar.y1 + 8);
    for (int step = 1; step <= 10; ++step) {
        os.push_wait(20);
        os.push_mouse_move(x, bar.y1 + 8 + 10 * step);
    }
    os.push_button_up(x, bar.y1 + 108);
    os.push_wait(60);
    PickFromList(100, 700, 200, 1, 0, result);
    // 100 px of track is 100 / (196 / 690) content pixels: line 15.
    EXPECT_NEAR(popup_list().first_visible, 15, 1);
}

// ---- progress ------------------------------------------------------------------------------------

TEST_F(Popups, ProgressFillsItsBarAndRedrawsOnlyWhenThePercentageChanges) {
    main_window().client_width = os.client_width = 640;  // a small window keeps a thousand updates quick
    main_window().client_height = os.client_height = 480;
    rebuild_surface();
    main_window().popup_open = true;
    OpenProgress();
    UpdateProgress("Sorting", "Record 1 of 4", 1, 4);
    const WidgetRecord frame = of_kind(kKindFieldFrame).at(0);
    const int track = frame.x2 - frame.x1 - 2;
    EXPECT_EQ(record(9002).x1, frame.x1 + 1);
    EXPECT_EQ(record(9002).x2 - record(9002).x1, track / 4);
    EXPECT_EQ(record(9001).text, "Sorting");
    const WidgetRecord detail = record(9003);
    EXPECT_EQ(detail.text, "Record 1 of 4");
    EXPECT_NEAR((detail.x1 + detail.x2 - 1) / 2.0, (frame.x1 + frame.x2) / 2.0, 1.0) << "centred over the bar";
    EXPECT_EQ(of_kind(kKindPanel).at(0).x1 + of_kind(kKindPanel).at(0).x2, 640);
    UpdateProgress("Sorting", "", 9, 4);
    EXPECT_EQ(record(9002).x2 - record(9002).x1, track) << "never more than 100%";
    UpdateProgress("Sorting", "", 0, 0);
    EXPECT_EQ(record(9002).x2, record(9002).x1) << "a total of 0 counts as 1";
    CloseProgress();
    EXPECT_TRUE(main_window().popup_open) << "the earlier value comes back";

    main_window().popup_open = false;
    OpenProgress();
    EXPECT_TRUE(main_window().popup_open);
    os.presented.clear();
    for (int done = 1; done <= 1000; ++done) UpdateProgress("Copying", "file.dat", done, 1000);
    EXPECT_EQ(os.presented.size(), 101u) << "one draw for each of 0% to 100%";
    UpdateProgress("Copying", "file.dat", 1000, 1000);
    EXPECT_EQ(os.presented.size(), 102u) << "100% always redraws";
    CloseProgress();
    EXPECT_FALSE(main_window().popup_open);
    EXPECT_TRUE(main_window().screen_needs_redraw);
}

}  // namespace
}  // namespace domora
