#include "ui/event_wait.h"

#include <algorithm>

#include "app/main_window.h"
#include "app/settings.h"
#include "app/text.h"
#include "platform/platform.h"
#include "ui/accessible_tree.h"
#include "ui/tab_bar.h"
#include "ui/widgets.h"

namespace domora {

namespace {

int g_marked = -1;        // the widget given a look on the previous turn
int g_marked_button = 0;  // the button held on the previous turn
NewsHandler g_news = nullptr;

void draw_look(int index, int look) {
    if (index < 0 || index >= kMaxWidgets) return;
    WidgetRecord& w = widgets()[static_cast<std::size_t>(index)];
    if (w.id == kEndMarker) return;
    w.look = look;
    DrawWidget(index);
    present_widget(index);
}

void unmark() {
    if (g_marked >= 0) draw_look(g_marked, kLookNormal);
    g_marked = -1;
}

// A tab identifier switches the screen, unless a popup is open.
int finish_turn(int result) {
    MainWindowState& win = main_window();
    if (result >= 3 && result <= 8 && !win.popup_open) win.current_screen = result;
    return result;
}

void forget() {
    g_marked = -1;
    g_marked_button = 0;
}

int mnemonic_position(const WidgetRecord& w) {
    if (w.kind == kKindTab || w.mnemonic <= 0) return 0;
    return w.mnemonic >= 100 ? w.mnemonic - 100 : w.mnemonic;
}

bool mnemonic_matches(const WidgetRecord& w, int character) {
    const int p = mnemonic_position(w);
    if (p <= 0 || p > static_cast<int>(w.text.size()) || character <= 0 || character > 255) return false;
    return upper_byte(static_cast<unsigned char>(character)) == upper_byte(static_cast<unsigned char>(w.text[static_cast<std::size_t>(p - 1)]));
}

// The mnemonic's pressed look lasts until the character is gone.
int press_by_mnemonic(int index) {
    unmark();
    draw_look(index, kLookPressedLeft);
    while (input().character != 0 && !main_window().quit_requested) pump_message(false);
    draw_look(index, kLookNormal);
    // The shortest repeat wait, only so the press is seen: what the user
    // types meanwhile stays queued instead of being pumped away.
    platform().idle_wait(30);
    forget();
    return widgets()[static_cast<std::size_t>(index)].id;
}

// The keys that change the screen without the mouse: Ctrl+PgDn and Ctrl+Tab
// the next tab, Ctrl+PgUp and Ctrl+Shift+Tab the one before, Alt+1 to Alt+5
// a tab by its place. 0 when the key is none of them.
int tab_key_target(const KeyPress& press, int current_screen) {
    if (press.ctrl && (press.key == kKeyPageDown || press.key == kKeyPageUp)) {
        return neighbour_tab(current_screen, press.key == kKeyPageDown ? 1 : -1);
    }
    if (press.ctrl && press.key == kKeyTab) return neighbour_tab(current_screen, press.shift ? -1 : 1);
    if (press.alt && !press.ctrl && press.key >= '1' && press.key <= '9') return tab_screen(press.key - '0');
    return 0;
}

void drag_window() {
    Platform& os = platform();
    int cx = 0, cy = 0;
    os.cursor_position(cx, cy);
    WindowPlacement placement = os.main_window_placement();
    if (placement.show_state == kShowMaximised) {
        // The window becomes normal under the cursor, the cursor at the
        // middle of its width and 10 pixels below its top.
        placement.show_state = kShowNormal;
        placement.x = cx - placement.width / 2;
        placement.y = cy - 10;
        os.set_main_window_placement(placement);
    }
    const int offset_x = cx - placement.x;
    const int offset_y = cy - placement.y;
    int last_x = cx, last_y = cy;
    while (input().button == 1 && !main_window().quit_requested) {
        os.cursor_position(cx, cy);
        if (cx != last_x || cy != last_y) {
            os.move_main_window(cx - offset_x, cy - offset_y);
            last_x = cx;
            last_y = cy;
        }
        pump_message(true);
    }
    record_window_placement();
    save_settings();
}

}  // namespace

void set_news_handler(NewsHandler handler) { g_news = handler; }

// The event wait's memory must be forgettable before the first wait runs.
[[maybe_unused]] const bool g_forget_registered = (set_forget_handler(forget), true);

void reset_window_placement() {
    Settings& s = settings();
    const Rect area = platform().work_area();
    // The same size, as large as the work area allows, centred in it.
    clamp_window_placement(s, area);
    s.window_x = std::max(0, area.left + (area.right - area.left - s.window_wide) / 2);
    s.window_y = std::max(0, area.top + (area.bottom - area.top - s.window_high) / 2);
    s.window_state = kShowNormal;
    save_settings();
    platform().set_main_window_placement(WindowPlacement{s.window_x, s.window_y, s.window_wide, s.window_high, kShowNormal});
    main_window().screen_needs_redraw = true;
    input().button = 0;
}

int event_wait(bool wait) {
    MainWindowState& win = main_window();
    if (win.screen_needs_redraw) return 0;
    publish_accessible_tree();
    // An assistive client's press stands in for this turn's message.
    if (!take_accessible_action()) pump_message(wait);
    if (win.quit_requested) return 0;
    InputState& in = input();
    int result = 0;
    bool matched = false;

    // A press is looked at once, by whichever event wait comes first, even
    // when a loop of its own pumped it (a progress popup, a key repeat wait).
    const KeyPress press = in.unseen_press;
    in.unseen_press = KeyPress{};
    if (press.key != 0 && !win.popup_open) {
        if (const int tab = tab_key_target(press, win.current_screen)) {
            // The key is the switch's: the screen that comes next must not act on it too.
            if (in.key == press.key) in.key = 0;
            return finish_turn(tab);
        }
    }

    WidgetTable& table = widgets();
    // A typed mnemonic presses its widget wherever the mouse happens to be.
    // While a text field takes the keys only Alt+letter does; a plain letter is typed.
    const bool by_mnemonic = in.character != 0 && (in.alt || focused_field() < 0);
    for (int i = 0; by_mnemonic && i < kMaxWidgets && table[static_cast<std::size_t>(i)].id != kEndMarker; ++i) {
        const WidgetRecord& w = table[static_cast<std::size_t>(i)];
        if (w.id != 0 && mnemonic_matches(w, in.character)) return finish_turn(press_by_mnemonic(i));
    }
    // Alt+letter is never typed, whether or not a widget has that letter.
    if (in.alt) in.character = 0;
    for (int i = 0; i < kMaxWidgets && table[static_cast<std::size_t>(i)].id != kEndMarker; ++i) {
        const WidgetRecord& w = table[static_cast<std::size_t>(i)];
        if (w.id == 0 || !w.contains(in.mouse_x, in.mouse_y)) continue;
        matched = true;
        if (in.button != 0) platform().set_timer(kHoldTimer, kHoldPeriodMs);
        if (in.button == 0 && g_marked_button != 0 && g_marked == i) {
            draw_look(i, kLookNormal);
            g_marked_button = 0;
            result = w.id;
        } else if (g_marked != i || g_marked_button != in.button) {
            unmark();
            draw_look(i, in.button == 1 ? kLookPressedLeft : in.button == 2 ? kLookPressedRight : kLookHovered);
            g_marked = i;
            g_marked_button = in.button;
        }
        break;
    }
    if (in.button == 0) platform().kill_timer(kHoldTimer);
    if (!matched && g_marked >= 0) {
        unmark();
        g_marked_button = in.button;
    } else if (!matched) {
        g_marked_button = in.button;
    }

    if (in.key == kKeyF12 && !win.popup_open && g_news) {
        g_news(true);
        return result;
    }
    result = finish_turn(result);

    // The header band: drag the window with the left button, reset it with the right.
    if (g_marked >= 0 && table[static_cast<std::size_t>(g_marked)].id == kHeaderBandId && in.button != 0) {
        const int state = platform().main_window_placement().show_state;
        if (state == kShowNormal || (state == kShowMaximised && !win.popup_open)) {
            if (in.button == 1) {
                drag_window();
            } else {
                reset_window_placement();
            }
        }
    }
    // Only on a quiet turn: the notice's popup replaces the widget table, and
    // a caller acting on a click must still find its own widgets.
    if (g_news && !win.popup_open && result == 0) g_news(false);
    return result;
}

}  // namespace domora
