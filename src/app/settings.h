// The settings record and the settings file "setup313.dat": a run of
// self-describing name/value entries ending with a "verify" entry that the
// writer reads back after every save.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace domora {

inline constexpr std::uint16_t kSettingsEntryMarker = 0xD431;

struct Settings {
    std::string last_news;
    std::int32_t window_x = 0;
    std::int32_t window_y = 0;
    std::int32_t window_wide = 0;
    std::int32_t window_high = 0;
    std::int32_t window_state = kShowNormal;
    std::string screen_font = "Arial";
    std::int32_t screen_font_size = 20;
    std::int32_t font_smoothing = 1;
    std::int32_t vehicle_id = 0;
    std::string image_path;
    std::string backup_path;
    std::int32_t email_format = 0;
    std::int32_t export_clipboard = 0;
    std::int32_t export_email = 0;
    std::string export_format;
    std::string export_path;
    std::string password_path;
    std::int32_t password_format = 0;
    std::int32_t password_sort = 0;
    std::string import_path;
    std::int32_t password_default = 0;
    std::int32_t auto_close_minutes = 0;
    std::string return_address;
    std::string envelope_10;
    std::string envelope_6;
    std::string envelope_dl;
    std::string envelope_c5;
    std::string label_5160;
    std::string label_5161;
    std::string label_5163;
    std::string label_5167;
    std::string label_7160;
    std::string label_7162;
    std::string label_7165;
    std::string label_8173;
    std::string address_book;
    std::string daytimer;
    std::string member_list;
    std::string vehicle_records;

    // Newer preferences: stored only while they differ from these defaults.
    std::int32_t password_lock_minutes = 0;  // 0 = never lock on idle
    std::int32_t fuel_economy_unit = 0;      // a FuelEconomyUnit; 0 = automatic, by the locale
};

// The values of fuel_economy_unit. Only the display follows it: the vehicle
// file keeps economy in its own fixed unit whatever is chosen here.
enum FuelEconomyUnit {
    kEconomyAutomatic = 0,       // km/l in a metric locale, U.S. mpg otherwise
    kEconomyKmPerLitre = 1,
    kEconomyLitresPer100Km = 2,  // 100 / (km/l)
    kEconomyMpgUs = 3,
    kEconomyMpgUk = 4,           // imperial gallons of 4.54609 litres
};
inline constexpr int kEconomyUnitCount = 5;

// The program-wide record that every subsystem reads, and its file.
Settings& settings();
void settings_set_path(const std::string& path);
const std::string& settings_path();
// Set by every save: true when the last save could not be verified.
bool settings_save_failed();

// Defaults, with the window centred in the work area.
Settings default_settings(const Rect& work_area);

// Defaults overlaid with what the file holds; damaged stretches are skipped
// and the window placement is kept on the work area.
void load_settings(const Rect& work_area);
// Writes the whole record, then reads back the verify value. Returns false
// (and sets the save-failed flag) when the check fails.
bool save_settings();

// ---- the file format, for the loader and for tests ------------------------------

// Reads the entry at position. A bad entry gives an empty name and moves one
// byte on, so the reader slides forward to the next good entry.
void read_settings_entry(std::string_view buffer, std::size_t& position, std::string& name, std::string& value);
void parse_settings(std::string_view image, Settings& into);
// The smallest outer frame the main window takes.
inline constexpr int kMinWindowWide = 1024;
inline constexpr int kMinWindowHigh = 748;
// Fits the window's frame into the work area: size first, then position.
void clamp_window_placement(Settings& s, const Rect& work_area);
std::string format_settings(const Settings& s, std::uint64_t verify_value);
std::string settings_entry(std::string_view name, std::string_view value);

// A fresh check value: the UTC time packed as year 12 bits, month 4, day 5,
// hour 5, minute 6, second 6, millisecond 10 and a 15-bit counter that is 1
// for the first value taken in a millisecond and counts up after it.
std::uint64_t next_verify_value(const UtcTime& now);
std::string verify_text(std::uint64_t value);

}  // namespace domora
