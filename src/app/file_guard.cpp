#include "app/file_guard.h"

#include <cstdio>

#include "app/files.h"
#include "app/status_log.h"

namespace domora {

void ChangeJournal::note(std::uint64_t key, bool was_live, std::uint64_t before) {
    if (m_seen.insert(key).second) m_entries.push_back(Entry{key, was_live, before});
}

void ChangeJournal::clear() {
    m_seen.clear();
    m_entries.clear();
}

Carry carry_change(bool was_live, bool live_in_ours, bool live_in_theirs) {
    if (!was_live) return live_in_ours ? Carry::kAdd : Carry::kNothing;
    if (live_in_ours) return live_in_theirs ? Carry::kReplace : Carry::kLost;
    return live_in_theirs ? Carry::kRemove : Carry::kNothing;
}

std::uint64_t record_fingerprint(std::string_view content) {
    // 64-bit FNV-1a: records the user touched are few, and a collision
    // only means a copy is not kept.
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : content) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

bool changed_on_both_sides(Carry carry, const ChangeJournal::Entry& entry, std::uint64_t theirs, std::uint64_t ours) {
    if (!entry.was_live || theirs == entry.before) return false;
    return carry == Carry::kRemove || (carry == Carry::kReplace && theirs != ours);
}

std::string dated_copy_path(const std::string& path, const UtcTime& when) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const bool has_extension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string stem = has_extension ? path.substr(0, dot) : path;
    const std::string extension = has_extension ? path.substr(dot) : std::string();
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, " %04d-%02d-%02d %02d-%02d-%02d", when.year, when.month, when.day, when.hour,
                  when.minute, when.second);
    return stem + stamp + extension;
}

Result<std::string> keep_dated_copy(const std::string& path, std::string_view data) {
    const std::string first = dated_copy_path(path, platform().local_now());
    const std::size_t dot = first.rfind('.');
    const bool has_extension = dot != std::string::npos && dot > first.rfind('/') + 1 && dot >= path.rfind('.');
    for (int n = 1; n < 100; ++n) {
        std::string name = first;
        if (n > 1) {
            const std::string suffix = " (" + std::to_string(n) + ")";
            if (has_extension) {
                name.insert(dot, suffix);
            } else {
                name += suffix;
            }
        }
        if (file_exists(name)) continue;
        const Result<void> written = write_file_atomic(name, data);
        if (!written) return written.error();
        status_log_write("Kept Version Beside The File: " + name);
        return name;
    }
    return Error{"no free name for a copy beside " + path};
}

std::string kept_copy_message(const std::string& path, const std::string& copy) {
    return "Another program changed the file|" + path + "|Your changes that could not be carried over are kept in|" + copy;
}

std::string their_copy_message(const std::string& path, const std::string& copy) {
    return "Another program changed the file|" + path + "|Its version of records you changed too is kept in|" + copy;
}

}  // namespace domora
