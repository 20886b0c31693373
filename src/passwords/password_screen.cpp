#include "passwords/password_screen.h"

#include "passwords/password_exchange.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "app/launch.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "screens/screen_loop.h"
#include "app/startup.h"
#include "app/text.h"
#include "passwords/master_password.h"
#include "passwords/password_actions.h"
#include "passwords/password_lock.h"
#include "passwords/password_store.h"
#include "passwords/secret_clipboard.h"
#include "passwords/secure_memory.h"
#include "platform/platform.h"
#include "ui/accessible_tree.h"
#include "ui/event_wait.h"
#include "ui/popups.h"
#include "ui/tab_bar.h"
#include "ui/widgets.h"

namespace domora {

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

// ---- screen state ----------------------------------------------------------------------------------

struct ScreenState {
    std::string help;             // the help line under the detail pane
    // After a copy the help line says so until the mouse leaves this spot.
    bool copy_noted = false;
    int copied_x = 0, copied_y = 0;
    std::vector<PasswordLine> lines;  // the current record's lines as shown
    bool keep_current_visible = true;
    int last_button = 0;          // the mouse button of the latest press
    int button_before = 0;        // the button as the previous turn saw it
    // A press in the list.
    bool tracking = false;
    int press_button = 0;
    bool press_on_current = false;
    bool press_moved = false;
    // Keys: the one that repeats, and one still held from before a dialog.
    int held_key = 0;
    int stale_key = 0;
    bool arrow_repeating = false;
    int hover_x = -1, hover_y = -1;  // where the pointer was when the help line last followed it
};

ScreenState g_state;

void forget_lines() {
    for (PasswordLine& line : g_state.lines) {
        wipe(line.name);
        wipe(line.value);
    }
    g_state.lines.clear();
}

// Records are shown only while the file is open: a locked image is ciphertext.
int shown_count() { return IsUnlocked() ? view_count() : 0; }

int row_height() { return std::max(1, static_cast<int>(std::lround(user_line_height()))); }

// ---- the list ---------------------------------------------------------------------------------------

Rect list_inner(const WidgetRecord& w) { return Rect{w.x1 + 1, w.y1 + 1, w.x2 - 1, w.y2 - 1}; }

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

const WidgetRecord* widget(int id) {
    const int index = FindWidget(id);
    return index < 0 ? nullptr : &widgets()[static_cast<std::size_t>(index)];
}

// The row under the mouse, or -1.
int row_at(int x, int y) {
    const WidgetRecord* w = widget(kPwList);
    if (!w || !w->contains(x, y)) return -1;
    const ListState& list = password_list();
    const int row = (y - list_inner(*w).top + list.scroll_offset) / list.row_height;
    return row >= 0 && row < shown_count() ? row : -1;
}

// ---- drawing ------------------------------------------------------------------------------------------

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

// A lock that waited for the popups to close is carried out before the
// screen can show a record again.
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

// ---- values -------------------------------------------------------------------------------------------

const PasswordLine* shown_line(int id) {
    const int i = id - kPwFirstValue;
    if (i < 0 || i >= static_cast<int>(g_state.lines.size())) return nullptr;
    return &g_state.lines[static_cast<std::size_t>(i)];
}

void copy_value(const std::string& value) {
    ScopedSecret text(clipboard_line_ends(value));
    copy_secret(text.text());
}

// Copies a line's value and says in the help line what went where and for
// how long. Every copy of a shown line, by the mouse or a key, goes through here.
void copy_line(const PasswordLine& line) {
    copy_value(line.value);
    std::string what = trim(line.name);
    if (!what.empty() && what.back() == ':') what.pop_back();
    what = trim(what);
    if (what.empty()) what = "Text";
    set_help(what + " copied: the clipboard is cleared in " + std::to_string(kSecretClipboardMs / 1000) + " seconds");
    g_state.copy_noted = true;
    g_state.copied_x = input().mouse_x;
    g_state.copied_y = input().mouse_y;
}

// What a line's name says it holds, its ":" and letter case aside.
bool line_named(const PasswordLine& line, std::initializer_list<const char*> names) {
    std::string name = trim(line.name);
    if (!name.empty() && name.back() == ':') name.pop_back();
    name = to_upper(trim(name));
    for (const char* wanted : names) {
        if (name == wanted) return true;
    }
    return false;
}

// Ctrl+C copies the current record's password and Ctrl+B its user name,
// found by the names of its lines, as a click on the value would copy it.
void copy_named_value(bool password) {
    if (shown_count() == 0) return;
    for (const PasswordLine& line : g_state.lines) {
        const bool match = password ? line_named(line, {"PASSWORD", "PASS", "PWD"})
                                    : line_named(line, {"USER NAME", "USERNAME", "USER", "LOGIN", "USER ID", "USERID"});
        if (!match) continue;
        copy_line(line);
        return;
    }
    set_help(password ? "This record has no Password line" : "This record has no User Name line");
}

void value_clicked(int id, int button) {
    const PasswordLine* line = shown_line(id);
    if (!line) return;
    const PasswordLine copied = *line;
    const std::string& value = copied.value;
    wait_for_release();
    if (button != 2) {
        copy_line(copied);
        return;
    }
    switch (classify_value(value)) {
        case ValueKind::kEmail:
            if (send_email(value, "", "", "") != 0) {
                show_message(std::string(kProductName) + " was unable to open your email program.||" +
                             "Please copy address to the Clipboard instead.|" +
                             "Then start a new email in your email program,|" + "and paste the address into the To: field.");
            }
            break;
        case ValueKind::kWeb: open_web_page(value); break;
        case ValueKind::kText: copy_line(copied); break;
    }
    main_window().screen_needs_redraw = true;
}

// A label or value drawn cut to its box, whose whole text the help line shows.
bool drawn_cut(const WidgetRecord& w) {
    return (w.kind == kKindLabel || w.kind == kKindLink) && w.x2 > w.x1 && !text_fits(w.font, w.text, w.x2 - w.x1);
}

void hover_help(int x, int y) {
    if (g_state.copy_noted && x == g_state.copied_x && y == g_state.copied_y) return;
    g_state.copy_noted = false;
    const WidgetTable& table = widgets();
    for (int i = 0; i < kMaxWidgets && table[static_cast<std::size_t>(i)].id != kEndMarker; ++i) {
        const WidgetRecord& w = table[static_cast<std::size_t>(i)];
        if (!w.contains(x, y)) continue;
        if (w.id == 0) {
            if (drawn_cut(w)) {
                set_help(w.text);
                return;
            }
            continue;
        }
        if (const PasswordLine* line = shown_line(w.id)) {
            std::string help = "Click to copy text to clipboard";
            const ValueKind kind = classify_value(line->value);
            if (kind == ValueKind::kEmail) help += ". Right click to send email.";
            if (kind == ValueKind::kWeb) help += ". Right click to visit web site.";
            set_help(drawn_cut(w) ? line->value + " - " + help : help);
        } else if (w.id == kPwDetailPane) {
            set_help("");
        } else if (w.id == kPwList) {
            const int row = row_at(x, y);
            if (row < 0) return;
            const std::string title = read_entry(view_record(row)).title;
            const Rect inner = list_inner(w);
            if (!text_fits(w.font, title, inner.right - 4 - (inner.left + 8))) set_help(title);
        }
        return;
    }
}

// ---- actions ------------------------------------------------------------------------------------------

// After a dialog: redraw, show the current row, and let a key still held
// from the dialog (its Enter, say) do nothing more here.
void after_action() {
    main_window().screen_needs_redraw = true;
    g_state.keep_current_visible = true;
    g_state.stale_key = input().key;
    g_state.tracking = false;
}

void run(int id) {
    wait_for_release();
    switch (id) {
        case kPwAdd:
            if (ensure_unlocked()) AddPassword();
            break;
        case kPwChangeMaster: ChangeMasterPassword(); break;
        default:
            // The others wait for the next press once the dialog has opened the file.
            if (!IsUnlocked()) {
                AskMasterPassword();
                break;
            }
            if (id == kPwEdit) EditPassword();
            if (id == kPwDelete) DeletePassword();
            if (id == kPwFind) FindPassword();
            if (id == kPwExport) ExportPasswords();
            break;
    }
    after_action();
}

void move_current(int to) {
    ListState& list = password_list();
    const int count = shown_count();
    if (count == 0) return;
    list.current_item = std::clamp(to, 0, count - 1);
    g_state.keep_current_visible = true;
    draw_screen();
}

void scroll_by(int pixels) {
    ListState& list = password_list();
    list.scroll_offset += pixels;
    clamp_scroll(list);
    draw_screen();
}

bool over(int id, int x, int y) {
    const WidgetRecord* w = widget(id);
    return w && w->contains(x, y);
}

// A press in the list makes the row under the mouse current and follows
// it while held; its release may open the record.
void follow_list_press(const InputState& in) {
    if (!g_state.tracking) {
        // Only a press that starts in the list; one dragged in from a button is not its own.
        const int row = row_at(in.mouse_x, in.mouse_y);
        if (in.button == 0 || g_state.button_before != 0 || row < 0) return;
        g_state.tracking = true;
        g_state.press_button = in.button;
        g_state.press_on_current = row == password_list().current_item;
        g_state.press_moved = false;
        if (!g_state.press_on_current) move_current(row);
        return;
    }
    const int row = row_at(in.mouse_x, in.mouse_y);
    if (in.button != 0) {
        if (row >= 0 && row != password_list().current_item) {
            g_state.press_moved = true;
            move_current(row);
        }
        return;
    }
    g_state.tracking = false;
    if (row < 0) return;
    if (g_state.press_button == 2 || (g_state.press_on_current && !g_state.press_moved)) run(kPwEdit);
}

bool handle_keys(const InputState& in) {
    if (in.key == 0) {
        g_state.held_key = 0;
        g_state.stale_key = 0;
        return false;
    }
    if (in.key == g_state.stale_key) return false;
    const ListState& list = password_list();
    const int page = std::max(1, list.view_height / std::max(1, list.row_height));
    int to = list.current_item;
    switch (in.key) {
        case kKeyUp: to -= 1; break;
        case kKeyDown: to += 1; break;
        case kKeyPageUp: to -= page; break;
        case kKeyPageDown: to += page; break;
        case kKeyHome: to = 0; break;
        case kKeyEnd: to = shown_count() - 1; break;
        // The form or the question starts once the key is up, so that the
        // same press cannot act in it too.
        case kKeyReturn:
            wait_for_key_release();
            run(kPwEdit);
            return true;
        case kKeyDelete:
            wait_for_key_release();
            run(kPwDelete);
            return true;
        case 'C':
        case 'B':
            if (!in.ctrl) return false;
            copy_named_value(in.key == 'C');
            g_state.stale_key = in.key;  // once a press, however long it is held
            return true;
        default: return false;
    }
    move_current(to);
    KeyRepeatDelay(g_state.held_key == in.key ? 2 : 1);
    g_state.held_key = in.key;
    return true;
}

void redraw_after_drag() { draw_screen(); }

void handle_input(int id, const InputState& in) {
    switch (id) {
        case kPwFind:
        case kPwAdd:
        case kPwEdit:
        case kPwDelete:
        case kPwExport:
        case kPwChangeMaster: run(id); return;
        default: break;
    }
    if (shown_line(id)) {
        value_clicked(id, g_state.last_button);
        return;
    }
    // Scroll arrows repeat while held: the first step at once, then after 350 ms, then every 100 ms.
    int arrow = 0;
    if (in.button == 1 && over(kPwScrollUp, in.mouse_x, in.mouse_y)) arrow = -1;
    if (in.button == 1 && over(kPwScrollDown, in.mouse_x, in.mouse_y)) arrow = 1;
    if (arrow != 0) {
        scroll_by(arrow * password_list().row_height);
        KeyRepeatDelay(g_state.arrow_repeating ? 2 : 1);
        g_state.arrow_repeating = true;
        return;
    }
    g_state.arrow_repeating = false;
    if (in.button == 1 && !g_state.tracking && over(kPwScrollBar, in.mouse_x, in.mouse_y)) {
        drag_scroll_thumb(FindWidget(kPwScrollBar), redraw_after_drag);
        return;
    }
    follow_list_press(in);
    if (in.wheel_lines != 0) {
        scroll_by(-password_list().scroll_step * in.wheel_lines / 2);
        return;
    }
    if (handle_keys(in)) return;
    // Only a moving pointer changes the help line, so that what a key put there stays.
    if (in.button == 0 && (in.mouse_x != g_state.hover_x || in.mouse_y != g_state.hover_y)) {
        g_state.hover_x = in.mouse_x;
        g_state.hover_y = in.mouse_y;
        hover_help(in.mouse_x, in.mouse_y);
    }
}

void handle_turn(int id) {
    const InputState& in = input();
    if (in.button != 0) g_state.last_button = in.button;
    handle_input(id, in);
    g_state.button_before = in.button;
}

// After a lock: the screen without records, and the master password asked
// for again at once. True when that happened this turn.
bool after_lock() {
    apply_pending_lock();
    if (!take_password_lock_notice()) return false;
    forget_lines();
    g_state.help.clear();
    g_state.tracking = false;
    draw_screen();
    AskMasterPassword();
    after_action();
    return true;
}

// On entering: the notice while the default password opens the file, then
// the master password when it does not open.
void enter_screen() {
    default_password_notice();
    if (!IsUnlocked()) AskMasterPassword();
    after_action();
}

}  // namespace

void password_screen() {
    g_state = ScreenState{};
    g_state.keep_current_visible = true;
    // A lock while another screen showed is asked about on entering anyway.
    (void)take_password_lock_notice();
    LoadPasswords();
    ScreenLoop loop(kScreenPasswords);
    bool entered = false;
    int id = 0;
    while (loop.next(id, draw_screen)) {
        if (!entered) {
            // The screen is drawn first, so that the dialogs open over it.
            entered = true;
            enter_screen();
            continue;
        }
        if (after_lock()) continue;
        handle_turn(id);
    }
    forget_lines();
}

}  // namespace domora
