#include "sync/card_spool.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/files.h"
#include "app/startup.h"
#include "platform/platform.h"

namespace domora {

namespace {

// What gathers before it goes to the file, and what a read takes at once.
constexpr std::size_t kPendingMost = 64 * 1024;
constexpr std::size_t kWindow = 64 * 1024;

Error spool_error(const char* step, int err) {
    return Error{std::string("the contacts sync could not ") + step + " its cards: " + std::strerror(err != 0 ? err : EIO)};
}

std::string temporary_folder() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

}  // namespace

Result<int> open_unnamed_file(const std::string& folder) {
    Platform& os = platform();
    const std::string where = folder.empty() ? temporary_folder() : folder;
    int fd = os.sys_open(where, O_TMPFILE | O_RDWR, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without unnamed files: a named one, gone from the folder at once.
        static std::atomic<unsigned> counter{0};
        const std::string name = where + "/.domora-sync-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
        fd = os.sys_open(name, O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd >= 0) os.sys_unlink(name);
    }
    if (fd < 0) return Error{std::strerror(errno)};
    return fd;
}

std::string sync_spool_folder() {
    const std::string& beside = app_paths().carddav_file;
    return beside.empty() ? std::string() : folder_of(beside);
}

int write_fully(int fd, std::string_view data) {
    Platform& os = platform();
    std::size_t done = 0;
    while (done < data.size()) {
        const long n = os.sys_write(fd, data.data() + done, data.size() - done);
        if (n <= 0) return n < 0 ? errno : ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int read_at_least(int fd, char* into, std::size_t room, std::size_t least, std::size_t& got) {
    Platform& os = platform();
    got = 0;
    while (got < least) {
        const long n = os.sys_read(fd, into + got, room - got);
        if (n <= 0) return n < 0 ? errno : EIO;
        got += static_cast<std::size_t>(n);
    }
    return 0;
}

Result<std::shared_ptr<CardSpool>> CardSpool::open(const std::string& folder) {
    Result<int> fd = open_unnamed_file(folder);
    if (!fd) return Error{"the contacts sync could not keep its cards: " + fd.error().message};
    return std::shared_ptr<CardSpool>(new CardSpool(fd.value()));
}

// Straight to the system: a state may outlive the platform (held by a
// static, or in a tool's main), and nothing here is worth a fault to test.
CardSpool::~CardSpool() { ::close(m_fd); }

Result<void> CardSpool::flush() {
    Platform& os = platform();
    if (m_pending.empty()) return {};
    if (os.sys_seek(m_fd, static_cast<std::int64_t>(m_written), SEEK_SET) < 0) return spool_error("keep", errno);
    if (const int err = write_fully(m_fd, m_pending); err != 0) return spool_error("keep", err);
    m_written += m_pending.size();
    m_pending.clear();
    return {};
}

Result<CardSpan> CardSpool::add(std::string_view card) {
    if (card.empty()) return CardSpan{};
    const std::lock_guard<std::mutex> lock(m_lock);
    if (m_pending.size() + card.size() > kPendingMost) {
        if (Result<void> flushed = flush(); !flushed) return flushed.error();
    }
    const CardSpan span{m_written + m_pending.size(), static_cast<std::uint32_t>(card.size())};
    m_pending.append(card);
    return span;
}

Result<void> CardSpool::read_into(const CardSpan& span, std::string& out) {
    out.clear();
    if (span.size == 0) return {};
    const std::lock_guard<std::mutex> lock(m_lock);
    const std::uint64_t end = span.at + span.size;
    if (end > m_written + m_pending.size()) return spool_error("read", EINVAL);
    if (span.at >= m_written) {
        out.assign(m_pending, static_cast<std::size_t>(span.at - m_written), span.size);
        return {};
    }
    if (span.at < m_window_at || end > m_window_at + m_window.size()) {
        // A card runs on into what is still pending: to the file first, so one read finds it whole.
        if (end > m_written) {
            if (Result<void> flushed = flush(); !flushed) return flushed.error();
        }
        Platform& os = platform();
        // No more than the file holds from there: a small book's spool is read in its own size.
        m_window.resize(std::max<std::size_t>(span.size, static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, m_written - span.at))));
        m_window_at = span.at;
        std::size_t got = 0;
        if (os.sys_seek(m_fd, static_cast<std::int64_t>(span.at), SEEK_SET) < 0) {
            m_window.clear();
            return spool_error("read", errno);
        }
        if (const int err = read_at_least(m_fd, m_window.data(), m_window.size(), span.size, got); err != 0) {
            m_window.clear();
            return spool_error("read", err);
        }
        m_window.resize(got);
    }
    out.assign(m_window, static_cast<std::size_t>(span.at - m_window_at), span.size);
    return {};
}

Result<std::string> CardSpool::read(const CardSpan& span) {
    std::string out;
    if (Result<void> r = read_into(span, out); !r) return r.error();
    return out;
}

}  // namespace domora
