#include "app/file_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

#include "app/files.h"
#include "app/status_log.h"
#include "platform/platform.h"

namespace domora {

namespace {

// Beside the target under the prefix the start-up clean-up looks for, so an
// interrupted copy leaves nothing that outlives the next start.
std::string temp_name_for(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return folder_of(path) + "/" + name_of(path) + ".tmp-" + std::to_string(::getpid()) + "-copy" +
           std::to_string(counter.fetch_add(1));
}

bool cannot_copy_in_system(int err) { return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == EBADF; }

struct Failure {
    const char* step = nullptr;
    int err = 0;
};

// Writes all of n bytes; a write that takes nothing means a full disk.
Failure write_all(int fd, const char* data, std::size_t n) {
    Platform& os = platform();
    for (std::size_t done = 0; done < n;) {
        const long put = os.sys_write(fd, data + done, n - done);
        if (put <= 0) return {"write", put < 0 ? errno : ENOSPC};
        done += static_cast<std::size_t>(put);
    }
    return {};
}

// Copies the rest of in to out, reporting per megabyte.
Failure copy_bytes(int in, int out, std::int64_t size, const CopyBytesFn& on_bytes) {
    Platform& os = platform();
    std::int64_t done = 0;
    std::int64_t reported = 0;
    const auto report = [&] {
        // Each megabyte, and the end, so the progress reaches the file's end.
        if (on_bytes && size >= static_cast<std::int64_t>(kCopyChunk) &&
            (done - reported >= static_cast<std::int64_t>(kCopyChunk) || (done >= size && reported < size))) {
            reported = done;
            on_bytes(done, size);
        }
    };
    // Inside the system first: no bytes pass through this process.
    for (;;) {
        const long n = os.sys_copy_range(in, out, kCopyChunk);
        if (n > 0) {
            done += n;
            report();
            continue;
        }
        // The end of the source, unless the file system only claims so (some
        // give nothing for files they make up): reading tells.
        if (n == 0 && done >= size) return {};
        if (n < 0 && !cannot_copy_in_system(errno)) return {"write", errno};
        break;  // on through the buffer, from where both positions are
    }
    const std::unique_ptr<char[]> buffer(new char[kCopyChunk]);
    for (;;) {
        const long n = os.sys_read(in, buffer.get(), kCopyChunk);
        if (n < 0) return {"read", errno};
        if (n == 0) return {};
        const Failure wrote = write_all(out, buffer.get(), static_cast<std::size_t>(n));
        if (wrote.step != nullptr) return wrote;
        done += n;
        report();
    }
}

}  // namespace

Result<void> copy_file_atomic(const std::string& from, const std::string& to, unsigned mode, const CopyBytesFn& on_bytes) {
    Platform& os = platform();
    const int in = os.sys_open(from, O_RDONLY, 0);
    if (in < 0) return Error{std::string("read: ") + std::strerror(errno)};
    FileInfo info;
    const std::int64_t size = os.sys_fstat(in, info) ? info.size : 0;
    const std::string temp = temp_name_for(to);
    Failure failed;
    const int out = os.sys_open(temp, O_WRONLY | O_CREAT | O_EXCL, mode);
    if (out < 0) {
        failed = {"create", errno};
    } else {
        failed = copy_bytes(in, out, size, on_bytes);
        if (failed.step == nullptr && os.sys_fsync(out) != 0) failed = {"flush", errno};
        if (os.sys_close(out) != 0 && failed.step == nullptr) failed = {"close", errno};
        if (failed.step == nullptr && os.sys_rename(temp, to) != 0) failed = {"rename", errno};
        if (failed.step != nullptr) os.sys_unlink(temp);
    }
    os.sys_close(in);
    if (failed.step == nullptr) return {};
    const std::string message = std::string(failed.step) + ": " + std::strerror(failed.err);
    status_log_write("File Save Failed: " + to + " - " + message);
    return Error{message};
}

void flush_folder(const std::string& folder) {
    Platform& os = platform();
    const int dir = os.sys_open(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY, 0);
    if (dir < 0) return;
    os.sys_fsync(dir);
    os.sys_close(dir);
}

}  // namespace domora
