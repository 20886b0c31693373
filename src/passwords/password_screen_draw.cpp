// The Passwords screen's drawing: the list of titles, the buttons, and the
// detail pane with the current record's lines.
#include <algorithm>
#include <cmath>

#include "app/main_window.h"
#include "app/startup.h"
#include "app/text.h"
#include "passwords/password_actions.h"
#include "passwords/password_lock.h"
#include "passwords/password_screen.h"
#include "passwords/password_screen_parts.h"
#include "passwords/password_store.h"
#include "passwords/secure_memory.h"
#include "ui/accessible_tree.h"
#include "ui/popups.h"
#include "ui/tab_bar.h"
#include "ui/widgets.h"

namespace domora::password_screen_parts {

namespace {

constexpr int kMargin = 20;
constexpr int kButtonHeight = 34;
constexpr int kArrowSize = 22;
constexpr std::uint32_t kWhiteRgb = rgb(255, 255, 255);
constexpr std::uint32_t kCurrentRow = rgb(0, 0, 128);
constexpr std::uint32_t kListFrame = rgb(63, 115, 139);
constexpr std::uint32_t kValueColour = rgb(255, 255, 0);
constexpr std::uint32_t kNameColour = rgb(200, 220, 230);
constexpr std::uint32_t kPaneLine = rgb(84, 128, 146);

int row_height() { return std::max(1, static_cast<int>(std::lround(user_line_height()))); }

void draw_password_list(WidgetRecord& w) {
    ListState& list = password_list();
    FillBox(w.rect(), kWhiteRgb);
    FrameBox(w.rect(), kListFrame);
    const Rect inner = list_inner(w);
    ClipTo(inner);
    const int count = shown_count();
    const int height = list.row_height;
    const FontHandle font = fonts().user_normal;
    const int text_offset = (height - FontHeight(font)) / 2;
    for (int row = list.scroll_offset / height; row < count; ++row) {
        const int y = inner.top + row * height - list.scroll_offset;
        if (y >= inner.bottom) break;
        const bool current = row == list.current_item;
        if (current) FillBox(Rect{inner.left, y, inner.right, y + height}, kCurrentRow);
        const PasswordEntry entry = read_entry(view_record(row));
        DrawFittedText(inner.left + 8, y + text_offset, inner.right - 4, current ? kWhiteRgb : rgb(0, 0, 0), font, entry.title);
    }
    ClipTo(Rect{});
}

void describe_password_list(const WidgetRecord& w, AccessibleList& out) {
    const ListState& list = password_list();
    const int count = shown_count();
    const int height = std::max(1, list.row_height);
    out.name = "Passwords";
    out.columns = {"Title"};
    out.current_row = count > 0 ? list.current_item : -1;
    out.rows.reserve(static_cast<std::size_t>(count));
    for (int row = 0; row < count; ++row) {
        AccessibleRow r;
        r.cells = {read_entry(view_record(row)).title};
        r.bounds = list_row_bounds(w, list_inner(w).top, row, height, list.scroll_offset);
        out.rows.push_back(std::move(r));
    }
}

struct Layout {
    int buttons_top, list_left, list_top, list_right, list_bottom;
    int pane_left, pane_top, pane_right, pane_bottom, help_top;
};

Layout lay_out() {
    const MainWindowState& win = main_window();
    Layout l{};
    l.buttons_top = kTabBarHeight + 1 + 16;
    const int count_top = l.buttons_top + kButtonHeight + 14;
    l.list_left = kMargin;
    l.list_top = count_top + FontHeight(fonts().user_bold) + 8;
    l.list_right = l.list_left + std::clamp(win.client_width * 3 / 10, 240, 480);
    l.list_bottom = std::max(l.list_top + 3 * kArrowSize, win.client_height - kMargin);
    l.pane_left = l.list_right + kArrowSize + 30;
    l.pane_top = l.list_top;
    l.pane_right = std::max(l.pane_left + 100, win.client_width - kMargin);
    l.help_top = l.list_bottom - FontHeight(fonts().input);
    l.pane_bottom = l.help_top - 10;
    return l;
}

void add_buttons(const Layout& l) {
    struct Button {
        int id;
        const char* caption;
        int mnemonic;
    };
    static constexpr Button kButtons[] = {{kPwFind, "Find", 1},    {kPwAdd, "Add", 1},       {kPwEdit, "Edit", 1},
                                          {kPwDelete, "Delete", 1}, {kPwExport, "Export", 2}, {kPwChangeMaster, "Change Master", 1}};
    const Fonts& f = fonts();
    int x = l.list_left;
    for (const Button& b : kButtons) {
        const int width = std::max(96, MeasureText(f.button, b.caption).width + 36);
        AddWidget(b.id, kKindButton, x, l.buttons_top, x + width, l.buttons_top + kButtonHeight, rgb(255, 255, 255), rgb(33, 135, 169),
                  f.button, b.mnemonic, b.caption);
        x += width + 8;
    }
}

void add_list(const Layout& l) {
    ListState& list = password_list();
    const int count = shown_count();
    list.row_height = row_height();
    list.scroll_step = list.row_height;
    list.view_height = l.list_bottom - l.list_top - 2;
    list.item_count = count;
    list.content_height = count * list.row_height;
    clamp_current_password();
    if (g_state.keep_current_visible) scroll_to_current(list);
    g_state.keep_current_visible = false;
    clamp_scroll(list);

    const Fonts& f = fonts();
    const int label_height = FontHeight(f.user_bold);
    AddWidget(0, kKindLabel, l.list_left, l.list_top - label_height - 8, l.list_right, l.list_top - 8, kWhiteRgb, 0,
              f.user_bold, 0, with_thousands(count) + " Passwords");
    int n = AddWidget(kPwList, kKindPasswordList, l.list_left, l.list_top, l.list_right, l.list_bottom, 0, kWhiteRgb,
                      f.user_normal, 0, "");
    widgets()[static_cast<std::size_t>(n - 1)].list = &list;
    const int bar_left = l.list_right, bar_right = l.list_right + kArrowSize;
    AddWidget(kPwScrollUp, kKindButton, bar_left, l.list_top, bar_right, l.list_top + kArrowSize, 0, 0, f.button, 0, "\x01");
    n = AddWidget(kPwScrollBar, kKindScrollBar, bar_left, l.list_top + kArrowSize, bar_right, l.list_bottom - kArrowSize, 0,
                  0, 0, 0, "");
    widgets()[static_cast<std::size_t>(n - 1)].list = &list;
    AddWidget(kPwScrollDown, kKindButton, bar_left, l.list_bottom - kArrowSize, bar_right, l.list_bottom, 0, 0, f.button, 0,
              "\x02");
}

void add_detail_pane(const Layout& l) {
    const Fonts& f = fonts();
    AddWidget(0, kKindOutline, l.pane_left - 12, l.pane_top, l.pane_right, l.pane_bottom, kPaneLine, 0, 0, 0, "");
    forget_lines();
    const int count = shown_count();
    std::string title;
    if (count > 0) {
        PasswordEntry entry = read_entry(view_record(password_list().current_item));
        title = entry.title;
        g_state.lines = std::move(entry.lines);
    }
    const int left = l.pane_left + 6, right = l.pane_right - 12;
    int y = l.pane_top + 14;
    const int title_height = FontHeight(f.title);
    AddWidget(0, kKindLabel, left, y, right, y + title_height, kWhiteRgb, 0, f.title, 0, title);
    y += title_height + 18;
    if (count == 0 && IsUnlocked()) {
        // An empty store says how to begin instead of showing blank panes.
        const int line = FontHeight(f.message) + 8, top = l.pane_top + 14;
        AddWidget(0, kKindLabel, left, top, right, top + line, kWhiteRgb, 0, f.message, 0, "There are no passwords yet.");
        AddWidget(0, kKindLabel, left, top + line, right, top + 2 * line, kNameColour, 0, f.input, 0,
                  "To add one, click Add or press the A key.");
    }
    int name_width = 0;
    for (const PasswordLine& line : g_state.lines) name_width = std::max(name_width, MeasureText(f.message, line.name).width);
    const int value_left = name_width > 0 ? left + std::min(name_width, (right - left) / 2) + 14 : left;
    const int row = std::max(FontHeight(f.message), FontHeight(f.input)) + 10;
    for (std::size_t i = 0; i < g_state.lines.size() && y + row <= l.pane_bottom; ++i) {
        const PasswordLine& line = g_state.lines[i];
        const int text_top = y + (row - FontHeight(f.message)) / 2;
        AddWidget(0, kKindLabel, left, text_top, value_left - 8, text_top + FontHeight(f.message), kNameColour, 0, f.message, 0,
                  line.name);
        const int width = MeasureText(f.input, line.value).width + 6;
        AddWidget(kPwFirstValue + static_cast<int>(i), kKindLink, value_left, y + 2, std::min(right, value_left + width),
                  y + row - 2, kValueColour, kWhiteRgb, f.input, 0, line.value);
        y += row;
    }
    // After the values, so that they win the hit test.
    AddWidget(kPwDetailPane, kKindHitArea, l.pane_left - 12, l.pane_top, l.pane_right, l.pane_bottom, 0, 0, 0, 0, "");
    AddWidget(kPwHelpLine, kKindLabel, l.pane_left - 12, l.help_top, l.pane_right, l.help_top + FontHeight(f.input), kNameColour,
              0, f.input, 0, g_state.help);
}

}  // namespace

void forget_lines() {
    for (PasswordLine& line : g_state.lines) {
        wipe(line.name);
        wipe(line.value);
    }
    g_state.lines.clear();
}

int shown_count() { return IsUnlocked() ? view_count() : 0; }

Rect list_inner(const WidgetRecord& w) { return Rect{w.x1 + 1, w.y1 + 1, w.x2 - 1, w.y2 - 1}; }

const WidgetRecord* widget(int id) {
    const int index = FindWidget(id);
    return index < 0 ? nullptr : &widgets()[static_cast<std::size_t>(index)];
}

int row_at(int x, int y) {
    const WidgetRecord* w = widget(kPwList);
    if (!w || !w->contains(x, y)) return -1;
    const ListState& list = password_list();
    const int row = (y - list_inner(*w).top + list.scroll_offset) / list.row_height;
    return row >= 0 && row < shown_count() ? row : -1;
}

void apply_pending_lock() {
    if (password_lock_pending() && !main_window().popup_open) lock_passwords();
}

void draw_screen() {
    apply_pending_lock();
    set_widget_drawer(kKindPasswordList, draw_password_list);
    set_list_describer(kKindPasswordList, describe_password_list);
    BeginWidgets();
    add_tab_bar(kScreenPasswords);
    const Layout l = lay_out();
    add_buttons(l);
    add_list(l);
    add_detail_pane(l);
    DrawAllWidgets();
}

void set_help(const std::string& text) {
    if (text == g_state.help) return;
    g_state.help = text;
    const int index = FindWidget(kPwHelpLine);
    if (index < 0) return;
    WidgetRecord& w = widgets()[static_cast<std::size_t>(index)];
    w.text = text;
    FillBox(w.rect(), kBackgroundRgb);
    DrawWidget(index);
    present_widget(index);
}

}  // namespace domora::password_screen_parts
