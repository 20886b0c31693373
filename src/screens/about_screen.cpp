#include <algorithm>
#include <cstdio>
#include <string>

#include "app/config.h"
#include "app/launch.h"
#include "app/main_window.h"
#include "screens/screen_loop.h"
#include "screens/screens.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "ui/tab_bar.h"
#include "ui/widgets.h"

namespace domora {

namespace {

struct Link {
    int id;
    const char* caption;
    std::string text;
    std::string path;
};

std::vector<Link> links() {
    return {
        {402, "Web Page", std::string("- ") + kMakerHost, "/"},
        {403, "Contact Us", std::string("- ") + kSupportAddress, "/contact.php"},
        {407, "Help", "- Online user guide", "/domora-help.php"},
        {406, "Newsletter", "- Subscribe to our newsletter", "/newsletter.php"},
    };
}

void draw_about() {
    const Fonts& f = fonts();
    const MainWindowState& win = main_window();
    BeginWidgets();
    add_tab_bar(kScreenAbout);
    const int left = 60;
    int y = kTabBarHeight + 40;
    int house_w = 64, house_h = 64;
    platform().bitmap_size("HOUSE64", house_w, house_h);
    AddWidget(0, kKindBitmap, left, y, left + house_w, y + house_h, 0, 0, 0, 0, "HOUSE64");
    const std::string headline = std::string(kProductName) + " Version " + kVersion + " - Released " +
                                 release_date_text(kReleaseYear, kReleaseMonth, kReleaseDay);
    const int heading_height = FontHeight(f.large_heading);
    AddWidget(0, kKindLabel, left + house_w + 24, y + (house_h - heading_height) / 2, win.client_width - 20,
              y + (house_h + heading_height) / 2, rgb(255, 255, 255), 0, f.large_heading, 0, headline);
    y += house_h + 40;
    int button_width = 0;
    for (const Link& link : links()) button_width = std::max(button_width, MeasureText(f.button, link.caption).width + 40);
    button_width = std::max(button_width, 160);
    const int text_height = FontHeight(f.user_normal);
    for (const Link& link : links()) {
        AddWidget(link.id, kKindButton, left, y, left + button_width, y + 32, rgb(0, 0, 0), 0, f.button, 1, link.caption);
        AddWidget(0, kKindLabel, left + button_width + 16, y + (32 - text_height) / 2, win.client_width - 20,
                  y + (32 + text_height) / 2, rgb(255, 255, 255), 0, f.user_normal, 0, link.text);
        y += 52;
    }
    const OsVersion& os = startup_os_version();
    const std::string system = os.name + " - " + std::to_string(os.major) + "." + std::to_string(os.minor) + "." +
                               std::to_string(os.build);
    const int small = FontHeight(f.small_bold);
    AddWidget(0, kKindLabel, left, win.client_height - 2 * small - 24, win.client_width - 20, win.client_height - small - 24,
              rgb(200, 220, 230), 0, f.small_bold, 0, kVersion);
    AddWidget(0, kKindLabel, left, win.client_height - small - 20, win.client_width - 20, win.client_height - 20,
              rgb(200, 220, 230), 0, f.small_bold, 0, system);
    DrawAllWidgets();
}

}  // namespace

std::string release_date_text(int year, int month, int day) {
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    if (month < 1 || month > 12) month = 1;
    char text[32];
    std::snprintf(text, sizeof text, "%.3s %02d, %04d", kMonths + 3 * (month - 1), day, year);
    return text;
}

void about_screen() {
    ScreenLoop loop(kScreenAbout);
    int id = 0;
    while (loop.next(id, draw_about)) {
        for (const Link& link : links()) {
            if (id != link.id) continue;
            wait_for_release();
            // Through the launcher, so that its log lines, browser order and message apply.
            open_web_page(std::string("https://") + kMakerHost + link.path);
            main_window().screen_needs_redraw = true;
        }
    }
}

void blank_screen(int code) {
    static int s_code = 0;
    s_code = code;
    ScreenLoop loop(code);
    int id = 0;
    while (loop.next(id, [] {
        BeginWidgets();
        add_tab_bar(s_code);
        DrawAllWidgets();
    })) {
    }
}

}  // namespace domora
