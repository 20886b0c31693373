#include "app/main_window.h"

#include "app/settings.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "app/text.h"
#include "platform/platform.h"

namespace domora {

namespace {

MainWindowState g_state;

}  // namespace

MainWindowState& main_window() { return g_state; }

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
    return true;
}

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

void main_loop() {
    platform().show_main_window(settings().window_state);
    while (!g_state.quit_requested) {
        Event event;
        if (!platform().next_event(event, true)) continue;
        switch (event.kind) {
            case EventKind::Close:
            case EventKind::Terminate:
                g_state.quit_requested = true;
                break;
            default:
                break;
        }
    }
}

}  // namespace domora
