#include "app/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "app/status_log.h"
#include "platform/platform.h"

namespace domora {

namespace {

// '*' matches any run of characters, '?' any one; case-sensitive like the file system.
bool wildcard_match(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::string temp_name_prefix(const std::string& path) { return name_of(path) + ".tmp-"; }

Error save_error(const std::string& path, const char* step, int err) {
    std::string message = std::string(step) + ": " + std::strerror(err);
    status_log_write("File Save Failed: " + path + " - " + message);
    return Error{message};
}

bool write_all(int fd, std::string_view data, int& err) {
    std::size_t done = 0;
    while (done < data.size()) {
        const long n = platform().sys_write(fd, data.data() + done, data.size() - done);
        if (n <= 0) {
            err = n < 0 ? errno : ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Small pieces go out through one buffer: a write per piece cost more than
// the copy. Pieces of 64 KB and more go as they are, and the buffer is made
// only once a small one comes.
bool write_pieces(int fd, const FilePieces& next, int& err) {
    constexpr std::size_t kBuffer = 256 * 1024;
    constexpr std::size_t kLargePiece = 64 * 1024;
    std::string buffer;
    for (std::string_view piece = next(); !piece.empty(); piece = next()) {
        const bool large = piece.size() >= kLargePiece;
        if (buffer.size() + piece.size() > kBuffer || (large && !buffer.empty())) {
            if (!write_all(fd, buffer, err)) return false;
            buffer.clear();
        }
        if (large) {
            if (!write_all(fd, piece, err)) return false;
        } else {
            if (buffer.capacity() < kBuffer) buffer.reserve(kBuffer);
            buffer.append(piece);
        }
    }
    return write_all(fd, buffer, err);
}

}  // namespace

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ---- handles ----------------------------------------------------------------------

FileHandle file_open(std::string_view mode, const std::string& path) {
    int flags;
    if (mode == "o") {
        flags = O_WRONLY | O_CREAT | O_TRUNC;
    } else if (mode == "a") {
        flags = O_WRONLY | O_CREAT | O_APPEND;
    } else if (mode == "i") {
        flags = O_RDONLY | O_CREAT;
    } else if (mode == "u") {
        flags = O_RDWR | O_CREAT;
    } else {
        return kInvalidHandle;
    }
    const int fd = platform().sys_open(path, flags, kOwnerOnly);
    return fd < 0 ? kInvalidHandle : fd;
}

void file_close(FileHandle handle) {
    if (handle != kInvalidHandle) platform().sys_close(handle);
}

std::int64_t file_read(FileHandle handle, std::string& buffer, std::int64_t offset, std::int64_t count) {
    if (handle == kInvalidHandle || count <= 0 || offset < 0) return 0;
    const auto end = static_cast<std::size_t>(offset + count);
    if (buffer.size() < end) buffer.resize(end);
    std::int64_t done = 0;
    while (done < count) {
        const long n = platform().sys_read(handle, buffer.data() + offset + done, static_cast<std::size_t>(count - done));
        if (n <= 0) break;
        done += n;
    }
    return done;
}

std::int64_t file_write(FileHandle handle, std::string_view buffer, std::int64_t offset, std::int64_t count) {
    if (handle == kInvalidHandle || count <= 0 || offset < 0) return 0;
    if (static_cast<std::size_t>(offset) >= buffer.size()) return 0;
    count = std::min<std::int64_t>(count, static_cast<std::int64_t>(buffer.size()) - offset);
    std::int64_t done = 0;
    while (done < count) {
        const long n = platform().sys_write(handle, buffer.data() + offset + done, static_cast<std::size_t>(count - done));
        if (n <= 0) break;
        done += n;
    }
    return done;
}

void file_write_text(FileHandle handle, std::string_view text, bool add_newline) {
    std::string line(text);
    if (add_newline) line += "\r\n";
    file_write(handle, line, 0, static_cast<std::int64_t>(line.size()));
}

std::int64_t file_tell(FileHandle handle) {
    if (handle == kInvalidHandle) return 0;
    const std::int64_t pos = platform().sys_seek(handle, 0, SEEK_CUR);
    return pos < 0 ? 0 : pos;
}

void file_seek(FileHandle handle, std::int64_t position) {
    if (handle != kInvalidHandle) platform().sys_seek(handle, position, SEEK_SET);
}

std::int64_t file_size(FileHandle handle) {
    if (handle == kInvalidHandle) return 0;
    const std::int64_t here = platform().sys_seek(handle, 0, SEEK_CUR);
    const std::int64_t end = platform().sys_seek(handle, 0, SEEK_END);
    if (here >= 0) platform().sys_seek(handle, here, SEEK_SET);
    return end < 0 ? 0 : end;
}

// ---- names --------------------------------------------------------------------------

bool file_exists(const std::string& path) {
    if (path.empty()) return false;
    const std::string name = name_of(path);
    if (name.find_first_of("*?") != std::string::npos) {
        std::vector<std::string> names;
        if (!platform().list_folder(folder_of(path), names)) return false;
        for (const std::string& candidate : names) {
            if (wildcard_match(name, candidate)) return true;
        }
        return false;
    }
    FileInfo info;
    return platform().sys_stat(path, info);
}

bool folder_exists(const std::string& path) {
    FileInfo info;
    return !path.empty() && platform().sys_stat(path, info) && info.is_folder;
}

void make_folder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? path : path.substr(0, slash);
    if (!folder.empty()) platform().sys_mkdir(folder, 0700);
}

int can_create_file(const std::string& path) {
    const bool existed = file_exists(path);
    const int fd = platform().sys_open(path, O_WRONLY | O_CREAT | O_TRUNC, kOwnerOnly);
    if (fd < 0) return 1;
    platform().sys_close(fd);
    if (!existed) platform().sys_unlink(path);
    return 0;
}

void clear_read_only(const std::string& path) {
    FileInfo info;
    if (!platform().sys_stat(path, info) || info.is_folder) return;
    if ((info.mode & 0200) == 0) platform().sys_chmod(path, info.mode | 0200);
}

bool delete_file(const std::string& path) { return platform().sys_unlink(path) == 0; }

// ---- whole files ----------------------------------------------------------------

FileIdentity identity_of(const FileInfo& info) {
    return FileIdentity{true, info.device, info.inode, info.size, info.modified_ns};
}

FileIdentity file_identity(const std::string& path) {
    FileInfo info;
    if (path.empty() || !platform().sys_stat(path, info)) return {};
    return identity_of(info);
}

Result<std::string> read_whole_file(const std::string& path) { return read_whole_file(path, 0); }

Result<std::string> read_whole_file(const std::string& path, std::size_t spare, FileIdentity* identity) {
    FileInfo info;
    if (platform().sys_stat(path, info) && info.is_folder) return Error{std::strerror(EISDIR)};
    const int fd = platform().sys_open(path, O_RDONLY, 0);
    if (fd < 0) return Error{std::strerror(errno)};
    std::string data;
    const std::int64_t size = platform().sys_seek(fd, 0, SEEK_END);
    platform().sys_seek(fd, 0, SEEK_SET);
    if (size > 0) data.reserve(static_cast<std::size_t>(size) + spare);
    char chunk[65536];
    for (;;) {
        const long n = platform().sys_read(fd, chunk, sizeof chunk);
        if (n < 0) {
            const int err = errno;
            platform().sys_close(fd);
            return Error{std::strerror(err)};
        }
        if (n == 0) break;
        data.append(chunk, static_cast<std::size_t>(n));
    }
    if (identity) {
        FileInfo read;
        *identity = platform().sys_fstat(fd, read) ? identity_of(read) : FileIdentity{};
    }
    platform().sys_close(fd);
    return data;
}

Result<void> read_whole_file_into(const std::string& path, std::string& data) {
    FileInfo info;
    if (platform().sys_stat(path, info) && info.is_folder) return Error{std::strerror(EISDIR)};
    const int fd = platform().sys_open(path, O_RDONLY, 0);
    if (fd < 0) return Error{std::strerror(errno)};
    const std::int64_t size = platform().sys_seek(fd, 0, SEEK_END);
    platform().sys_seek(fd, 0, SEEK_SET);
    data.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    std::size_t done = 0;
    for (;;) {
        // A file that grew since its size was taken is read on, a chunk at a time.
        if (done == data.size()) data.resize(done + 65536);
        const long n = platform().sys_read(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            const int err = errno;
            platform().sys_close(fd);
            data.resize(done);
            return Error{std::strerror(err)};
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    data.resize(done);
    platform().sys_close(fd);
    return {};
}

namespace {

// What a save kept of each file saved with write_file_atomic_reusing in
// this run: the version the save replaced, under the temporary name; the
// mode asked for when this process created a file, and the mode it got.
struct Spare {
    std::string name;
    unsigned asked = 0;
    unsigned mode = 0;
};

// A spare being made in the background for a save expected soon.
struct Preparing {
    std::mutex lock;
    std::condition_variable finished_signal;
    bool finished = false;
    bool ok = false;
    Spare spare;
};

std::mutex g_spares_lock;
std::map<std::string, Spare> g_spares;
std::map<std::string, std::shared_ptr<Preparing>> g_preparing;

// Making a spare costs what the save would have paid for fresh memory; below
// this size that is too little to be worth a file of its own.
constexpr std::int64_t kWorthPreparing = 16 << 20;

std::string new_temp_name(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return folder_of(path) + "/" + temp_name_prefix(path) + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

// Waits for a spare being made and hands it over; one that failed is removed.
Spare wait_for(Preparing& preparing) {
    std::unique_lock<std::mutex> lock(preparing.lock);
    preparing.finished_signal.wait(lock, [&] { return preparing.finished; });
    if (preparing.ok) return preparing.spare;
    if (!preparing.spare.name.empty()) platform().sys_unlink(preparing.spare.name);
    return {};
}

Spare take_spare(const std::string& path) {
    std::shared_ptr<Preparing> preparing;
    {
        const std::lock_guard<std::mutex> lock(g_spares_lock);
        const auto kept = g_spares.find(path);
        if (kept != g_spares.end()) {
            Spare spare = std::move(kept->second);
            g_spares.erase(kept);
            return spare;
        }
        const auto made = g_preparing.find(path);
        if (made == g_preparing.end()) return {};
        preparing = made->second;
        g_preparing.erase(made);
    }
    return wait_for(*preparing);
}

// Its bytes never matter, as the save writes over all of them: only that
// the system holds them in memory. So zeros, and no flush to the disk.
void fill_spare(Preparing& preparing, std::int64_t size) {
    Platform& os = platform();
    const int fd = os.sys_open(preparing.spare.name, O_WRONLY | O_CREAT | O_EXCL, preparing.spare.asked);
    bool ok = fd >= 0;
    FileInfo info;
    if (ok && os.sys_fstat(fd, info)) preparing.spare.mode = info.mode;
    static const std::string zeros(1 << 20, '\0');
    int err = 0;
    for (std::int64_t left = size; ok && left > 0;) {
        const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(zeros.size())));
        ok = write_all(fd, std::string_view(zeros).substr(0, chunk), err);
        left -= static_cast<std::int64_t>(chunk);
    }
    if (fd >= 0) os.sys_close(fd);
    const std::lock_guard<std::mutex> lock(preparing.lock);
    preparing.ok = ok;
    preparing.finished = true;
    preparing.finished_signal.notify_all();
}

// The spare, open for writing over, when that changes nothing but what its
// own name holds: no other name shares the file (a link the user made to an
// old version keeps it), and it has the mode a new file would get.
int open_spare(const Spare& spare, unsigned mode) {
    Platform& os = platform();
    if (spare.name.empty()) return -1;
    const int fd = os.sys_open(spare.name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK, 0);
    FileInfo info;
    if (fd >= 0 && spare.asked == mode && os.sys_fstat(fd, info) && !info.is_folder && info.links == 1 && info.mode == spare.mode) return fd;
    if (fd >= 0) os.sys_close(fd);
    os.sys_unlink(spare.name);
    return -1;
}

// The version a save replaced, now under the temporary name, gets the
// new file's mode: until the next save it would otherwise stay readable by
// whoever could read the address file before. When another name links to
// it, that name keeps it and the temporary name goes instead.
bool make_spare_private(const std::string& temp, unsigned mode) {
    Platform& os = platform();
    FileInfo info;
    if (os.sys_stat(temp, info) && !info.is_folder && info.links == 1 && (info.mode == mode || os.sys_chmod(temp, mode) == 0)) return true;
    os.sys_unlink(temp);
    return false;
}

// How a save ends: flushed to the disk, or (a file read back at once and
// removed, or read only by tests) just renamed into place.
enum class Flush { kToDisk, kNot };

Result<void> save_whole_file(const std::string& path, const FilePieces& next, unsigned mode, bool keep_spare,
                             FileIdentity* written, Flush flush = Flush::kToDisk, const std::optional<Error>* source_failed = nullptr) {
    Platform& os = platform();
    const Spare spare = keep_spare ? take_spare(path) : Spare{};
    std::string temp = spare.name;
    int fd = open_spare(spare, mode);
    const bool reused = fd >= 0;
    if (!reused) {
        temp = new_temp_name(path);
        fd = os.sys_open(temp, O_WRONLY | O_CREAT | O_EXCL, mode);
        if (fd < 0) return save_error(path, "create", errno);
    }
    FileInfo created;
    const unsigned new_file_mode = reused ? spare.mode : (os.sys_fstat(fd, created) ? created.mode : 0);
    int err = 0;
    const char* step = nullptr;
    std::int64_t bytes_written = 0;
    const FilePieces counted = [&]() {
        const std::string_view piece = next();
        bytes_written += static_cast<std::int64_t>(piece.size());
        return piece;
    };
    if (!write_pieces(fd, counted, err)) {
        step = "write";
    } else if (source_failed != nullptr && source_failed->has_value()) {
        // What was written is only the start of the file: it goes, and the old one stays.
        os.sys_close(fd);
        os.sys_unlink(temp);
        return **source_failed;
    } else if (reused && os.sys_ftruncate(fd, bytes_written) != 0) {
        // Written over from its start, a longer old version is cut after.
        err = errno;
        step = "write";
    } else if (flush == Flush::kToDisk && os.sys_fsync(fd) != 0) {
        err = errno;
        step = "flush";
    } else if (written) {
        // The file as written: a rename keeps what fstat says now.
        FileInfo info;
        *written = os.sys_fstat(fd, info) ? identity_of(info) : FileIdentity{};
    }
    if (os.sys_close(fd) != 0 && step == nullptr) {
        err = errno;
        step = "close";
    }
    // Exchanged rather than renamed over, the replaced version stays whole
    // under the temporary name, in the system's memory still, and the next
    // save writes over it instead of asking for that much new memory.
    bool kept = false;
    if (step == nullptr) {
        kept = keep_spare && os.sys_exchange(temp, path) == 0;
        if (!kept && os.sys_rename(temp, path) != 0) {
            err = errno;
            step = "rename";
        }
    }
    if (step != nullptr) {
        os.sys_unlink(temp);
        return save_error(path, step, err);
    }
    if (kept) kept = make_spare_private(temp, new_file_mode != 0 ? new_file_mode : (mode & 0700));
    if (kept) {
        const std::lock_guard<std::mutex> lock(g_spares_lock);
        g_spares[path] = Spare{temp, mode, new_file_mode};
    }
    if (flush == Flush::kNot) return {};
    // Make the rename itself durable; a failure here no longer risks the data.
    const int dir = os.sys_open(folder_of(path), O_RDONLY | O_DIRECTORY, 0);
    if (dir >= 0) {
        os.sys_fsync(dir);
        os.sys_close(dir);
    }
    return {};
}

}  // namespace

namespace {

FilePieces whole(std::string_view data) {
    return [data, given = false]() mutable {
        if (given) return std::string_view();
        given = true;
        return data;
    };
}

}  // namespace

Result<void> write_file_atomic(const std::string& path, std::string_view data, unsigned mode, FileIdentity* written) {
    return save_whole_file(path, whole(data), mode, false, written);
}

Result<void> write_file_atomic(const std::string& path, const FilePieces& next, unsigned mode) {
    return save_whole_file(path, next, mode, false, nullptr);
}

Result<void> write_file_atomic_checked(const std::string& path, const CheckedFilePieces& next, unsigned mode) {
    std::optional<Error> failed;
    const FilePieces pieces = [&]() -> std::string_view {
        if (failed) return {};
        Result<std::string_view> piece = next();
        if (!piece) {
            failed = piece.error();
            return {};
        }
        return piece.value();
    };
    return save_whole_file(path, pieces, mode, false, nullptr, Flush::kToDisk, &failed);
}

Result<void> write_scratch_file(const std::string& path, std::string_view data, unsigned mode) {
    return save_whole_file(path, whole(data), mode, false, nullptr, Flush::kNot);
}

Result<void> write_file_atomic_reusing(const std::string& path, std::string_view data, unsigned mode, FileIdentity* written) {
    return save_whole_file(path, whole(data), mode, true, written);
}

Result<void> write_file_atomic_reusing(const std::string& path, const FilePieces& next, unsigned mode, FileIdentity* written) {
    return save_whole_file(path, next, mode, true, written);
}

void prepare_spare_file(const std::string& path, unsigned mode) {
    FileInfo info;
    if (!platform().sys_stat(path, info) || info.is_folder || info.size < kWorthPreparing) return;
    const std::lock_guard<std::mutex> lock(g_spares_lock);
    if (g_spares.count(path) != 0 || g_preparing.count(path) != 0) return;
    auto preparing = std::make_shared<Preparing>();
    preparing->spare.name = new_temp_name(path);
    preparing->spare.asked = mode;
    g_preparing[path] = preparing;
    // Detached: a run that ends without shutting down leaves at most a
    // temporary file, which the next start removes.
    std::thread([preparing, size = info.size] { fill_spare(*preparing, size); }).detach();
}

void discard_spare_files() {
    std::map<std::string, Spare> spares;
    std::map<std::string, std::shared_ptr<Preparing>> preparing;
    {
        const std::lock_guard<std::mutex> lock(g_spares_lock);
        spares.swap(g_spares);
        preparing.swap(g_preparing);
    }
    for (const auto& [path, made] : preparing) {
        const Spare spare = wait_for(*made);
        if (!spare.name.empty()) platform().sys_unlink(spare.name);
    }
    for (const auto& [path, spare] : spares) platform().sys_unlink(spare.name);
}

Result<void> copy_file_no_overwrite(const std::string& from, const std::string& to) {
    if (file_exists(to)) return {};
    Result<std::string> data = read_whole_file(from);
    if (!data) return data.error();
    return write_file_atomic(to, data.value());
}

void remove_stale_temp_files(const std::string& path) {
    const std::string prefix = temp_name_prefix(path);
    std::vector<std::string> names;
    if (!platform().list_folder(folder_of(path), names)) return;
    for (const std::string& name : names) {
        if (name.compare(0, prefix.size(), prefix) == 0) platform().sys_unlink(folder_of(path) + "/" + name);
    }
}

}  // namespace domora
