// A private CUPS scheduler for the tests that print on a real queue: started
// by scripts/start-cups.sh over a scratch folder, listening on a socket there
// and reached only through CUPS_SERVER, with one queue "PDF" that writes each
// job to pdf/job.pdf in that folder. It stops when the test stops it, and on
// its own when the test process ends in any way (the script waits for its
// input, which is our pipe, to close).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "child_process.h"
#include "test_env.h"

namespace domora::test {

class PrivateCups {
public:
    PrivateCups() = default;
    PrivateCups(const PrivateCups&) = delete;
    PrivateCups& operator=(const PrivateCups&) = delete;
    ~PrivateCups() { stop(); }

    // Starts the scheduler over folder (created); false, with why_not(), when it cannot.
    bool start(const std::filesystem::path& folder, const std::string& script = DOMORA_START_CUPS) {
        m_folder = folder;
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        const std::string errors = (folder / "start-cups.err").string();
        int to_script[2], from_script[2];
        if (::pipe2(to_script, O_CLOEXEC) != 0) return fail("pipe failed");
        if (::pipe2(from_script, O_CLOEXEC) != 0) {
            ::close(to_script[0]);
            ::close(to_script[1]);
            return fail("pipe failed");
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(to_script[0], 0);
            ::dup2(from_script[1], 1);
            const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (err >= 0) ::dup2(err, 2);
            // Its own process group: a signal meant for the test's terminal stops the test, which stops it.
            ::setpgid(0, 0);
            ::execl("/bin/bash", "bash", script.c_str(), folder.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(to_script[0]);
        ::close(from_script[1]);
        m_input = to_script[1];
        if (m_pid < 0) {
            ::close(from_script[0]);
            return fail("fork failed");
        }
        const std::string line = read_line(from_script[0], scaled(std::chrono::seconds(60)));
        ::close(from_script[0]);
        const std::string prefix = "CUPS_SERVER=";
        if (line.rfind(prefix, 0) != 0) {
            stop();
            std::ifstream in(errors);
            std::ostringstream why;
            why << in.rdbuf();
            return fail("the private CUPS scheduler did not start: " + (why.str().empty() ? std::string("no word from ") + script : why.str()));
        }
        m_server = line.substr(prefix.size());
        return true;
    }

    // Ends the scheduler and waits until it is gone.
    void stop() {
        if (m_input >= 0) {
            ::close(m_input);
            m_input = -1;
        }
        // Its input closed, the script stops the scheduler and ends.
        end_child(m_pid, scaled(std::chrono::seconds(20)), SIGTERM);
        m_pid = -1;
    }

    bool running() const { return m_pid > 0; }
    // The value for CUPS_SERVER: the scheduler's socket.
    const std::string& server() const { return m_server; }
    // Where the queue "PDF" writes its job.
    std::filesystem::path printed_pdf() const { return m_folder / "pdf" / "job.pdf"; }
    std::filesystem::path error_log() const { return m_folder / "log" / "error_log"; }
    const std::string& why_not() const { return m_why_not; }
    pid_t script_pid() const { return m_pid; }

private:
    bool fail(const std::string& why) {
        m_why_not = why;
        return false;
    }

    static std::string read_line(int fd, std::chrono::milliseconds limit) {
        std::string line;
        const auto until = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0) return {};
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return {};
            char c = 0;
            if (::read(fd, &c, 1) != 1) return {};
            if (c == '\n') return line;
            line += c;
        }
    }

    std::filesystem::path m_folder;
    std::string m_server;
    std::string m_why_not;
    pid_t m_pid = -1;
    int m_input = -1;
};

}  // namespace domora::test
