// A scripted HTTP server on 127.0.0.1 for the update check's tests: a thread
// that accepts on a port of the system's choice, records what each client
// sent up to its empty line, and answers each connection as scripted.
// Every wait is bounded, so a test can never hang on it.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace domora::test {

class LoopbackServer {
public:
    struct Answer {
        enum Kind { Reply, Hangup, Silence } kind = Reply;
        std::string bytes;  // sent back for Reply
    };
    static Answer reply(std::string bytes) { return Answer{Answer::Reply, std::move(bytes)}; }
    static Answer hangup() { return Answer{Answer::Hangup, {}}; }
    static Answer silence() { return Answer{Answer::Silence, {}}; }

    // Connections after the scripted ones are hung up on. With a backlog of
    // 0 and accepting off, the queue fills after one connection and later
    // connects hang: a server that never answers the phone.
    explicit LoopbackServer(std::vector<Answer> answers, bool accepting = true, int backlog = 16)
        : m_answers(std::move(answers)) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listener, backlog) != 0) {
            return;
        }
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        if (::pipe2(m_stop, O_CLOEXEC) != 0) return;
        if (accepting) m_thread = std::thread([this] { serve(); });
    }
    ~LoopbackServer() {
        if (m_stop[1] >= 0) {
            const char byte = 1;
            [[maybe_unused]] const ssize_t ignored = ::write(m_stop[1], &byte, 1);
        }
        if (m_thread.joinable()) m_thread.join();
        for (int fd : m_silent) ::close(fd);
        for (int fd : {m_listener, m_stop[0], m_stop[1]}) {
            if (fd >= 0) ::close(fd);
        }
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
    int connections() const { return m_connections.load(); }
    std::vector<std::string> requests() const {
        const std::lock_guard<std::mutex> hold(m_mutex);
        return m_requests;
    }

private:
    using Clock = std::chrono::steady_clock;

    bool stopping(int wait_ms, int fd) const {
        pollfd fds[2] = {{m_stop[0], POLLIN, 0}, {fd, POLLIN, 0}};
        ::poll(fds, fd >= 0 ? 2 : 1, wait_ms);
        return fds[0].revents != 0;
    }

    // The body's length as the request's header gives it, 0 without one.
    static std::size_t content_length(const std::string& head) {
        for (const char* name : {"\r\nContent-Length:", "\r\ncontent-length:"}) {
            const std::size_t at = head.find(name);
            if (at != std::string::npos) return static_cast<std::size_t>(std::strtoul(head.c_str() + at + std::strlen(name), nullptr, 10));
        }
        return 0;
    }

    // What the client sent: its head up to the empty line and the body its
    // Content-Length announces; at most two seconds and 64 KiB.
    std::string read_request(int fd) const {
        std::string request;
        const auto until = Clock::now() + std::chrono::seconds(2);
        char buffer[4096];
        const auto whole = [&request] {
            const std::size_t head = request.find("\r\n\r\n");
            return head != std::string::npos && request.size() >= head + 4 + content_length(request.substr(0, head + 2));
        };
        while (!whole() && request.size() < 65536 && Clock::now() < until) {
            if (stopping(50, fd)) break;
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got == 0) break;
            if (got > 0) request.append(buffer, static_cast<std::size_t>(got));
        }
        return request;
    }

    // At most ten seconds; stops early when the client leaves.
    void send_reply(int fd, const std::string& bytes) const {
        const auto until = Clock::now() + std::chrono::seconds(10);
        std::size_t sent = 0;
        while (sent < bytes.size() && Clock::now() < until) {
            pollfd fds[2] = {{m_stop[0], POLLIN, 0}, {fd, POLLOUT, 0}};
            ::poll(fds, 2, 50);
            if (fds[0].revents != 0) return;
            const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
    }

    void serve() {
        // Bounded in time and in the number of connections served.
        const auto until = Clock::now() + std::chrono::seconds(60);
        for (int served = 0; served < 64 && Clock::now() < until;) {
            if (stopping(50, m_listener)) return;
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            const std::string request = read_request(fd);
            {
                const std::lock_guard<std::mutex> hold(m_mutex);
                m_requests.push_back(request);
            }
            const Answer answer = served < static_cast<int>(m_answers.size()) ? m_answers[static_cast<std::size_t>(served)]
                                                                               : hangup();
            ++served;
            m_connections.store(served);
            if (answer.kind == Answer::Silence) {
                m_silent.push_back(fd);
                continue;
            }
            if (answer.kind == Answer::Reply) send_reply(fd, answer.bytes);
            ::close(fd);
        }
    }

    std::vector<Answer> m_answers;
    int m_listener = -1;
    int m_port = 0;
    int m_stop[2] = {-1, -1};
    std::thread m_thread;
    std::vector<int> m_silent;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::atomic<int> m_connections{0};
};

}  // namespace domora::test
