#include "screens/screen_loop.h"

#include "app/main_window.h"
#include "app/settings.h"
#include "platform/platform.h"
#include "ui/event_wait.h"

namespace domora {

namespace {
bool g_window_shown = false;
void (*g_first_notice)() = nullptr;
}

void show_after_first_draw(void (*notice)()) { g_first_notice = notice; }

ScreenLoop::ScreenLoop(int code) : m_code(code) {
    main_window().screen_needs_redraw = true;
    platform().post_timer(0);  // so that the first wait returns at once
}

bool ScreenLoop::next(int& id, void (*draw)()) {
    MainWindowState& win = main_window();
    id = 0;
    if (win.current_screen != m_code || win.quit_requested) return false;
    id = event_wait(true);
    if (win.screen_needs_redraw) {
        win.screen_needs_redraw = false;
        if (!g_window_shown) {
            platform().show_main_window(settings().window_state);
            g_window_shown = true;
        }
        // The first show may have sized the window to its frame.
        refresh_client_size();
        win.screen_needs_redraw = false;
        draw();
        id = 0;
        if (void (*notice)() = g_first_notice) {
            g_first_notice = nullptr;
            notice();
        }
    }
    return win.current_screen == m_code && !win.quit_requested;
}

}  // namespace domora
