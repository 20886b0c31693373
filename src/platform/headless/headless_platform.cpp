#include "platform/headless/headless_platform.h"

#include <algorithm>

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

int HeadlessPlatform::sys_open(const std::string& path, int flags, unsigned mode) {
    const int fd = Platform::sys_open(path, flags, mode);
    if (fd >= 0) {
        m_open_paths[fd] = path;
        m_written[fd] = 0;
    }
    return fd;
}

long HeadlessPlatform::sys_write(int fd, const void* data, std::size_t count) {
    const auto path = m_open_paths.find(fd);
    if (m_write_fault.active && path != m_open_paths.end() &&
        path->second.find(m_write_fault.path_part) != std::string::npos) {
        const long room = std::max(0L, m_write_fault.allowed_bytes - m_written[fd]);
        if (room == 0) {
            if (m_write_fault.error == 0) return 0;
            errno = m_write_fault.error;
            return -1;
        }
        count = std::min<std::size_t>(count, static_cast<std::size_t>(room));
    }
    const long n = Platform::sys_write(fd, data, count);
    if (n > 0) m_written[fd] += n;
    return n;
}

int HeadlessPlatform::sys_fsync(int fd) {
    if (m_fsync_error != 0) {
        errno = m_fsync_error;
        return -1;
    }
    return Platform::sys_fsync(fd);
}

int HeadlessPlatform::sys_close(int fd) {
    m_open_paths.erase(fd);
    m_written.erase(fd);
    return Platform::sys_close(fd);
}

int HeadlessPlatform::sys_rename(const std::string& from, const std::string& to) {
    if (m_rename_error != 0) {
        errno = m_rename_error;
        return -1;
    }
    return Platform::sys_rename(from, to);
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
    return true;
}

void HeadlessPlatform::show_main_window(int show_state) {
    window_shown = true;
    window.show_state = show_state;
}

bool HeadlessPlatform::next_event(Event& event, bool wait) {
    while (!script.empty() && script.front().user_moves_window) {
        window = script.front().placement;
        script.pop_front();
    }
    if (script.empty()) {
        if (!wait) return false;
        event = Event{EventKind::Close, 0};
        return true;
    }
    event = script.front().event;
    script.pop_front();
    return true;
}

}  // namespace domora
