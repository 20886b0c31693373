// The service reminders of the vehicles, kept in "reminders.dat" in the data
// folder beside the vehicle file, which they leave as it is.
//
// The file is a headerless run of record chunks as the other data files
// have them. Every chunk: total length (4 bytes), "MSRI", record type (1
// byte: 1 a reminder), 3 reserved bytes, vehicle id (4), reminder id (4),
// due date as year (2), month (1), day (1), all 0 for none, due odometer (4,
// hundredths of a km, 0 for none), repeat months (4, 0 for none), repeat
// distance (4, hundredths of a km, 0 for none), 4 reserved bytes, then the
// text ended by a zero byte. Integers are little-endian; texts Windows-1252.
// Chunks of other record types are kept as they are.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/result.h"

namespace domora {

inline constexpr std::size_t kReminderHeaderSize = 40;
inline constexpr std::uint8_t kReminderRecord = 1;
// Longest text the form takes; the reader takes what fits its chunk.
inline constexpr int kReminderTextLength = 100;
inline constexpr int kMostRepeatMonths = 1200;

struct Reminder {
    std::int32_t id = 0;
    std::int32_t vehicle_id = 0;
    std::string text;
    int due_year = 0, due_month = 0, due_day = 0;  // all 0: no due date
    std::int32_t due_odometer = 0;                 // 0: none
    std::int32_t repeat_months = 0;                // 0: not by time
    std::int32_t repeat_distance = 0;              // 0: not by distance
    bool has_date() const { return due_year != 0; }
    bool repeats() const { return repeat_months > 0 || repeat_distance > 0; }
    bool operator==(const Reminder&) const = default;
};

struct ReminderFile {
    std::vector<Reminder> reminders;  // in file order
    std::vector<std::string> other_chunks;  // of record types this program does not know, whole
    int damaged = 0;   // chunks that could not be read and were left out
    bool unreadable = false;  // the file is there but could not be read: never write over it
};

// The chunks of a file's bytes; what cannot be read is counted, never fatal.
ReminderFile parse_reminders(std::string_view bytes);
std::string encode_reminders(const ReminderFile& file);
std::string encode_reminder(const Reminder& reminder);

// A missing file is an empty list.
ReminderFile load_reminders(const std::string& path);
// Written whole through a temporary file, owner-only.
Result<void> save_reminders(const std::string& path, const ReminderFile& file);

// 1 more than the largest id, 1 for none.
std::int32_t new_reminder_id(const ReminderFile& file);

}  // namespace domora
