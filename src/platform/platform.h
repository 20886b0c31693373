// The one interface between Domora and the outside world.
//
// Everything the program asks of the operating system or the desktop goes
// through a Platform: files, the clock, the environment, the display, the
// single-instance guard, the main window and its events. Two backends exist:
// the Qt one that users run, and a headless one that tests drive with
// scripted input, a settable clock and injectable failures.
//
// All texts crossing this interface are Windows-1252 byte strings (one byte a
// character). Backends convert to and from UTF-8 at their own edge.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace domora {

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Calendar time in coordinated universal time, to the millisecond.
struct UtcTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// What the kernel and the distribution say about themselves.
struct OsInfo {
    int major = 0;
    int minor = 0;
    int patch = 0;
    std::string sysname;      // "Linux"
    std::string release;      // kernel release, e.g. "6.1.0-18-amd64"
    std::string machine;      // "x86_64"
    std::string pretty_name;  // PRETTY_NAME of os-release, "" when unknown
    bool has_os_release = false;
};

struct FileInfo {
    bool is_folder = false;
    std::int64_t size = 0;
    unsigned mode = 0;  // permission bits
};

// Show states, numbered as the settings file stores them.
enum ShowState { kShowNormal = 1, kShowMinimised = 2, kShowMaximised = 3 };

struct WindowPlacement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int show_state = kShowNormal;
};

enum class EventKind {
    None,
    Close,        // the user closed the window
    Terminate,    // SIGTERM, SIGINT or SIGHUP
    Timer,        // a timer set with set_timer (or posted) fired
    Wake,         // nothing happened, but a waiting loop should look around
};

struct Event {
    EventKind kind = EventKind::None;
    int timer_id = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // ---- process and environment -----------------------------------------
    // The defaults read the real system (/proc, uname, os-release, the clock).
    // Full path of the running program file.
    virtual std::string program_path();
    // Value of an environment variable; "" when unset.
    virtual std::string env(const std::string& name);
    virtual OsInfo os_info();
    virtual UtcTime utc_now();

    // ---- files ---------------------------------------------------------------
    // Thin POSIX calls with Windows-1252 paths; results as the system calls
    // give them (-1 and errno on failure). The defaults call the real system;
    // the headless backend overrides them to inject failures.
    virtual int sys_open(const std::string& path, int flags, unsigned mode);
    virtual long sys_read(int fd, void* data, std::size_t count);
    virtual long sys_write(int fd, const void* data, std::size_t count);
    virtual std::int64_t sys_seek(int fd, std::int64_t offset, int whence);
    virtual int sys_fsync(int fd);
    virtual int sys_close(int fd);
    virtual int sys_rename(const std::string& from, const std::string& to);
    virtual int sys_unlink(const std::string& path);
    virtual int sys_mkdir(const std::string& path, unsigned mode);
    virtual int sys_rmdir(const std::string& path);
    virtual int sys_chmod(const std::string& path, unsigned mode);
    // False when nothing exists at path.
    virtual bool sys_stat(const std::string& path, FileInfo& info);
    // Names in a folder, without "." and "..". False when it cannot be read.
    virtual bool list_folder(const std::string& path, std::vector<std::string>& names);

    // ---- display -------------------------------------------------------------
    // The desktop minus panels and docks, in screen pixels.
    virtual Rect work_area() = 0;
    // Bits per pixel of the display.
    virtual int display_depth() = 0;
    // The system's own message box, for the few messages shown before or
    // outside the program's window. Blocks until dismissed.
    virtual void system_message_box(const std::string& text, const std::string& caption) = 0;

    // ---- single instance -------------------------------------------------------
    // Claims the per-user instance named `name`. When another instance holds
    // it, that instance is asked to bring its window forward and restore it,
    // and false is returned.
    virtual bool claim_single_instance(const std::string& name) = 0;
    virtual void release_single_instance() = 0;

    // ---- main window -----------------------------------------------------------
    virtual bool create_main_window(const std::string& title, const WindowPlacement& placement,
                                    std::uint32_t background_rgb) = 0;
    virtual void show_main_window(int show_state) = 0;
    // Current show state and the rectangle of the normal (restored) state.
    virtual WindowPlacement main_window_placement() = 0;
    virtual void destroy_main_window() = 0;

    // ---- events and timers -------------------------------------------------------
    // Takes the next event; with wait, blocks until there is one. Returns
    // false when wait is off and nothing is pending.
    virtual bool next_event(Event& event, bool wait) = 0;
    virtual void set_timer(int id, int period_ms) = 0;
    virtual void kill_timer(int id) = 0;
    // Queues a timer event with this id at once.
    virtual void post_timer(int id) = 0;
};

// The platform the program runs on; set once by main() or a test fixture.
Platform& platform();
void set_platform(Platform* instance);

}  // namespace domora
