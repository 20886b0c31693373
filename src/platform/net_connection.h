// One outgoing TCP connection: connect with a time limit, send, receive, and
// a cancel that any thread may call to end every wait at once.
//
// Plain POSIX sockets; the program's only use is the small background
// request of the update check, which must never keep the program from
// quitting, so every blocking step waits on the cancel as well.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

namespace domora {

enum class NetStatus {
    Ok,
    Failed,     // refused, reset, unknown host, ...
    TimedOut,
    Cancelled,
};

class NetConnection {
public:
    NetConnection();
    virtual ~NetConnection();
    NetConnection(const NetConnection&) = delete;
    NetConnection& operator=(const NetConnection&) = delete;

    // Looks the host up (a name or a numeric address) and connects to port,
    // all within timeout_ms. An open connection is closed first.
    virtual NetStatus connect(const std::string& host, int port, int timeout_ms);
    // Sends every byte, waiting at most timeout_ms for room each time.
    virtual NetStatus send_all(std::string_view data, int timeout_ms);
    // Waits at most timeout_ms for data and takes up to size bytes of it.
    // Ok with received 0 is the end of the data.
    virtual NetStatus receive(char* data, std::size_t size, std::size_t& received, int timeout_ms);
    virtual void close();

    // From any thread: the wait in progress and every later one end with
    // Cancelled. Cannot be undone.
    void cancel();
    bool cancelled() const { return m_cancelled.load(std::memory_order_acquire); }

private:
    int m_socket = -1;
    int m_wake[2] = {-1, -1};  // cancel writes a byte into this pipe
    std::atomic<bool> m_cancelled{false};

    // Waits until fd shows events, the cancel comes, or the deadline (on the
    // monotonic clock, in ms) passes.
    NetStatus wait_for(int fd, short events, long long deadline_ms) const;
    NetStatus connect_to(const void* address, unsigned address_length, int family, long long deadline_ms);
};

}  // namespace domora
