#include "ui/tab_bar.h"

#include "app/main_window.h"
#include "app/startup.h"
#include "ui/event_wait.h"
#include "ui/widgets.h"

namespace domora {

void add_tab_bar(int current_screen) {
    struct Tab {
        int code;
        const char* caption;
    };
    static constexpr Tab kTabs[] = {{kScreenAddresses, "Addresses"}, {kScreenPasswords, "Passwords"},
                                    {kScreenVehicles, "Vehicles"},   {kScreenOptions, "Options"},
                                    {kScreenAbout, "About"}};
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
    AddWidget(kHeaderBandId, kKindHitArea, x, 0, win.client_width, kTabBarHeight, 0, 0, 0, 0, "");
}

}  // namespace domora
