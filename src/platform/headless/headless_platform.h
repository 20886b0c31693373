// A deterministic platform for tests: scripted events, a settable clock,
// environment and work area, recorded message boxes, an in-process
// single-instance registry, and file calls that can be made to fail.
#pragma once

#include <cerrno>
#include <deque>
#include <map>
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
    WindowPlacement window;          // normal rectangle and show state
    int forward_requests = 0;        // times a second instance asked this one to come forward
    std::map<int, int> timers;       // id -> period of the running timers

    // ---- scripted input ----------------------------------------------------------------
    // Delivered in order; when the script runs out, a waiting next_event
    // closes the window so that a run can never hang a test.
    struct Step {
        Event event;
        bool user_moves_window = false;  // instead of an event: the user moves or resizes the window
        WindowPlacement placement;
    };
    std::deque<Step> script;
    void push(EventKind kind, int timer_id = 0) { script.push_back(Step{Event{kind, timer_id}, false, {}}); }
    void push_window_move(const WindowPlacement& placement) { script.push_back(Step{{}, true, placement}); }

    // ---- injected file failures ----------------------------------------------------------
    // Writes to a file whose path contains `path_part` fail with `error` once
    // `allowed_bytes` have been written through that descriptor.
    void fail_writes(std::string path_part, long allowed_bytes, int error = ENOSPC) {
        m_write_fault = {std::move(path_part), allowed_bytes, error, true};
    }
    // Writes that stop short with no error, as on a disk that fills up.
    void short_writes(std::string path_part, long allowed_bytes) {
        m_write_fault = {std::move(path_part), allowed_bytes, 0, true};
    }
    void fail_renames(int error = EXDEV) { m_rename_error = error; }
    void fail_fsync(int error = EIO) { m_fsync_error = error; }
    void clear_faults() {
        m_write_fault = {};
        m_rename_error = 0;
        m_fsync_error = 0;
    }

    // ---- Platform ----------------------------------------------------------------------------
    std::string program_path() override { return program_path_value; }
    std::string env(const std::string& name) override;
    OsInfo os_info() override { return os; }
    UtcTime utc_now() override { return now; }

    int sys_open(const std::string& path, int flags, unsigned mode) override;
    long sys_write(int fd, const void* data, std::size_t count) override;
    int sys_fsync(int fd) override;
    int sys_close(int fd) override;
    int sys_rename(const std::string& from, const std::string& to) override;

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
    void destroy_main_window() override { window_exists = false; }

    bool next_event(Event& event, bool wait) override;
    void set_timer(int id, int period_ms) override { timers[id] = period_ms; }
    void kill_timer(int id) override { timers.erase(id); }
    void post_timer(int id) override { script.push_front(Step{Event{EventKind::Timer, id}, false, {}}); }

private:
    struct WriteFault {
        std::string path_part;
        long allowed_bytes = 0;
        int error = 0;
        bool active = false;
    };
    WriteFault m_write_fault;
    int m_rename_error = 0;
    int m_fsync_error = 0;
    std::map<int, std::string> m_open_paths;
    std::map<int, long> m_written;
    std::string m_instance_name;
};

}  // namespace domora
