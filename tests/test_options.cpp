// The Options screen against the headless window: the screen font, its
// size list and the cap by the window's height, smoothing, and the idle time.
#include <map>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/settings.h"
#include "app/startup.h"
#include "screens/options_screen.h"
#include "ui/popups.h"
#include "ui/screen_font.h"
#include "ui_fixture.h"

namespace domora {
namespace {

class Options : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        set_message_handler(nullptr);
        popup_list() = PopupList{};
        main_window().current_screen = kScreenOptions;
        run();
    }
    // Runs the screen over what is queued; it ends when the script does.
    void run() {
        main_window().quit_requested = false;
        options_screen();
        for (const WidgetRecord& w : widgets()) {
            if (w.id == kEndMarker) break;
            if (w.id != 0 && !main_window().popup_open) layout[w.id] = w;
        }
    }
    void click(int id) {
        const WidgetRecord& w = layout.at(id);
        os.push_click((w.x1 + w.x2) / 2, (w.y1 + w.y2) / 2);
    }
    // The settings as the file holds them now.
    Settings saved() {
        Settings s;
        parse_settings(read(path("setup313.dat")), s);
        return s;
    }
    void resize(int height) {
        os.client_height = height;
        read_client_size();
        rebuild_surface();
    }
    std::map<int, WidgetRecord> layout;
};

TEST_F(Options, EveryControlIsThereWithItsText) {
    for (int id : {457, 458, 459, 460, 462, 463, 464, 465}) EXPECT_TRUE(layout.count(id)) << id;
    EXPECT_EQ(layout.at(462).text, "Backup");
    EXPECT_EQ(layout.at(463).text, "Restore");
    EXPECT_EQ(layout.at(458).text, ">Arial");
    EXPECT_EQ(layout.at(459).text, ">20");
    EXPECT_EQ(layout.at(460).checked, 1);
    EXPECT_EQ(layout.at(465).text, ">Never");
    EXPECT_EQ(idle_text(90), "After 90 minutes");
}

TEST_F(Options, TheSizeListFollowsTheWindowHeight) {
    resize(760);
    run();
    click(kOptionsSizeBoxId);
    os.push_key(kKeyEscape);
    run();
    EXPECT_EQ(popup_list().lines, (std::vector<std::string>{"16", "18", "20", "22", "24", "26"}));
    EXPECT_EQ(settings().screen_font_size, 20);  // leaving the list changes nothing

    resize(950);
    run();
    click(kOptionsSizeBoxId);
    os.push_key(kKeyEnd);
    os.push_key(kKeyReturn);
    run();
    EXPECT_EQ(popup_list().lines.size(), 11u);
    EXPECT_EQ(popup_list().lines.back(), "36");
    EXPECT_EQ(settings().screen_font_size, 36);
    EXPECT_EQ(saved().screen_font_size, 36);
    EXPECT_EQ(os.font_spec(fonts().user_normal)->height, 36);

    // A shorter window caps the size for good: it stays when the window grows again.
    resize(760);
    EXPECT_EQ(settings().screen_font_size, 26);
    resize(950);
    EXPECT_EQ(settings().screen_font_size, 26);
    EXPECT_EQ(os.font_spec(fonts().user_normal)->height, 26);
}

TEST_F(Options, TheFontComesFromTheInstalledFamiliesAndAnUnknownOneIsArial) {
    click(kOptionsFontBoxId);
    os.push_char('V');
    os.push_key(kKeyReturn);
    run();
    EXPECT_EQ(popup_list().lines, installed_font_families());
    EXPECT_EQ(settings().screen_font, "Verdana");
    EXPECT_EQ(saved().screen_font, "Verdana");
    EXPECT_EQ(os.font_spec(fonts().user_bold)->face, "Verdana");
    EXPECT_EQ(layout.at(kOptionsFontBoxId).text, ">Verdana");

    installed_fonts.names = {"DejaVu Sans"};  // Verdana is uninstalled
    settings().screen_font_size = 22;
    make_fonts();
    run();
    EXPECT_EQ(settings().screen_font, "Arial");
    EXPECT_EQ(layout.at(kOptionsFontBoxId).text, ">Arial");
    save_settings();
    EXPECT_EQ(saved().screen_font, "Arial");
    // Letter case does not matter.
    settings().screen_font = "dejavu sans";
    make_fonts();
    EXPECT_EQ(settings().screen_font, "dejavu sans");
}

TEST_F(Options, ScreenFontReturnsToTheDefaultOnlyOnOk) {
    settings().screen_font = "Verdana";
    settings().screen_font_size = 24;
    run();
    click(kOptionsScreenFontId);
    os.push_key(kKeyEscape);
    run();
    EXPECT_EQ(settings().screen_font, "Verdana");
    EXPECT_EQ(settings().screen_font_size, 24);
    click(kOptionsScreenFontId);
    os.push_key(kKeyReturn);  // OK is the default
    run();
    EXPECT_EQ(settings().screen_font, "Arial");
    EXPECT_EQ(settings().screen_font_size, 20);
    EXPECT_EQ(saved().screen_font, "Arial");
}

TEST_F(Options, SmoothFontsTogglesAndSavesEachTime) {
    click(kOptionsSmoothId);
    run();
    EXPECT_EQ(settings().font_smoothing, 0);
    EXPECT_EQ(saved().font_smoothing, 0);
    EXPECT_FALSE(os.font_spec(fonts().user_normal)->smooth);
    EXPECT_EQ(layout.at(kOptionsSmoothId).checked, 0);
    click(kOptionsSmoothId);
    run();
    EXPECT_EQ(settings().font_smoothing, 1);
    EXPECT_EQ(saved().font_smoothing, 1);
    EXPECT_TRUE(os.font_spec(fonts().user_normal)->smooth);
}

TEST_F(Options, TheIdleListSetsTheMinutesAndRestartsTheCountdown) {
    settings().auto_close_minutes = 120;
    main_window().idle_countdown = 7;
    run();
    click(kOptionsIdleBoxId);
    os.push_key(kKeyHome);
    os.push_key(kKeyDown);
    os.push_key(kKeyReturn);
    run();
    EXPECT_EQ(popup_list().lines, (std::vector<std::string>{"Never", "After 30 minutes", "After 60 minutes", "After 90 minutes",
                                                             "After 120 minutes", "After 150 minutes", "After 180 minutes"}));
    EXPECT_EQ(settings().auto_close_minutes, 30);
    EXPECT_EQ(saved().auto_close_minutes, 30);
    EXPECT_EQ(main_window().idle_countdown, 30);
    EXPECT_EQ(layout.at(kOptionsIdleBoxId).text, ">After 30 minutes");

    click(kOptionsIdleBoxId);
    os.push_key(kKeyHome);
    os.push_key(kKeyReturn);
    run();
    EXPECT_EQ(settings().auto_close_minutes, 0);
    // "Never": a long quiet time no longer ends the program.
    main_window().quit_requested = false;
    for (int minute = 0; minute < 200; ++minute) os.push(EventKind::Timer, kIdleTimer);
    run();
    EXPECT_EQ(main_window().idle_countdown, 0);
}

TEST_F(Options, TheFuelEconomyListStoresItsChoiceAndCancelKeepsIt) {
    EXPECT_EQ(layout.at(kOptionsEconomyBoxId).text, ">Automatic");
    click(kOptionsEconomyBoxId);
    os.push_key(kKeyHome);
    os.push_key(kKeyDown);
    os.push_key(kKeyDown);
    os.push_key(kKeyReturn);
    run();
    EXPECT_EQ(popup_list().lines, (std::vector<std::string>{"Automatic", "km/l", "L/100 km", "mpg (US)", "mpg (UK)"}));
    EXPECT_EQ(settings().fuel_economy_unit, kEconomyLitresPer100Km);
    EXPECT_EQ(saved().fuel_economy_unit, kEconomyLitresPer100Km);
    EXPECT_EQ(layout.at(kOptionsEconomyBoxId).text, ">L/100 km");

    click(kOptionsEconomyBoxId);
    os.push_key(kKeyEscape);
    run();
    EXPECT_EQ(saved().fuel_economy_unit, kEconomyLitresPer100Km);
    // Back to Automatic, the default, the entry leaves the file again.
    click(kOptionsEconomyBoxId);
    os.push_key(kKeyHome);
    os.push_key(kKeyReturn);
    run();
    EXPECT_EQ(read(path("setup313.dat")).find("fuel_economy_unit"), std::string::npos);
}

}  // namespace
}  // namespace domora
