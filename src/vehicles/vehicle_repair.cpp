#include "vehicles/vehicle_repair.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "app/files.h"
#include "app/status_log.h"
#include "app/text.h"
#include "platform/platform.h"

namespace domora {

namespace {

// Breathing and progress every this many chunks; a check per chunk would
// cost more than the repair itself.
constexpr int kChunksPerBreath = 256;

std::int32_t get_i32(std::string_view s, std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data() + at);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                     (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
}

void put_i32(std::string& s, std::size_t at, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) s[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint8_t type_at(std::string_view image, std::size_t offset) { return static_cast<std::uint8_t>(image[offset + 8]); }

// The length a vehicle chunk needs for its header and four texts (each up to
// its zero byte, never past the chunk) and the 4 bytes the format counts for
// their ends.
std::size_t texts_length(std::string_view image, std::size_t offset, std::size_t length) {
    std::size_t at = offset + kChunkHeaderSize;
    const std::size_t end = offset + length;
    std::size_t counted = kChunkHeaderSize + 4;
    for (int i = 0; i < 4; ++i) {
        std::size_t stop = at;
        while (stop < end && image[stop] != '\0') ++stop;
        counted += stop - at;
        at = std::min(stop + 1, end);
    }
    return counted;
}

// The walk of the repair: every chunk with its marker and a length that
// fits, junk skipped a byte at a time. visit returns false to stop; the walk
// then returns false as well.
template <typename Visit>
bool walk(std::string_view image, int& corrupt, Visit&& visit) {
    std::size_t offset = 0;
    while (offset + kChunkHeaderSize <= image.size()) {
        if (std::memcmp(image.data() + offset + 4, kChunkMarker, 4) != 0) {
            ++offset;
            continue;
        }
        const std::int64_t length = get_i32(image, offset);
        if (length < static_cast<std::int64_t>(kChunkHeaderSize) || static_cast<std::uint64_t>(length) > image.size() - offset) {
            ++corrupt;
            ++offset;
            continue;
        }
        if (!visit(offset, static_cast<std::size_t>(length))) return false;
        offset += static_cast<std::size_t>(length);
    }
    return true;
}

std::string two_digits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

std::string four_digits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", value);
    return text;
}

// The first check a fuel or maintenance chunk fails, as its log line; "" when it passes.
std::string failed_check(const ChunkHeader& h) {
    if (h.year > 2200) {
        return "Vehicle Repair: Record date out of range - " + four_digits(h.year) + "/" + two_digits(h.month) + "/" +
               two_digits(h.day) + " - Rec Type: " + std::to_string(h.type);
    }
    if (h.b < 0 || h.b < h.a) return "Vehicle Repair: Invalid Mileage - " + std::to_string(h.a) + "/" + std::to_string(h.b);
    if (h.c < 0) return "Vehicle Repair: Invalid Fuel - " + std::to_string(h.c);
    if (h.d < 0) return "Vehicle Repair: Invalid Cost - " + std::to_string(h.d);
    return {};
}

// The bytes two chunks must share to be duplicates: from the date up to the
// photo (the whole rest for records without one).
std::string_view compared_part(std::string_view image, std::size_t offset, std::size_t length) {
    std::size_t end = length;
    if (type_at(image, offset) == kRecordVehicle) {
        const std::int32_t photo = get_i32(image, offset + 44);
        if (photo > 0) end = static_cast<std::size_t>(photo) >= length - 20 ? 20 : length - static_cast<std::size_t>(photo);
    }
    return image.substr(offset + 20, end - 20);
}

std::string with_bytes(long long done, long long total) {
    return std::to_string(done) + " of " + std::to_string(total) + " bytes";
}

bool keep_going(const StoreCallbacks& callbacks) { return !callbacks.keep_going || callbacks.keep_going(); }

}  // namespace

RepairOutcome repair_vehicle_file(VehicleStore& store, const StoreCallbacks& callbacks, int current_year) {
    RepairOutcome outcome;
    const std::string path = store.path();

    // 1. Read the file again, and keep it as it is before anything replaces it.
    FileInfo info;
    if (path.empty() || !platform().sys_stat(path, info)) {
        outcome.status = RepairOutcome::NoFile;
        return outcome;
    }
    Result<std::string> data = info.is_folder ? Result<std::string>(Error{"a folder has its name"}) : read_whole_file(path);
    if (!data) {
        status_log_write("Vehicle Repair: Unable to read " + path + " - " + data.error().message);
        outcome.status = RepairOutcome::Unreadable;
        outcome.error = data.error().message;
        return outcome;
    }
    std::string original = std::move(data.value());
    status_log_write("Vehicle Repair: " + std::to_string(original.size()));
    const std::string kept = path + kBeforeRepairSuffix;
    if (Result<void> copied = write_file_atomic(kept, original, kOwnerOnly); !copied) {
        outcome.status = RepairOutcome::NotKept;
        outcome.error = copied.error().message;
        return outcome;
    }
    outcome.kept_name = name_of(kept);
    status_log_write("Vehicle Repair: Original file kept as " + outcome.kept_name);
    std::string image = original.size() > kChunkHeaderSize ? std::move(original) : std::string();

    // 2. Check every chunk; the ones kept go on the repair list.
    std::vector<std::size_t> list;
    int since_breath = 0;
    const bool walked = walk(image, outcome.corrupted, [&](std::size_t offset, std::size_t length) {
        const std::uint8_t type = type_at(image, offset);
        if (type == kRecordVehicle) {
            const std::int32_t photo = get_i32(image, offset + 44);
            const std::size_t texts = texts_length(image, offset, length);
            // A photo that does not fit behind the texts is left behind as junk.
            if (photo != 0 && (photo < 0 || texts + static_cast<std::size_t>(photo) > length)) {
                put_i32(image, offset, static_cast<std::int32_t>(std::min(texts, length)));
                put_i32(image, offset + 44, 0);
                status_log_write("Vehicle Repair: Photo was larger than record size");
                ++outcome.damaged_photos;
            }
            put_i32(image, offset + 16, 0);
            list.push_back(offset);
        } else if (type == kRecordMaintenance || type == kRecordFuel) {
            put_i32(image, offset + 16, 0);
            const std::string failed = failed_check(read_chunk_header(image, offset));
            if (failed.empty()) {
                list.push_back(offset);
            } else {
                status_log_write(failed);
                ++outcome.corrupted;
            }
        }
        if (++since_breath == kChunksPerBreath) {
            since_breath = 0;
            // Stopping here costs nothing: the file has not been touched yet.
            if (!keep_going(callbacks)) return false;
        }
        return true;
    });
    if (!walked) {
        outcome.status = RepairOutcome::Stopped;
        return outcome;
    }
    status_log_write("Vehicle Repair: " + std::to_string(list.size()) + " Repair Records");

    // 3. Fresh ids: vehicles from 1 in file order, each vehicle's records
    // numbered in turn. When two vehicles shared an id, the first gets the records.
    std::unordered_map<std::int32_t, std::vector<std::size_t>> records_of;
    for (std::size_t offset : list) {
        if (type_at(image, offset) != kRecordVehicle) records_of[get_i32(image, offset + 12)].push_back(offset);
    }
    std::int32_t next_vehicle = 1;
    std::int32_t next_record = 1;
    for (std::size_t offset : list) {
        if (type_at(image, offset) != kRecordVehicle) continue;
        const std::int32_t old_id = get_i32(image, offset + 12);
        put_i32(image, offset + 12, next_vehicle);
        if (const auto it = records_of.find(old_id); it != records_of.end()) {
            for (std::size_t record : it->second) {
                put_i32(image, record + 12, next_vehicle);
                put_i32(image, record + 16, next_record++);
            }
            records_of.erase(it);
        }
        ++next_vehicle;
    }
    status_log_write("Vehicle Repair: New ID Numbers Assigned");

    // 4. Records whose vehicle is gone go to a new vehicle "Unassigned",
    // each with an id of its own so that the screens can find it again.
    for (std::size_t offset : list) {
        if (type_at(image, offset) == kRecordVehicle || get_i32(image, offset + 16) != 0) continue;
        put_i32(image, offset + 12, next_vehicle);
        put_i32(image, offset + 16, next_record++);
        ++outcome.lost_records;
    }
    status_log_write("Vehicle Repair: " + std::to_string(outcome.lost_records) + " unassigned records");
    if (outcome.lost_records > 0) {
        ChunkHeader h;
        h.type = kRecordVehicle;
        h.vehicle_id = next_vehicle;
        h.year = static_cast<std::uint16_t>(std::clamp(current_year, 0, 65535));
        h.month = 1;
        h.day = 1;
        list.push_back(image.size());
        image += encode_chunk(h, vehicle_body("Unassigned", "", "", "", ""));
    }

    // 5. Write the kept chunks, then sort them through the store.
    status_log_write("Vehicle Repair: Save Repaired Data");
    if (!list.empty()) {
        std::string repaired;
        std::size_t size = 0;
        for (std::size_t offset : list) size += static_cast<std::size_t>(get_i32(image, offset));
        repaired.reserve(size);
        for (std::size_t offset : list) repaired.append(image, offset, static_cast<std::size_t>(get_i32(image, offset)));
        if (Result<void> written = write_file_atomic(path, repaired); !written) {
            outcome.status = RepairOutcome::WriteFailed;
            outcome.error = written.error().message;
            return outcome;
        }
    }
    image.clear();
    image.shrink_to_fit();
    store.load();
    if (Result<void> saved = store.save(); !saved) {
        outcome.status = RepairOutcome::WriteFailed;
        outcome.error = saved.error().message;
        store.load();
        return outcome;
    }

    // 6. Sorted, duplicates sit next to each other: keep the first of each run.
    const std::string& sorted = store.image();
    status_log_write("Vehicle Repair: Remove Duplicate Records - " + log_number(static_cast<std::int64_t>(sorted.size())));
    if (sorted.size() > kChunkHeaderSize) {
        if (callbacks.progress_open) callbacks.progress_open();
        const long long total = static_cast<long long>(sorted.size());
        std::string unique;
        unique.reserve(sorted.size());
        bool have_last = false;
        std::int32_t last_vehicle = 0;
        std::string_view last_part;
        int ignored_corrupt = 0;
        int since_progress = 0;
        walk(sorted, ignored_corrupt, [&](std::size_t offset, std::size_t length) {
            const std::int32_t vehicle = get_i32(sorted, offset + 12);
            const std::string_view part = compared_part(sorted, offset, length);
            if (have_last && vehicle == last_vehicle && part == last_part) {
                ++outcome.duplicates;
            } else {
                unique.append(sorted, offset, length);
                have_last = true;
                last_vehicle = vehicle;
                last_part = part;
            }
            if (callbacks.progress && ++since_progress == kChunksPerBreath) {
                since_progress = 0;
                const long long done = static_cast<long long>(offset + length);
                callbacks.progress("Removing Duplicate Records", with_bytes(done, total), done, total);
            }
            return true;
        });
        if (callbacks.progress) callbacks.progress("Removing Duplicate Records", with_bytes(total, total), total, total);
        if (callbacks.progress_close) callbacks.progress_close();
        if (Result<void> written = write_file_atomic(path, unique); !written) {
            outcome.status = RepairOutcome::WriteFailed;
            outcome.error = written.error().message;
        }
    }
    store.load();
    return outcome;
}

std::string repair_report(const RepairOutcome& o) {
    std::string text = "Repair Complete||" + std::to_string(o.corrupted) + " Corrupted records removed|" +
                       std::to_string(o.damaged_photos) + " Damaged photos removed|" + std::to_string(o.lost_records) +
                       " Lost records reassigned|" + std::to_string(o.duplicates) + " Duplicate records removed";
    if (!o.kept_name.empty()) text += "||The original file was kept as " + o.kept_name;
    return text;
}

}  // namespace domora
