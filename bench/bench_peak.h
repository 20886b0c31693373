// Peak memory of a piece of work, measured in a child process so that each
// measurement starts from the same small process and nothing earlier in the
// run counts towards it.
#pragma once

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace bench_peak {

// A "VmHWM:" or "VmRSS:" figure of this process, in kB.
inline long status_kb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    }
    return 0;
}

struct Peak {
    long before_kb = 0;  // resident after prepare
    long peak_kb = 0;    // highest resident size during work
    bool ok = false;
};

// Runs prepare() then work() in a forked child; the peak counts both.
template <typename Prepare, typename Work>
Peak measure(Prepare prepare, Work work) {
    int fds[2];
    Peak result;
    if (::pipe(fds) != 0) return result;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        // The child starts with the parent's pages, freed heap included:
        // give back what it can and count the peak from here.
        ::malloc_trim(0);
        if (FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", refs);
            std::fclose(refs);
        }
        prepare();
        Peak p;
        p.before_kb = status_kb("VmRSS:");
        work();
        p.peak_kb = status_kb("VmHWM:");
        p.ok = true;
        (void)!::write(fds[1], &p, sizeof p);
        ::_exit(0);
    }
    ::close(fds[1]);
    if (child > 0) {
        if (::read(fds[0], &result, sizeof result) != static_cast<long>(sizeof result)) result = Peak{};
        int status = 0;
        ::waitpid(child, &status, 0);
    }
    ::close(fds[0]);
    return result;
}

}  // namespace bench_peak
