#include "passwords/password_screen.h"

#include <algorithm>
#include <initializer_list>

#include "app/launch.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "app/startup.h"
#include "app/text.h"
#include "passwords/master_password.h"
#include "passwords/password_actions.h"
#include "passwords/password_exchange.h"
#include "passwords/password_lock.h"
#include "passwords/password_screen_parts.h"
#include "passwords/password_store.h"
#include "passwords/secret_clipboard.h"
#include "passwords/secure_memory.h"
#include "platform/platform.h"
#include "screens/screen_loop.h"
#include "ui/event_wait.h"
#include "ui/popups.h"
#include "ui/tab_bar.h"
#include "ui/widgets.h"

namespace domora {

namespace password_screen_parts {
ScreenState g_state;
}  // namespace password_screen_parts

namespace {

using namespace password_screen_parts;

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
