#include <sys/stat.h>

#include <filesystem>

#include "app/launch.h"
#include "screens/screens.h"
#include "shell/shell.h"
#include "app/startup.h"
#include "ui/event_wait.h"
#include "ui/popups.h"
#include "ui/tab_bar.h"
#include "ui_fixture.h"

namespace domora {
namespace {

class EventWait : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        BeginWidgets();
        add_tab_bar(kScreenAddresses);
        AddWidget(20, kKindButton, 100, 100, 200, 132, 0, 0, fonts().button, 1, "Find");
        AddWidget(21, kKindButton, 150, 100, 250, 132, 0, 0, fonts().button, 1, "Print");  // overlaps Find
        AddWidget(22, kKindButton, 300, 100, 400, 132, 0, 0, fonts().button, 101, "Map");  // mnemonic on 'M'
        main_window().current_screen = kScreenAddresses;
        DrawAllWidgets();
    }
};

TEST_F(EventWait, AShortClickStillActivatesItsButton) {
    os.push_click(120, 110, 1, 10);
    EXPECT_EQ(next_click(), 20);
    EXPECT_EQ(widgets()[static_cast<std::size_t>(FindWidget(20))].look, kLookNormal);
}

// A press that a loop has seen is released at once, so a click acts
// without delay; one that came and went while nothing waited for it (a long
// scan let the window breathe) stays held fifty milliseconds, for the loop
// after it to see.
TEST_F(EventWait, AReleaseIsSeenAtOnceUnlessNoLoopSawThePress) {
    os.push_mouse_move(120, 110);
    os.push_button_down(120, 110);
    os.push_button_up(120, 110);
    const std::uint64_t start = os.tick_ms();
    event_wait(true);
    event_wait(true);
    EXPECT_EQ(input().button, 1) << "the press was seen";
    EXPECT_EQ(event_wait(true), 20) << "the release was seen at once";
    EXPECT_EQ(input().button, 0);
    EXPECT_EQ(os.tick_ms(), start);

    os.push_button_down(120, 110);
    os.push_button_up(120, 110);
    pump_message(false);
    pump_message(false);
    EXPECT_EQ(input().button, 1) << "released, but still seen as held";
    os.push_wait(49);
    os.push_mouse_move(121, 110);
    while (!os.idle()) event_wait(true);
    EXPECT_EQ(input().button, 1);
    os.push_wait(2);
    while (!os.idle()) event_wait(true);
    EXPECT_EQ(input().button, 0);
}

TEST_F(EventWait, PressingOnAButtonAndReleasingElsewhereActivatesNothing) {
    os.push_mouse_move(120, 110);
    os.push_button_down(120, 110);
    os.push_mouse_move(600, 600);
    os.push_button_up(600, 600);
    os.push_wait(60);
    os.push_mouse_move(601, 600);
    EXPECT_EQ(next_click(), 0);
    EXPECT_EQ(widgets()[static_cast<std::size_t>(FindWidget(20))].look, kLookNormal) << "the pressed look is removed";
}

TEST_F(EventWait, TheEarlierOfTwoOverlappingWidgetsWins) {
    os.push_click(170, 110);
    EXPECT_EQ(next_click(), 20);
}

TEST_F(EventWait, HoverAndPressLooks) {
    os.push_mouse_move(320, 110);
    event_wait(true);
    EXPECT_EQ(widgets()[static_cast<std::size_t>(FindWidget(22))].look, kLookHovered);
    os.push_button_down(320, 110, 2);
    event_wait(true);
    EXPECT_EQ(widgets()[static_cast<std::size_t>(FindWidget(22))].look, kLookPressedRight);
    os.push_mouse_move(700, 700);
    event_wait(true);
    EXPECT_EQ(widgets()[static_cast<std::size_t>(FindWidget(22))].look, kLookNormal);
}

TEST_F(EventWait, AMnemonicPressesItsButtonWhereverTheMouseIs) {
    os.push_mouse_move(120, 110);
    os.push_char('m');
    EXPECT_EQ(next_click(), 22);
    os.push_char('p');  // position 1 of "Print"
    EXPECT_EQ(next_click(), 21);
    os.push_char('A');  // "Addresses" is a tab: tabs have no mnemonic
    os.push_char('z');
    EXPECT_EQ(next_click(), 0);
}

TEST_F(EventWait, WhileAFieldTakesTheKeysOnlyAltPressesAMnemonicAndAltLettersAreNeverTyped) {
    const int field = AddWidget(0, kKindTextInput, 100, 200, 300, 220, 0, rgb(255, 255, 255), fonts().input, 0, "");
    set_focused_field(field - 1);
    os.push_char('m');
    EXPECT_EQ(event_wait(true), 0);
    EXPECT_EQ(input().character, 'm') << "a plain letter is left for the field";
    os.push_alt('m');
    EXPECT_EQ(next_click(), 22);
    os.push_alt('q');  // no widget has it
    event_wait(true);
    event_wait(true);
    EXPECT_EQ(input().character, 0) << "Alt+letter never reaches the field";
    EXPECT_FALSE(main_window().quit_requested);
}

TEST_F(EventWait, TabKeysWalkTheTabsBothWaysAndAltNumbersGoStraightToOne) {
    struct Step {
        int key;
        bool shift, ctrl, alt;
        int screen;
    };
    const Step steps[] = {
        {kKeyPageDown, false, true, false, kScreenPasswords}, {kKeyTab, false, true, false, kScreenVehicles},
        {kKeyTab, true, true, false, kScreenPasswords},        {kKeyPageUp, false, true, false, kScreenAddresses},
        {kKeyPageUp, false, true, false, kScreenAbout},        {kKeyPageDown, false, true, false, kScreenAddresses},
        {'4', false, false, true, kScreenOptions},             {'2', false, false, true, kScreenPasswords},
        {'5', false, false, true, kScreenAbout},
    };
    for (const Step& step : steps) {
        os.push_key(step.key, step.shift, step.ctrl, step.alt);
        EXPECT_EQ(next_click(), step.screen) << step.key;
        EXPECT_EQ(main_window().current_screen, step.screen) << step.key;
        EXPECT_EQ(input().key, 0) << "the next screen does not get the key as well";
        event_wait(true);  // its release
    }
    main_window().current_screen = 4;  // a code without a tab counts as About
    os.push_key(kKeyPageDown, false, true);
    EXPECT_EQ(next_click(), kScreenAddresses);

    // A press that a loop of its own pumped (a key repeat wait, a progress popup) still counts.
    os.push_key(kKeyPageDown, false, true);
    os.push(EventKind::Wake);
    pump_message(true);
    pump_message(true);
    EXPECT_EQ(event_wait(true), kScreenPasswords);

    // A plain Tab or PgDn is the screen's own; with a popup open nothing switches.
    os.push_key(kKeyTab);
    os.push_key(kKeyPageDown);
    EXPECT_EQ(next_click(), 0);
    main_window().quit_requested = false;
    main_window().popup_open = true;
    os.push_key(kKeyPageDown, false, true);
    os.push_key('3', false, false, true);
    EXPECT_EQ(next_click(), 0);
    EXPECT_EQ(main_window().current_screen, kScreenPasswords);
}

TEST_F(EventWait, WheelDeltasGatherIntoNotches) {
    os.push_wheel(60);
    event_wait(true);
    EXPECT_EQ(input().wheel_lines, 0);
    os.push_wheel(60);
    event_wait(true);
    EXPECT_EQ(input().wheel_lines, 3);
    os.push_wheel(-240, false, true);
    event_wait(true);
    EXPECT_EQ(input().wheel_lines, -2) << "Ctrl scrolls a line a notch";
    os.push_wheel(120, true, false);
    event_wait(true);
    EXPECT_EQ(input().wheel_lines, 6) << "Shift doubles";
    os.push_wheel(100);
    os.push_wheel(-30);
    event_wait(true);
    event_wait(true);
    EXPECT_EQ(input().wheel_remainder, -30) << "a change of direction starts afresh";
}

TEST_F(EventWait, TabsSwitchScreensButNotWhileAPopupIsOpen) {
    const WidgetRecord& about = widgets()[static_cast<std::size_t>(FindWidget(kScreenAbout))];
    main_window().popup_open = true;
    os.push_click(about.x1 + 5, 10);
    EXPECT_EQ(next_click(), kScreenAbout);
    EXPECT_EQ(main_window().current_screen, kScreenAddresses);
    main_window().popup_open = false;
    os.push_click(about.x1 + 5, 10);
    EXPECT_EQ(next_click(), kScreenAbout);
    EXPECT_EQ(main_window().current_screen, kScreenAbout);
}

TEST_F(EventWait, ARightClickOnTheHeaderBandCentresTheWindow) {
    settings().window_wide = 900;
    settings().window_high = 600;
    os.push_mouse_move(1200, 10);
    os.push_button_down(1200, 10, 2);
    event_wait(true);
    event_wait(true);
    const Settings& s = settings();
    EXPECT_EQ(s.window_wide, 1024);
    EXPECT_EQ(s.window_high, 748);
    EXPECT_EQ(s.window_x, (1920 - 1024) / 2);
    EXPECT_EQ(s.window_y, (1040 - 748) / 2);
    EXPECT_EQ(os.window.x, s.window_x);
    EXPECT_EQ(os.window.show_state, kShowNormal);
    EXPECT_TRUE(std::filesystem::exists(path("setup313.dat"))) << "the settings are saved";

    os.work = Rect{0, 0, 800, 600};  // a screen smaller than the window
    settings().window_x = 50;
    reset_window_placement();
    EXPECT_EQ(settings().window_x, 0);
    EXPECT_EQ(settings().window_y, 0);
}

TEST_F(EventWait, DraggingTheHeaderBandMovesTheWindow) {
    os.window = WindowPlacement{100, 100, 1200, 800, kShowNormal};
    os.push_mouse_move(1000, 10);
    os.push_button_down(1000, 10);
    // The window follows the cursor, so the cursor keeps its place in the window.
    os.push_mouse_move(1050, 30);
    os.push_mouse_move(1050, 30);
    os.push_button_up(1050, 30);
    os.push_wait(60);
    event_wait(true);
    event_wait(true);
    EXPECT_EQ(os.window.x, 200);
    EXPECT_EQ(os.window.y, 140);
    EXPECT_EQ(settings().window_x, 200);
    EXPECT_EQ(settings().window_y, 140);
}

// ---- auto-close ------------------------------------------------------------------------------------

TEST_F(EventWait, AutoCloseCountsIdleMinutesButNotMouseMovement) {
    settings().auto_close_minutes = 5;
    main_window().idle_countdown = 5;
    os.set_timer(kIdleTimer, kIdlePeriodMs);
    for (int minute = 0; minute < 4; ++minute) {
        os.push_wait(kIdlePeriodMs);
        os.push_mouse_move(10 + minute, 500);
    }
    os.push_key(kKeyDown);  // a key starts the countdown again
    for (int minute = 0; minute < 4; ++minute) os.push_wait(kIdlePeriodMs);
    os.push_mouse_move(5, 5);
    while (!os.script.empty()) event_wait(true);
    EXPECT_FALSE(main_window().quit_requested);
    EXPECT_EQ(main_window().idle_countdown, 1);
    os.push_wait(kIdlePeriodMs);
    os.push_mouse_move(6, 5);
    event_wait(true);
    event_wait(true);
    EXPECT_TRUE(main_window().quit_requested);
}

TEST_F(EventWait, WithoutAutoCloseTheTimerNeverEndsTheRun) {
    settings().auto_close_minutes = 0;
    os.set_timer(kIdleTimer, kIdlePeriodMs);
    os.push_wait(kIdlePeriodMs * 10);
    os.push_mouse_move(5, 5);
    while (!os.script.empty()) event_wait(true);
    EXPECT_FALSE(main_window().quit_requested);
}

// ---- whole runs with the screens ---------------------------------------------------------------------

class Screens : public test::DomoraTest {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        ::mkdir(path("app").c_str(), 0700);
        os.program_path_value = path("app/domora");
    }
};

TEST_F(Screens, TheFirstScreenIsDrawnAndDumpedForOutsideTests) {
    os.environment["DOMORA_WIDGET_DUMP"] = path("dump.txt");
    EXPECT_EQ(run_domora({"domora"}), 0);
    const std::string dump = read(path("dump.txt"));
    EXPECT_EQ(dump.rfind("screen\t3\tpopup\t0\n", 0), 0u) << dump;
    EXPECT_NE(dump.find("\n8\t2\t450\t0\t"), std::string::npos) << "the About tab, after 120 + 120 + 110 + 100 pixels of tabs";
    EXPECT_NE(dump.find("\n1\t11\t"), std::string::npos) << "the header band";
}

TEST_F(Screens, AboutShowsTheVersionAndItsButtonsOpenTheMakersPages) {
    forget_chosen_browser();
    os.environment["BROWSER"] = "/opt/fake/bin/fakefox";
    os.fake_programs = {"/opt/fake/bin/fakefox"};
    os.push_click(460, 10);   // the About tab
    os.push_click(80, 190);   // "Web Page"
    os.push_char('h');        // "Help" by its mnemonic
    EXPECT_EQ(run_domora({"domora"}), 0) << "the run ends when the script does";
    EXPECT_EQ(main_window().current_screen, kScreenAbout);
    bool headline = false;
    for (const auto& t : os.drawn_texts) headline = headline || t.text == "Domora Version 3.16 - Released Dec 07, 2026";
    EXPECT_TRUE(headline);
    // Through the launcher: the browser it found is started with each page.
    const std::vector<std::vector<std::string>> expected = {{"/opt/fake/bin/fakefox", "https://www.tarnwick.com/"},
                                                            {"/opt/fake/bin/fakefox", "https://www.tarnwick.com/domora-help.php"}};
    EXPECT_EQ(os.started_programs, expected);
    EXPECT_TRUE(os.opened_urls.empty());
}

TEST_F(Screens, ReleaseDatesAreWrittenTheShortWay) {
    EXPECT_EQ(release_date_text(2023, 3, 10), "Mar 10, 2023");
    EXPECT_EQ(release_date_text(2026, 12, 7), "Dec 07, 2026");
}

}  // namespace
}  // namespace domora
