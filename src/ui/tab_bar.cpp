#include "ui/tab_bar.h"

#include <iterator>

#include "app/main_window.h"
#include "app/startup.h"
#include "ui/event_wait.h"
#include "ui/widgets.h"

namespace domora {

namespace {

std::string g_status_note;

struct Tab {
    int code;
    const char* caption;
};
constexpr Tab kTabs[] = {{kScreenAddresses, "Addresses"}, {kScreenPasswords, "Passwords"}, {kScreenVehicles, "Vehicles"},
                         {kScreenOptions, "Options"}, {kScreenAbout, "About"}};
constexpr int kTabCount = static_cast<int>(std::size(kTabs));

}  // namespace

void set_status_note(const std::string& text) { g_status_note = text; }
const std::string& status_note() { return g_status_note; }

int tab_screen(int position) {
    return position >= 1 && position <= kTabCount ? kTabs[position - 1].code : 0;
}

int neighbour_tab(int current_screen, int step) {
    int at = kTabCount - 1;
    for (int i = 0; i < kTabCount; ++i) {
        if (kTabs[i].code == current_screen) at = i;
    }
    return kTabs[((at + step) % kTabCount + kTabCount) % kTabCount].code;
}

void add_tab_bar(int current_screen) {
    const Fonts& f = fonts();
    const MainWindowState& win = main_window();
    int x = 0;
    for (const Tab& tab : kTabs) {
        const int width = MeasureText(f.button, tab.caption).width + 30;
        const bool active = tab.code == current_screen;
        AddWidget(tab.code, kKindTab, x, 0, x + width, kTabBarHeight, 0, active ? 1 : 0, f.button, 0, tab.caption);
        x += width;
    }
    // The band right of the tabs: the title on a gradient, and the hit area that moves the window.
    AddWidget(0, kKindGradient, x, 0, win.client_width, kTabBarHeight + 1, rgb(36, 70, 84), rgb(22, 48, 60), 0, 0, "");
    const int title_height = FontHeight(f.title);
    const int title_y = (kTabBarHeight - title_height) / 2;
    const int title_width = MeasureText(f.title, kProductName).width;
    AddWidget(0, kKindLabel, x + 16, title_y, x + 17 + title_width, title_y + title_height, rgb(255, 255, 255), 0, f.title, 0,
              kProductName);
    const int small_height = FontHeight(f.small_bold);
    const std::string version = std::string(" ") + kVersion;
    AddWidget(0, kKindLabel, x + 17 + title_width, title_y + title_height - small_height - 2,
              x + 18 + title_width + MeasureText(f.small_bold, version).width, title_y + title_height, rgb(200, 220, 230), 0,
              f.small_bold, 0, version);
    if (!g_status_note.empty()) {
        const int note_width = MeasureText(f.small_bold, g_status_note).width;
        const int note_x = win.client_width - note_width - 16;
        const int note_y = (kTabBarHeight - small_height) / 2;
        if (note_x > x + 40 + title_width) {
            AddWidget(0, kKindLabel, note_x, note_y, note_x + note_width + 1, note_y + small_height, rgb(200, 220, 230), 0, f.small_bold, 0,
                      g_status_note);
        }
    }
    AddWidget(kHeaderBandId, kKindHitArea, x, 0, win.client_width, kTabBarHeight, 0, 0, 0, 0, "");
}

}  // namespace domora
