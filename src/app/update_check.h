// The update check: once per run a background thread asks the update server
// for "version_info.txt" over HTTP/1.0 and publishes the body as the update
// text, which carries the current newsletter and a few named values. The
// user-interface thread only ever polls the result.
//
// The server comes from DOMORA_UPDATE_HOST ("host" or "host:port"), else from
// the default the build was configured with. No host, no request at all.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace domora {

class NetConnection;

inline constexpr const char* kUpdateFile = "version_info.txt";
inline constexpr int kUpdatePort = 80;
inline constexpr int kUpdateAttempts = 3;
// A reply larger than this is no update text of ours and counts as empty.
inline constexpr std::size_t kMaxUpdateResponse = 1024 * 1024;
inline constexpr std::size_t kUpdateChunk = 4096;

// While the fetch runs, this timer keeps the event wait turning, so that what
// it brings is offered without waiting for the user's next move.
inline constexpr int kUpdateTimer = 600;
inline constexpr int kUpdateTimerPeriodMs = 250;

struct UpdateServer {
    std::string host;  // "" when none is configured
    int port = kUpdatePort;
};

// "host", "host:port", "[v6 address]" or "[v6 address]:port"; blanks around
// are ignored. False, with an empty host, when the text names no usable
// server (empty, or a port outside 1..65535).
bool parse_update_server(std::string_view text, UpdateServer& server);
// The build's default, set once by main before the run starts.
void set_built_in_update_host(std::string host);
// DOMORA_UPDATE_HOST when set, else the build's default.
UpdateServer configured_update_server();

// The request, byte for byte, and the update text within a reply: what
// follows the first empty line, outer blanks and line ends removed ("" without
// an empty line).
std::string update_request(const std::string& host);
std::string update_body(std::string_view response);

struct UpdateTimeouts {
    int connect_ms = 10000;
    int receive_ms = 10000;  // silence allowed between two pieces of the reply
};
// Up to three attempts while the previous one brought nothing; gives the
// update text, "" when no attempt brought one or the connection was cancelled.
std::string fetch_update_text(NetConnection& connection, const UpdateServer& server,
                              const UpdateTimeouts& timeouts = {});

// Starts the background fetch from the configured server; does nothing when
// there is none. Called once by start-up.
void start_update_check();
// Cancels a fetch still under way, waits for its thread (which returns at
// once when cancelled) and forgets the update text. Called at shutdown.
void stop_update_check();
// True once the background fetch has ended (or none was started); from then
// on the timer is stopped.
bool update_check_done();

// The update text, "" until the fetch has published one. It never changes
// again during the run, so the reference stays good until stop_update_check.
const std::string& update_text();
// The text between the first two double quotes after key (case-sensitive);
// "" when the key or either quote is missing.
std::string update_field(std::string_view key);

// ---- the newsletter notice ------------------------------------------------------------

struct NewsletterNotice {
    std::string date;  // "2024-03-05", lower-cased like the others
    std::string note;
    std::string link;
};
// The notice's values as the offer reads them: from the lower-cased text,
// what follows the key up to the first ";", without the "=" and quotes
// around it.
NewsletterNotice newsletter_notice(std::string_view update_text);
// "Newsletter for March 5, 2024" from "2024-03-05"; a malformed date gives
// zeros and an empty month name.
std::string newsletter_heading(std::string_view date);

}  // namespace domora
