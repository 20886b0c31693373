// The main window: creation at the saved placement, the window procedure
// that turns platform events into the shared input state, the program-wide
// flags, auto-close, and the placement kept in the settings.
#pragma once

#include <cstdint>

namespace domora {

inline constexpr std::uint32_t kBackgroundRgb = 0x305969;  // red 48, green 89, blue 105

// Timers of the main window.
inline constexpr int kReleaseTimer = 1;      // 50 ms, once: delays a button's release
inline constexpr int kHoldTimer = 400;       // 40 ms: keeps events flowing while a button is held
inline constexpr int kIdleTimer = 500;       // 60 s: the auto-close countdown
inline constexpr int kReleaseDelayMs = 50;
inline constexpr int kHoldPeriodMs = 40;
inline constexpr int kIdlePeriodMs = 60000;

// A key as it went down, with the modifiers held then.
struct KeyPress {
    int key = 0;  // 0: none
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
};

// Written by the window procedure, read by the event wait and the widgets.
struct InputState {
    int mouse_x = 0;
    int mouse_y = 0;
    int button = 0;       // 0 none, 1 left, 2 right
    int key = 0;          // key held down, 0 when released; never Shift, Ctrl or Alt alone
    // The latest key press (a repeat included) that no event wait has looked
    // at yet, kept even when another loop pumped it or the key is up again.
    KeyPress unseen_press;
    int character = 0;    // typed character; seen only by the turn that pumped it
    int wheel_lines = 0;  // lines to scroll for this message, positive away from the user
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    bool double_click = false;  // the latest press was the second of a double click
    int wheel_remainder = 0;
    int timer_id = 0;     // the timer that this message reported, 0 for other messages
};

struct MainWindowState {
    bool quit_requested = false;
    int current_screen = 0;
    bool screen_needs_redraw = false;
    bool popup_open = false;
    // Set to end every open ShowPopup as if it were cancelled (the passwords
    // lock while a form shows them); whoever set it clears it.
    bool close_popups = false;
    int idle_countdown = 0;
    std::uint64_t last_input_ms = 0;  // tick of the latest key, click or wheel
    int client_width = 0;
    int client_height = 0;
    int centre_x = 0;
};

InputState& input();
MainWindowState& main_window();

// Called by the window procedure after the client size changed, to rebuild
// the drawing surface and fonts and redraw what is showing.
using ResizeHandler = void (*)();
void set_resize_handler(ResizeHandler handler);

// Called when the clipboard changed (another program copied something).
using ClipboardHandler = void (*)();
void set_clipboard_handler(ClipboardHandler handler);

// Called with every timer event, whichever loop pumped it, for timers that
// live longer than one screen (the clearing of a copied password).
using TimerHandler = void (*)(int id);
void set_timer_handler(TimerHandler handler);
// One more such handler beside that one, called after it (each once).
void add_timer_handler(TimerHandler handler);

// Creates (but does not show) the window at the placement in the settings
// and logs it. Shows "Unable to create window" and returns false on failure.
bool create_main_window();
// Takes one event (waiting for it when wait) and applies it to the input
// state. Returns at once when quit is requested.
void pump_message(bool wait);
// A click made for an assistive client at (x, y): pressed now and released
// the way a short real click is, so that it takes the same path.
void synthetic_click(int x, int y);
// Pumps without waiting until no button is held and no character pending,
// then forgets the button the event wait remembered.
void wait_for_release();
// After a popup that ended on a key press: waits (at most limit_ms) until
// that key is up, so that the screen or the next popup does not act on it.
void wait_for_key_release(int limit_ms = 500);
// Mirrors the window's show state and normal rectangle into the settings.
void record_window_placement();
// Reads the client size into the window state.
void read_client_size();
// The same, and when the size changed (the window manager framed or resized
// the window), rebuilds what depends on it as a resize does.
void refresh_client_size();
// Stops the idle timer; the first step of shutdown.
void stop_main_window_timers();

// The event wait's memory of the widget it marked, cleared by wait_for_release.
void forget_marked_widget();
using ForgetHandler = void (*)();
void set_forget_handler(ForgetHandler handler);

}  // namespace domora
