// What the stores share to keep a change from being lost when another
// program (a file-sync tool, a restore, a second copy of the program, the
// command-line companion) writes a data file while its screen is open: a
// journal of the records the user changed since the file was read, and the
// dated copy that keeps the user's version where the change cannot be
// carried over to the new file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "app/result.h"
#include "platform/platform.h"

namespace domora {

// The records changed since the file was last read or written, by a key
// each store forms from its record ids, in the order they were first
// changed, with whether the record was live in the file as read. The
// record's present state is not kept here: the store's image holds it.
class ChangeJournal {
public:
    struct Entry {
        std::uint64_t key = 0;
        bool was_live = false;
        // The record_fingerprint of the record as read, when it was live:
        // whether the other program changed it too is told by this.
        std::uint64_t before = 0;
    };
    // Only the first note of a key counts: an edit is a delete and an add
    // of the same key, and it is the state before both that tells the two apart.
    void note(std::uint64_t key, bool was_live, std::uint64_t before = 0);
    bool noted(std::uint64_t key) const { return m_seen.count(key) != 0; }
    const std::vector<Entry>& entries() const { return m_entries; }
    bool empty() const { return m_entries.empty(); }
    void clear();

private:
    std::unordered_set<std::uint64_t> m_seen;
    std::vector<Entry> m_entries;
};

// What the user's change becomes against a file another program wrote:
// the same record id live there (edit and delete apply to it); taken by a
// record the user never had (an add gets a new id).
enum class Carry {
    kNothing,     // added and removed again, or removed on both sides
    kAdd,         // a record the file never had: add it
    kReplace,     // edited, and the record is still there: replace it
    kRemove,      // deleted, and still there: delete it
    kLost,        // edited, but the other program removed it
};
Carry carry_change(bool was_live, bool live_in_ours, bool live_in_theirs);

// What a record holds, apart from what says where and how it is kept (its
// length, marks and live flag), in a form cheap to keep for every change.
std::uint64_t record_fingerprint(std::string_view content);
// An edit or delete of the user's replaces a record the other program
// changed as well (and, for an edit, not to what the user made of it): its
// version would go from the file unseen. ours is the user's record, when live.
bool changed_on_both_sides(Carry carry, const ChangeJournal::Entry& entry, std::uint64_t theirs, std::uint64_t ours);

// "address10 2026-12-09 08-39-05.dat" beside "address10.dat": the date and
// time keep copies apart and sort them in the file browser.
std::string dated_copy_path(const std::string& path, const UtcTime& when);
// Writes data owner-only under the dated name for the current local time,
// never over a file already there (" (2)", " (3)" ... are tried); returns
// the name written.
Result<std::string> keep_dated_copy(const std::string& path, std::string_view data);

// The message that tells the user where a version that could not go into
// the file was kept.
std::string kept_copy_message(const std::string& path, const std::string& copy);
// The same for the other program's version of records the user changed too:
// the user's change is what the file now holds.
std::string their_copy_message(const std::string& path, const std::string& copy);

}  // namespace domora
