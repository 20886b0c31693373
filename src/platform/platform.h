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
#include <memory>
#include <string>
#include <vector>

namespace domora {

class NetConnection;  // platform/net_connection.h

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const Rect&) const = default;
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
    std::int64_t links = 1;  // names the file has; 0 once an open file was deleted
    // Which file this is and when it last changed: another program that
    // replaces or rewrites it changes at least one of them.
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t modified_ns = 0;  // since 1970, in nanoseconds
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

// Key codes as the program uses them: the classic virtual-key numbers.
enum KeyCode {
    kKeyBack = 8,
    kKeyTab = 9,
    kKeyReturn = 13,
    kKeyShift = 16,
    kKeyControl = 17,
    kKeyAlt = 18,
    kKeyEscape = 27,
    kKeySpace = 32,
    kKeyPageUp = 33,
    kKeyPageDown = 34,
    kKeyEnd = 35,
    kKeyHome = 36,
    kKeyLeft = 37,
    kKeyUp = 38,
    kKeyRight = 39,
    kKeyDown = 40,
    kKeyInsert = 45,
    kKeyDelete = 46,
    // '0'..'9' are 48..57 and 'A'..'Z' 65..90, as their characters.
    kKeyF1 = 112,
    kKeyF12 = 123,
};

enum class EventKind {
    None,
    Close,            // the user closed the window
    Terminate,        // SIGTERM, SIGINT or SIGHUP
    Timer,            // a timer set with set_timer (or posted) fired
    Wake,             // nothing happened, but a waiting loop should look around
    MouseMove,        // x, y
    ButtonDown,       // x, y, button; also a double click
    ButtonUp,         // x, y, button; also outside the client area
    KeyDown,          // key
    KeyUp,            // key
    Character,        // character: one Windows-1252 byte, or a control code (8, 9, 13, 27, 1..26 with Ctrl)
    Wheel,            // wheel_delta: 120 a notch, positive away from the user
    Resized,          // width, height: the new client size
    Moved,            // the window moved (its placement is in main_window_placement)
    Exposed,          // the window needs its surface copied again
    ClipboardChanged, // another program (or this one) put something on the clipboard
};

struct Event {
    EventKind kind = EventKind::None;
    int timer_id = 0;
    int x = 0;
    int y = 0;
    int button = 0;  // 1 left, 2 right
    int key = 0;
    int character = 0;
    int wheel_delta = 0;
    int width = 0;
    int height = 0;
    bool shift = false;  // modifier state when the event happened
    bool ctrl = false;
    bool alt = false;
    bool double_click = false;  // ButtonDown: the second press of a double click
};

// The order in which the user's locale writes the parts of a date.
enum class DateOrder { MonthDayYear, DayMonthYear, YearMonthDay };

using FontHandle = int;  // 0 = none

struct FontSpec {
    std::string face;
    int height = 20;     // character cell height in pixels
    int weight = 400;    // 400 normal, 700 bold
    bool underline = false;
    bool smooth = true;  // anti-aliased
};

struct TextExtent {
    int width = 0;
    int height = 0;
};

// Colours are 0xRRGGBB.
constexpr std::uint32_t rgb(int r, int g, int b) {
    return (static_cast<std::uint32_t>(r & 0xFF) << 16) | (static_cast<std::uint32_t>(g & 0xFF) << 8) |
           static_cast<std::uint32_t>(b & 0xFF);
}

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
    // The same clock in the user's time zone.
    virtual UtcTime local_now();

    // ---- files ---------------------------------------------------------------
    // Thin POSIX calls with Windows-1252 paths; results as the system calls
    // give them (-1 and errno on failure). The defaults call the real system;
    // the headless backend overrides them to inject failures.
    virtual int sys_open(const std::string& path, int flags, unsigned mode);
    virtual long sys_read(int fd, void* data, std::size_t count);
    virtual long sys_write(int fd, const void* data, std::size_t count);
    virtual std::int64_t sys_seek(int fd, std::int64_t offset, int whence);
    virtual int sys_fsync(int fd);
    // Copies up to count bytes from one open file to another inside the
    // system, from and advancing both positions (copy_file_range). Fails with
    // EXDEV, EINVAL, ENOSYS or EOPNOTSUPP where the files or the system cannot.
    virtual long sys_copy_range(int from_fd, int to_fd, std::size_t count);
    virtual int sys_close(int fd);
    virtual int sys_rename(const std::string& from, const std::string& to);
    // Swaps what two names hold in one step; both must exist. Fails with
    // EINVAL or ENOSYS where the file system cannot.
    virtual int sys_exchange(const std::string& a, const std::string& b);
    virtual int sys_ftruncate(int fd, std::int64_t size);
    virtual int sys_unlink(const std::string& path);
    virtual int sys_mkdir(const std::string& path, unsigned mode);
    virtual int sys_rmdir(const std::string& path);
    virtual int sys_chmod(const std::string& path, unsigned mode);
    // False when nothing exists at path.
    virtual bool sys_stat(const std::string& path, FileInfo& info);
    // The same for an open file; false on failure.
    virtual bool sys_fstat(int fd, FileInfo& info);
    // Names in a folder, without "." and "..". False when it cannot be read.
    virtual bool list_folder(const std::string& path, std::vector<std::string>& names);

    struct MountPoint {
        std::string path;     // where it is mounted
        std::string type;     // file-system type, e.g. "ext4", "nfs4", "iso9660"
        std::string device;   // e.g. "/dev/sdb1"
        std::string label;    // the volume's label, "" when it has none
    };
    // The mounted file systems, from the mount table.
    virtual std::vector<MountPoint> mount_points();

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
    // Size of the drawing area inside the window's frame.
    virtual void client_size(int& width, int& height) = 0;
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
    // Lets ms pass while the window keeps painting; input that arrives meanwhile
    // stays queued for the next next_event.
    virtual void idle_wait(int ms) = 0;
    // Milliseconds from an arbitrary start, never going back.
    virtual std::uint64_t tick_ms() = 0;
    // Lines to scroll for one wheel notch, as the desktop is set.
    virtual int wheel_scroll_lines() = 0;

    // ---- window management ---------------------------------------------------------
    // Applies a placement (normal rectangle and show state).
    virtual void set_main_window_placement(const WindowPlacement& placement) = 0;
    // Moves the window in its normal state, keeping its size.
    virtual void move_main_window(int x, int y) = 0;
    // Cursor position in screen coordinates.
    virtual void cursor_position(int& x, int& y) = 0;
    // While a popup is open the window can be neither resized nor maximised,
    // and a maximised one neither restored nor moved.
    virtual void set_window_locked(bool locked) = 0;
    virtual bool is_foreground() = 0;

    // ---- drawing surface -------------------------------------------------------------
    // Everything is drawn into an off-screen surface of the client size and
    // copied to the window with present().
    virtual void resize_surface(int width, int height) = 0;
    virtual FontHandle create_font(const FontSpec& spec) = 0;
    virtual void release_font(FontHandle font) = 0;
    virtual int font_height(FontHandle font) = 0;
    virtual TextExtent measure_text(FontHandle font, const std::string& text) = 0;
    // Draws text with its top-left corner at (x, y) on a transparent background.
    virtual void draw_text(int x, int y, FontHandle font, std::uint32_t colour, const std::string& text) = 0;
    // Limits drawing to clip; an empty rectangle removes the limit.
    virtual void set_clip(const Rect& clip) = 0;
    virtual void fill_rect(const Rect& r, std::uint32_t colour) = 0;
    virtual void frame_rect(const Rect& r, std::uint32_t colour) = 0;
    virtual void dotted_rect(const Rect& r, std::uint32_t colour) = 0;
    virtual void draw_line(int x1, int y1, int x2, int y2, std::uint32_t colour) = 0;
    // Inverts the pixels, so that doing it twice restores them.
    virtual void invert_rect(const Rect& r) = 0;
    // Blends colour over what is there; alpha 0 (nothing) to 255 (opaque).
    virtual void blend_rect(const Rect& r, std::uint32_t colour, int alpha) = 0;
    // A vertical gradient from top to bottom colour, blended with alpha.
    virtual void gradient_rect(const Rect& r, std::uint32_t top, std::uint32_t bottom, int alpha) = 0;
    // The program's bitmap resources, by name, drawn through their masks.
    virtual bool bitmap_size(const std::string& name, int& width, int& height) = 0;
    virtual void draw_bitmap(const std::string& name, int x, int y) = 0;
    // A picture of width x height 0xRRGGBB pixels, scaled smoothly into r.
    virtual void draw_image(const Rect& r, int width, int height, const std::vector<std::uint32_t>& pixels) = 0;
    // Saved copies of the whole surface, one per open popup (the screen
    // behind it), kept as a stack: save pushes, draw draws the newest one
    // (what it does not cover is left as it is), free drops the newest one.
    virtual void save_surface() = 0;
    virtual void draw_saved_surface(const Rect& r) = 0;
    virtual void free_saved_surface() = 0;
    // Copies part of the surface to the window.
    virtual void present(const Rect& r) = 0;
    // The surface's pixel at (x, y), 0xRRGGBB; for tests and checks.
    virtual std::uint32_t pixel(int x, int y) = 0;

    // ---- processes, sound and locale ---------------------------------------------------
    // Starts a program on its own, not waited for. 0 when it started, else an errno value.
    virtual int start_program(const std::vector<std::string>& argv);
    // Runs a program to its end and gives what it printed. False when it
    // could not be started or did not exit with 0.
    virtual bool program_output(const std::vector<std::string>& argv, std::string& output);
    // Plays one of the program's sounds ("DING"); nothing where there is no sound device.
    virtual void play_sound(const std::string& name) = 0;
    // True where the user's locale measures in U.S. customary units (LC_MEASUREMENT).
    virtual bool measurement_is_us() = 0;
    // The user's locale's short name of a month (1..12), e.g. "Mar".
    virtual std::string month_abbreviation(int month) = 0;
    // The order the user's locale writes a date in (its short date format).
    virtual DateOrder date_order() = 0;

    // ---- clipboard and desktop ------------------------------------------------------
    virtual std::string clipboard_text() = 0;
    virtual void set_clipboard_text(const std::string& text) = 0;
    // A secret (a copied password): marked so that clipboard managers keep
    // it out of their history, where the desktop knows such a mark.
    virtual void set_secret_clipboard_text(const std::string& text) { set_clipboard_text(text); }
    virtual void clear_clipboard() { set_clipboard_text(std::string()); }
    // Opens a web address in the user's browser. False when nothing could open it.
    virtual bool open_url(const std::string& url) = 0;

    // ---- network ---------------------------------------------------------------------
    // A fresh, unconnected TCP connection; the default is plain POSIX sockets.
    virtual std::unique_ptr<NetConnection> new_connection();
};

// The platform the program runs on; set once by main() or a test fixture.
Platform& platform();
void set_platform(Platform* instance);

}  // namespace domora
