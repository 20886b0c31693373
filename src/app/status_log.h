// The status log: one line per event, text + CR LF. Every line reaches the
// file before status_log_write returns, so the log survives a crash up to the
// last line written. Safe to call from any thread.
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
    StatusLogBatch();
    ~StatusLogBatch();
    StatusLogBatch(const StatusLogBatch&) = delete;
    StatusLogBatch& operator=(const StatusLogBatch&) = delete;
};

}  // namespace domora
