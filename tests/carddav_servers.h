// Private CardDAV servers for the sync tests: Radicale (with a password
// file) or Xandikos, each on a free loopback port over a scratch folder,
// waited for by condition and stopped by PID; and curl as a second client.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "test_env.h"

namespace domora::test {

inline bool program_exists(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

// Runs argv, gives what it printed on stdout; exit code in status.
inline std::string run_program(const std::vector<std::string>& argv, int& status, const std::string& input = {}) {
    int out_pipe[2], in_pipe[2];
    if (::pipe(out_pipe) != 0 || ::pipe(in_pipe) != 0) {
        status = -1;
        return {};
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out_pipe[1], 1);
        ::dup2(in_pipe[0], 0);
        ::close(out_pipe[0]);
        ::close(in_pipe[1]);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out_pipe[1]);
    ::close(in_pipe[0]);
    std::size_t written = 0;
    while (written < input.size()) {
        const ssize_t n = ::write(in_pipe[1], input.data() + written, input.size() - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    ::close(in_pipe[1]);
    std::string output;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(out_pipe[0], buffer, sizeof buffer);
        if (n <= 0) break;
        output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out_pipe[0]);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return output;
}

inline int free_loopback_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

inline bool port_answers(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

class DavServer {
public:
    enum Kind { Radicale, Xandikos };
    static constexpr const char* kUser = "ann";
    static constexpr const char* kPassword = "open sesame";

    DavServer() = default;
    DavServer(const DavServer&) = delete;
    DavServer& operator=(const DavServer&) = delete;
    ~DavServer() { stop(); }

    // Starts a server over folder (created); false, with why_not, when it cannot.
    bool start(Kind kind, const std::string& folder) {
        m_kind = kind;
        m_folder = folder;
        ::mkdir(folder.c_str(), 0700);
        const std::string program = kind == Radicale ? "/usr/bin/radicale" : "/usr/bin/xandikos";
        if (!program_exists(program)) return fail(program + " is not installed (scripts/bootstrap-test.sh)");
        if (!program_exists("/usr/bin/curl")) return fail("curl is not installed (scripts/bootstrap-test.sh)");
        return launch();
    }
    // The same server again on the same port and folder, after stop().
    bool restart() { return launch(); }

    void stop() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGTERM);
        end_child(m_pid, scaled(std::chrono::seconds(10)), SIGKILL);
        m_pid = -1;
    }
    // Killed at once, as a crash would.
    void kill_now() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

    std::string origin() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::string book_url() const { return origin() + book_path(); }
    std::string book_path() const { return m_kind == Radicale ? std::string("/") + kUser + "/contacts/" : "/user/contacts/addressbook/"; }
    bool needs_password() const { return m_kind == Radicale; }
    const std::string& why_not() const { return m_why_not; }
    const char* name() const { return m_kind == Radicale ? "Radicale" : "Xandikos"; }

    // curl as the second client: the HTTP status, the body in body.
    int curl(const std::string& method, const std::string& path, const std::string& data, std::string& body,
             const std::vector<std::string>& headers = {}) const {
        std::vector<std::string> argv = {"/usr/bin/curl", "-s", "-X", method, "-o", "-", "-w", "\n%{http_code}"};
        if (needs_password()) argv.insert(argv.end(), {"-u", std::string(kUser) + ":" + kPassword});
        for (const std::string& h : headers) argv.insert(argv.end(), {"-H", h});
        if (!data.empty() || method == "PUT") argv.insert(argv.end(), {"--data-binary", "@-"});
        argv.push_back(path.rfind("http", 0) == 0 ? path : origin() + path);
        int status = 0;
        std::string out = run_program(argv, status, data);
        const std::size_t cut = out.rfind('\n');
        body = cut == std::string::npos ? std::string() : out.substr(0, cut);
        return cut == std::string::npos ? 0 : std::atoi(out.c_str() + cut + 1);
    }
    // A card put there by the other client.
    int put_card(const std::string& name, const std::string& card) const {
        std::string body;
        return curl("PUT", book_path() + name, card, body, {"Content-Type: text/vcard; charset=utf-8"});
    }

private:
    bool fail(const std::string& why) {
        m_why_not = why;
        return false;
    }

    bool launch() {
        if (m_port == 0) m_port = free_loopback_port();
        std::vector<std::string> argv;
        if (m_kind == Radicale) {
            const std::string users = m_folder + "/users";
            std::ofstream(users) << kUser << ":" << kPassword << "\n";
            argv = {"/usr/bin/radicale", "--config", "", "--storage-filesystem-folder=" + m_folder + "/store",
                    "--server-hosts=127.0.0.1:" + std::to_string(m_port), "--auth-type=htpasswd",
                    "--auth-htpasswd-filename=" + users, "--auth-htpasswd-encryption=plain", "--logging-level=warning"};
        } else {
            argv = {"/usr/bin/xandikos", "--defaults", "-d", m_folder + "/store", "-l", "127.0.0.1", "-p", std::to_string(m_port)};
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            const std::string log = m_folder + "/server.log";
            if (std::FILE* f = std::freopen(log.c_str(), "a", stderr)) (void)f;
            if (std::FILE* f = std::freopen(log.c_str(), "a", stdout)) (void)f;
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        if (m_pid < 0) return fail("fork failed");
        const auto until = std::chrono::steady_clock::now() + scaled(std::chrono::seconds(30));
        while (!port_answers(m_port)) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return fail(std::string(name()) + " exited at start; see " + m_folder + "/server.log");
            }
            if (std::chrono::steady_clock::now() > until) return fail(std::string(name()) + " did not answer in time");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (m_kind == Radicale && !m_book_made) {
            std::string body;
            const int made = curl("MKCOL", book_path(),
                                  "<?xml version=\"1.0\"?><mkcol xmlns=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\"><set><prop>"
                                  "<resourcetype><collection/><c:addressbook/></resourcetype><displayname>Contacts</displayname>"
                                  "</prop></set></mkcol>",
                                  body);
            if (made != 201) return fail("Radicale did not create the address book: " + std::to_string(made) + " " + body);
        }
        m_book_made = true;
        return true;
    }

    Kind m_kind = Radicale;
    std::string m_folder;
    std::string m_why_not;
    int m_port = 0;
    pid_t m_pid = -1;
    bool m_book_made = false;
};

}  // namespace domora::test
