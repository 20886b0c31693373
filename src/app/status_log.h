// The status log: one line per event, text + CR LF. Outside a batch every
// line reaches the file before status_log_write returns, so the log survives
// a crash up to the last line written; inside one, up to the batch's last
// write. Safe to call from any thread.
#pragma once

#include <string>
#include <string_view>

namespace domora {

// Where lines go from now on; until set, lines are dropped.
void status_log_set_path(const std::string& path);
const std::string& status_log_path();
// Appends text + CR LF. A log that cannot be opened loses the line silently;
// a log deleted while the program runs is created again by the next line.
void status_log_write(std::string_view text);

// While one lives, this thread's lines are gathered and written in one go
// when it ends (a record's lines during an import): the same bytes, in the
// same order, with one system call instead of one per line. Nests.
class StatusLogBatch {
public:
    // A paced batch, for a long run of lines (a whole import), does not hold
    // everything to the end: whenever 64 KB have gathered or 30 ms have gone
    // by, what it holds goes out, between the writes of any batches inside
    // it, so the file trails by a moment at most and stays small in memory.
    enum Pacing { kAtEnd, kPaced };
    explicit StatusLogBatch(Pacing pacing = kAtEnd);
    ~StatusLogBatch();
    StatusLogBatch(const StatusLogBatch&) = delete;
    StatusLogBatch& operator=(const StatusLogBatch&) = delete;

private:
    int m_outer_paced_depth = 0;
};

}  // namespace domora
