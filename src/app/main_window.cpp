#include "app/main_window.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "app/settings.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "app/text.h"
#include "platform/platform.h"

namespace domora {

namespace {

InputState g_input;
MainWindowState g_state;
ResizeHandler g_resize_handler = nullptr;
ForgetHandler g_forget_handler = nullptr;
ClipboardHandler g_clipboard_handler = nullptr;
TimerHandler g_timer_handler = nullptr;
// The press now held was there for a loop to see before it waited for more.
bool g_press_looked_at = false;
std::vector<TimerHandler> g_more_timer_handlers;

void reset_idle_countdown() {
    g_state.idle_countdown = settings().auto_close_minutes;
    g_state.last_input_ms = platform().tick_ms();
}

void on_timer(int id) {
    if (id == kReleaseTimer) {
        g_input.button = 0;
        platform().kill_timer(kReleaseTimer);
    } else if (id == kIdleTimer) {
        if (settings().auto_close_minutes > 0) {
            --g_state.idle_countdown;
            if (g_state.idle_countdown <= 0) g_state.quit_requested = true;
        }
    }
}

void on_wheel(int delta) {
    if ((delta < 0) == (g_input.wheel_remainder < 0)) {
        g_input.wheel_remainder += delta;
    } else {
        g_input.wheel_remainder = delta;
    }
    if (std::abs(g_input.wheel_remainder) < 120) return;
    const int notches = g_input.wheel_remainder / 120;
    g_input.wheel_remainder -= 120 * notches;
    int lines = platform().wheel_scroll_lines();
    if (g_input.ctrl) {
        lines = 1;
    } else if (g_input.shift) {
        lines *= 2;
    }
    g_input.wheel_lines = lines * notches;
    g_input.button = 0;
}

// The window procedure: one event into the input state.
void dispatch(const Event& e) {
    g_input.wheel_lines = 0;
    g_input.character = 0;
    g_input.timer_id = 0;
    g_input.shift = e.shift;
    g_input.ctrl = e.ctrl;
    g_input.alt = e.alt;
    switch (e.kind) {
        case EventKind::Close:
        case EventKind::Terminate:
            g_state.quit_requested = true;
            break;
        case EventKind::Timer:
            g_input.timer_id = e.timer_id;
            on_timer(e.timer_id);
            if (g_timer_handler) g_timer_handler(e.timer_id);
            for (TimerHandler handler : g_more_timer_handlers) handler(e.timer_id);
            break;
        case EventKind::Character:
            g_input.character = e.character;
            reset_idle_countdown();
            break;
        case EventKind::KeyUp:
            g_input.key = 0;
            g_input.character = 0;
            break;
        case EventKind::KeyDown:
            g_input.key = (e.key == kKeyShift || e.key == kKeyControl || e.key == kKeyAlt) ? 0 : e.key;
            if (g_input.key != 0) g_input.unseen_press = KeyPress{g_input.key, e.shift, e.ctrl, e.alt};
            reset_idle_countdown();
            break;
        case EventKind::ButtonDown:
            g_input.mouse_x = e.x;
            g_input.mouse_y = e.y;
            g_input.button = e.button;
            g_input.double_click = e.double_click;
            g_press_looked_at = false;
            platform().kill_timer(kReleaseTimer);
            reset_idle_countdown();
            break;
        case EventKind::ButtonUp:
            if (g_press_looked_at) {
                // A loop has seen the press and come back for more: the
                // release is seen at once, and the click acts without delay.
                g_input.button = 0;
                platform().kill_timer(kReleaseTimer);
            } else {
                // The button stays held for a moment, so that a click shorter
                // than one turn of a screen loop is still seen.
                platform().set_timer(kReleaseTimer, kReleaseDelayMs);
            }
            break;
        case EventKind::Wheel:
            on_wheel(e.wheel_delta);
            reset_idle_countdown();
            break;
        case EventKind::MouseMove:
            g_input.mouse_x = e.x;
            g_input.mouse_y = e.y;
            break;
        case EventKind::ClipboardChanged:
            if (g_clipboard_handler) g_clipboard_handler();
            break;
        case EventKind::Moved:
            record_window_placement();
            break;
        case EventKind::Resized:
            if (e.width != g_state.client_width || e.height != g_state.client_height) {
                record_window_placement();
                read_client_size();
                if (g_resize_handler) g_resize_handler();
            }
            break;
        default:
            break;
    }
}

}  // namespace

InputState& input() { return g_input; }
MainWindowState& main_window() { return g_state; }
void set_resize_handler(ResizeHandler handler) { g_resize_handler = handler; }
void set_forget_handler(ForgetHandler handler) { g_forget_handler = handler; }
void set_clipboard_handler(ClipboardHandler handler) { g_clipboard_handler = handler; }
void set_timer_handler(TimerHandler handler) { g_timer_handler = handler; }
void add_timer_handler(TimerHandler handler) {
    if (std::find(g_more_timer_handlers.begin(), g_more_timer_handlers.end(), handler) == g_more_timer_handlers.end()) {
        g_more_timer_handlers.push_back(handler);
    }
}

void forget_marked_widget() {
    if (g_forget_handler) g_forget_handler();
}

bool create_main_window() {
    const Settings& s = settings();
    WindowPlacement placement;
    placement.x = s.window_x;
    placement.y = s.window_y;
    placement.width = s.window_wide;
    placement.height = s.window_high;
    placement.show_state = s.window_state;
    if (!platform().create_main_window(kProductName, placement, kBackgroundRgb)) {
        platform().system_message_box("Unable to create window", kProductName);
        return false;
    }
    status_log_write("Window Position: " + log_number(s.window_x) + " - " + log_number(s.window_y));
    status_log_write("Window Size: " + log_number(s.window_wide) + "x" + log_number(s.window_high));
    status_log_write("Window State: " + log_number(s.window_state));
    read_client_size();
    platform().set_timer(kIdleTimer, kIdlePeriodMs);
    reset_idle_countdown();
    return true;
}

void read_client_size() {
    platform().client_size(g_state.client_width, g_state.client_height);
    g_state.centre_x = g_state.client_width / 2;
}

void refresh_client_size() {
    const int width = g_state.client_width, height = g_state.client_height;
    read_client_size();
    if ((width != g_state.client_width || height != g_state.client_height) && g_resize_handler) g_resize_handler();
}

void stop_main_window_timers() { platform().kill_timer(kIdleTimer); }

void record_window_placement() {
    const WindowPlacement placement = platform().main_window_placement();
    Settings& s = settings();
    s.window_state = placement.show_state;
    if (placement.width > 0 && placement.height > 0) {
        s.window_x = placement.x;
        s.window_y = placement.y;
        s.window_wide = placement.width;
        s.window_high = placement.height;
    }
}

void pump_message(bool wait) {
    if (g_state.quit_requested) return;
    // A turn that finds no message still ends the life of a typed character.
    g_input.character = 0;
    g_input.wheel_lines = 0;
    g_input.timer_id = 0;
    // A loop that waits for the next message while the button is down has
    // looked at the press already (a scan that only lets the window breathe
    // does not wait, and leaves the press for the loop after it).
    if (wait && g_input.button != 0) g_press_looked_at = true;
    Event event;
    if (platform().next_event(event, wait)) dispatch(event);
}

void synthetic_click(int x, int y) {
    g_input.character = 0;
    g_input.wheel_lines = 0;
    g_input.timer_id = 0;
    g_input.mouse_x = x;
    g_input.mouse_y = y;
    g_input.button = 1;
    reset_idle_countdown();
    platform().set_timer(kReleaseTimer, kReleaseDelayMs);
}

void wait_for_key_release(int limit_ms) {
    if (g_input.key == 0) return;
    constexpr int kKeyReleaseTimer = 402;
    const std::uint64_t start = platform().tick_ms();
    platform().set_timer(kKeyReleaseTimer, limit_ms);  // the wait ends even if the key never comes up
    while (!g_state.quit_requested && g_input.key != 0 && platform().tick_ms() - start < static_cast<std::uint64_t>(limit_ms)) {
        pump_message(true);
    }
    platform().kill_timer(kKeyReleaseTimer);
}

void wait_for_release() {
    // A held button always ends in a release timer, so waiting cannot hang.
    while (!g_state.quit_requested && (g_input.button != 0 || g_input.character != 0)) pump_message(g_input.button != 0);
    forget_marked_widget();
}

}  // namespace domora
