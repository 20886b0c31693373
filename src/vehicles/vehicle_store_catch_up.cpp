// Catching up with a vehicle file that another program wrote while the
// store was open: it is read again and the chunks changed since are carried
// over to it by id.
#include <algorithm>
#include <map>
#include <unordered_map>

#include "app/messages.h"
#include "app/status_log.h"
#include "vehicles/vehicle_store.h"

namespace domora {

namespace {

// A vehicle is known by its vehicle id, every other chunk by its record id.
std::uint64_t chunk_key(const ChunkHeader& h) {
    return h.type == kRecordVehicle ? (std::uint64_t{1} << 32) | static_cast<std::uint32_t>(h.vehicle_id)
                                    : static_cast<std::uint32_t>(h.record_id);
}

// The offset of the last live chunk of each key.
std::unordered_map<std::uint64_t, std::size_t> live_offsets(const VehicleStore& store) {
    std::unordered_map<std::uint64_t, std::size_t> offsets;
    for (const std::size_t offset : store.chunks()) {
        const ChunkHeader h = store.header(offset);
        if (h.type != kRecordDeleted) offsets[chunk_key(h)] = offset;
    }
    return offsets;
}

void put_i32(std::string& image, std::size_t at, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) image[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

std::uint64_t VehicleStore::content_fingerprint(std::size_t offset) const {
    // From the ids on: the length, type and marks say how the chunk is kept, not what it holds.
    constexpr std::size_t kContentFrom = 12;
    const auto length = static_cast<std::size_t>(header(offset).length);
    return record_fingerprint(std::string_view(m_image).substr(offset + kContentFrom, length - kContentFrom));
}

void VehicleStore::remember_loaded_keys() {
    m_loaded_keys.clear();
    for (const std::size_t offset : chunks()) {
        const ChunkHeader h = header(offset);
        if (h.type != kRecordDeleted) m_loaded_keys[chunk_key(h)] = content_fingerprint(offset);
    }
}

void VehicleStore::note_change(std::size_t offset) {
    const std::uint64_t key = chunk_key(header(offset));
    const auto loaded = m_loaded_keys.find(key);
    if (loaded == m_loaded_keys.end()) {
        m_journal.note(key, false);
    } else {
        m_journal.note(key, true, loaded->second);
    }
}

VehicleStore::CatchUp VehicleStore::catch_up() {
    CatchUp outcome;
    if (!m_loaded || m_loaded_path != m_path || file_identity(m_path) == m_identity) return outcome;
    outcome.reloaded = true;
    if (!m_unreadable) status_log_write("Vehicle File Changed By Another Program: " + m_path);
    VehicleStore ours;
    ours.m_image = std::move(m_image);
    const ChangeJournal journal = std::move(m_journal);
    const bool was_readable = !m_unreadable;
    std::unordered_map<std::uint64_t, std::uint64_t> loaded_keys = std::move(m_loaded_keys);
    load();
    bool lost = false;
    std::string their_image;
    if (m_unreadable) {
        // Nothing can be carried over to a file that cannot be read: the
        // store goes on as the user left it, with its changes still to
        // carry, and no save replaces the file until it reads again. What
        // had been read from the file is kept beside it as well, since the
        // other program made its file unreadable.
        lost = was_readable && !journal.empty();
        m_image = ours.m_image;
        m_journal = journal;
        m_loaded_keys = std::move(loaded_keys);
    } else {
        lost = carry_over(ours, journal, their_image);
    }
    rebuild_vehicle_list();
    rebuild_record_view();
    const auto keep = [&](std::string_view image, std::string (*message)(const std::string&, const std::string&)) {
        const Result<std::string> kept = keep_dated_copy(m_path, image);
        if (!kept) {
            show_message("The vehicle file could not be saved.|" + kept.error().message);
            return std::string();
        }
        show_message(message(m_path, kept.value()));
        return kept.value();
    };
    if (lost) outcome.kept_copy = keep(ours.m_image, kept_copy_message);
    if (!their_image.empty()) outcome.their_copy = keep(their_image, their_copy_message);
    return outcome;
}

bool VehicleStore::carry_over(const VehicleStore& ours, const ChangeJournal& journal, std::string& their_image) {
    const auto mine = live_offsets(ours);
    auto theirs = live_offsets(*this);
    for (const ChangeJournal::Entry& entry : journal.entries()) {
        const auto in_ours = mine.find(entry.key);
        const auto in_theirs = theirs.find(entry.key);
        if (in_theirs == theirs.end()) continue;
        const Carry carry = carry_change(entry.was_live, in_ours != mine.end(), true);
        const std::uint64_t our_content = in_ours != mine.end() ? ours.content_fingerprint(in_ours->second) : 0;
        if (changed_on_both_sides(carry, entry, content_fingerprint(in_theirs->second), our_content)) {
            their_image = m_image;
            break;
        }
    }
    NewIds next = new_ids();
    // Vehicles the user added under an id the other program gave to one of
    // its own: their records follow them to the new id.
    std::map<std::int32_t, std::int32_t> moved_vehicles;
    bool lost = false;
    const auto append_ours = [&](std::size_t from, bool renumber) {
        const std::size_t at = m_image.size();
        m_image.append(ours.m_image, from, static_cast<std::size_t>(ours.header(from).length));
        const ChunkHeader h = header(at);
        if (renumber && h.type == kRecordVehicle) {
            moved_vehicles[h.vehicle_id] = next.vehicle_id;
            put_i32(m_image, at + 12, next.vehicle_id++);
        } else if (renumber) {
            put_i32(m_image, at + 16, next.record_id++);
        }
        const auto moved = moved_vehicles.find(header(at).vehicle_id);
        if (header(at).type != kRecordVehicle && moved != moved_vehicles.end()) put_i32(m_image, at + 12, moved->second);
        note_change(at);
        theirs[chunk_key(header(at))] = at;
    };
    for (const ChangeJournal::Entry& entry : journal.entries()) {
        const auto in_ours = mine.find(entry.key);
        const auto in_theirs = theirs.find(entry.key);
        switch (carry_change(entry.was_live, in_ours != mine.end(), in_theirs != theirs.end())) {
            case Carry::kNothing: break;
            case Carry::kRemove: set_record_type(in_theirs->second, kRecordDeleted); break;
            case Carry::kLost: lost = true; break;
            case Carry::kReplace:
                set_record_type(in_theirs->second, kRecordDeleted);
                append_ours(in_ours->second, false);
                break;
            case Carry::kAdd: append_ours(in_ours->second, in_theirs != theirs.end()); break;
        }
    }
    return lost;
}

}  // namespace domora
