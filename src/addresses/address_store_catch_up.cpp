// Catching up with an address file that another program wrote while the
// book was open: its records are read again and the user's changes not yet
// written are carried over to them by record id.
#include <algorithm>
#include <unordered_map>

#include "addresses/address_store.h"
#include "app/messages.h"
#include "app/startup.h"
#include "app/status_log.h"

namespace domora {

struct AddressStore::Carried {
    bool lost = false;  // an edit whose record the other program removed
    // The other program's file as read, when it changed a record the user
    // edited or deleted too; empty otherwise.
    std::string their_image;
};

namespace {

// The offset of the last live record of each id.
std::unordered_map<std::int32_t, std::uint32_t> live_offsets(const AddressStore& store) {
    std::unordered_map<std::int32_t, std::uint32_t> offsets;
    store.each_frame([&](std::uint32_t offset) {
        if (store.live_at(offset)) offsets[store.id_at(offset)] = offset;
        return true;
    });
    return offsets;
}

}  // namespace

FileCatchUp AddressStore::refresh() {
    if (m_loaded && m_loaded_path == app_paths().address_file) return catch_up();
    FileCatchUp outcome;
    outcome.reloaded = true;
    const Result<void> loaded = load();
    if (!loaded) outcome.read_error = loaded.error().message;
    return outcome;
}

FileCatchUp AddressStore::catch_up() {
    FileCatchUp outcome;
    const std::string path = app_paths().address_file;
    if (!m_loaded || (!m_read_failed && path == m_loaded_path && file_identity(path) == m_identity)) return outcome;
    // The image moves away below: the order found ahead was of it.
    forget_order();
    outcome.reloaded = true;
    // Only the same file, read before, has changes of the user's to carry.
    const bool same_file = path == m_loaded_path;
    outcome.changed_by_other = same_file && !m_read_failed;
    AddressStore ours;
    ours.m_image = std::move(m_image);
    const ChangeJournal journal = std::move(m_journal);
    const int mode = m_mode;
    const Result<void> loaded = load();
    if (!loaded) outcome.read_error = loaded.error().message;
    if (!same_file) return outcome;
    if (outcome.changed_by_other) status_log_write("Address File Changed By Another Program: " + path);
    Carried carried;
    if (m_read_failed) {
        // Nothing can be carried over to a file that cannot be read: the
        // book goes on as the user left it, with its changes still to
        // carry, and no save replaces the file until it reads again. A book
        // that had been read from the file is kept beside it as well, since
        // the other program made its file unreadable.
        carried.lost = outcome.changed_by_other && !journal.empty();
        m_image = ours.m_image;
        m_journal = journal;
    } else {
        carried = carry_over(ours, journal);
    }
    m_mode = mode;
    m_view_current = false;
    rebuild_view();
    // Each copy is a valid address file, whole, that the user can open or restore.
    const auto keep = [&](std::string_view image, std::string (*message)(const std::string&, const std::string&)) {
        const Result<std::string> kept = keep_dated_copy(path, image);
        if (!kept) {
            show_message("Unable to save the address file||" + path + "|" + kept.error().message);
            return std::string();
        }
        show_message(message(path, kept.value()));
        return kept.value();
    };
    // The book as the user last saw it.
    if (carried.lost) outcome.kept_copy = keep(ours.m_image, kept_copy_message);
    if (!carried.their_image.empty()) outcome.their_copy = keep(carried.their_image, their_copy_message);
    return outcome;
}

AddressStore::Carried AddressStore::carry_over(AddressStore& ours, const ChangeJournal& journal) {
    Carried carried;
    const auto mine = live_offsets(ours);
    auto theirs = live_offsets(*this);
    // The marks (selection, search results) stay as the user left them on
    // every record both sides still have.
    for (const auto& [id, offset] : theirs) {
        const auto found = mine.find(id);
        if (found != mine.end()) set_marks_at(offset, ours.marks_at(found->second));
    }
    for (const ChangeJournal::Entry& entry : journal.entries()) {
        const auto id = static_cast<std::int32_t>(static_cast<std::uint32_t>(entry.key));
        const auto in_ours = mine.find(id);
        const auto in_theirs = theirs.find(id);
        if (in_theirs == theirs.end()) continue;
        const Carry carry = carry_change(entry.was_live, in_ours != mine.end(), true);
        const std::uint64_t our_content = in_ours != mine.end() ? ours.content_fingerprint(in_ours->second) : 0;
        if (changed_on_both_sides(carry, entry, content_fingerprint(in_theirs->second), our_content)) {
            carried.their_image = m_image;
            break;
        }
    }
    std::int32_t largest = 0;
    each_frame([&](std::uint32_t offset) {
        largest = std::max(largest, id_at(offset));
        return true;
    });
    for (const ChangeJournal::Entry& entry : journal.entries()) {
        const auto id = static_cast<std::int32_t>(static_cast<std::uint32_t>(entry.key));
        const auto in_ours = mine.find(id);
        const auto in_theirs = theirs.find(id);
        switch (carry_change(entry.was_live, in_ours != mine.end(), in_theirs != theirs.end())) {
            case Carry::kNothing: break;
            case Carry::kRemove: set_live_at(in_theirs->second, false); break;
            case Carry::kLost: carried.lost = true; break;
            case Carry::kReplace: {
                set_live_at(in_theirs->second, false);
                const AddressRecord record = ours.record_at(in_ours->second);
                theirs[id] = append_record(id, record.marks, record.fields).offset;
                break;
            }
            case Carry::kAdd: {
                const AddressRecord record = ours.record_at(in_ours->second);
                std::int32_t new_id = id;
                if (in_theirs != theirs.end() && largest < INT32_MAX) {
                    // The other program gave this id to a record of its own.
                    new_id = ++largest;
                    m_renumbered.emplace_back(id, new_id);
                }
                largest = std::max(largest, new_id);
                theirs[new_id] = append_record(new_id, record.marks, record.fields).offset;
                break;
            }
        }
    }
    return carried;
}

std::int32_t AddressStore::renumbered(std::int32_t id) const {
    for (const auto& [from, to] : m_renumbered) {
        if (from == id) return to;
    }
    return id;
}

}  // namespace domora
