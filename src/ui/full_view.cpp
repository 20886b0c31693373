#include "ui/full_view.h"

#include <algorithm>

#include "app/main_window.h"
#include "ui/event_wait.h"
#include "ui/widgets.h"

namespace domora {

void run_full_view(const std::function<void()>& draw, const std::function<bool(int id)>& act) {
    MainWindowState& win = main_window();
    const bool was_open = win.popup_open;
    win.popup_open = true;
    win.screen_needs_redraw = false;
    draw();
    while (!win.quit_requested) {
        if (win.screen_needs_redraw) {
            win.screen_needs_redraw = false;
            draw();
        }
        if (act(event_wait(true))) break;
    }
    win.popup_open = was_open;
    win.screen_needs_redraw = true;
    wait_for_release();
}

int add_view_title(const std::string& title, int y) {
    const Fonts& f = fonts();
    const MainWindowState& win = main_window();
    AddWidget(kHeaderBandId, kKindHitArea, 0, 0, win.client_width, 35, 0, 0, 0, 0, "");
    const int height = FontHeight(f.large_heading);
    const int width = MeasureText(f.large_heading, title).width;
    AddWidget(0, kKindLabel, (win.client_width - width) / 2, y, (win.client_width + width) / 2 + 1, y + height, rgb(255, 255, 255), 0,
              f.large_heading, 0, title);
    return y + height;
}

void add_button_row(int top, const std::vector<std::pair<int, std::string>>& buttons, int least) {
    const Fonts& f = fonts();
    int width = least;
    for (const auto& b : buttons) width = std::max(width, MeasureText(f.button, b.second).width + 30);
    const int count = static_cast<int>(buttons.size());
    const int left = (main_window().client_width - count * width - (count - 1) * 10) / 2;
    for (int i = 0; i < count; ++i) {
        const int x = left + i * (width + 10);
        AddWidget(buttons[static_cast<std::size_t>(i)].first, kKindButton, x, top, x + width, top + 32, rgb(0, 0, 0), 0, f.button, 1,
                  buttons[static_cast<std::size_t>(i)].second);
    }
}

}  // namespace domora
