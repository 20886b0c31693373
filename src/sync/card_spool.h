// Where a sync state keeps its contacts' cards while the program runs: an
// unnamed owner-only file in the data folder, gone with its last holder.
// The cards as last seen on the server are as large as the rest of a book's
// state together, and a sync reads only the few that changed; so they wait
// on the disk, not in memory, for the whole run. Written at its end only, a
// place once given stays good for as long as the spool is held.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "app/result.h"

namespace domora {

// Where one card lies in its spool; the empty card is nowhere.
struct CardSpan {
    std::uint64_t at = 0;
    std::uint32_t size = 0;
    bool operator==(const CardSpan&) const = default;
};

// An unnamed owner-only file in folder (the system's temporary folder when
// folder is ""), for what a sync keeps on the disk only while it needs it;
// the caller closes it.
Result<int> open_unnamed_file(const std::string& folder);
// Where those files go: the folder of the state file (see app_paths), else "".
std::string sync_spool_folder();
// All of data to fd at its offset: 0, or the errno that stopped it (ENOSPC for a write that took nothing).
int write_fully(int fd, std::string_view data);
// From fd at its offset into [into, into + room), at least least bytes: 0 with
// got set, or the errno that stopped it (EIO for a file that ended first).
int read_at_least(int fd, char* into, std::size_t room, std::size_t least, std::size_t& got);

class CardSpool {
public:
    // A new spool in folder, or in the system's temporary folder when folder is "".
    static Result<std::shared_ptr<CardSpool>> open(const std::string& folder);
    ~CardSpool();
    CardSpool(const CardSpool&) = delete;
    CardSpool& operator=(const CardSpool&) = delete;

    // Each may be called from any thread.
    Result<CardSpan> add(std::string_view card);
    Result<std::string> read(const CardSpan& span);
    // The same into out, reusing its memory.
    Result<void> read_into(const CardSpan& span, std::string& out);

private:
    explicit CardSpool(int fd) : m_fd(fd) {}
    Result<void> flush();  // under m_lock

    std::mutex m_lock;
    int m_fd;
    std::uint64_t m_written = 0;  // bytes in the file; the pending ones follow them
    std::string m_pending;
    // The last stretch read, for the next card in file order: a state is
    // written out in the order its cards came.
    std::string m_window;
    std::uint64_t m_window_at = 0;
};

}  // namespace domora
