#include <sys/stat.h>

#include <map>

#include "app/files.h"
#include "app/main_window.h"
#include "screens/screens.h"
#include "shell/shell.h"
#include "app/settings.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "app/text.h"
#include "support.h"

namespace domora {
namespace {

class Startup : public test::DomoraTest {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        main_window() = MainWindowState{};
        ::mkdir(path("home").c_str(), 0700);
    }
};

// ---- the data folder ---------------------------------------------------------------------

TEST_F(Startup, InstalledProgramsKeepTheirDataInTheXdgDataFolder) {
    os.environment["XDG_DATA_HOME"] = path("xdg");
    for (const char* folder : {"/usr/bin/", "/usr/local/bin/", "/opt/domora/", "/USR/Local/Bin/"}) {
        EXPECT_EQ(choose_data_folder(folder), path("xdg/domora/")) << folder;
    }
    EXPECT_EQ(choose_data_folder(path("home/.local/bin/")), path("xdg/domora/"));
    EXPECT_EQ(mode_of(path("xdg/domora")) & 0777, 0700u);
}

TEST_F(Startup, WithoutXdgDataHomeTheDefaultFolderIsCreatedWithItsParents) {
    os.environment.erase("XDG_DATA_HOME");
    const mode_t old_mask = ::umask(022);
    EXPECT_EQ(choose_data_folder("/usr/bin/"), path("home/.local/share/domora/"));
    ::umask(old_mask);
    EXPECT_EQ(mode_of(path("home/.local/share/domora")) & 0777, 0700u);
    // A new account's ~/.local/share is every program's folder, not ours.
    EXPECT_EQ(mode_of(path("home/.local")) & 0777, 0755u);
    EXPECT_EQ(mode_of(path("home/.local/share")) & 0777, 0755u);
    os.environment["XDG_DATA_HOME"] = "relative/path";  // not absolute: ignored
    EXPECT_EQ(choose_data_folder("/usr/bin/"), path("home/.local/share/domora/"));
}

TEST_F(Startup, AProgramAnywhereElseKeepsItsDataBesideItself) {
    os.environment["XDG_DATA_HOME"] = path("xdg");
    EXPECT_EQ(choose_data_folder("/srv/tools/domora/"), "/srv/tools/domora/");
    EXPECT_EQ(choose_data_folder(path("home/Documents/")), path("home/Documents/"));
    EXPECT_EQ(choose_data_folder("/usrlocal/"), "/usrlocal/") << "a prefix is a whole folder name";
    EXPECT_FALSE(folder_exists(path("xdg")));
}

TEST_F(Startup, PathsAreFormedFromTheDataFolder) {
    set_app_paths("/opt/domora/domora", path("data"), "vehicle");
    const AppPaths& p = app_paths();
    EXPECT_EQ(p.program_folder, "/opt/domora/");
    EXPECT_EQ(p.data_folder, path("data/"));
    EXPECT_EQ(p.address_file, path("data/address10.dat"));
    EXPECT_EQ(p.password_file, path("data/password10.dat"));
    EXPECT_EQ(p.vehicle_file, path("data/vehicle11.dat"));
    EXPECT_EQ(p.settings_file, path("data/setup313.dat"));
    EXPECT_EQ(p.scratch_file, path("data/Temp.dat"));
    EXPECT_EQ(p.status_log, path("data/status.log"));
}

TEST_F(Startup, OlderDataFilesAreCarriedOverButNeverOverwrite) {
    ::mkdir(path("prog").c_str(), 0700);
    ::mkdir(path("prog/domora_data").c_str(), 0700);
    ::mkdir(path("data").c_str(), 0700);
    write(path("prog/domora_data/address10.dat"), "old addresses");
    write(path("prog/domora_data/vehicle11.dat"), "old vehicles");
    write(path("data/vehicle11.dat"), "current vehicles");
    set_app_paths(path("prog/domora"), path("data"), "");
    carry_over_data_files();
    EXPECT_EQ(read(path("data/address10.dat")), "old addresses");
    EXPECT_EQ(read(path("data/vehicle11.dat")), "current vehicles");
    EXPECT_FALSE(file_exists(path("data/password10.dat")));
}

// ---- status log and command line ----------------------------------------------------------

TEST_F(Startup, TheStatusLogStartsAfreshWithItsHeader) {
    ::mkdir(path("data").c_str(), 0700);
    write(path("data/status.log"), "lines of the last run\r\n");
    set_app_paths("/opt/domora/domora", path("data"), "");
    start_status_log();
    const std::vector<std::string> expected = {
        "Domora 3.16 Status Log",
        "",
        "Program Files 1 - /usr/, /opt/",
        "Program Files 2 - " + to_lower(path("home/.local/")),
        "App Path - /opt/domora/",
        "Data Path - " + path("data/"),
        "",
    };
    EXPECT_EQ(log_lines(path("data/status.log")), expected);
}

TEST_F(Startup, TheFirstScreenWordIsACaseSensitiveSubstring) {
    EXPECT_EQ(choose_start_screen(""), kScreenAddresses);
    EXPECT_EQ(choose_start_screen("vehicle"), kScreenVehicles);
    EXPECT_EQ(choose_start_screen("Address vehicle"), kScreenVehicles);
    EXPECT_EQ(choose_start_screen("password"), kScreenPasswords);
    EXPECT_EQ(choose_start_screen("vehicles password"), kScreenVehicles);
    EXPECT_EQ(choose_start_screen("password address"), kScreenAddresses);
    EXPECT_EQ(choose_start_screen("VEHICLE"), kScreenAddresses);
    EXPECT_EQ(command_line_of({"domora", " ", "vehicle", " "}), "vehicle");
    EXPECT_EQ(command_line_of({"domora"}), "");
}

// ---- system identity ------------------------------------------------------------------------

TEST_F(Startup, TheSystemIsNamedFromOsReleaseAndTheKernel) {
    status_log_set_path(path("status.log"));
    const OsVersion v = os_version();
    EXPECT_EQ(v.major, 6);
    EXPECT_EQ(v.minor, 1);
    EXPECT_EQ(v.build, 0);
    EXPECT_EQ(v.name, "Debian GNU/Linux 12 (bookworm), 6.1.0-test (64-bit)");
    const std::vector<std::string> expected = {"uname:  6 -  1 -  0 - Linux - 6.1.0-test",
                                               "os-release: Debian GNU/Linux 12 (bookworm)", "Wow64:  0"};
    EXPECT_EQ(log_lines(path("status.log")), expected);
}

TEST_F(Startup, WithoutOsReleaseTheKernelNameStands) {
    status_log_set_path(path("status.log"));
    os.os.has_os_release = false;
    os.os.pretty_name.clear();
    os.os.machine = "armv7l";
    const OsVersion v = os_version();
    EXPECT_EQ(v.name, "Linux, 6.1.0-test (32-bit)");
    EXPECT_EQ(log_lines(path("status.log"))[1], "No File /etc/os-release");
}

// ---- whole runs ---------------------------------------------------------------------------------

class Run : public Startup {
protected:
    void SetUp() override {
        Startup::SetUp();
        ::mkdir(path("app").c_str(), 0700);
        os.program_path_value = path("app/domora");  // a portable copy: data beside it
    }
    std::vector<std::string> log() { return log_lines(path("app/status.log")); }
};

TEST_F(Run, StartsLogsAndShutsDownInOrder) {
    write(path("app/Temp.dat"), "scratch");
    write(path("app/temp.htm"), "page");
    write(path("app/setup313.dat"), "");
    ::chmod(path("app/setup313.dat").c_str(), 0444);
    write(path("app/address10.dat.tmp-99-0"), "left by a crash");
    os.push(EventKind::Timer, 7);
    os.push(EventKind::Close);

    EXPECT_EQ(run_domora({"domora", "password"}), 0);
    EXPECT_EQ(main_window().current_screen, kScreenPasswords);
    EXPECT_TRUE(os.window_shown);
    EXPECT_FALSE(os.window_exists);
    EXPECT_TRUE(os.message_boxes.empty());

    const auto lines = log();
    ASSERT_GE(lines.size(), 14u) << "the start-up lines, then what the first screen logs";
    EXPECT_EQ(lines[0], "Domora 3.16 Status Log");
    EXPECT_EQ(lines[4], "App Path - " + path("app/"));
    EXPECT_EQ(lines[5], "Data Path - " + path("app/"));
    EXPECT_EQ(lines[10], "Debian GNU/Linux 12 (bookworm), 6.1.0-test (64-bit) -  6. 1. 0");
    EXPECT_EQ(lines[11], "Window Position:  160 -  19");
    EXPECT_EQ(lines[12], "Window Size:  1600x 1000");
    EXPECT_EQ(lines[13], "Window State:  1");

    const std::string image = read(path("app/setup313.dat"));
    ASSERT_GT(image.size(), 16u);
    EXPECT_EQ(image.substr(image.size() - 30, 8), std::string("\x31\xD4\x06\x00\x10\x00\x00\x00", 8));
    EXPECT_EQ(mode_of(path("app/setup313.dat")), 0600u);
    EXPECT_FALSE(file_exists(path("app/Temp.dat")));
    EXPECT_FALSE(file_exists(path("app/temp.htm")));
    EXPECT_FALSE(file_exists(path("app/address10.dat.tmp-99-0")));
}

TEST_F(Run, ATerminationSignalEndsTheRunLikeClosing) {
    os.push(EventKind::Terminate);
    os.push(EventKind::Timer, 1);  // never reached
    EXPECT_EQ(run_domora({"domora"}), 0);
    EXPECT_EQ(os.script.size(), 1u);
    EXPECT_TRUE(file_exists(path("app/setup313.dat")));
}

TEST_F(Run, TheWindowPlacementAtExitIsSavedAndAMinimisedWindowComesBackNormal) {
    os.push_window_move(WindowPlacement{40, 50, 1100, 800, kShowMinimised});
    os.push(EventKind::Close);
    EXPECT_EQ(run_domora({"domora"}), 0);
    std::size_t position = 0;
    std::string name, value;
    const std::string image = read(path("app/setup313.dat"));
    std::map<std::string, std::string> stored;
    while (position < image.size()) {
        read_settings_entry(image, position, name, value);
        stored[name] = value;
    }
    EXPECT_EQ(stored["window_x"], "40");
    EXPECT_EQ(stored["window_wide"], "1100");
    EXPECT_EQ(stored["window_state"], "2");

    load_settings(os.work);
    EXPECT_EQ(settings().window_x, 40);
    EXPECT_EQ(settings().window_state, kShowNormal);
}

TEST_F(Run, TheOuterFrameGoesRoundTripUnchangedAndFitsASmallerScreen) {
    // A window manager's frame: borders of 1, a title bar of 24.
    os.frame = Rect{1, 24, 1, 1};
    write(path("app/setup313.dat"), settings_entry("window_x", "30") + settings_entry("window_y", "40") +
                                        settings_entry("window_wide", "1300") + settings_entry("window_high", "900"));
    for (int start = 0; start < 3; ++start) {
        os.push(EventKind::Close);
        ASSERT_EQ(run_domora({"domora"}), 0);
        EXPECT_EQ(os.window.x, 30);
        EXPECT_EQ(os.window.y, 40);
        EXPECT_EQ(os.window.width, 1300) << "start " << start;
        EXPECT_EQ(os.window.height, 900) << "start " << start;
        EXPECT_EQ(os.client_width, 1298) << "the client area is the frame less its borders";
        EXPECT_EQ(os.client_height, 875);
        EXPECT_EQ(settings().window_wide, 1300);
        EXPECT_EQ(settings().window_high, 900);
    }

    // The same settings on a smaller screen: the frame shrinks into the work area, then moves onto it.
    os.work = Rect{0, 0, 1280, 1000};
    write(path("app/setup313.dat"), settings_entry("window_x", "600") + settings_entry("window_y", "-30") +
                                        settings_entry("window_wide", "1600") + settings_entry("window_high", "1100"));
    os.push(EventKind::Close);
    ASSERT_EQ(run_domora({"domora"}), 0);
    EXPECT_EQ(os.window.x, 0);
    EXPECT_EQ(os.window.y, 0) << "the title bar is on the screen";
    EXPECT_EQ(os.window.width, 1280);
    EXPECT_EQ(os.window.height, 1000);
}

TEST_F(Run, ASecondInstanceBringsTheFirstForwardAndTouchesNothing) {
    HeadlessPlatform first;
    ASSERT_TRUE(first.claim_single_instance("Domora"));
    first.window.show_state = kShowMinimised;
    write(path("app/status.log"), "the first instance's log\r\n");

    EXPECT_EQ(run_domora({"domora"}), 0);
    EXPECT_EQ(first.forward_requests, 1);
    EXPECT_EQ(first.window.show_state, kShowNormal);
    EXPECT_EQ(read(path("app/status.log")), "the first instance's log\r\n");
    EXPECT_FALSE(file_exists(path("app/setup313.dat")));
    EXPECT_TRUE(os.message_boxes.empty());
    EXPECT_FALSE(os.window_exists);
}

TEST_F(Run, TooFewColoursIsRefused) {
    os.depth = 8;
    EXPECT_EQ(run_domora({"domora"}), 1);
    ASSERT_EQ(os.message_boxes.size(), 1u);
    EXPECT_EQ(os.message_boxes[0].text, "Please change to a High Color or True Color screen setting");
    EXPECT_EQ(os.message_boxes[0].caption, "Insufficient Colors!");
    EXPECT_FALSE(os.window_exists);
    HeadlessPlatform next;
    EXPECT_TRUE(next.claim_single_instance("Domora")) << "the instance is released";
}

TEST_F(Run, AWindowThatCannotBeCreatedEndsTheRun) {
    os.window_creation_fails = true;
    EXPECT_EQ(run_domora({"domora"}), 1);
    ASSERT_EQ(os.message_boxes.size(), 1u);
    EXPECT_EQ(os.message_boxes[0].text, "Unable to create window");
}

TEST_F(Run, ASettingsSaveThatFailsAtExitIsShown) {
    os.push(EventKind::Close);
    os.fail_renames(EACCES);
    EXPECT_EQ(run_domora({"domora"}), 0);
    ASSERT_EQ(os.message_boxes.size(), 1u);
    EXPECT_EQ(os.message_boxes[0].text,
              "Your program settings did not save correctly.\r\nIf this problem continues please contact Tarnwick.");
    EXPECT_EQ(os.message_boxes[0].caption, "Domora Setting Error");
    EXPECT_EQ(log().back().substr(0, 33), "User Settings Saved Incorrectly: ");
}

TEST_F(Run, SavedSettingsComeBackOnTheNextStart) {
    write(path("app/setup313.dat"), settings_entry("window_x", "301") + settings_entry("screen_font", "Verdana"));
    os.push(EventKind::Close);
    EXPECT_EQ(run_domora({"domora"}), 0);
    EXPECT_EQ(os.window.x, 301);
    settings() = Settings{};
    load_settings(os.work);
    EXPECT_EQ(settings().screen_font, "Verdana");
    EXPECT_EQ(settings().window_x, 301);
}

}  // namespace
}  // namespace domora
