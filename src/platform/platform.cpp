// The POSIX half of the platform interface, shared by both backends.
#include "platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstdio>  // renameat2
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <map>
#include <sstream>
#include <thread>
#include <dirent.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

#include "platform/cp1252.h"

namespace domora {

namespace {

Platform* g_platform = nullptr;

std::string native(const std::string& path) { return cp1252_to_utf8(path); }

// Reads the leading "major.minor.patch" of a kernel release string.
void parse_kernel_release(const std::string& release, OsInfo& info) {
    int* parts[3] = {&info.major, &info.minor, &info.patch};
    std::size_t pos = 0;
    for (int k = 0; k < 3; ++k) {
        int value = 0;
        bool any = false;
        while (pos < release.size() && release[pos] >= '0' && release[pos] <= '9') {
            if (value < 100000) value = value * 10 + (release[pos] - '0');
            ++pos;
            any = true;
        }
        if (!any) return;
        *parts[k] = value;
        if (pos >= release.size() || release[pos] != '.') return;
        ++pos;
    }
}

// The PRETTY_NAME of an os-release file, unquoted.
std::string pretty_name_of(const std::string& text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const std::string key = "PRETTY_NAME=";
        if (line.compare(0, key.size(), key) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return value;
    }
    return {};
}

}  // namespace

Platform& platform() {
    assert(g_platform != nullptr && "set_platform() must run before anything uses the platform");
    return *g_platform;
}

void set_platform(Platform* instance) { g_platform = instance; }

// ---- process and environment ---------------------------------------------------

std::string Platform::program_path() {
    std::string buffer(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0) return {};
    buffer.resize(static_cast<std::size_t>(n));
    return utf8_to_cp1252(buffer);
}

std::string Platform::env(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? utf8_to_cp1252(value) : std::string();
}

OsInfo Platform::os_info() {
    OsInfo info;
    struct utsname names {};
    if (::uname(&names) == 0) {
        info.sysname = utf8_to_cp1252(names.sysname);
        info.release = utf8_to_cp1252(names.release);
        info.machine = utf8_to_cp1252(names.machine);
        parse_kernel_release(info.release, info);
    }
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        std::string text;
        char chunk[4096];
        ssize_t n;
        while ((n = ::read(fd, chunk, sizeof chunk)) > 0 && text.size() < 65536) text.append(chunk, static_cast<std::size_t>(n));
        ::close(fd);
        info.has_os_release = true;
        info.pretty_name = utf8_to_cp1252(pretty_name_of(text));
        break;
    }
    return info;
}

namespace {

UtcTime calendar_now(bool local) {
    struct timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    struct tm parts {};
    if (local) {
        ::localtime_r(&ts.tv_sec, &parts);
    } else {
        ::gmtime_r(&ts.tv_sec, &parts);
    }
    UtcTime t;
    t.year = parts.tm_year + 1900;
    t.month = parts.tm_mon + 1;
    t.day = parts.tm_mday;
    t.hour = parts.tm_hour;
    t.minute = parts.tm_min;
    t.second = parts.tm_sec;
    t.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
    return t;
}

}  // namespace

UtcTime Platform::utc_now() { return calendar_now(false); }

UtcTime Platform::local_now() { return calendar_now(true); }

// ---- files ---------------------------------------------------------------------

int Platform::sys_open(const std::string& path, int flags, unsigned mode) {
    int fd;
    do {
        fd = ::open(native(path).c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

long Platform::sys_read(int fd, void* data, std::size_t count) {
    ssize_t n;
    do {
        n = ::read(fd, data, count);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

long Platform::sys_write(int fd, const void* data, std::size_t count) {
    ssize_t n;
    do {
        n = ::write(fd, data, count);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

std::int64_t Platform::sys_seek(int fd, std::int64_t offset, int whence) {
    return ::lseek(fd, static_cast<off_t>(offset), whence);
}

int Platform::sys_fsync(int fd) { return ::fsync(fd); }

long Platform::sys_copy_range(int from_fd, int to_fd, std::size_t count) {
    ssize_t n;
    do {
        n = ::copy_file_range(from_fd, nullptr, to_fd, nullptr, count, 0);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

int Platform::sys_close(int fd) { return ::close(fd); }

int Platform::sys_rename(const std::string& from, const std::string& to) {
    return ::rename(native(from).c_str(), native(to).c_str());
}

int Platform::sys_exchange(const std::string& a, const std::string& b) {
    return ::renameat2(AT_FDCWD, native(a).c_str(), AT_FDCWD, native(b).c_str(), RENAME_EXCHANGE);
}

int Platform::sys_ftruncate(int fd, std::int64_t size) {
    int rc;
    do {
        rc = ::ftruncate(fd, static_cast<off_t>(size));
    } while (rc < 0 && errno == EINTR);
    return rc;
}

int Platform::sys_unlink(const std::string& path) { return ::unlink(native(path).c_str()); }

int Platform::sys_mkdir(const std::string& path, unsigned mode) { return ::mkdir(native(path).c_str(), mode); }

int Platform::sys_rmdir(const std::string& path) { return ::rmdir(native(path).c_str()); }

static void fill_identity(const struct stat& st, FileInfo& info) {
    info.device = static_cast<std::uint64_t>(st.st_dev);
    info.inode = static_cast<std::uint64_t>(st.st_ino);
    info.modified_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + static_cast<std::int64_t>(st.st_mtim.tv_nsec);
}

int Platform::sys_chmod(const std::string& path, unsigned mode) { return ::chmod(native(path).c_str(), mode); }

bool Platform::sys_stat(const std::string& path, FileInfo& info) {
    struct stat st {};
    if (::stat(native(path).c_str(), &st) != 0) return false;
    info.is_folder = S_ISDIR(st.st_mode);
    info.size = static_cast<std::int64_t>(st.st_size);
    info.mode = st.st_mode & 07777;
    info.links = static_cast<std::int64_t>(st.st_nlink);
    fill_identity(st, info);
    return true;
}

bool Platform::sys_fstat(int fd, FileInfo& info) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    info.is_folder = S_ISDIR(st.st_mode);
    info.size = static_cast<std::int64_t>(st.st_size);
    info.mode = st.st_mode & 07777;
    info.links = static_cast<std::int64_t>(st.st_nlink);
    fill_identity(st, info);
    return true;
}

// The mount table escapes blanks and a few other bytes as \ooo.
static std::string unescape_mount_field(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.size() == 3 && digits.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::vector<Platform::MountPoint> Platform::mount_points() {
    std::vector<MountPoint> mounts;
    const int fd = ::open("/proc/self/mounts", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return mounts;
    std::string text;
    char chunk[8192];
    ssize_t n;
    while ((n = ::read(fd, chunk, sizeof chunk)) > 0 && text.size() < (1u << 22)) text.append(chunk, static_cast<std::size_t>(n));
    ::close(fd);
    // Labels are the names of the links in /dev/disk/by-label, pointing at devices.
    std::map<std::string, std::string> labels;
    if (DIR* dir = ::opendir("/dev/disk/by-label")) {
        while (const struct dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            char target[4096];
            const ssize_t len = ::readlink(("/dev/disk/by-label/" + name).c_str(), target, sizeof target - 1);
            if (len <= 0) continue;
            target[len] = 0;
            std::string device = target;
            const std::size_t slash = device.rfind('/');
            if (slash != std::string::npos) device = "/dev/" + device.substr(slash + 1);
            labels[device] = unescape_mount_field(name);
        }
        ::closedir(dir);
    }
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::istringstream line(text.substr(pos, end - pos));
        pos = end + 1;
        MountPoint m;
        if (!(line >> m.device >> m.path >> m.type)) continue;
        m.device = unescape_mount_field(m.device);
        m.path = unescape_mount_field(m.path);
        const auto label = labels.find(m.device);
        if (label != labels.end()) m.label = label->second;
        m.device = utf8_to_cp1252(m.device);
        m.path = utf8_to_cp1252(m.path);
        m.label = utf8_to_cp1252(m.label);
        mounts.push_back(m);
    }
    return mounts;
}

// ---- processes -----------------------------------------------------------------------

namespace {

std::vector<std::string> native_args(const std::vector<std::string>& argv) {
    std::vector<std::string> out;
    for (const std::string& a : argv) out.push_back(cp1252_to_utf8(a));
    return out;
}

std::vector<char*> pointers(std::vector<std::string>& args) {
    std::vector<char*> out;
    for (std::string& a : args) out.push_back(a.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

int Platform::start_program(const std::vector<std::string>& argv) {
    if (argv.empty()) return EINVAL;
    std::vector<std::string> args = native_args(argv);
    std::vector<char*> ptrs = pointers(args);
    // A new session, so that the program outlives us and never shares our terminal's signals.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, ptrs[0], nullptr, &attr, ptrs.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return rc;
    // Reap it in the background when it ends; a zombie must not linger.
    std::thread([pid] {
        int status = 0;
        ::waitpid(pid, &status, 0);
    }).detach();
    return 0;
}

bool Platform::program_output(const std::vector<std::string>& argv, std::string& output) {
    output.clear();
    if (argv.empty()) return false;
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = native_args(argv);
    std::vector<char*> ptrs = pointers(args);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, ptrs[0], &actions, nullptr, ptrs.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_fds[1]);
    if (rc != 0) {
        ::close(pipe_fds[0]);
        return false;
    }
    char chunk[4096];
    ssize_t n;
    // A program that prints without end is cut off; what it printed so far is enough.
    while ((n = ::read(pipe_fds[0], chunk, sizeof chunk)) > 0 && output.size() < (1u << 20)) {
        output.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    output = utf8_to_cp1252(output);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool Platform::list_folder(const std::string& path, std::vector<std::string>& names) {
    names.clear();
    DIR* dir = ::opendir(native(path).c_str());
    if (!dir) return false;
    while (const struct dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        names.push_back(utf8_to_cp1252(name));
    }
    ::closedir(dir);
    return true;
}

}  // namespace domora
