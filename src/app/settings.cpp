#include "app/settings.h"

#include <algorithm>
#include <cstdio>

#include "app/files.h"
#include "app/status_log.h"
#include "app/text.h"

namespace domora {

namespace {

struct Key {
    const char* name;
    std::int32_t Settings::*number;
    std::string Settings::*text;
};

// The file holds exactly these entries, in this order, then "verify".
const Key kKeys[] = {
    {"last_news", nullptr, &Settings::last_news},
    {"window_x", &Settings::window_x, nullptr},
    {"window_y", &Settings::window_y, nullptr},
    {"window_wide", &Settings::window_wide, nullptr},
    {"window_high", &Settings::window_high, nullptr},
    {"window_state", &Settings::window_state, nullptr},
    {"screen_font", nullptr, &Settings::screen_font},
    {"screen_font_size", &Settings::screen_font_size, nullptr},
    {"font_smoothing", &Settings::font_smoothing, nullptr},
    {"vehicle_id", &Settings::vehicle_id, nullptr},
    {"image_path", nullptr, &Settings::image_path},
    {"backup_path", nullptr, &Settings::backup_path},
    {"email_format", &Settings::email_format, nullptr},
    {"export_clipboard", &Settings::export_clipboard, nullptr},
    {"export_email", &Settings::export_email, nullptr},
    {"export_format", nullptr, &Settings::export_format},
    {"export_path", nullptr, &Settings::export_path},
    {"password_path", nullptr, &Settings::password_path},
    {"password_format", &Settings::password_format, nullptr},
    {"password_sort", &Settings::password_sort, nullptr},
    {"import_path", nullptr, &Settings::import_path},
    {"password_default", &Settings::password_default, nullptr},
    {"auto_close_minutes", &Settings::auto_close_minutes, nullptr},
    {"return_address", nullptr, &Settings::return_address},
    {"envelope_10", nullptr, &Settings::envelope_10},
    {"envelope_6", nullptr, &Settings::envelope_6},
    {"envelope_dl", nullptr, &Settings::envelope_dl},
    {"envelope_c5", nullptr, &Settings::envelope_c5},
    {"label_5160", nullptr, &Settings::label_5160},
    {"label_5161", nullptr, &Settings::label_5161},
    {"label_5163", nullptr, &Settings::label_5163},
    {"label_5167", nullptr, &Settings::label_5167},
    {"label_7160", nullptr, &Settings::label_7160},
    {"label_7162", nullptr, &Settings::label_7162},
    {"label_7165", nullptr, &Settings::label_7165},
    {"label_8173", nullptr, &Settings::label_8173},
    {"address_book", nullptr, &Settings::address_book},
    {"daytimer", nullptr, &Settings::daytimer},
    {"member_list", nullptr, &Settings::member_list},
    {"vehicle_records", nullptr, &Settings::vehicle_records},
};

// Preferences newer than the file's fixed set. Each is written after the
// fixed entries, before "verify", and only while it differs from its default,
// so a user who never touches them keeps a file byte for byte as before, and
// an older copy of the program, which ignores keys it does not know, reads
// the rest unchanged. Numbers only; the default is what a missing entry means.
struct ExtraKey {
    const char* name;
    std::int32_t Settings::*number;
    std::int32_t fallback;
};

const ExtraKey kExtraKeys[] = {
    {"password_lock_minutes", &Settings::password_lock_minutes, 0},
    // 0 Automatic, 1 km/l, 2 L/100 km, 3 mpg (US), 4 mpg (UK): FuelEconomyUnit in settings.h.
    {"fuel_economy_unit", &Settings::fuel_economy_unit, 0},
};

constexpr std::size_t kVerifyDigits = 16;

Settings g_settings;
std::string g_path;
bool g_save_failed = false;

std::uint32_t read_u16(std::string_view b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}

std::uint32_t read_u32(std::string_view b, std::size_t at) {
    return read_u16(b, at) | read_u16(b, at + 2) << 16;
}

void put_le(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

Settings& settings() { return g_settings; }
void settings_set_path(const std::string& path) { g_path = path; }
const std::string& settings_path() { return g_path; }
bool settings_save_failed() { return g_save_failed; }

Settings default_settings(const Rect& area) {
    Settings s;
    const int w = area.right - area.left;
    const int h = area.bottom - area.top - 1;
    s.window_wide = std::min(w, 1600);
    s.window_high = std::min(h, 1000);
    // Both differences are never negative, so the halves round down.
    s.window_x = area.left + (w - s.window_wide) / 2;
    s.window_y = area.top + (h - s.window_high) / 2;
    s.window_state = kShowNormal;
    return s;
}

// ---- reading ------------------------------------------------------------------------

void read_settings_entry(std::string_view buffer, std::size_t& position, std::string& name, std::string& value) {
    name.clear();
    value.clear();
    const std::size_t size = buffer.size();
    if (position + 8 > size) {
        status_log_write("Setting Pointer Out of Range: " + log_number(static_cast<std::int64_t>(position)) + " - " +
                         log_number(static_cast<std::int64_t>(size)));
        ++position;
        return;
    }
    const std::uint32_t marker = read_u16(buffer, position);
    const std::uint64_t name_length = read_u16(buffer, position + 2);
    const std::uint64_t value_length = read_u32(buffer, position + 4);
    // Lengths are checked against what is left before anything is read.
    if (marker != kSettingsEntryMarker || name_length + value_length > size - position - 8) {
        ++position;
        return;
    }
    name.assign(buffer.substr(position + 8, name_length));
    value.assign(buffer.substr(position + 8 + name_length, value_length));
    position += 8 + name_length + value_length;
}

void parse_settings(std::string_view image, Settings& into) {
    std::size_t position = 0;
    std::string name, value;
    while (position < image.size()) {
        read_settings_entry(image, position, name, value);
        if (name.empty()) continue;
        for (const Key& key : kKeys) {
            if (name != key.name) continue;
            if (key.number) {
                into.*key.number = leading_number(value);
            } else {
                into.*key.text = value;
            }
            break;
        }
        for (const ExtraKey& key : kExtraKeys) {
            if (name == key.name) into.*key.number = leading_number(value);
        }
    }
}

void clamp_window_placement(Settings& s, const Rect& area) {
    // The rectangle is the window's outer frame. It is fitted into the work
    // area of this screen, which may be smaller than the one it was saved on:
    // the size first (never below the window's minimum, unless the work area
    // itself is smaller, as on a laptop with a panel: then the window takes
    // the work area), then the position, so that the title bar and the
    // buttons of every popup stay reachable.
    const int area_wide = area.right - area.left;
    const int area_high = area.bottom - area.top;
    s.window_wide = std::max(std::min(s.window_wide, area_wide), std::min(kMinWindowWide, area_wide));
    s.window_high = std::max(std::min(s.window_high, area_high), std::min(kMinWindowHigh, area_high));
    s.window_x = std::max(std::min(s.window_x, area.right - s.window_wide), area.left);
    s.window_y = std::max(std::min(s.window_y, area.bottom - s.window_high), area.top);
    if (s.window_state == kShowMinimised) s.window_state = kShowNormal;
}

void load_settings(const Rect& work_area) {
    g_settings = default_settings(work_area);
    if (file_exists(g_path)) {
        Result<std::string> image = read_whole_file(g_path);
        if (image) parse_settings(image.value(), g_settings);
    }
    clamp_window_placement(g_settings, work_area);
}

// ---- writing ------------------------------------------------------------------------

std::string settings_entry(std::string_view name, std::string_view value) {
    std::string entry;
    entry.reserve(8 + name.size() + value.size());
    put_le(entry, kSettingsEntryMarker, 2);
    put_le(entry, static_cast<std::uint32_t>(name.size()), 2);
    put_le(entry, static_cast<std::uint32_t>(value.size()), 4);
    entry.append(name);
    entry.append(value);
    return entry;
}

std::string format_settings(const Settings& s, std::uint64_t verify_value) {
    std::string image;
    for (const Key& key : kKeys) {
        image += key.number ? settings_entry(key.name, std::to_string(s.*key.number))
                            : settings_entry(key.name, s.*key.text);
    }
    for (const ExtraKey& key : kExtraKeys) {
        if (s.*key.number != key.fallback) image += settings_entry(key.name, std::to_string(s.*key.number));
    }
    image += settings_entry("verify", verify_text(verify_value));
    return image;
}

std::uint64_t next_verify_value(const UtcTime& t) {
    static int last_millisecond = -1;
    static std::uint64_t counter = 0;
    // Only the millisecond field is compared, as the stored format defines.
    counter = t.millisecond == last_millisecond ? (counter + 1) & 0x7FFF : 1;
    last_millisecond = t.millisecond;
    std::uint64_t v = static_cast<std::uint64_t>(t.year) & 0xFFF;
    v = v << 4 | (static_cast<std::uint64_t>(t.month) & 0xF);
    v = v << 5 | (static_cast<std::uint64_t>(t.day) & 0x1F);
    v = v << 5 | (static_cast<std::uint64_t>(t.hour) & 0x1F);
    v = v << 6 | (static_cast<std::uint64_t>(t.minute) & 0x3F);
    v = v << 6 | (static_cast<std::uint64_t>(t.second) & 0x3F);
    v = v << 10 | (static_cast<std::uint64_t>(t.millisecond) & 0x3FF);
    v = v << 15 | counter;
    return v & 0x7FFFFFFFFFFFFFFFull;
}

std::string verify_text(std::uint64_t value) {
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llX", static_cast<unsigned long long>(value));
    return digits;
}

bool save_settings() {
    clear_read_only(g_path);
    const std::uint64_t verify_value = next_verify_value(platform().utc_now());
    const std::string expected = verify_text(verify_value);
    (void)write_file_atomic(g_path, format_settings(g_settings, verify_value));  // a failure is logged there and caught by the check below

    g_save_failed = false;
    std::string found;
    Result<std::string> written = read_whole_file(g_path);
    if (written && written.value().size() >= kVerifyDigits) {
        found = written.value().substr(written.value().size() - kVerifyDigits);
    }
    if (found != expected) {
        g_save_failed = true;
        status_log_write("User Settings Saved Incorrectly: " + expected + " - " + found);
    }
    return !g_save_failed;
}

}  // namespace domora
