#include "app/status_log.h"

#include <fcntl.h>

#include <atomic>
#include <thread>

#include "platform/platform.h"

namespace domora {

namespace {

std::string g_path;
// One byte, 0 = free: taken by exchanging 0xFF in, yielding while it was held.
std::atomic<unsigned char> g_lock{0};

}  // namespace

void status_log_set_path(const std::string& path) { g_path = path; }

const std::string& status_log_path() { return g_path; }

void status_log_write(std::string_view text) {
    while (g_lock.exchange(0xFF, std::memory_order_acquire) != 0) std::this_thread::yield();
    if (!g_path.empty()) {
        const int fd = platform().sys_open(g_path, O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (fd >= 0) {
            std::string line(text);
            line += "\r\n";
            platform().sys_write(fd, line.data(), line.size());
            platform().sys_close(fd);
        }
    }
    g_lock.store(0, std::memory_order_release);
}

}  // namespace domora
