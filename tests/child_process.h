// Ending a server a test started as its child process.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace domora::test {

// Waits up to limit for the child to end (it was asked to already); one
// that has not ended by then gets then_signal and is waited for.
inline void end_child(pid_t pid, std::chrono::milliseconds limit, int then_signal) {
    if (pid <= 0) return;
    const auto until = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            ::kill(pid, then_signal);
            ::waitpid(pid, &status, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace domora::test
