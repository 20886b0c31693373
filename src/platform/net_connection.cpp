#include "platform/net_connection.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/platform.h"

namespace domora {

namespace {

long long now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int remaining_ms(long long deadline_ms) {
    const long long left = deadline_ms - now_ms();
    if (left <= 0) return 0;
    return left > 60'000 ? 60'000 : static_cast<int>(left);
}

// A name lookup cannot be interrupted, so a name (rather than a numeric
// address) is looked up on a helper thread of its own. The caller waits for
// its pipe, the cancel and the deadline; when it gives up, the helper still
// finishes on its own and the last of the two to let go frees the result.
struct Lookup {
    int pipe_fds[2] = {-1, -1};
    std::mutex mutex;
    addrinfo* result = nullptr;
    bool done = false;
    ~Lookup() {
        if (result) freeaddrinfo(result);
        for (int fd : pipe_fds) {
            if (fd >= 0) ::close(fd);
        }
    }
};

struct AddrInfoList {
    addrinfo* head = nullptr;
    ~AddrInfoList() {
        if (head) freeaddrinfo(head);
    }
};

addrinfo lookup_hints(bool numeric) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (numeric ? AI_NUMERICHOST : 0);
    return hints;
}

}  // namespace

NetConnection::NetConnection() {
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_wake[0] = m_wake[1] = -1;
    }
}

NetConnection::~NetConnection() {
    close();
    for (int fd : m_wake) {
        if (fd >= 0) ::close(fd);
    }
}

void NetConnection::cancel() {
    m_cancelled.store(true, std::memory_order_release);
    if (m_wake[1] >= 0) {
        const char byte = 1;
        // The pipe only has to become readable; a full pipe already is.
        [[maybe_unused]] const ssize_t ignored = ::write(m_wake[1], &byte, 1);
    }
}

void NetConnection::close() {
    if (m_socket >= 0) ::close(m_socket);
    m_socket = -1;
}

NetStatus NetConnection::wait_for(int fd, short events, long long deadline_ms) const {
    for (;;) {
        if (cancelled()) return NetStatus::Cancelled;
        pollfd fds[2] = {{fd, events, 0}, {m_wake[0], POLLIN, 0}};
        const int wait = remaining_ms(deadline_ms);
        const int n = ::poll(fds, m_wake[0] >= 0 ? 2 : 1, m_wake[0] >= 0 ? wait : (wait < 50 ? wait : 50));
        if (cancelled()) return NetStatus::Cancelled;
        if (n < 0) {
            if (errno == EINTR) continue;
            return NetStatus::Failed;
        }
        if (n > 0 && fds[0].revents != 0) return NetStatus::Ok;
        if (now_ms() >= deadline_ms) return NetStatus::TimedOut;
    }
}

NetStatus NetConnection::connect_to(const void* address, unsigned address_length, int family, long long deadline_ms) {
    m_socket = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_socket < 0) return NetStatus::Failed;
    if (::connect(m_socket, static_cast<const sockaddr*>(address), address_length) == 0) return NetStatus::Ok;
    if (errno != EINPROGRESS && errno != EINTR) {
        close();
        return NetStatus::Failed;
    }
    const NetStatus waited = wait_for(m_socket, POLLOUT, deadline_ms);
    if (waited != NetStatus::Ok) {
        close();
        return waited;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        close();
        return NetStatus::Failed;
    }
    return NetStatus::Ok;
}

NetStatus NetConnection::connect(const std::string& host, int port, int timeout_ms) {
    close();
    if (cancelled()) return NetStatus::Cancelled;
    if (host.empty() || port <= 0 || port > 65535) return NetStatus::Failed;
    const long long deadline = now_ms() + (timeout_ms > 0 ? timeout_ms : 0);
    const std::string service = std::to_string(port);

    AddrInfoList numeric;
    const addrinfo numeric_hints = lookup_hints(true);
    std::shared_ptr<Lookup> lookup;
    const addrinfo* addresses = nullptr;
    if (::getaddrinfo(host.c_str(), service.c_str(), &numeric_hints, &numeric.head) == 0) {
        addresses = numeric.head;
    } else {
        lookup = std::make_shared<Lookup>();
        if (::pipe2(lookup->pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) return NetStatus::Failed;
        try {
            std::thread([lookup, host, service] {
                const addrinfo hints = lookup_hints(false);
                addrinfo* found = nullptr;
                if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) found = nullptr;
                {
                    const std::lock_guard<std::mutex> hold(lookup->mutex);
                    lookup->result = found;
                    lookup->done = true;
                }
                const char byte = 1;
                [[maybe_unused]] const ssize_t ignored = ::write(lookup->pipe_fds[1], &byte, 1);
            }).detach();
        } catch (const std::system_error&) {
            return NetStatus::Failed;
        }
        const NetStatus waited = wait_for(lookup->pipe_fds[0], POLLIN, deadline);
        if (waited != NetStatus::Ok) return waited;
        const std::lock_guard<std::mutex> hold(lookup->mutex);
        if (!lookup->done || !lookup->result) return NetStatus::Failed;
        addresses = lookup->result;
    }

    NetStatus status = NetStatus::Failed;
    for (const addrinfo* a = addresses; a; a = a->ai_next) {
        status = connect_to(a->ai_addr, a->ai_addrlen, a->ai_family, deadline);
        if (status == NetStatus::Ok || status == NetStatus::Cancelled || status == NetStatus::TimedOut) break;
    }
    return status;
}

NetStatus NetConnection::send_all(std::string_view data, int timeout_ms) {
    if (m_socket < 0) return NetStatus::Failed;
    while (!data.empty()) {
        const NetStatus waited = wait_for(m_socket, POLLOUT, now_ms() + timeout_ms);
        if (waited != NetStatus::Ok) return waited;
        const ssize_t sent = ::send(m_socket, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            return NetStatus::Failed;
        }
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
    return NetStatus::Ok;
}

NetStatus NetConnection::receive(char* data, std::size_t size, std::size_t& received, int timeout_ms) {
    received = 0;
    if (m_socket < 0) return NetStatus::Failed;
    const long long deadline = now_ms() + timeout_ms;
    for (;;) {
        const NetStatus waited = wait_for(m_socket, POLLIN, deadline);
        if (waited != NetStatus::Ok) return waited;
        const ssize_t got = ::recv(m_socket, data, size, 0);
        if (got >= 0) {
            received = static_cast<std::size_t>(got);
            return NetStatus::Ok;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return NetStatus::Failed;
    }
}

std::unique_ptr<NetConnection> Platform::new_connection() { return std::make_unique<NetConnection>(); }

}  // namespace domora
