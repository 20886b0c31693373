#include "vehicles/reminder_file.h"

#include <algorithm>

#include "app/files.h"
#include "app/status_log.h"
#include "app/text.h"
#include "vehicles/vehicle_units.h"

namespace domora {

namespace {

constexpr char kMarker[] = "MSRI";

std::uint32_t u8_at(std::string_view b, std::size_t at) { return static_cast<unsigned char>(b[at]); }
std::uint32_t u16_at(std::string_view b, std::size_t at) { return u8_at(b, at) | u8_at(b, at + 1) << 8; }
std::int32_t i32_at(std::string_view b, std::size_t at) {
    return static_cast<std::int32_t>(u16_at(b, at) | u16_at(b, at + 2) << 16);
}

void put(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A reminder chunk's fields, checked: false when the chunk cannot be one.
bool read_reminder(std::string_view chunk, Reminder& r) {
    r.vehicle_id = i32_at(chunk, 12);
    r.id = i32_at(chunk, 16);
    r.due_year = static_cast<int>(u16_at(chunk, 20));
    r.due_month = static_cast<int>(u8_at(chunk, 22));
    r.due_day = static_cast<int>(u8_at(chunk, 23));
    r.due_odometer = i32_at(chunk, 24);
    r.repeat_months = i32_at(chunk, 28);
    r.repeat_distance = i32_at(chunk, 32);
    const std::size_t zero = chunk.find('\0', kReminderHeaderSize);
    if (zero == std::string_view::npos) return false;
    r.text = std::string(chunk.substr(kReminderHeaderSize, zero - kReminderHeaderSize));
    const bool no_date = r.due_year == 0 && r.due_month == 0 && r.due_day == 0;
    if (!no_date && !calendar_date(r.due_year, r.due_month, r.due_day)) return false;
    if (r.due_odometer < 0 || r.repeat_distance < 0 || r.repeat_months < 0 || r.repeat_months > kMostRepeatMonths) return false;
    return !r.text.empty();
}

}  // namespace

ReminderFile parse_reminders(std::string_view bytes) {
    ReminderFile file;
    bool in_junk = false;
    const auto junk = [&] {
        // A run of junk counts once, however long it is.
        if (!in_junk) ++file.damaged;
        in_junk = true;
    };
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 8) {
            junk();  // too short for a chunk's start: one cut off
            break;
        }
        const std::int64_t length = i32_at(bytes, at);
        // Every length is checked against the bytes left before anything is read.
        if (bytes.compare(at + 4, 4, kMarker) != 0 || length < static_cast<std::int64_t>(kReminderHeaderSize) + 1 ||
            length > static_cast<std::int64_t>(bytes.size() - at)) {
            junk();
            ++at;
            continue;
        }
        const std::string_view chunk = bytes.substr(at, static_cast<std::size_t>(length));
        in_junk = false;
        at += static_cast<std::size_t>(length);
        if (u8_at(chunk, 8) != kReminderRecord) {
            file.other_chunks.emplace_back(chunk);
            continue;
        }
        Reminder r;
        if (read_reminder(chunk, r)) {
            file.reminders.push_back(std::move(r));
        } else {
            ++file.damaged;
        }
    }
    return file;
}

std::string encode_reminder(const Reminder& r) {
    std::string out;
    const std::string text = r.text.substr(0, r.text.find('\0'));
    put(out, static_cast<std::uint32_t>(kReminderHeaderSize + text.size() + 1), 4);
    out += kMarker;
    put(out, kReminderRecord, 1);
    put(out, 0, 3);
    put(out, static_cast<std::uint32_t>(r.vehicle_id), 4);
    put(out, static_cast<std::uint32_t>(r.id), 4);
    put(out, static_cast<std::uint32_t>(r.due_year), 2);
    put(out, static_cast<std::uint32_t>(r.due_month), 1);
    put(out, static_cast<std::uint32_t>(r.due_day), 1);
    put(out, static_cast<std::uint32_t>(r.due_odometer), 4);
    put(out, static_cast<std::uint32_t>(r.repeat_months), 4);
    put(out, static_cast<std::uint32_t>(r.repeat_distance), 4);
    put(out, 0, 4);
    out += text;
    out += '\0';
    return out;
}

std::string encode_reminders(const ReminderFile& file) {
    std::string out;
    for (const Reminder& r : file.reminders) out += encode_reminder(r);
    for (const std::string& chunk : file.other_chunks) out += chunk;
    return out;
}

ReminderFile load_reminders(const std::string& path) {
    if (path.empty() || !file_exists(path)) return {};
    Result<std::string> bytes = read_whole_file(path);
    if (!bytes) {
        status_log_write("Reminders Unreadable: " + path + " - " + bytes.error().message);
        ReminderFile file;
        file.unreadable = true;
        return file;
    }
    ReminderFile file = parse_reminders(bytes.value());
    if (file.damaged > 0) status_log_write("Reminders Damaged:" + log_number(file.damaged) + " - " + path);
    return file;
}

Result<void> save_reminders(const std::string& path, const ReminderFile& file) {
    if (file.unreadable) return Error{"The reminders file could not be read, so it was not written over."};
    return write_file_atomic(path, encode_reminders(file), kOwnerOnly);
}

std::int32_t new_reminder_id(const ReminderFile& file) {
    std::int32_t largest = 0;
    for (const Reminder& r : file.reminders) largest = std::max(largest, r.id);
    return largest < 0x7FFFFFFF ? largest + 1 : 1;
}

}  // namespace domora
