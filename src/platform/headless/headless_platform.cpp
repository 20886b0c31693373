#include "platform/headless/headless_platform.h"

#include <fcntl.h>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace domora {

namespace {

// Instances claimed by the headless platforms of this process.
std::map<std::string, HeadlessPlatform*>& instance_registry() {
    static std::map<std::string, HeadlessPlatform*> registry;
    return registry;
}

}  // namespace

HeadlessPlatform::HeadlessPlatform() {
    os.major = 6;
    os.minor = 1;
    os.patch = 0;
    os.sysname = "Linux";
    os.release = "6.1.0-test";
    os.machine = "x86_64";
    os.pretty_name = "Debian GNU/Linux 12 (bookworm)";
    os.has_os_release = true;
    now = UtcTime{2026, 12, 7, 12, 0, 0, 0};
    environment["HOME"] = "/home/tester";
}

HeadlessPlatform::~HeadlessPlatform() { release_single_instance(); }

std::string HeadlessPlatform::env(const std::string& name) {
    const auto it = environment.find(name);
    return it == environment.end() ? std::string() : it->second;
}

// ---- files ---------------------------------------------------------------------------

bool HeadlessPlatform::sys_stat(const std::string& path, FileInfo& info) {
    if (std::find(fake_programs.begin(), fake_programs.end(), path) != fake_programs.end()) {
        info = FileInfo{false, 1000, 0755};
        return true;
    }
    return Platform::sys_stat(path, info);
}

int HeadlessPlatform::sys_open(const std::string& path, int flags, unsigned mode) {
    {
        const std::lock_guard<std::mutex> lock(m_files_lock);
        if (!m_open_fault.empty() && path.find(m_open_fault) != std::string::npos) {
            errno = m_open_error;
            return -1;
        }
    }
    const int fd = Platform::sys_open(path, flags, mode);
    if (fd >= 0) {
        const std::lock_guard<std::mutex> lock(m_files_lock);
        m_open_paths[fd] = path;
        if ((flags & O_CREAT) != 0) created_files.push_back(path);
        m_written[fd] = 0;
        m_read[fd] = 0;
    }
    return fd;
}

long HeadlessPlatform::sys_read(int fd, void* data, std::size_t count) {
    {
        const std::lock_guard<std::mutex> lock(m_files_lock);
        const auto path = m_open_paths.find(fd);
        if (m_read_fault.active && path != m_open_paths.end() && path->second.find(m_read_fault.path_part) != std::string::npos) {
            const long room = std::max(0L, m_read_fault.allowed_bytes - m_read[fd]);
            if (room == 0) {
                errno = m_read_fault.error;
                return -1;
            }
            count = std::min<std::size_t>(count, static_cast<std::size_t>(room));
        }
    }
    const long n = Platform::sys_read(fd, data, count);
    if (n > 0) {
        const std::lock_guard<std::mutex> lock(m_files_lock);
        m_read[fd] += n;
    }
    return n;
}

bool HeadlessPlatform::limit_write(int fd, std::size_t& count, long& result) {
    const std::lock_guard<std::mutex> lock(m_files_lock);
    const auto path = m_open_paths.find(fd);
    if (!m_write_fault.active || path == m_open_paths.end() || path->second.find(m_write_fault.path_part) == std::string::npos) {
        return true;
    }
    const long room = std::max(0L, m_write_fault.allowed_bytes - m_written[fd]);
    if (room == 0) {
        result = m_write_fault.error == 0 ? 0 : -1;
        errno = m_write_fault.error;
        return false;
    }
    count = std::min<std::size_t>(count, static_cast<std::size_t>(room));
    return true;
}

long HeadlessPlatform::sys_write(int fd, const void* data, std::size_t count) {
    long refused = 0;
    if (!limit_write(fd, count, refused)) return refused;
    const long n = Platform::sys_write(fd, data, count);
    if (n > 0) {
        const std::lock_guard<std::mutex> lock(m_files_lock);
        m_written[fd] += n;
    }
    return n;
}

long HeadlessPlatform::sys_copy_range(int from_fd, int to_fd, std::size_t count) {
    if (m_copy_range_error != 0) {
        errno = m_copy_range_error;
        return -1;
    }
    // A full disk stops an in-system copy just as it stops a write.
    long refused = 0;
    if (!limit_write(to_fd, count, refused)) return refused;
    const long n = Platform::sys_copy_range(from_fd, to_fd, count);
    if (n > 0) {
        const std::lock_guard<std::mutex> lock(m_files_lock);
        m_written[to_fd] += n;
        ++copy_range_calls;
    }
    return n;
}

int HeadlessPlatform::sys_fsync(int fd) {
    ++fsync_calls;
    if (m_fsync_error != 0) {
        errno = m_fsync_error;
        return -1;
    }
    return Platform::sys_fsync(fd);
}

int HeadlessPlatform::sys_close(int fd) {
    {
        const std::lock_guard<std::mutex> lock(m_files_lock);
        m_open_paths.erase(fd);
        m_written.erase(fd);
    }
    return Platform::sys_close(fd);
}

int HeadlessPlatform::sys_rename(const std::string& from, const std::string& to) {
    if (m_rename_error != 0) {
        errno = m_rename_error;
        return -1;
    }
    return Platform::sys_rename(from, to);
}

int HeadlessPlatform::sys_exchange(const std::string& a, const std::string& b) {
    const int error = m_rename_error != 0 ? m_rename_error : m_exchange_error;
    if (error != 0) {
        errno = error;
        return -1;
    }
    return Platform::sys_exchange(a, b);
}

// ---- single instance -------------------------------------------------------------------

bool HeadlessPlatform::claim_single_instance(const std::string& name) {
    auto& registry = instance_registry();
    const auto it = registry.find(name);
    if (it != registry.end() && it->second != this) {
        it->second->forward_requests++;
        it->second->window.show_state = kShowNormal;  // restored, as a real window would be
        return false;
    }
    registry[name] = this;
    m_instance_name = name;
    return true;
}

void HeadlessPlatform::release_single_instance() {
    if (m_instance_name.empty()) return;
    auto& registry = instance_registry();
    const auto it = registry.find(m_instance_name);
    if (it != registry.end() && it->second == this) registry.erase(it);
    m_instance_name.clear();
}

// ---- window and events --------------------------------------------------------------------

bool HeadlessPlatform::create_main_window(const std::string&, const WindowPlacement& placement, std::uint32_t) {
    if (window_creation_fails) return false;
    window = placement;
    window_exists = true;
    if (frame.left || frame.top || frame.right || frame.bottom) {
        client_width = placement.width - frame.left - frame.right;
        client_height = placement.height - frame.top - frame.bottom;
    }
    return true;
}

void HeadlessPlatform::show_main_window(int show_state) {
    window_shown = true;
    window.show_state = show_state;
}

// The script is played in order. Waits advance the virtual clock and let due
// timers fire; a poll that finds nothing lets one millisecond pass, so that
// loops which wait for time to pass always end.
bool HeadlessPlatform::next_event(Event& event, bool wait) {
    for (;;) {
        if (!m_fired.empty()) {
            event = m_fired.front();
            m_fired.pop_front();
            return true;
        }
        if (script.empty()) {
            if (!wait) {
                advance_clock(1);
                if (!m_fired.empty()) continue;
                return false;
            }
            // A waiting loop with nothing left to do: run the next timer, if
            // it is not far off, else close the window as a user would.
            if (m_ran_out_at == UINT64_MAX) m_ran_out_at = clock_ms;
            std::uint64_t next_due = UINT64_MAX;
            for (const auto& [id, timer] : m_timers) next_due = std::min(next_due, timer.due);
            if (next_due != UINT64_MAX && next_due <= m_ran_out_at + 1000) {
                advance_clock(next_due - clock_ms);
                continue;
            }
            event = Event{};
            event.kind = EventKind::Close;
            return true;
        }
        m_ran_out_at = UINT64_MAX;
        Step step = script.front();
        script.pop_front();
        if (step.user_moves_window) {
            window = step.placement;
            continue;
        }
        if (step.call) {
            step.call();
            continue;
        }
        if (step.wait_ms > 0) {
            advance_clock(static_cast<std::uint64_t>(step.wait_ms));
            continue;
        }
        event = step.event;
        if (event.kind == EventKind::MouseMove || event.kind == EventKind::ButtonDown ||
            event.kind == EventKind::ButtonUp) {
            m_mouse_x = event.x;
            m_mouse_y = event.y;
            // Scripted presses and releases happen where the last move left the cursor.
            if (event.kind == EventKind::MouseMove) {
                m_cursor_x = window.x + event.x;
                m_cursor_y = window.y + event.y;
            }
        }
        if (event.kind == EventKind::Resized) {
            client_width = event.width;
            client_height = event.height;
        }
        return true;
    }
}

void HeadlessPlatform::advance_clock(std::uint64_t ms) {
    const std::uint64_t until = clock_ms + ms;
    for (;;) {
        // Fire the earliest due timer, one period at a time, in time order.
        int due_id = 0;
        std::uint64_t due = UINT64_MAX;
        for (const auto& [id, timer] : m_timers) {
            if (timer.due <= until && timer.due < due) {
                due = timer.due;
                due_id = id;
            }
        }
        if (due == UINT64_MAX) break;
        clock_ms = std::max(clock_ms, due);
        Timer& timer = m_timers[due_id];
        timer.due += static_cast<std::uint64_t>(std::max(1, timer.period));
        Event fired;
        fired.kind = EventKind::Timer;
        fired.timer_id = due_id;
        m_fired.push_back(fired);
        if (m_fired.size() > 64) break;  // a caller that stopped listening must not grow this forever
    }
    clock_ms = std::max(clock_ms, until);
}

void HeadlessPlatform::set_timer(int id, int period_ms) {
    m_timers[id] = Timer{period_ms, clock_ms + static_cast<std::uint64_t>(std::max(1, period_ms))};
}

void HeadlessPlatform::kill_timer(int id) {
    m_timers.erase(id);
    std::erase_if(m_fired, [id](const Event& e) { return e.kind == EventKind::Timer && e.timer_id == id; });
}

void HeadlessPlatform::post_timer(int id) {
    Event fired;
    fired.kind = EventKind::Timer;
    fired.timer_id = id;
    m_fired.push_back(fired);
}

// ---- scripted input ---------------------------------------------------------------------

namespace {

Event event_of(EventKind kind) {
    Event e;
    e.kind = kind;
    return e;
}

Event mouse_event(EventKind kind, int x, int y, int button) {
    Event e = event_of(kind);
    e.x = x;
    e.y = y;
    e.button = button;
    return e;
}

Event key_event(EventKind kind, int key, int character, bool shift, bool ctrl, bool alt = false) {
    Event e = event_of(kind);
    e.key = key;
    e.character = character;
    e.shift = shift;
    e.ctrl = ctrl;
    e.alt = alt;
    return e;
}

}  // namespace

void HeadlessPlatform::push(EventKind kind, int timer_id) {
    Event e = event_of(kind);
    e.timer_id = timer_id;
    push_event(e);
}

void HeadlessPlatform::push_mouse_move(int x, int y) { push_event(mouse_event(EventKind::MouseMove, x, y, 0)); }

void HeadlessPlatform::push_button_down(int x, int y, int button) { push_event(mouse_event(EventKind::ButtonDown, x, y, button)); }

void HeadlessPlatform::push_button_up(int x, int y, int button) { push_event(mouse_event(EventKind::ButtonUp, x, y, button)); }

void HeadlessPlatform::push_click(int x, int y, int button, int held_ms) {
    push_mouse_move(x, y);
    push_button_down(x, y, button);
    if (held_ms > 0) push_wait(held_ms);
    push_button_up(x, y, button);
    push_wait(60);
}

void HeadlessPlatform::push_double_click(int x, int y, int gap_ms) {
    push_mouse_move(x, y);
    push_button_down(x, y, 1);
    push_wait(10);
    push_button_up(x, y, 1);
    push_wait(gap_ms);
    Event second = mouse_event(EventKind::ButtonDown, x, y, 1);
    second.double_click = true;
    push_event(second);
    push_wait(10);
    push_button_up(x, y, 1);
    push_wait(60);
}

void HeadlessPlatform::push_key_down(int key, bool shift, bool ctrl, bool alt) {
    push_event(key_event(EventKind::KeyDown, key, 0, shift, ctrl, alt));
}

void HeadlessPlatform::push_key(int key, bool shift, bool ctrl, bool alt) {
    push_key_down(key, shift, ctrl, alt);
    push_event(key_event(EventKind::KeyUp, key, 0, shift, ctrl, alt));
}

void HeadlessPlatform::push_char(int character, bool shift, bool ctrl, bool alt) {
    push_event(key_event(EventKind::Character, 0, character, shift, ctrl, alt));
    push_event(event_of(EventKind::KeyUp));
}

void HeadlessPlatform::push_alt(int character) {
    const int key = character >= 'a' && character <= 'z' ? character - 'a' + 'A' : character;
    push_key_down(key, false, false, true);
    push_char(character, false, false, true);
}

void HeadlessPlatform::push_text(const std::string& text) {
    for (char c : text) push_char(static_cast<unsigned char>(c));
}

void HeadlessPlatform::push_wheel(int delta, bool shift, bool ctrl) {
    Event e = key_event(EventKind::Wheel, 0, 0, shift, ctrl);
    e.wheel_delta = delta;
    e.x = m_mouse_x;
    e.y = m_mouse_y;
    push_event(e);
}

void HeadlessPlatform::push_resize(int width, int height) {
    Event e = event_of(EventKind::Resized);
    e.width = width;
    e.height = height;
    push_event(e);
}

}  // namespace domora
