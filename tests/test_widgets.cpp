#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "ui/field_editor.h"
#include "ui/widgets.h"
#include "ui_fixture.h"

namespace domora {

namespace {

class Widgets : public test::UiTest {};

// ---- the table -------------------------------------------------------------------------------------

TEST_F(Widgets, TheTableHoldsAtMostTwoHundredNinetyNineRecordsAndStaysEnded) {
    BeginWidgets();
    EXPECT_EQ(widget_count(), 1);
    const WidgetRecord& background = widgets()[0];
    EXPECT_EQ(background.kind, kKindBackground);
    EXPECT_EQ(background.y1, 35);
    EXPECT_EQ(background.y2, 970);
    for (int i = 0; i < 400; ++i) AddWidget(1000 + i, kKindButton, 0, 0, 10, 10, 0, 0, 0, 0, "b");
    EXPECT_EQ(widget_count(), kMaxWidgets - 1);
    EXPECT_EQ(widgets()[kMaxWidgets - 1].id, kEndMarker);
    EXPECT_EQ(FindWidget(1000), 1);
    EXPECT_EQ(FindWidget(1000 + 297), 298);
    EXPECT_EQ(FindWidget(1000 + 298), -1) << "refused records are not in the table";
}

TEST_F(Widgets, TheWidgetDumpIsForTheOwnerOnly) {
    // It shows what the screen shows, a password's values included.
    os.environment["DOMORA_WIDGET_DUMP"] = path("widgets.txt");
    BeginWidgets();
    AddWidget(500, kKindButton, 0, 0, 10, 10, 0, 0, 0, 0, "pa55word");
    dump_widgets();
    EXPECT_EQ(mode_of(path("widgets.txt")), 0600u);
    EXPECT_NE(read(path("widgets.txt")).find("pa55word"), std::string::npos);
}

TEST_F(Widgets, TextsAreCutAndFindStopsAtTheEndMarker) {
    EndWidgets(0);
    AddWidget(7, kKindLabel, 0, 0, 10, 10, 0, 0, 0, 0, std::string(400, 'x'));
    EXPECT_EQ(widgets()[0].text.size(), 280u);
    AddWidget(8, kKindLabel, 0, 0, 10, 10, 0, 0, 0, 0, "");
    EndWidgets(1);
    EXPECT_EQ(FindWidget(8), -1);
    EXPECT_EQ(FindWidget(7), 0);
}

TEST_F(Widgets, AnEmptyTableDrawsNothingAndLaterRecordsDrawOnTop) {
    os.fill_rect(Rect{0, 0, 1600, 970}, rgb(1, 2, 3));
    EndWidgets(0);
    DrawAllWidgets();
    EXPECT_EQ(os.pixel(800, 500), rgb(1, 2, 3)) << "nothing is cleared";

    AddWidget(0, kKindFilled, 100, 100, 200, 200, 0, rgb(255, 0, 0), 0, 0, "");
    AddWidget(0, kKindFilled, 150, 150, 250, 250, 0, rgb(0, 0, 255), 0, 0, "");
    DrawAllWidgets();
    EXPECT_EQ(os.pixel(120, 120), rgb(255, 0, 0));
    EXPECT_EQ(os.pixel(175, 175), rgb(0, 0, 255));
    EXPECT_EQ(os.presented.back().right, 1600);
}

TEST_F(Widgets, ButtonsHaveADistinctLookForEachState) {
    EndWidgets(0);
    AddWidget(9, kKindButton, 10, 10, 110, 42, 0, 0, fonts().button, 0, "");
    std::uint32_t seen[4];
    for (int look = 0; look < 4; ++look) {
        widgets()[0].look = look;
        DrawWidget(0);
        seen[look] = os.pixel(60, 14);
    }
    for (int a = 0; a < 4; ++a) {
        for (int b = a + 1; b < 4; ++b) EXPECT_NE(seen[a], seen[b]) << a << " " << b;
    }
}

TEST_F(Widgets, CheckBoxesAndArrowCaptionsDrawTheirBitmaps) {
    EndWidgets(0);
    AddWidget(0, kKindFilled, 0, 0, 300, 100, 0, rgb(1, 1, 1), 0, 0, "");
    AddWidget(5, kKindCheckBox, 10, 10, 200, 30, 0, 0, fonts().user_normal, 0, "Select all");
    AddWidget(6, kKindButton, 10, 50, 40, 72, 0, 0, fonts().button, 0, "\x01");
    widgets()[1].checked = 1;
    DrawAllWidgets();
    int changed = 0;
    for (int y = 12; y < 28; ++y) {
        for (int x = 10; x < 26; ++x) changed += os.pixel(x, y) != rgb(1, 1, 1);
    }
    EXPECT_GT(changed, 100) << "the 16 x 16 box was drawn";
    EXPECT_EQ(os.drawn_texts.back().text, "Select all");
    EXPECT_EQ(os.drawn_texts.back().x, 10 + 16 + 6);

    // A check box's mnemonic is underlined like a button's.
    widgets()[1].mnemonic = 2;
    widgets()[1].colour1 = rgb(255, 0, 0);
    DrawAllWidgets();
    const FontHandle font = fonts().user_normal;
    const int height = FontHeight(font);
    const int underline = 10 + (20 - height) / 2 + height - std::max(2, height / 8);
    const int e_left = 32 + MeasureText(font, "S").width;
    EXPECT_EQ(os.pixel(e_left + MeasureText(font, "e").width / 2, underline), rgb(255, 0, 0)) << "the e of Select";
    EXPECT_NE(os.pixel(32 + MeasureText(font, "S").width / 2, underline), rgb(255, 0, 0)) << "and only the e";
}

// ---- fonts and text ------------------------------------------------------------------------------

TEST_F(Widgets, TheUserFontIsCappedByTheClientHeight) {
    EXPECT_EQ(capped_font_size(30, 800), 28);
    EXPECT_EQ(capped_font_size(0, 1000), 20);
    EXPECT_EQ(capped_font_size(40, 920), 36);
    EXPECT_EQ(capped_font_size(40, 919), 34);
    EXPECT_EQ(capped_font_size(40, 739), 24);
    EXPECT_EQ(capped_font_size(18, 600), 18);

    settings().screen_font = "Verdana";
    settings().screen_font_size = 30;
    settings().font_smoothing = 0;
    os.client_height = 800;
    read_client_size();
    rebuild_surface();
    const FontSpec* user = os.font_spec(fonts().user_normal);
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->face, "Verdana");
    EXPECT_EQ(user->height, 28);
    EXPECT_FALSE(user->smooth);
    EXPECT_EQ(os.font_spec(fonts().large_heading)->height, 34);
    EXPECT_EQ(os.font_spec(fonts().title)->face, "Arial");
    EXPECT_TRUE(os.font_spec(fonts().link)->underline);
    EXPECT_EQ(os.font_spec(fonts().user_bold)->weight, 700);
}

TEST_F(Widgets, TheRecordListRowHeightFollowsTheUserFont) {
    settings().screen_font_size = 20;
    make_fonts();
    EXPECT_DOUBLE_EQ(user_line_height(), 23.0);
    settings().screen_font_size = 26;
    make_fonts();
    EXPECT_DOUBLE_EQ(user_line_height(), 29.9);
    settings().screen_font_size = 16;
    make_fonts();
    EXPECT_DOUBLE_EQ(user_line_height(), 22.0);
}

TEST_F(Widgets, TextIsAlignedAtItsLeftRightOrCentreAndLeavesItsExtent) {
    const FontHandle f = fonts().input;  // 10 px a character here
    DrawTextAt(100, 5, 0, 0, f, "abcd");
    EXPECT_EQ(os.drawn_texts.back().x, 100);
    EXPECT_EQ(last_extent().width, 40);
    EXPECT_EQ(last_extent().height, 20);
    DrawTextAt(100, 5, 1, 0, f, "abcd");
    EXPECT_EQ(os.drawn_texts.back().x, 60);
    DrawTextAt(100, 5, 2, 0, f, "abcd");
    EXPECT_EQ(os.drawn_texts.back().x, 80);
}

TEST_F(Widgets, TextThatDoesNotFitEndsInAnEllipsisAndTheRecordKeepsItAll) {
    const FontHandle f = fonts().input;  // 10 px a character here
    EXPECT_EQ(fitted_text(f, "abcdef", 60), "abcdef") << "exactly as wide as the box";
    EXPECT_EQ(fitted_text(f, "abcdefg", 60), "abcde\x85") << "one character too long";
    EXPECT_EQ(fitted_text(f, "ab cdefg", 40), "ab\x85") << "no blank before the ellipsis";
    EXPECT_EQ(fitted_text(f, "W", 6), "\x85") << "a box narrower than its one character shows the sign alone";
    EXPECT_EQ(fitted_text(f, "", 0), "");

    // Labels, links, buttons and check boxes draw the cut text; the table keeps the whole one.
    EndWidgets(0);
    const std::string long_text = "landscaping-extension-2024";
    AddWidget(0, kKindLabel, 0, 0, 100, 20, 0, 0, f, 0, long_text);
    AddWidget(7, kKindLink, 0, 30, 100, 50, 0, 0, f, 0, long_text);
    AddWidget(8, kKindButton, 0, 60, 100, 90, 0, 0, f, 1, long_text);
    AddWidget(9, kKindCheckBox, 0, 100, 100, 120, 0, 0, f, 0, long_text);
    AddWidget(0, kKindLabel, 0, 130, 0, 150, 0, 0, f, 0, long_text);  // no box to fit: drawn whole
    os.drawn_texts.clear();
    DrawAllWidgets();
    std::vector<std::string> drawn;
    for (const auto& t : os.drawn_texts) drawn.push_back(t.text);
    EXPECT_EQ(drawn, (std::vector<std::string>{"landscapi\x85", "landscapi\x85", "landscap\x85", "landsc\x85", long_text}));
    EXPECT_EQ(widgets()[1].text, long_text);
}

// ---- lists and scroll bars --------------------------------------------------------------------------

TEST_F(Widgets, TheScrollThumbFollowsTheOffsetAndFillsTheTrackWhenAllFits) {
    ListState list;
    list.view_height = 100;
    list.content_height = 1000;
    ScrollThumb t = scroll_thumb(list, 0, 200);
    EXPECT_DOUBLE_EQ(t.ratio, 0.2);
    EXPECT_EQ(t.top, 0);
    EXPECT_EQ(t.bottom, 22);
    list.scroll_offset = 900;
    t = scroll_thumb(list, 0, 200);
    EXPECT_EQ(t.top, 180);
    EXPECT_EQ(t.bottom, 201);
    list.content_height = 10000;
    list.scroll_offset = 9900;
    t = scroll_thumb(list, 0, 200);
    EXPECT_EQ(t.top, 192) << "never closer than 8 pixels to the bottom";
    EXPECT_EQ(t.bottom, 200);
    list.content_height = 80;
    t = scroll_thumb(list, 10, 200);
    EXPECT_EQ(t.top, 10);
    EXPECT_EQ(t.bottom, 200);
}

TEST_F(Widgets, OffsetsStayInRangeAndTheCurrentItemIsScrolledIntoView) {
    ListState list;
    list.view_height = 100;
    list.row_height = 20;
    list.item_count = 50;
    list.content_height = 1000;
    list.scroll_offset = 5000;
    clamp_scroll(list);
    EXPECT_EQ(list.scroll_offset, 900);
    list.scroll_offset = -3;
    clamp_scroll(list);
    EXPECT_EQ(list.scroll_offset, 0);
    list.current_item = 10;
    scroll_to_current(list);
    EXPECT_EQ(list.scroll_offset, 120) << "just enough to show item 10 at the bottom";
    list.current_item = 2;
    scroll_to_current(list);
    EXPECT_EQ(list.scroll_offset, 40);
    list.content_height = 60;
    scroll_to_current(list);
    EXPECT_EQ(list.scroll_offset, 0);
}

// ---- the field editor ----------------------------------------------------------------------------

class FieldEditor : public test::UiTest {
protected:
    WidgetRecord field(const std::string& text, int width = 200) {
        WidgetRecord f;
        f.kind = kKindTextInput;
        f.x1 = 100;
        f.x2 = 100 + width;
        f.y1 = 50;
        f.y2 = 70;
        f.font = fonts().input;
        f.colour2 = rgb(255, 255, 255);
        f.text = text;
        f.caret = static_cast<int>(text.size());
        f.sel_start = f.sel_end = f.caret;
        return f;
    }
    static InputState key(int code, bool shift = false, bool ctrl = false) {
        InputState in;
        in.key = code;
        in.shift = shift;
        in.ctrl = ctrl;
        return in;
    }
};

TEST_F(FieldEditor, ShiftExtendsTheSelectionAndEditingKeysRemoveIt) {
    WidgetRecord f = field("hello world");
    field_edit_key(f, key(kKeyHome), 99);
    EXPECT_EQ(f.caret, 0);
    for (int i = 0; i < 5; ++i) field_edit_key(f, key(kKeyRight, true), 99);
    EXPECT_EQ(f.sel_start, 0);
    EXPECT_EQ(f.sel_end, 5);
    field_edit_key(f, key(kKeyDelete), 99);
    EXPECT_EQ(f.text, " world");
    field_edit_key(f, key(kKeyEnd, true), 99);
    field_edit_key(f, key(kKeyBack), 99);
    EXPECT_EQ(f.text, "");
    f.text = "abc";
    field_edit_key(f, key(kKeyEnd), 99);
    field_edit_key(f, key(kKeyLeft), 99);
    field_edit_key(f, key(kKeyBack), 99);
    EXPECT_EQ(f.text, "ac");
    EXPECT_EQ(f.caret, 1);
    field_edit_key(f, key(kKeyRight, false), 99);
    field_edit_key(f, key(kKeyRight, false), 99);
    EXPECT_EQ(f.caret, 2) << "never past the end";
}

TEST_F(FieldEditor, TypingAndPastingRespectTheMaximum) {
    WidgetRecord f = field("abcde");
    EXPECT_FALSE(field_type_character(f, 'f', 5));
    EXPECT_EQ(f.text, "abcde");
    f.sel_start = 1;
    f.sel_end = 3;
    f.caret = 3;
    field_paste(f, "XYZ", 5);
    EXPECT_EQ(f.text, "aXYde");
    WidgetRecord g = field("");
    field_paste(g, "a\tb\r\nc", 10);
    EXPECT_EQ(g.text, "abc") << "control characters are skipped";
    EXPECT_FALSE(field_type_character(g, 9, 10));
    EXPECT_TRUE(field_type_character(g, 0xE9, 10));
    EXPECT_EQ(g.text, "abc\xE9");
}

TEST_F(FieldEditor, ClipboardKeysAndEscape) {
    WidgetRecord f = field("secret");
    field_edit_key(f, key('A', false, true), 99);
    field_edit_key(f, key('C', false, true), 99);
    EXPECT_EQ(os.clipboard, "secret");
    field_edit_key(f, key('X', false, true), 99);
    EXPECT_EQ(f.text, "");
    os.clipboard = "pasted";
    field_edit_key(f, key('V', false, true), 99);
    EXPECT_EQ(f.text, "pasted");
    EXPECT_FALSE(field_edit_key(f, key('V'), 99)) << "a plain V is typing, not pasting";
    field_edit_key(f, key(kKeyEscape), 99);
    EXPECT_EQ(f.text, "");
}

TEST_F(FieldEditor, CtrlArrowsMoveByWordsAndShiftSelectsThem) {
    WidgetRecord f = field("jo.doe@mail example");
    field_edit_key(f, key(kKeyHome), 99);
    std::vector<int> stops;
    for (int i = 0; i < 6; ++i) {
        field_edit_key(f, key(kKeyRight, false, true), 99);
        stops.push_back(f.caret);
    }
    EXPECT_EQ(stops, (std::vector<int>{3, 7, 12, 19, 19, 19})) << "to the start of each next word, then the end";
    field_edit_key(f, key(kKeyLeft, false, true), 99);
    EXPECT_EQ(f.caret, 12);
    field_edit_key(f, key(kKeyLeft, true, true), 99);
    field_edit_key(f, key(kKeyLeft, true, true), 99);
    EXPECT_EQ(f.sel_start, 12);
    EXPECT_EQ(f.sel_end, 3) << "Shift selects word by word";
    field_type_character(f, 'X', 99);
    EXPECT_EQ(f.text, "jo.Xexample");

    WidgetRecord secret = field("two words");
    secret.secret = true;
    field_edit_key(secret, key(kKeyLeft, false, true), 99);
    EXPECT_EQ(secret.caret, 0) << "a secret is one word: its shape stays hidden";
}

TEST_F(FieldEditor, CtrlZUndoesTheLatestChangeARunAtATime) {
    WidgetRecord f = field("Main St");
    for (char c : std::string(" 12")) field_type_character(f, c, 99);
    field_edit_key(f, key(kKeyBack), 99);
    field_edit_key(f, key(kKeyBack), 99);
    EXPECT_EQ(f.text, "Main St ");
    field_edit_key(f, key(kKeyEscape), 99);
    EXPECT_EQ(f.text, "");
    std::vector<std::string> undone;
    for (int i = 0; i < 4; ++i) {
        field_edit_key(f, key('Z', false, true), 99);
        undone.push_back(f.text);
    }
    EXPECT_EQ(undone, (std::vector<std::string>{"Main St ", "Main St 12", "Main St", "Main St"}))
        << "Escape, the Backspace run, the typing run; then nothing is left to undo";

    // A caret move ends a run; typing over a selection, pasting and cutting are changes of their own.
    WidgetRecord g = field("ab");
    field_type_character(g, 'c', 99);
    field_edit_key(g, key(kKeyLeft), 99);
    field_type_character(g, 'd', 99);
    EXPECT_EQ(g.text, "abdc");
    field_edit_key(g, key('Z', false, true), 99);
    EXPECT_EQ(g.text, "abc");
    field_edit_key(g, key('A', false, true), 99);
    os.clipboard = "new";
    field_edit_key(g, key('V', false, true), 99);
    field_edit_key(g, key('A', false, true), 99);
    field_edit_key(g, key('X', false, true), 99);
    EXPECT_EQ(g.text, "");
    field_edit_key(g, key('Z', false, true), 99);
    EXPECT_EQ(g.text, "new");
    field_edit_key(g, key('Z', false, true), 99);
    EXPECT_EQ(g.text, "abc");
    EXPECT_EQ(g.sel_start, 0) << "the selection the paste replaced comes back";
    EXPECT_EQ(g.sel_end, 3);

    // Text the program puts in is undone like typing; forgetting drops every state.
    field_replace_text(g, "report.csv");
    field_replace_text(g, "summary.csv");
    field_edit_key(g, key('Z', false, true), 99);
    EXPECT_EQ(g.text, "abc");
    field_forget_undo(g);
    EXPECT_TRUE(g.undo.empty());
}

TEST_F(FieldEditor, TheMouseFindsTheNearestBoundaryAndTheCaretStaysVisible) {
    WidgetRecord f = field("abcdef");
    EXPECT_EQ(field_position_at(f, 103), 0);
    EXPECT_EQ(field_position_at(f, 103 + 24), 2);  // 10 px a character; 24 is nearer 20 than 30
    EXPECT_EQ(field_position_at(f, 103 + 26), 3);
    EXPECT_EQ(field_position_at(f, 900), 6);
    WidgetRecord narrow = field(std::string(30, 'x'), 56);  // 50 px inside: five characters
    field_scroll_to_caret(narrow);
    EXPECT_EQ(narrow.scroll, 25);
    field_edit_key(narrow, key(kKeyHome), 99);
    EXPECT_EQ(narrow.scroll, 0);
}

TEST_F(FieldEditor, TheCaretIsDrawnByInversionSoTwiceRestores) {
    EndWidgets(0);
    const int count = AddWidget(0, kKindTextInput, 100, 50, 300, 70, 0, rgb(255, 255, 255), fonts().input, 0, "ab");
    widgets()[0].caret = 1;
    DrawWidget(count - 1);
    const std::uint32_t before = os.pixel(113, 60);
    field_toggle_caret(0);
    EXPECT_NE(os.pixel(113, 60), before);
    field_toggle_caret(0);
    EXPECT_EQ(os.pixel(113, 60), before);
}

// ---- the widget dump --------------------------------------------------------------------------

TEST_F(Widgets, TheDumpListsTheScreenAndEveryRecord) {
    os.environment["DOMORA_WIDGET_DUMP"] = path("dump.txt");
    main_window().current_screen = 8;
    EndWidgets(0);
    AddWidget(402, kKindButton, 1, 2, 3, 4, 0, 0, 0, 1, "Web Page");
    AddWidget(0, kKindLabel, 5, 6, 7, 8, 0, 0, 0, 0, "caf\xE9\tx");
    DrawAllWidgets();
    EXPECT_EQ(read(path("dump.txt")), "screen\t8\tpopup\t0\n402\t4\t1\t2\t3\t4\t0\tWeb Page\n0\t5\t5\t6\t7\t8\t0\tcaf\xC3\xA9 x\n");
    os.environment.erase("DOMORA_WIDGET_DUMP");
    std::remove(path("dump.txt").c_str());
    DrawAllWidgets();
    EXPECT_FALSE(std::filesystem::exists(path("dump.txt")));
}

}  // namespace
}  // namespace domora
