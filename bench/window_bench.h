// What the benches of the real window share: a scratch folder, an X server
// of the bench's own on the first free display from a given number, and the
// environment the program runs in there (its own HOME, runtime folder and
// widget dump).
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../tests/e2e/programs.h"

extern char** environ;

namespace domora::bench {

inline std::string read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void stop(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

struct PrivateDisplay {
    explicit PrivateDisplay(int first_display) {
        namespace fs = std::filesystem;
        char pattern[] = "/tmp/domora-bench-XXXXXX";
        root = ::mkdtemp(pattern);
        fs::create_directories(root / "home");
        fs::create_directories(root / "run");
        fs::permissions(root / "run", fs::perms::owner_all, fs::perm_options::replace);
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (entry.rfind("HOME=", 0) == 0 || entry.rfind("XDG_", 0) == 0 || entry.rfind("DISPLAY=", 0) == 0) continue;
            env.push_back(entry);
        }
        env.push_back("HOME=" + (root / "home").string());
        env.push_back("XDG_RUNTIME_DIR=" + (root / "run").string());
        env.push_back("DOMORA_WIDGET_DUMP=" + (root / "dump.txt").string());
        if (!e2e::have("Xvfb")) return;
        for (int n = first_display; n < first_display + 100; ++n) {
            if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) || fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) continue;
            display = ":" + std::to_string(n);
            server = e2e::spawn_program({"Xvfb", display, "-screen", "0", "1600x1000x24", "-nolisten", "tcp", "-r"}, env);
            for (int i = 0; i < 200 && !fs::exists("/tmp/.X11-unix/X" + std::to_string(n)); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
            }
            break;
        }
        env.push_back("DISPLAY=" + display);
    }
    ~PrivateDisplay() {
        stop(server);
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;
    bool ready() const { return server > 0; }

    std::filesystem::path root;
    std::vector<std::string> env;
    std::string display;
    pid_t server = -1;
};

}  // namespace domora::bench
