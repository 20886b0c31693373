// The status log: one line per event, text + CR LF, the file closed after
// every line so that it survives a crash up to the last line written. Safe
// to call from any thread.
#pragma once

#include <string>
#include <string_view>

namespace domora {

// Where lines go from now on; until set, lines are dropped.
void status_log_set_path(const std::string& path);
const std::string& status_log_path();
// Appends text + CR LF. A log that cannot be opened loses the line silently.
void status_log_write(std::string_view text);

}  // namespace domora
