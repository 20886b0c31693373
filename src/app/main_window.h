// The main window: creation at the saved placement, the main loop, and the
// placement kept in the settings.
#pragma once

namespace domora {

inline constexpr unsigned kBackgroundRgb = 0x305969;  // red 48, green 89, blue 105

struct MainWindowState {
    bool quit_requested = false;
    int current_screen = 0;
};

MainWindowState& main_window();

// Creates (but does not show) the window at the placement in the settings
// and logs it. Shows "Unable to create window" and returns false on failure.
bool create_main_window();
// Runs until the user closes the window or the program is told to end.
void main_loop();
// Mirrors the window's show state and normal rectangle into the settings.
void record_window_placement();

}  // namespace domora
