#include <sys/stat.h>

#include <random>

#include "app/settings.h"
#include "app/status_log.h"
#include "support.h"

namespace domora {
namespace {

const Rect kArea{0, 0, 1920, 1040};

class SettingsFile : public test::DomoraTest {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        settings_set_path(path("setup313.dat"));
        status_log_set_path(path("status.log"));
    }
    std::vector<std::string> log() { return log_lines(path("status.log")); }
    Settings loaded(const std::string& image) {
        write(path("setup313.dat"), image);
        load_settings(kArea);
        return settings();
    }
};

std::string entry(const std::string& name, const std::string& value) { return settings_entry(name, value); }

// ---- defaults and placement ----------------------------------------------------------------

TEST_F(SettingsFile, DefaultsCentreTheWindowInTheWorkArea) {
    const Settings s = default_settings(kArea);
    EXPECT_EQ(s.window_wide, 1600);
    EXPECT_EQ(s.window_high, 1000);
    EXPECT_EQ(s.window_x, 160);
    EXPECT_EQ(s.window_y, 19);  // (1039 - 1000) / 2, rounded down
    EXPECT_EQ(s.window_state, 1);
    EXPECT_EQ(s.screen_font, "Arial");
    EXPECT_EQ(s.screen_font_size, 20);
    EXPECT_EQ(s.font_smoothing, 1);

    const Settings small = default_settings(Rect{100, 50, 1124, 818});
    EXPECT_EQ(small.window_wide, 1024);
    EXPECT_EQ(small.window_high, 767);
    EXPECT_EQ(small.window_x, 100);
    EXPECT_EQ(small.window_y, 50);
}

TEST_F(SettingsFile, AMissingOrEmptyFileGivesDefaults) {
    load_settings(kArea);
    EXPECT_EQ(settings().window_x, 160);
    EXPECT_EQ(settings().screen_font, "Arial");
    const Settings s = loaded("");
    EXPECT_EQ(s.window_wide, 1600);
    EXPECT_TRUE(log().empty());
}

TEST_F(SettingsFile, TheWindowFrameIsFittedIntoTheWorkAreaSizeFirst) {
    Settings s = loaded(entry("window_wide", "800") + entry("window_high", "600") + entry("window_x", "-5000") +
                        entry("window_y", "-20") + entry("window_state", "2"));
    EXPECT_EQ(s.window_wide, 1024);
    EXPECT_EQ(s.window_high, 748);
    EXPECT_EQ(s.window_x, 0);
    EXPECT_EQ(s.window_y, 0) << "the title bar is never above the screen";
    EXPECT_EQ(s.window_state, 1) << "a minimised window starts normal";

    s = loaded(entry("window_x", "5000") + entry("window_y", "5000") + entry("window_state", "3"));
    EXPECT_EQ(s.window_x, 1920 - 1600) << "the whole frame comes back on the screen";
    EXPECT_EQ(s.window_y, 1040 - 1000);
    EXPECT_EQ(s.window_state, 3);

    // Saved on a larger screen: the size shrinks to the work area before it is placed.
    s = loaded(entry("window_x", "700") + entry("window_y", "300") + entry("window_wide", "2500") +
               entry("window_high", "1400"));
    EXPECT_EQ(s.window_wide, 1920);
    EXPECT_EQ(s.window_high, 1040);
    EXPECT_EQ(s.window_x, 0);
    EXPECT_EQ(s.window_y, 0);

    // A work area that does not start at the origin, smaller than the minimum:
    // the window takes the work area, title bar and bottom edge both on screen.
    Settings small;
    small.window_x = 5;
    small.window_y = 5;
    small.window_wide = 1600;
    small.window_high = 1000;
    clamp_window_placement(small, Rect{0, 30, 1000, 730});
    EXPECT_EQ(small.window_wide, 1000);
    EXPECT_EQ(small.window_high, 700);
    EXPECT_EQ(small.window_x, 0);
    EXPECT_EQ(small.window_y, 30) << "below a panel at the top, the title bar stays visible";
    // 1024 x 768 with a 32-pixel panel: only the height gives way.
    small.window_wide = 800;
    small.window_high = 600;
    clamp_window_placement(small, Rect{0, 0, 1024, 736});
    EXPECT_EQ(std::vector<int>({small.window_x, small.window_y, small.window_wide, small.window_high}),
              (std::vector<int>{0, 0, 1024, 736}));
}

// ---- reading damaged files --------------------------------------------------------------------

TEST_F(SettingsFile, EveryPositionWithFewerThanEightBytesLeftIsLogged) {
    const Settings s = loaded(std::string("\x31\xD4\x01\x00\x00", 5));
    EXPECT_EQ(s.window_x, 160);
    const std::vector<std::string> expected = {
        "Setting Pointer Out of Range:  0 -  5", "Setting Pointer Out of Range:  1 -  5",
        "Setting Pointer Out of Range:  2 -  5", "Setting Pointer Out of Range:  3 -  5",
        "Setting Pointer Out of Range:  4 -  5"};
    EXPECT_EQ(log(), expected);
}

TEST_F(SettingsFile, JunkBeforeAnEntryIsSkipped) {
    const Settings s = loaded("junk\x31" + entry("screen_font", "Verdana") + entry("window_x", "300"));
    EXPECT_EQ(s.screen_font, "Verdana");
    EXPECT_EQ(s.window_x, 300);
}

TEST_F(SettingsFile, AValueRunningPastTheEndIsSkippedAndLaterEntriesStillFound) {
    std::string broken = entry("screen_font", "Verdana");
    broken[4] = '\x7F';  // value length now far beyond the file
    const Settings s = loaded(broken + entry("screen_font_size", "31") + "\xFF\xFF\xFF");
    EXPECT_EQ(s.screen_font, "Arial");
    EXPECT_EQ(s.screen_font_size, 31);
}

TEST_F(SettingsFile, LengthsNearTheTopOfTheirRangeNeverReadOutside) {
    // Name and value lengths whose sum would wrap a 32-bit position.
    std::string header = "\x31\xD4\xFF\xFF\xFF\xFF\xFF\xFF";
    const Settings s = loaded(header + entry("daytimer", "kept"));
    EXPECT_EQ(s.daytimer, "kept");
}

TEST_F(SettingsFile, NumbersTakeTheirLeadingNumericPart) {
    const Settings s = loaded(entry("screen_font_size", "12abc") + entry("auto_close_minutes", "abc") +
                              entry("vehicle_id", "-17"));
    EXPECT_EQ(s.screen_font_size, 12);
    EXPECT_EQ(s.auto_close_minutes, 0);
    EXPECT_EQ(s.vehicle_id, -17);
}

TEST_F(SettingsFile, NamesMatchExactlyAndVerifyIsNeverRead) {
    const Settings s = loaded(entry("Screen_Font", "Wrong") + entry("unknown_key", "1") + entry("verify", "0123") +
                              entry("screen_font", "Tahoma"));
    EXPECT_EQ(s.screen_font, "Tahoma");
}

TEST_F(SettingsFile, RandomDamageNeverCrashesOrReadsOutside) {
    settings() = default_settings(kArea);
    settings().return_address = "12 Main St|Springfield";
    settings().label_5160 = std::string(300, 'L');
    ASSERT_TRUE(save_settings());
    const std::string good = read(path("setup313.dat"));
    std::mt19937 random(7);
    for (int trial = 0; trial < 300; ++trial) {
        std::string damaged = good;
        const int hits = 1 + static_cast<int>(random() % 4);
        for (int h = 0; h < hits; ++h) damaged[random() % damaged.size()] = static_cast<char>(random());
        damaged.resize(damaged.size() - random() % 64);
        const Settings s = loaded(damaged);
        // Whatever survived, the placement rules still hold.
        EXPECT_GE(s.window_wide, 1024);
        EXPECT_GE(s.window_y, 0);
    }
    // Damage confined to one entry costs that entry alone.
    std::string one_hit = good;
    one_hit[one_hit.find("return_address") - 8] = 'X';  // its marker
    const Settings s = loaded(one_hit);
    EXPECT_EQ(s.return_address, "");
    EXPECT_EQ(s.label_5160, std::string(300, 'L'));
}

// ---- writing ----------------------------------------------------------------------------------

TEST_F(SettingsFile, SaveWritesEveryEntryInOrderAndEndsWithTheVerifyValue) {
    settings() = default_settings(kArea);
    settings().screen_font = "Caf\xE9";
    settings().window_x = -12;
    ASSERT_TRUE(save_settings());
    EXPECT_FALSE(settings_save_failed());
    const std::string image = read(path("setup313.dat"));
    EXPECT_EQ(mode_of(path("setup313.dat")), 0600u);

    // First entry, byte for byte: marker, name length, value length, name, value.
    EXPECT_EQ(image.substr(0, 17), std::string("\x31\xD4\x09\x00\x00\x00\x00\x00last_news", 17));
    std::vector<std::string> names;
    std::size_t position = 0;
    std::string name, value, last_value;
    while (position < image.size()) {
        read_settings_entry(image, position, name, value);
        ASSERT_FALSE(name.empty());
        names.push_back(name);
        last_value = value;
        if (name == "window_x") {
            EXPECT_EQ(value, "-12");
        }
        if (name == "screen_font") {
            EXPECT_EQ(value, "Caf\xE9");
        }
    }
    ASSERT_EQ(names.size(), 41u);
    EXPECT_EQ(names[1], "window_x");
    EXPECT_EQ(names[24], "envelope_10");
    EXPECT_EQ(names[39], "vehicle_records");
    EXPECT_EQ(names[40], "verify");
    EXPECT_EQ(image.substr(image.size() - 16), last_value);
    EXPECT_EQ(last_value.find_first_not_of("0123456789ABCDEF"), std::string::npos);
}

TEST_F(SettingsFile, EveryValueSurvivesASaveAndALoad) {
    Settings& s = settings();
    s = default_settings(kArea);
    s.last_news = "2026-12-01";
    s.window_x = 33;
    s.window_state = 3;
    s.vehicle_id = 99;
    s.export_path = "/home/user/Exports/";
    s.password_sort = 2;
    s.auto_close_minutes = 15;
    s.member_list = "a|b|\x01\xFF";
    s.vehicle_records = std::string(5000, 'v');
    const Settings saved = s;
    ASSERT_TRUE(save_settings());
    s = Settings{};
    load_settings(kArea);
    EXPECT_EQ(s.last_news, saved.last_news);
    EXPECT_EQ(s.window_x, 33);
    EXPECT_EQ(s.window_state, 3);
    EXPECT_EQ(s.vehicle_id, 99);
    EXPECT_EQ(s.export_path, saved.export_path);
    EXPECT_EQ(s.password_sort, 2);
    EXPECT_EQ(s.auto_close_minutes, 15);
    EXPECT_EQ(s.member_list, saved.member_list);
    EXPECT_EQ(s.vehicle_records, saved.vehicle_records);
}

TEST_F(SettingsFile, NewerPreferencesAreStoredOnlyAwayFromTheirDefaults) {
    Settings& s = settings();
    s = default_settings(kArea);
    ASSERT_TRUE(save_settings());
    const std::string plain = read(path("setup313.dat"));
    EXPECT_EQ(plain.find("password_lock_minutes"), std::string::npos);
    EXPECT_EQ(plain.find("fuel_economy_unit"), std::string::npos);

    s.password_lock_minutes = 15;
    s.fuel_economy_unit = 2;
    ASSERT_TRUE(save_settings());
    const std::string image = read(path("setup313.dat"));
    std::vector<std::string> names;
    std::size_t position = 0;
    std::string name, value;
    while (position < image.size()) {
        read_settings_entry(image, position, name, value);
        names.push_back(name);
    }
    // The fixed set keeps its places; the newer ones come after it, before verify.
    ASSERT_EQ(names.size(), 43u);
    EXPECT_EQ(names[39], "vehicle_records");
    EXPECT_EQ(names[40], "password_lock_minutes");
    EXPECT_EQ(names[41], "fuel_economy_unit");
    EXPECT_EQ(names[42], "verify");

    s = Settings{};
    load_settings(kArea);
    EXPECT_EQ(s.password_lock_minutes, 15);
    EXPECT_EQ(s.fuel_economy_unit, 2);
    s.password_lock_minutes = 0;
    s.fuel_economy_unit = 0;
    ASSERT_TRUE(save_settings());
    const std::string back = read(path("setup313.dat"));
    EXPECT_EQ(back.substr(0, back.size() - 16), plain.substr(0, plain.size() - 16));
}

TEST_F(SettingsFile, VerifyValuePacksTheTimeAndCountsWithinAMillisecond) {
    const UtcTime t{2026, 12, 7, 12, 34, 56, 789};
    const std::uint64_t first = next_verify_value(t);
    const std::uint64_t second = next_verify_value(t);
    UtcTime later = t;
    later.millisecond = 790;
    const std::uint64_t third = next_verify_value(later);

    const std::uint64_t packed =
        ((((((std::uint64_t{2026} << 4 | 12) << 5 | 7) << 5 | 12) << 6 | 34) << 6 | 56) << 10 | 789) << 15;
    EXPECT_EQ(first, packed | 1);
    EXPECT_EQ(second, packed | 2);
    EXPECT_EQ(third & 0x7FFF, 1u);
    EXPECT_EQ(first >> 63, 0u);
    EXPECT_EQ(verify_text(0xABC), "0000000000000ABC");
}

TEST_F(SettingsFile, TwoSavesInOneMillisecondWriteDifferentValues) {
    ASSERT_TRUE(save_settings());
    const std::string a = read(path("setup313.dat"));
    ASSERT_TRUE(save_settings());
    const std::string b = read(path("setup313.dat"));
    EXPECT_NE(a.substr(a.size() - 16), b.substr(b.size() - 16));
    EXPECT_EQ(a.substr(0, a.size() - 16), b.substr(0, b.size() - 16));
}

TEST_F(SettingsFile, AReadOnlyFileIsSavedAnyway) {
    write(path("setup313.dat"), "old");
    ::chmod(path("setup313.dat").c_str(), 0444);
    EXPECT_TRUE(save_settings());
    EXPECT_FALSE(settings_save_failed());
}

TEST_F(SettingsFile, AFileCutShortByTheDiskFailsTheCheckAndKeepsTheOldOne) {
    ASSERT_TRUE(save_settings());
    const std::string before = read(path("setup313.dat"));
    os.short_writes("setup313", 200);
    os.now.millisecond = 5;
    EXPECT_FALSE(save_settings());
    EXPECT_TRUE(settings_save_failed());
    EXPECT_EQ(read(path("setup313.dat")), before);
    const auto lines = log();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, 18), "File Save Failed: ");
    const std::string expected = verify_text(((((((std::uint64_t{2026} << 4 | 12) << 5 | 7) << 5 | 12) << 6) << 6) << 10 | 5) << 15 | 1);
    EXPECT_EQ(lines[1], "User Settings Saved Incorrectly: " + expected + " - " + before.substr(before.size() - 16));

    os.clear_faults();
    EXPECT_TRUE(save_settings());
    EXPECT_FALSE(settings_save_failed()) << "the flag is cleared by the next good save";
}

TEST_F(SettingsFile, ASaveIntoAMissingFolderFailsTheCheck) {
    settings_set_path(path("gone/setup313.dat"));
    EXPECT_FALSE(save_settings());
    EXPECT_TRUE(settings_save_failed());
    EXPECT_EQ(log().back().substr(0, 33), "User Settings Saved Incorrectly: ");
}

}  // namespace
}  // namespace domora
