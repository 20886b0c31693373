#include "vehicles/vehicle_store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

#include "app/files.h"
#include "app/messages.h"
#include "app/settings.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "app/text.h"
#include "platform/platform.h"
#include "vehicles/vehicle_units.h"

namespace domora {

namespace {

// Walks hand control to the window this often; small files never pause.
constexpr int kChunksPerBreath = 4096;
// Saves of fewer chunks finish before a progress popup could be seen.
constexpr std::size_t kProgressThreshold = 5000;

std::int32_t get_i32(std::string_view s, std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data() + at);
    const std::uint32_t v = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                            (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    return static_cast<std::int32_t>(v);
}

void put_i32(std::string& s, std::size_t at, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) s[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Visits every chunk that lies wholly inside the image: "MSRI" at offset 4
// and a length of at least 52 that does not run past the end. Junk is
// skipped a byte at a time; a marked chunk whose length is below 52 or runs
// past the end is counted corrupt and skipped a byte at a time as well, so a
// damaged stretch costs only the chunks it hits. visit returns false to end
// the walk. Returns the corrupt count.
template <typename Visit>
int walk_chunks(std::string_view image, Visit&& visit, bool (*keep_going)()) {
    int corrupt = 0;
    int since_breath = 0;
    std::size_t offset = 0;
    while (offset + kChunkHeaderSize <= image.size()) {
        if (std::memcmp(image.data() + offset + 4, kChunkMarker, 4) != 0) {
            ++offset;
            continue;
        }
        const std::int64_t length = get_i32(image, offset);
        if (length < static_cast<std::int64_t>(kChunkHeaderSize) ||
            static_cast<std::uint64_t>(length) > image.size() - offset) {
            ++corrupt;
            ++offset;
            continue;
        }
        if (!visit(offset, static_cast<std::size_t>(length))) break;
        offset += static_cast<std::size_t>(length);
        if (++since_breath == kChunksPerBreath) {
            since_breath = 0;
            if (keep_going && !keep_going()) break;
        }
    }
    return corrupt;
}

// The texts of a vehicle body, each up to its zero byte, never past the chunk.
struct BodyTexts {
    std::string texts[4];
    std::size_t end = 0;  // offset just after the fourth text's zero byte, as the lengths say
};

BodyTexts read_body_texts(std::string_view image, std::size_t offset, std::size_t length) {
    BodyTexts out;
    out.end = offset + kChunkHeaderSize + 4;
    if (length < kChunkHeaderSize) return out;
    std::size_t at = offset + kChunkHeaderSize;
    const std::size_t chunk_end = offset + length;
    std::size_t counted = kChunkHeaderSize;
    for (std::string& text : out.texts) {
        std::size_t stop = at;
        while (stop < chunk_end && image[stop] != '\0') ++stop;
        text.assign(image.data() + at, stop - at);
        counted += text.size();
        at = std::min(stop + 1, chunk_end);
    }
    out.end = offset + counted + 4;
    return out;
}

// Appends value in decimal with leading zeros to width (a wider number keeps all its digits).
void append_digits(std::string& out, long long value, int width) {
    if (value < 0) {
        char text[32];
        std::snprintf(text, sizeof text, "%0*lld", width, value);
        out += text;
        return;
    }
    char text[24];
    int n = 0;
    do {
        text[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    for (int i = n; i < width; ++i) out += '0';
    while (n > 0) out += text[--n];
}

// Appends the body text that starts at `at`, up to its zero byte or the chunk's end, upper-cased.
std::size_t append_upper_text(std::string& out, std::string_view image, std::size_t at, std::size_t chunk_end) {
    while (at < chunk_end && image[at] != '\0') out += static_cast<char>(upper_byte(static_cast<unsigned char>(image[at++])));
    return std::min(at + 1, chunk_end);
}

// The sort key of the chunk at offset, appended to out.
void append_sort_key(std::string& out, std::string_view image, std::size_t offset) {
    const ChunkHeader h = read_chunk_header(image, offset);
    append_digits(out, h.year, 4);
    append_digits(out, h.month, 2);
    append_digits(out, h.day, 2);
    append_digits(out, h.b, 9);
    if (offset + kChunkHeaderSize > image.size()) return;
    const std::size_t length = std::min(static_cast<std::size_t>(std::max<std::int32_t>(h.length, 0)), image.size() - offset);
    if (length < kChunkHeaderSize) return;
    const std::size_t end = offset + length;
    if (h.type == kRecordVehicle) {
        const std::size_t model = append_upper_text(out, image, offset + kChunkHeaderSize, end);
        append_upper_text(out, image, model, end);
    } else if (h.type == kRecordMaintenance) {
        append_upper_text(out, image, offset + kChunkHeaderSize, end);
    }
}

// 1 + the largest id, or the smallest free id from 1 when that would overflow.
std::int32_t next_id(std::vector<std::int32_t>& seen) {
    if (seen.empty()) return 1;
    const std::int32_t largest = *std::max_element(seen.begin(), seen.end());
    if (largest < std::numeric_limits<std::int32_t>::max()) return std::max(largest, 0) + 1;
    std::sort(seen.begin(), seen.end());
    std::int32_t candidate = 1;
    for (std::int32_t id : seen) {
        if (id == candidate) ++candidate;
        if (id > candidate) break;
    }
    return candidate;
}

bool filter_passes(int filter, const ChunkHeader& h) {
    switch (filter) {
        case kFilterAll: return true;
        case kFilterFuel: return h.type == kRecordFuel;
        case kFilterMaintenance: return h.type == kRecordMaintenance;
        case kFilterSearch: return (h.marks & kVehicleSearchMark) != 0;
        default: return false;
    }
}

}  // namespace

// ---- the chunk format ----------------------------------------------------------------------------

ChunkHeader read_chunk_header(std::string_view image, std::size_t offset) {
    ChunkHeader h;
    if (offset > image.size() || image.size() - offset < kChunkHeaderSize) return h;
    const auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(image[offset + at]); };
    h.length = get_i32(image, offset);
    h.type = byte(8);
    h.marks = byte(9);
    h.vehicle_id = get_i32(image, offset + 12);
    h.record_id = get_i32(image, offset + 16);
    h.year = static_cast<std::uint16_t>(byte(20) | (byte(21) << 8));
    h.month = byte(22);
    h.day = byte(23);
    h.a = get_i32(image, offset + 24);
    h.b = get_i32(image, offset + 28);
    h.c = get_i32(image, offset + 32);
    h.d = get_i32(image, offset + 36);
    h.e = get_i32(image, offset + 40);
    h.f = get_i32(image, offset + 44);
    return h;
}

std::string encode_chunk(ChunkHeader h, std::string_view body) {
    std::string chunk(kChunkHeaderSize, '\0');
    h.length = static_cast<std::int32_t>(kChunkHeaderSize + body.size());
    put_i32(chunk, 0, h.length);
    std::memcpy(chunk.data() + 4, kChunkMarker, 4);
    chunk[8] = static_cast<char>(h.type);
    chunk[9] = static_cast<char>(h.marks);
    put_i32(chunk, 12, h.vehicle_id);
    put_i32(chunk, 16, h.record_id);
    chunk[20] = static_cast<char>(h.year & 0xFF);
    chunk[21] = static_cast<char>(h.year >> 8);
    chunk[22] = static_cast<char>(h.month);
    chunk[23] = static_cast<char>(h.day);
    put_i32(chunk, 24, h.a);
    put_i32(chunk, 28, h.b);
    put_i32(chunk, 32, h.c);
    put_i32(chunk, 36, h.d);
    put_i32(chunk, 40, h.e);
    put_i32(chunk, 44, h.f);
    chunk.append(body);
    return chunk;
}

std::string vehicle_body(const std::string& make, const std::string& model, const std::string& vin,
                         const std::string& license, std::string_view photo) {
    std::string body;
    for (const std::string* text : {&make, &model, &vin, &license}) {
        body += *text;
        body += '\0';
    }
    body.append(photo);
    return body;
}

std::string maintenance_body(const std::string& description) { return description + '\0'; }

std::string vehicle_sort_key(std::string_view image, std::size_t offset) {
    std::string key;
    append_sort_key(key, image, offset);
    return key;
}

// ---- the store ---------------------------------------------------------------------------------------

VehicleStore::VehicleStore(std::string path) : m_path(std::move(path)) {}

std::int32_t VehicleStore::current_vehicle_id() const { return settings().vehicle_id; }

void VehicleStore::set_current_vehicle_id(std::int32_t id) { settings().vehicle_id = id; }

void VehicleStore::load() {
    m_image.clear();
    m_image.shrink_to_fit();
    m_unreadable = false;
    m_corrupt_at_load = 0;
    m_loaded = true;
    m_loaded_path = m_path;
    m_identity = {};
    m_journal.clear();
    FileInfo info;
    if (!m_path.empty() && platform().sys_stat(m_path, info)) {
        Result<std::string> data = info.is_folder ? Result<std::string>(Error{"a folder has its name"})
                                                  : read_whole_file(m_path, 0, &m_identity);
        if (!data) {
            m_unreadable = true;
            status_log_write("Vehicle File Unreadable: " + m_path + " - " + data.error().message);
        } else if (data.value().size() > kChunkHeaderSize) {
            m_image = std::move(data.value());
            drop_junk();
        }
    }
    remember_loaded_keys();
    rebuild_vehicle_list();
    rebuild_record_view();
}

void VehicleStore::drop_junk() {
    // A chunk that runs past the end is junk only while the image is no
    // longer than that; once an append grew the image it would be read as a
    // chunk swallowing the ones behind it. So the image keeps exactly the
    // chunks this walk finds, and the corrupt ones are remembered for the
    // messages of the rebuilds.
    std::string kept;
    kept.reserve(m_image.size());
    m_corrupt_at_load = walk_chunks(m_image, [&](std::size_t offset, std::size_t length) {
        kept.append(m_image, offset, length);
        return true;
    }, nullptr);
    if (kept.size() == m_image.size()) return;
    status_log_write("Vehicle Junk Dropped: " + log_number(static_cast<std::int64_t>(m_image.size() - kept.size())));
    m_image = std::move(kept);
}

std::string_view VehicleStore::body(std::size_t offset) const {
    const ChunkHeader h = header(offset);
    if (h.length < static_cast<std::int32_t>(kChunkHeaderSize)) return {};
    const std::size_t end = std::min(m_image.size(), offset + static_cast<std::size_t>(h.length));
    if (offset + kChunkHeaderSize > end) return {};
    return std::string_view(m_image).substr(offset + kChunkHeaderSize, end - offset - kChunkHeaderSize);
}

std::string VehicleStore::description(std::size_t offset) const {
    const std::string_view b = body(offset);
    return std::string(b.substr(0, b.find('\0')));
}

std::size_t VehicleStore::append_chunk(const ChunkHeader& header, std::string_view body) {
    const std::size_t offset = m_image.size();
    m_image += encode_chunk(header, body);
    note_change(offset);
    return offset;
}

void VehicleStore::set_record_type(std::size_t offset, std::uint8_t type) {
    if (offset + kChunkHeaderSize > m_image.size()) return;
    if ((m_image[offset + 8] != 0) != (type != 0)) note_change(offset);
    m_image[offset + 8] = static_cast<char>(type);
}

void VehicleStore::set_marks(std::size_t offset, std::uint8_t marks) {
    if (offset + kChunkHeaderSize <= m_image.size()) m_image[offset + 9] = static_cast<char>(marks);
}

std::vector<std::size_t> VehicleStore::chunks() const {
    std::vector<std::size_t> found;
    walk_chunks(m_image, [&](std::size_t offset, std::size_t) {
        found.push_back(offset);
        return true;
    }, nullptr);
    return found;
}

// ---- saving --------------------------------------------------------------------------------------------

Result<void> VehicleStore::save() {
    if (m_image.size() < kChunkHeaderSize) return {};
    // A file that could not be read is read again here: once it reads, the
    // changes are carried over to it; until then it is never written over.
    (void)catch_up();
    if (m_unreadable) {
        return Error{"The vehicle file could not be read, so it was not written over."};
    }
    // The keys live side by side in one block; entries only point into it.
    struct Entry {
        std::size_t key_at;
        std::size_t key_length;
        std::size_t offset;
        std::size_t length;
    };
    std::vector<Entry> entries;
    // Every live chunk goes into the file, even when the program is quitting:
    // a walk cut short here would write a file without the rest.
    walk_chunks(m_image, [&](std::size_t offset, std::size_t length) {
        if (static_cast<std::uint8_t>(m_image[offset + 8]) > kRecordDeleted) entries.push_back({0, 0, offset, length});
        return true;
    }, nullptr);

    const bool show_progress = entries.size() >= kProgressThreshold && m_callbacks.progress;
    if (show_progress && m_callbacks.progress_open) m_callbacks.progress_open();
    const long long total = static_cast<long long>(entries.size());
    std::string keys;
    keys.reserve(entries.size() * 24);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i].key_at = keys.size();
        append_sort_key(keys, m_image, entries[i].offset);
        entries[i].key_length = keys.size() - entries[i].key_at;
        if (show_progress && i % 256 == 0) {
            m_callbacks.progress("Sorting Records", std::to_string(i + 1) + " of " + std::to_string(total),
                                 static_cast<long long>(i + 1), total);
        }
    }
    // Keys compare as unsigned bytes, a prefix first; equal keys keep their file order.
    const std::string_view all_keys = keys;
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& x, const Entry& y) {
        return all_keys.substr(x.key_at, x.key_length) < all_keys.substr(y.key_at, y.key_length);
    });
    if (show_progress) {
        m_callbacks.progress("Sorting Records", std::to_string(total) + " of " + std::to_string(total), total, total);
        if (m_callbacks.progress_close) m_callbacks.progress_close();
    }

    // The sorted image holds no junk, whether or not it reaches the file.
    m_corrupt_at_load = 0;
    std::string sorted;
    std::size_t size = 0;
    for (const Entry& e : entries) size += e.length;
    sorted.reserve(size);
    for (const Entry& e : entries) sorted.append(m_image, e.offset, e.length);

    FileIdentity identity;
    Result<void> written = m_loaded && file_identity(m_path) != m_identity
                               ? Result<void>(Error{"Another program changed the vehicle file while it was being saved."})
                               : write_file_atomic(m_path, sorted, kOwnerOnly, &identity);
    if (!written) {
        m_image = std::move(sorted);
        rebuild_vehicle_list();
        rebuild_record_view();
        return written;
    }
    load();
    return {};
}

Result<void> VehicleStore::write_image() {
    if (m_image.empty()) return {};
    (void)catch_up();
    if (m_unreadable) return Error{"The vehicle file could not be read, so it was not written over."};
    FileIdentity identity;
    Result<void> written = m_loaded && file_identity(m_path) != m_identity
                               ? Result<void>(Error{"Another program changed the vehicle file while it was being saved."})
                               : write_file_atomic(m_path, m_image, kOwnerOnly, &identity);
    if (written) {
        m_identity = identity;
        m_journal.clear();
    }
    return written;
}

// ---- the lists -------------------------------------------------------------------------------------------

void VehicleStore::rebuild_vehicle_list() {
    m_vehicles.clear();
    const std::int32_t wanted = current_vehicle_id();
    int found = -1;
    m_vehicle_corrupt = walk_chunks(m_image, [&](std::size_t offset, std::size_t) {
        if (static_cast<std::uint8_t>(m_image[offset + 8]) == kRecordVehicle) {
            if (get_i32(m_image, offset + 12) == wanted) found = static_cast<int>(m_vehicles.size());
            m_vehicles.push_back(offset);
        }
        return true;
    }, m_callbacks.keep_going) + m_corrupt_at_load;
    if (found >= 0) {
        m_vehicle_position = found;
    } else {
        // The remembered vehicle is gone: the first one in sort order takes its place.
        m_vehicle_position = 0;
        set_current_vehicle_id(m_vehicles.empty() ? 0 : header(m_vehicles.front()).vehicle_id);
    }
    if (m_vehicle_corrupt > 0) {
        show_message(std::to_string(m_vehicle_corrupt) + " vehicle records are corrupted and have been skipped");
    }
}

void VehicleStore::rebuild_record_view() {
    const std::int32_t vehicle_id = current_vehicle_id();
    status_log_write("Build Record Index for Vehicle ID: " + log_number(vehicle_id));
    m_records.clear();
    // Totals of a vehicle that is gone must not linger on the screen.
    m_maintenance_total = 0;
    m_fuel_total = 0;
    m_average_economy = 0;
    m_record_corrupt = 0;
    if (vehicle_id == 0) {
        m_record_position = 0;
        return;
    }
    m_record_corrupt = walk_chunks(m_image, [&](std::size_t offset, std::size_t) {
        const ChunkHeader h = header(offset);
        if (h.type == kRecordVehicle || h.vehicle_id != vehicle_id) return true;
        if (h.type == kRecordMaintenance || h.type == kRecordFuel) {
            if (filter_passes(m_filter, h)) {
                m_records.push_back(offset);
                (h.type == kRecordMaintenance ? m_maintenance_total : m_fuel_total) += h.d;
            }
        } else {
            status_log_write("Unknown Record Type: " + log_number(h.type) + " - size: " + log_number(h.length));
        }
        return true;
    }, m_callbacks.keep_going) + m_corrupt_at_load;

    // The latest five fill-ups that the filter shows, taken together: their
    // distance over their fuel, so that a short top-up weighs what it burnt
    // and not as much as a whole tank.
    std::int64_t distance = 0;
    std::int64_t fuel = 0;
    int count = 0;
    for (auto it = m_records.rbegin(); it != m_records.rend() && count < 5; ++it) {
        const ChunkHeader h = header(*it);
        if (h.type != kRecordFuel) continue;
        distance += static_cast<std::int64_t>(h.b) - h.a;
        fuel += h.c;
        ++count;
    }
    const std::int64_t average = fuel_economy(0, distance, fuel);
    m_average_economy = fits_stored(average) ? static_cast<std::int32_t>(average) : 0;
    set_record_position(m_record_position);
    if (m_record_corrupt > 0) {
        show_message(std::to_string(m_record_corrupt) + " records are corrupted and have been skipped");
    }
}

void VehicleStore::set_vehicle_position(int position) {
    const int last = static_cast<int>(m_vehicles.size()) - 1;
    m_vehicle_position = last < 0 ? 0 : std::clamp(position, 0, last);
}

void VehicleStore::set_record_position(int position) {
    const int last = record_count() - 1;
    m_record_position = last < 0 ? 0 : std::clamp(position, 0, last);
}

// ---- ids, vehicles and marks --------------------------------------------------------------------------------

NewIds VehicleStore::new_ids() const {
    std::vector<std::int32_t> vehicle_ids;
    std::vector<std::int32_t> record_ids;
    walk_chunks(m_image, [&](std::size_t offset, std::size_t) {
        vehicle_ids.push_back(get_i32(m_image, offset + 12));
        record_ids.push_back(get_i32(m_image, offset + 16));
        return true;
    }, nullptr);
    return NewIds{next_id(vehicle_ids), next_id(record_ids)};
}

std::optional<VehicleInfo> VehicleStore::read_vehicle(std::int32_t vehicle_id) const {
    if (m_vehicles.empty()) {
        platform().system_message_box("no records", kProductName);
        return std::nullopt;
    }
    std::optional<std::size_t> at;
    const std::size_t here = m_vehicles[static_cast<std::size_t>(m_vehicle_position)];
    if (header(here).vehicle_id == vehicle_id) {
        at = here;
    } else {
        for (std::size_t offset : m_vehicles) {
            if (header(offset).vehicle_id == vehicle_id) {
                at = offset;
                break;
            }
        }
    }
    if (!at) return std::nullopt;
    const ChunkHeader h = header(*at);
    VehicleInfo info;
    info.offset = *at;
    info.vehicle_id = h.vehicle_id;
    info.record_id = h.record_id;
    info.year = std::to_string(h.year);
    const std::size_t length = static_cast<std::size_t>(h.length);
    const BodyTexts texts = read_body_texts(m_image, *at, length);
    info.make = texts.texts[0];
    info.model = texts.texts[1];
    info.vin = texts.texts[2];
    info.license = texts.texts[3];
    const std::int64_t photo_length = std::max<std::int32_t>(h.f, 0);
    if (static_cast<std::int64_t>(texts.end - *at) + photo_length > h.length) {
        status_log_write("Photo Size Too Large: " + log_number(photo_length));
    } else if (photo_length > 0) {
        info.photo.assign(m_image, texts.end, static_cast<std::size_t>(photo_length));
    }
    return info;
}

std::string VehicleStore::vehicle_heading(std::size_t offset) const {
    const ChunkHeader h = header(offset);
    if (h.length < static_cast<std::int32_t>(kChunkHeaderSize) || offset + static_cast<std::size_t>(h.length) > m_image.size()) {
        return {};
    }
    const BodyTexts texts = read_body_texts(m_image, offset, static_cast<std::size_t>(h.length));
    return std::to_string(h.year) + " " + texts.texts[0] + " " + texts.texts[1];
}

std::optional<VehicleInfo> VehicleStore::current_vehicle() const {
    if (m_vehicles.empty()) return std::nullopt;
    return read_vehicle(header(m_vehicles[static_cast<std::size_t>(m_vehicle_position)]).vehicle_id);
}

void VehicleStore::select_vehicle(std::int32_t vehicle_id) {
    if (vehicle_id == -1 || m_vehicles.empty()) {
        m_vehicle_position = 0;
        return;
    }
    for (std::size_t i = 0; i < m_vehicles.size(); ++i) {
        if (header(m_vehicles[i]).vehicle_id == vehicle_id) {
            m_vehicle_position = static_cast<int>(i);
            return;
        }
    }
}

void VehicleStore::select_record(std::int32_t record_id) {
    if (record_id == -1 || m_records.empty()) {
        m_record_position = 0;
        return;
    }
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if (header(m_records[i]).record_id == record_id) {
            m_record_position = static_cast<int>(i);
            return;
        }
    }
}

bool VehicleStore::is_selected(int position) const {
    if (position < 0 || position >= record_count()) return false;
    return (header(record_offset(position)).marks & kVehicleSelectedMark) != 0;
}

void VehicleStore::set_selected(int position, bool on) {
    if (position < 0 || position >= record_count()) return;
    const std::size_t offset = record_offset(position);
    const std::uint8_t marks = header(offset).marks;
    set_marks(offset, static_cast<std::uint8_t>(on ? marks | kVehicleSelectedMark : marks & ~kVehicleSelectedMark));
}

void VehicleStore::clear_selected_marks() {
    walk_chunks(m_image, [&](std::size_t offset, std::size_t) {
        m_image[offset + 9] = static_cast<char>(static_cast<std::uint8_t>(m_image[offset + 9]) & ~kVehicleSelectedMark);
        return true;
    }, nullptr);
}

}  // namespace domora
