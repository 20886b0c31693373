// The vehicle file "vehicle11.dat" and the lists built over it.
//
// The file is a headerless run of chunks, each a 52-byte header (total
// length, "MSRI", record type, marks, vehicle id, record id, date, six
// signed values) and a body: vehicles carry Make, Model, VIN and License
// (each ended by a zero byte) and a photo, maintenance records a
// description, fuel records nothing. The store keeps the whole file in
// memory as its image; a change appends a chunk or clears a record type and
// every change ends with save(), which compacts, sorts, writes and reloads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/file_guard.h"
#include "app/files.h"
#include "app/result.h"

namespace domora {

inline constexpr std::size_t kChunkHeaderSize = 52;
inline constexpr char kChunkMarker[] = "MSRI";

enum VehicleRecordType : std::uint8_t {
    kRecordDeleted = 0,
    kRecordVehicle = 1,
    kRecordMaintenance = 2,
    kRecordFuel = 3,
};

// Mark flags at byte 9.
inline constexpr std::uint8_t kVehicleSelectedMark = 1;
inline constexpr std::uint8_t kVehicleSearchMark = 2;

enum DisplayFilter {
    kFilterAll = 0,
    kFilterFuel = 1,
    kFilterMaintenance = 2,
    kFilterSearch = 3,
};

// The 52-byte header. The six values mean, by record type:
//   vehicle:      f photo length
//   maintenance:  b odometer, d cost
//   fuel:         a odometer start, b odometer end, c fuel, d cost, e economy
struct ChunkHeader {
    std::int32_t length = 0;
    std::uint8_t type = 0;
    std::uint8_t marks = 0;
    std::int32_t vehicle_id = 0;
    std::int32_t record_id = 0;
    std::uint16_t year = 0;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::int32_t a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;
};

// Reads the header at offset; the caller has made sure 52 bytes are there.
ChunkHeader read_chunk_header(std::string_view image, std::size_t offset);
// A whole chunk: the header with its length set to 52 + the body's, then the body.
std::string encode_chunk(ChunkHeader header, std::string_view body);
// Bodies as the record types lay them out.
std::string vehicle_body(const std::string& make, const std::string& model, const std::string& vin,
                         const std::string& license, std::string_view photo);
std::string maintenance_body(const std::string& description);

// The key the file is sorted by: date, odometer (value B) and, for vehicles,
// Make and Model, for maintenance the description, all upper-cased.
std::string vehicle_sort_key(std::string_view image, std::size_t offset);

// What read_vehicle finds.
struct VehicleInfo {
    std::size_t offset = 0;
    std::int32_t vehicle_id = 0;
    std::int32_t record_id = 0;
    std::string year;
    std::string make, model, vin, license;
    std::string photo;  // the image file's bytes; empty without a photo
};

struct NewIds {
    std::int32_t vehicle_id = 1;
    std::int32_t record_id = 1;
};

// How the store lets the rest of the program breathe during long work; the
// screen installs these. Any of them may be null.
struct StoreCallbacks {
    // Called every few thousand chunks of a walk; false (the program is
    // quitting) ends a walk that only builds a list.
    bool (*keep_going)() = nullptr;
    // The progress popup of a large save.
    void (*progress_open)() = nullptr;
    void (*progress)(const std::string& title, const std::string& detail, long long done, long long total) = nullptr;
    void (*progress_close)() = nullptr;
};

class VehicleStore {
public:
    VehicleStore() = default;
    explicit VehicleStore(std::string path);

    void set_path(const std::string& path) { m_path = path; }
    const std::string& path() const { return m_path; }
    void set_callbacks(const StoreCallbacks& callbacks) { m_callbacks = callbacks; }

    // ---- the file ---------------------------------------------------------------------------
    // Replaces the image with the file (a missing file, or one of 52 bytes or
    // less, gives an empty image) and rebuilds both lists. Junk and corrupt
    // chunks are left out of the image but still counted by the rebuilds.
    void load();
    // Compacts and sorts the image, writes the file atomically and loads it
    // again. When the write fails the sorted image stays in memory (the
    // change is not lost for this session) and the error is returned.
    Result<void> save();
    // Writes the image as it stands (the search marks of Find).
    Result<void> write_image();
    // When another program replaced or rewrote the file since it was read
    // or written, reads it again and carries the changes not yet written
    // over to it by id: added chunks are added (under new ids where the file
    // gave theirs to others), edited ones replace theirs, deleted ones are
    // removed. An edit of a chunk the other program removed cannot be carried
    // over: the user's version of the whole file is then kept beside it
    // under a dated name (the name is returned) and the user is told. An
    // edit or delete of a chunk the other program changed too is carried
    // over, and the other program's file as it was is kept the same way
    // (their_copy), so that its version is not lost unseen. A file that
    // no longer reads leaves the image as the user left it, and unwritten.
    // True in reloaded when the file was read again.
    struct CatchUp {
        bool reloaded = false;
        std::string kept_copy;
        std::string their_copy;
    };
    CatchUp catch_up();
    // True after a load found the file but could not read it: it is then
    // never written over, so that a passing fault cannot cost the data.
    bool unreadable() const { return m_unreadable; }

    // ---- the image ----------------------------------------------------------------------------
    const std::string& image() const { return m_image; }
    bool empty() const { return m_image.empty(); }
    ChunkHeader header(std::size_t offset) const { return read_chunk_header(m_image, offset); }
    // The body of the chunk at offset, cut to the chunk.
    std::string_view body(std::size_t offset) const;
    // A maintenance record's description: its body up to the zero byte.
    std::string description(std::size_t offset) const;
    // Appends a chunk (its length set from the body) and returns its offset.
    std::size_t append_chunk(const ChunkHeader& header, std::string_view body);
    void set_record_type(std::size_t offset, std::uint8_t type);
    void set_marks(std::size_t offset, std::uint8_t marks);
    // Offsets of every valid chunk, in file order.
    std::vector<std::size_t> chunks() const;

    // ---- lists ----------------------------------------------------------------------------------
    void rebuild_vehicle_list();
    void rebuild_record_view();

    // The current vehicle id lives in the settings (vehicle_id); 0 is none.
    std::int32_t current_vehicle_id() const;
    void set_current_vehicle_id(std::int32_t id);

    const std::vector<std::size_t>& vehicles() const { return m_vehicles; }
    int vehicle_position() const { return m_vehicle_position; }
    void set_vehicle_position(int position);
    const std::vector<std::size_t>& records() const { return m_records; }
    int record_count() const { return static_cast<int>(m_records.size()); }
    int record_position() const { return m_record_position; }
    // Kept within the view (0 when it is empty).
    void set_record_position(int position);
    // The offset of the record at a view position; the caller checks the position.
    std::size_t record_offset(int position) const { return m_records.at(static_cast<std::size_t>(position)); }

    int display_filter() const { return m_filter; }
    void set_display_filter(int filter) { m_filter = filter; }
    std::int64_t maintenance_total() const { return m_maintenance_total; }
    std::int64_t fuel_total() const { return m_fuel_total; }
    std::int32_t average_economy() const { return m_average_economy; }
    // Corrupt chunks counted by the last rebuild of each list.
    int vehicle_list_corrupt() const { return m_vehicle_corrupt; }
    int record_view_corrupt() const { return m_record_corrupt; }
    // Corrupt chunks the last load found and left out of the image.
    int corrupt_at_load() const { return m_corrupt_at_load; }

    // ---- ids, vehicles, selection -----------------------------------------------------------------
    NewIds new_ids() const;
    std::optional<VehicleInfo> read_vehicle(std::int32_t vehicle_id) const;
    // Year + " " + Make + " " + Model of the vehicle record at offset.
    std::string vehicle_heading(std::size_t offset) const;
    // The vehicle at the vehicle list's current position, if any.
    std::optional<VehicleInfo> current_vehicle() const;
    // Moves the list's position to the item carrying the id; -1 or an empty
    // list give position 0, an unknown id leaves the position alone.
    void select_vehicle(std::int32_t vehicle_id);
    void select_record(std::int32_t record_id);

    bool is_selected(int position) const;
    void set_selected(int position, bool on);
    // Clears the selected mark in every chunk, of every vehicle.
    void clear_selected_marks();

private:
    bool keep_going() const { return !m_callbacks.keep_going || m_callbacks.keep_going(); }
    // Keeps only the whole chunks of a freshly read image.
    void drop_junk();

    // An edit appends the new chunk before it removes the old one, so
    // whether a changed chunk was in the file is looked up among the keys
    // the load found rather than told by the order of the changes.
    void remember_loaded_keys();
    void note_change(std::size_t offset);
    bool carry_over(const VehicleStore& ours, const ChangeJournal& journal, std::string& their_image);
    std::uint64_t content_fingerprint(std::size_t offset) const;

    std::string m_path;
    std::string m_image;
    // The file the image was read from or last written as, and the chunks changed since.
    bool m_loaded = false;
    std::string m_loaded_path;
    FileIdentity m_identity;
    ChangeJournal m_journal;
    std::unordered_map<std::uint64_t, std::uint64_t> m_loaded_keys;  // live chunks as read, by key: their fingerprints
    bool m_unreadable = false;
    StoreCallbacks m_callbacks;

    std::vector<std::size_t> m_vehicles;
    int m_vehicle_position = 0;
    std::vector<std::size_t> m_records;
    int m_record_position = 0;
    int m_filter = kFilterAll;
    std::int64_t m_maintenance_total = 0;
    std::int64_t m_fuel_total = 0;
    std::int32_t m_average_economy = 0;
    int m_vehicle_corrupt = 0;
    int m_record_corrupt = 0;
    // Corrupt chunks the load left out of the image, until the next save.
    int m_corrupt_at_load = 0;
};

}  // namespace domora
