#include "app/status_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/platform.h"

namespace domora {

namespace {

std::string g_path;
// One byte, 0 = free: taken by exchanging 0xFF in, yielding while it was held.
std::atomic<unsigned char> g_lock{0};
// The log stays open between lines: opening and closing it for every line
// cost a third of a large import. Guarded by the lock.
int g_fd = -1;

// Lines of a StatusLogBatch on this thread, and how deeply batches nest.
thread_local std::string t_batch;
thread_local int t_batch_depth = 0;
// The depth of the innermost paced batch (0: none), and when it last wrote
// (the platform's tick count, so tests decide when time has passed).
thread_local int t_paced_depth = 0;
thread_local std::uint64_t t_paced_written = 0;

constexpr std::size_t kPacedBytes = 64 * 1024;
constexpr std::uint64_t kPacedIntervalMs = 30;

class LockGuard {
public:
    LockGuard() {
        while (g_lock.exchange(0xFF, std::memory_order_acquire) != 0) std::this_thread::yield();
    }
    ~LockGuard() { g_lock.store(0, std::memory_order_release); }
};

void close_log() {
    if (g_fd >= 0) platform().sys_close(g_fd);
    g_fd = -1;
}

// The open log, ready for a line; -1 when a line written now would be lost,
// as it would be if the file were opened for this one line.
int writable_log() {
    if (g_path.empty()) return -1;
    if (g_fd >= 0) {
        FileInfo info;
        // Deleted (or replaced) since it was opened: a fresh file takes the line.
        if (!platform().sys_fstat(g_fd, info) || info.links == 0) {
            close_log();
        } else if ((info.mode & 0200) == 0 && ::geteuid() != 0) {
            // Made read-only: opening it would fail now, so the line is lost.
            return -1;
        }
    }
    if (g_fd < 0) g_fd = platform().sys_open(g_path, O_WRONLY | O_CREAT | O_APPEND, 0600);
    return g_fd;
}

void write_bytes(const std::string& bytes) {
    const LockGuard lock;
    const int fd = writable_log();
    if (fd >= 0) platform().sys_write(fd, bytes.data(), bytes.size());
}

// Called where a paced batch holds only whole batches' lines.
void write_paced_if_due() {
    if (t_paced_depth == 0 || t_paced_depth != t_batch_depth || t_batch.empty()) return;
    const std::uint64_t now = platform().tick_ms();
    if (t_batch.size() < kPacedBytes && now - t_paced_written < kPacedIntervalMs) return;
    write_bytes(t_batch);
    t_batch.clear();
    t_paced_written = now;
}

}  // namespace

void status_log_set_path(const std::string& path) {
    const LockGuard lock;
    close_log();
    g_path = path;
}

const std::string& status_log_path() { return g_path; }

void status_log_write(std::string_view text) {
    if (t_batch_depth > 0) {
        t_batch.append(text).append("\r\n");
        write_paced_if_due();
        return;
    }
    std::string line;
    line.reserve(text.size() + 2);
    line.append(text).append("\r\n");
    write_bytes(line);
}

StatusLogBatch::StatusLogBatch(Pacing pacing) : m_outer_paced_depth(t_paced_depth) {
    // Within a plain batch everything waits for that batch's end all the same.
    const bool outer_holds = t_batch_depth > 0 && t_paced_depth != t_batch_depth;
    ++t_batch_depth;
    if (pacing == kPaced && !outer_holds) {
        t_paced_depth = t_batch_depth;
        t_paced_written = platform().tick_ms();
    }
}

StatusLogBatch::~StatusLogBatch() {
    t_paced_depth = m_outer_paced_depth;
    if (--t_batch_depth > 0) {
        write_paced_if_due();
        return;
    }
    if (t_batch.empty()) return;
    write_bytes(t_batch);
    t_batch.clear();
    // A long batch's buffer is not kept for the rest of the run.
    if (t_batch.capacity() > kPacedBytes * 2) std::string().swap(t_batch);
}

}  // namespace domora
