// A deterministic platform for tests: scripted events, a settable clock,
// environment and work area, recorded message boxes, an in-process
// single-instance registry, and file calls that can be made to fail.
#pragma once

#include <cerrno>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace domora {

class HeadlessPlatform : public Platform {
public:
    HeadlessPlatform();
    ~HeadlessPlatform() override;

    // ---- what the program sees; tests set these freely ----------------------------
    std::string program_path_value = "/opt/domora/domora";
    std::map<std::string, std::string> environment;
    OsInfo os;
    UtcTime now;
    Rect work{0, 0, 1920, 1040};
    int depth = 24;
    bool window_creation_fails = false;

    // ---- what the program did -------------------------------------------------------
    struct MessageBox {
        std::string text;
        std::string caption;
    };
    std::vector<MessageBox> message_boxes;
    bool window_exists = false;
    bool window_shown = false;
    WindowPlacement window;          // normal rectangle (the outer frame) and show state
    // The window manager's frame around the client area: thickness at the
    // left, top (title bar), right and bottom. With a frame set, creating the
    // window makes the client area the frame less these.
    Rect frame{0, 0, 0, 0};
    int forward_requests = 0;        // times a second instance asked this one to come forward
    bool timer_running(int id) const { return m_timers.count(id) != 0; }

    // ---- scripted input ----------------------------------------------------------------
    // Delivered in order; when the script runs out, a waiting next_event
    // closes the window so that a run can never hang a test.
    struct Step {
        Event event;
        bool user_moves_window = false;  // instead of an event: the user moves or resizes the window
        WindowPlacement placement;
        int wait_ms = 0;                 // instead of an event: time passes, timers fire
        std::function<void()> call;      // instead of an event: the test looks at the program mid-run
    };
    std::deque<Step> script;
    void push(EventKind kind, int timer_id = 0);
    void push_event(const Event& event) { script.push_back(Step{event, false, {}, 0, {}}); }
    void push_window_move(const WindowPlacement& placement) { script.push_back(Step{{}, true, placement, 0, {}}); }
    void push_wait(int ms) { script.push_back(Step{{}, false, {}, ms, {}}); }
    void push_call(std::function<void()> call) { script.push_back(Step{{}, false, {}, 0, std::move(call)}); }
    void push_mouse_move(int x, int y);
    void push_button_down(int x, int y, int button = 1);
    void push_button_up(int x, int y, int button = 1);
    // Press and release with the given time between them, then let the release timer run out.
    void push_click(int x, int y, int button = 1, int held_ms = 10);
    void push_key(int key, bool shift = false, bool ctrl = false, bool alt = false);  // down and up
    void push_key_down(int key, bool shift = false, bool ctrl = false, bool alt = false);
    void push_char(int character, bool shift = false, bool ctrl = false, bool alt = false);
    // Alt with a letter or digit as the real window sends it: the key goes
    // down, the character is typed, the key comes up.
    void push_alt(int character);
    // Two clicks, the second press marked as a double click, gap_ms apart.
    void push_double_click(int x, int y, int gap_ms = 100);
    void push_text(const std::string& text);  // one Character event per byte
    void push_wheel(int delta, bool shift = false, bool ctrl = false);
    void push_resize(int width, int height);
    // Nothing left to deliver: the script is played and no timer event waits.
    bool idle() const { return script.empty() && m_fired.empty(); }

    // ---- the surface -------------------------------------------------------------------
    // Bitmaps are read from XPM files in this folder, "<name>.xpm".
    std::string resource_folder;
    int client_width = 1600;
    int client_height = 970;
    std::string clipboard;
    bool clipboard_secret = false;  // the clipboard holds a copy marked as a secret
    std::vector<std::string> opened_urls;
    bool foreground = true;
    int wheel_lines = 3;
    bool window_locked = false;
    std::vector<Rect> presented;  // every present() call, in order
    int surface_width() const { return m_width; }
    int surface_height() const { return m_height; }
    std::uint64_t clock_ms = 0;   // the virtual tick count
    // Texts drawn since the last clear, with their positions.
    struct DrawnText {
        int x;
        int y;
        std::uint32_t colour;
        std::string text;
    };
    std::vector<DrawnText> drawn_texts;

    // ---- injected file failures ----------------------------------------------------------
    // Writes to a file whose path contains `path_part` fail with `error` once
    // `allowed_bytes` have been written through that descriptor.
    void fail_writes(std::string path_part, long allowed_bytes, int error = ENOSPC) {
        const std::lock_guard<std::mutex> lock(m_files_lock);
        m_write_fault = {std::move(path_part), allowed_bytes, error, true};
    }
    // Reads from a file whose path contains `path_part` fail with `error`
    // once `allowed_bytes` have been read through that descriptor.
    void fail_reads(std::string path_part, long allowed_bytes, int error = EIO) {
        const std::lock_guard<std::mutex> lock(m_files_lock);
        m_read_fault = {std::move(path_part), allowed_bytes, error, true};
    }
    // Writes that stop short with no error, as on a disk that fills up.
    void short_writes(std::string path_part, long allowed_bytes) {
        const std::lock_guard<std::mutex> lock(m_files_lock);
        m_write_fault = {std::move(path_part), allowed_bytes, 0, true};
    }
    // Every file opened with O_CREAT, in order (read once no other thread writes).
    std::vector<std::string> created_files;
    // Renames and exchanges alike.
    void fail_renames(int error = EXDEV) { m_rename_error = error; }
    // Exchanges alone, as on a file system that has none.
    void refuse_exchanges(int error = EINVAL) { m_exchange_error = error; }
    void fail_fsync(int error = EIO) { m_fsync_error = error; }
    // In-system copies fail with `error`, as between two file systems that cannot.
    void refuse_copy_ranges(int error = EXDEV) { m_copy_range_error = error; }
    // Flushes asked for (files and folders), and in-system copies that went through.
    int fsync_calls = 0;
    int copy_range_calls = 0;
    // Opening a file whose path contains `path_part` fails with `error`.
    void fail_opens(std::string path_part, int error = EACCES) {
        const std::lock_guard<std::mutex> lock(m_files_lock);
        m_open_fault = std::move(path_part);
        m_open_error = error;
    }
    void clear_faults() {
        {
            const std::lock_guard<std::mutex> lock(m_files_lock);
            m_write_fault = {};
            m_read_fault = {};
        }
        m_rename_error = 0;
        m_exchange_error = 0;
        m_fsync_error = 0;
        m_copy_range_error = 0;
        fail_opens({}, 0);
    }

    // ---- Platform ----------------------------------------------------------------------------
    std::string program_path() override { return program_path_value; }
    std::string env(const std::string& name) override;
    OsInfo os_info() override { return os; }
    UtcTime utc_now() override { return now; }
    UtcTime local_now() override { return now; }

    // Programs that exist as far as the program can tell (stat finds an
    // executable file), without touching the real file system.
    std::vector<std::string> fake_programs;
    // The mount table the program sees.
    std::vector<MountPoint> mounts{{"/", "ext4", "/dev/sda1", ""}};
    std::vector<MountPoint> mount_points() override { return mounts; }
    bool sys_stat(const std::string& path, FileInfo& info) override;

    int sys_open(const std::string& path, int flags, unsigned mode) override;
    long sys_write(int fd, const void* data, std::size_t count) override;
    long sys_read(int fd, void* data, std::size_t count) override;
    long sys_copy_range(int from_fd, int to_fd, std::size_t count) override;
    int sys_fsync(int fd) override;
    int sys_close(int fd) override;
    int sys_rename(const std::string& from, const std::string& to) override;
    int sys_exchange(const std::string& a, const std::string& b) override;

    Rect work_area() override { return work; }
    int display_depth() override { return depth; }
    void system_message_box(const std::string& text, const std::string& caption) override {
        message_boxes.push_back({text, caption});
    }

    bool claim_single_instance(const std::string& name) override;
    void release_single_instance() override;

    bool create_main_window(const std::string& title, const WindowPlacement& placement,
                            std::uint32_t background_rgb) override;
    void show_main_window(int show_state) override;
    WindowPlacement main_window_placement() override { return window; }
    void client_size(int& width, int& height) override {
        width = client_width;
        height = client_height;
    }
    void destroy_main_window() override { window_exists = false; }

    bool next_event(Event& event, bool wait) override;
    void set_timer(int id, int period_ms) override;
    void kill_timer(int id) override;
    void post_timer(int id) override;
    std::uint64_t tick_ms() override { return clock_ms; }
    void idle_wait(int ms) override { advance_clock(static_cast<std::uint64_t>(ms > 0 ? ms : 0)); }
    int wheel_scroll_lines() override { return wheel_lines; }

    void set_main_window_placement(const WindowPlacement& placement) override { window = placement; }
    void move_main_window(int x, int y) override {
        window.x = x;
        window.y = y;
    }
    // Where the last mouse event put the cursor on the screen; moving the
    // window afterwards does not move the cursor.
    void cursor_position(int& x, int& y) override {
        x = m_cursor_x;
        y = m_cursor_y;
    }
    void set_window_locked(bool locked) override { window_locked = locked; }
    bool is_foreground() override { return foreground; }

    void resize_surface(int width, int height) override;
    FontHandle create_font(const FontSpec& spec) override;
    void release_font(FontHandle font) override;
    int font_height(FontHandle font) override;
    TextExtent measure_text(FontHandle font, const std::string& text) override;
    void draw_text(int x, int y, FontHandle font, std::uint32_t colour, const std::string& text) override;
    void set_clip(const Rect& clip) override { m_clip = clip; }
    void fill_rect(const Rect& r, std::uint32_t colour) override;
    void frame_rect(const Rect& r, std::uint32_t colour) override;
    void dotted_rect(const Rect& r, std::uint32_t colour) override;
    void draw_line(int x1, int y1, int x2, int y2, std::uint32_t colour) override;
    void invert_rect(const Rect& r) override;
    void blend_rect(const Rect& r, std::uint32_t colour, int alpha) override;
    void gradient_rect(const Rect& r, std::uint32_t top, std::uint32_t bottom, int alpha) override;
    bool bitmap_size(const std::string& name, int& width, int& height) override;
    void draw_bitmap(const std::string& name, int x, int y) override;
    // Nearest pixel scaling, in headless_image.cpp; every call is recorded.
    void draw_image(const Rect& r, int width, int height, const std::vector<std::uint32_t>& pixels) override;
    struct DrawnImage {
        Rect r;
        int width;
        int height;
    };
    std::vector<DrawnImage> drawn_images;
    void save_surface() override { m_saved.push_back(SavedSurface{m_width, m_height, m_pixels}); }
    void draw_saved_surface(const Rect& r) override;
    void free_saved_surface() override {
        if (!m_saved.empty()) m_saved.pop_back();
    }
    std::size_t saved_surfaces() const { return m_saved.size(); }
    void present(const Rect& r) override { presented.push_back(r); }
    std::uint32_t pixel(int x, int y) override;

    // ---- processes, sound and locale: recorded, never real ---------------------------
    std::vector<std::vector<std::string>> started_programs;
    int start_program_result = 0;  // what start_program answers
    // Scripted answers of program_output, by the program's name (argv[0]).
    struct ProgramAnswer {
        bool ok = false;
        std::string output;
    };
    std::map<std::string, ProgramAnswer> program_answers;
    std::vector<std::vector<std::string>> queried_programs;
    std::vector<std::string> played_sounds;
    bool us_measurement = true;
    DateOrder date_order_value = DateOrder::MonthDayYear;
    int start_program(const std::vector<std::string>& argv) override {
        started_programs.push_back(argv);
        return start_program_result;
    }
    bool program_output(const std::vector<std::string>& argv, std::string& output) override {
        queried_programs.push_back(argv);
        const auto it = argv.empty() ? program_answers.end() : program_answers.find(argv[0]);
        output = it == program_answers.end() ? std::string() : it->second.output;
        return it != program_answers.end() && it->second.ok;
    }
    void play_sound(const std::string& name) override { played_sounds.push_back(name); }
    bool measurement_is_us() override { return us_measurement; }
    std::string month_abbreviation(int month) override {
        static const char* const kNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        return month >= 1 && month <= 12 ? kNames[month - 1] : "";
    }
    DateOrder date_order() override { return date_order_value; }

    std::string clipboard_text() override { return clipboard; }
    void set_clipboard_text(const std::string& text) override {
        clipboard = text;
        clipboard_secret = false;
    }
    void set_secret_clipboard_text(const std::string& text) override {
        clipboard = text;
        clipboard_secret = true;
    }
    void clear_clipboard() override {
        clipboard.clear();
        clipboard_secret = false;
    }
    bool open_url(const std::string& url) override {
        opened_urls.push_back(url);
        return true;
    }

    // Font specifications by handle, as the program asked for them.
    const FontSpec* font_spec(FontHandle font) const;
    // The surface as a binary PPM image, for looking at a test's screen.
    std::string surface_ppm() const;

private:
    struct WriteFault {
        std::string path_part;
        long allowed_bytes = 0;
        int error = 0;
        bool active = false;
    };
    WriteFault m_write_fault;
    WriteFault m_read_fault;  // the same, for reads
    // Cuts count to what the write fault still lets through fd; false, with
    // result set, when it lets nothing through.
    bool limit_write(int fd, std::size_t& count, long& result);
    int m_rename_error = 0;
    int m_exchange_error = 0;
    int m_fsync_error = 0;
    int m_copy_range_error = 0;
    std::string m_open_fault;
    int m_open_error = 0;
    // Files may be written from a second thread (a spare made in the background).
    std::mutex m_files_lock;
    std::map<int, std::string> m_open_paths;
    std::map<int, long> m_written;
    std::map<int, long> m_read;
    std::string m_instance_name;

    struct Timer {
        int period = 0;
        std::uint64_t due = 0;
    };
    std::map<int, Timer> m_timers;
    void advance_clock(std::uint64_t ms);
    std::deque<Event> m_fired;  // timer events that came due
    std::uint64_t m_ran_out_at = UINT64_MAX;  // clock when the script was found empty

    struct Bitmap {
        int width = 0;
        int height = 0;
        std::vector<std::uint32_t> pixels;  // 0xFF000000 bit set = opaque
        bool loaded = false;
    };
    std::map<std::string, Bitmap> m_bitmaps;
    const Bitmap& bitmap(const std::string& name);

    int m_width = 0;
    int m_height = 0;
    Rect m_clip;
    std::vector<std::uint32_t> m_pixels;
    struct SavedSurface {
        int width = 0;
        int height = 0;
        std::vector<std::uint32_t> pixels;
    };
    std::vector<SavedSurface> m_saved;
    std::map<FontHandle, FontSpec> m_fonts;
    FontHandle m_next_font = 1;
    int m_mouse_x = 0;
    int m_mouse_y = 0;
    int m_cursor_x = 0;
    int m_cursor_y = 0;
    void put(int x, int y, std::uint32_t colour);
    bool inside_clip(int x, int y) const;
    Rect drawable(const Rect& r) const;
    std::uint32_t* row_at(int y);
};

}  // namespace domora
