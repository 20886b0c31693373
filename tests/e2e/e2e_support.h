// Running the real program for end-to-end tests: a portable copy in a
// private folder, its own runtime folder and home, the widget dump, and
// xdotool for the clicks and keys of a user. Every wait is for a condition,
// its limit stretched by DOMORA_TEST_TIMEOUT_FACTOR.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../test_env.h"

extern char** environ;

namespace domora::e2e {


namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Polls the condition until it holds or the (scaled) limit has passed.
template <class Condition, class Rep, class Period>
bool wait_for_condition(Condition&& condition, std::chrono::duration<Rep, Period> limit,
                std::chrono::milliseconds every = std::chrono::milliseconds(50)) {
    const auto until = std::chrono::steady_clock::now() + test::scaled(limit);
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(every);
    }
}

// The whole seconds a (scaled) limit comes to, for the programs that take seconds.
template <class Rep, class Period>
long long scaled_seconds(std::chrono::duration<Rep, Period> limit) {
    return std::chrono::ceil<std::chrono::seconds>(test::scaled(limit)).count();
}

class RealWindow : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/domora-e2e-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
        fs::create_directories(m_root / "app");
        fs::create_directories(m_root / "home");
        fs::create_directories(m_root / "run");
        fs::permissions(m_root / "run", fs::perms::owner_all, fs::perm_options::replace);
        fs::copy_file(DOMORA_BINARY, m_root / "app" / "domora");
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (entry.rfind("HOME=", 0) == 0 || entry.rfind("XDG_", 0) == 0 || entry.rfind("CUPS_", 0) == 0) continue;
            m_env.push_back(entry);
        }
        m_env.push_back("HOME=" + (m_root / "home").string());
        m_env.push_back("XDG_RUNTIME_DIR=" + (m_root / "run").string());
        // No scheduler answers there: the program never reaches the machine's
        // CUPS; a test that prints starts its own and points this at it.
        m_env.push_back("CUPS_SERVER=" + (m_root / "no-cups.sock").string());
        if (!std::getenv("DISPLAY")) m_env.push_back("QT_QPA_PLATFORM=offscreen");
    }

    // Sets (or replaces) one variable of the program's environment.
    void set_env(const std::string& name, const std::string& value) {
        std::erase_if(m_env, [&](const std::string& e) { return e.rfind(name + "=", 0) == 0; });
        m_env.push_back(name + "=" + value);
    }

    void TearDown() override {
        if (m_first > 0) {
            ::kill(m_first, SIGKILL);
            ::waitpid(m_first, nullptr, 0);
        }
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    pid_t start(const std::vector<std::string>& words) {
        std::vector<std::string> args = {(m_root / "app" / "domora").string()};
        args.insert(args.end(), words.begin(), words.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& e : m_env) envp.push_back(e.data());
        envp.push_back(nullptr);
        pid_t pid = -1;
        EXPECT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()), 0);
        return pid;
    }

    // Exit status, or -1 when the process is still running after the limit.
    static int wait_for_exit(pid_t pid, std::chrono::seconds limit) {
        const auto until = std::chrono::steady_clock::now() + test::scaled(limit);
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }

    bool wait_for_log(const std::string& text, std::chrono::seconds limit) {
        return wait_for_condition([&] { return read(m_root / "app" / "status.log").find(text) != std::string::npos; }, limit);
    }

    // When the widget dump was last written; the program rewrites it on every full draw.
    static fs::file_time_type written_at(const fs::path& dump) {
        std::error_code ec;
        const fs::file_time_type at = fs::last_write_time(dump, ec);
        return ec ? fs::file_time_type::min() : at;
    }
    // Waits until the program has drawn the whole window again since the
    // moment given, as it does once it has taken keys sent before that moment
    // that change what a screen shows. (A click on a box may redraw less.)
    static bool wait_for_redraw(const fs::path& dump, fs::file_time_type since, std::chrono::seconds limit = 3s) {
        return wait_for_condition([&] { return written_at(dump) > since; }, limit, 20ms);
    }

    fs::path m_root;
    std::vector<std::string> m_env;
    pid_t m_first = -1;
};


struct DumpedWidget {
    int id = 0, kind = 0, x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::string text;
};

inline std::vector<DumpedWidget> parse_dump(const std::string& dump, int& screen) {
    std::vector<DumpedWidget> out;
    std::istringstream lines(dump);
    std::string line;
    screen = -1;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string first;
        std::getline(fields, first, '\t');
        if (first == "screen") {
            std::string code;
            std::getline(fields, code, '\t');
            screen = std::atoi(code.c_str());
            continue;
        }
        DumpedWidget w;
        w.id = std::atoi(first.c_str());
        std::string v[6];
        for (std::string& part : v) std::getline(fields, part, '\t');
        w.kind = std::atoi(v[0].c_str());
        w.x1 = std::atoi(v[1].c_str());
        w.y1 = std::atoi(v[2].c_str());
        w.x2 = std::atoi(v[3].c_str());
        w.y2 = std::atoi(v[4].c_str());
        std::getline(fields, w.text);
        out.push_back(w);
    }
    return out;
}


// Waits until the dump shows the screen (and popup state), returning its widgets.
inline std::vector<DumpedWidget> wait_for_screen(const std::filesystem::path& dump, int screen_code, std::chrono::seconds limit) {
    std::vector<DumpedWidget> table;
    const bool shown = wait_for_condition(
        [&] {
            int screen = -1;
            table = parse_dump(read(dump), screen);
            return screen == screen_code;
        },
        limit);
    return shown ? table : std::vector<DumpedWidget>{};
}

inline const DumpedWidget* find_widget(const std::vector<DumpedWidget>& table, int id) {
    for (const DumpedWidget& w : table) {
        if (w.id == id) return &w;
    }
    return nullptr;
}


// The text inside single quotes for the shell.
inline std::string escape_quotes(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out;
}

// True when the tests that drive the window by mouse and keyboard can run.
inline bool can_drive_window() {
    return std::getenv("DISPLAY") && std::system("command -v xdotool >/dev/null 2>&1") == 0;
}

// Runs xdotool against the program's visible window: "mousemove --window {} 10 20 click 1".
// The search waits for the window to be mapped, for a minute at most (scaled).
inline int xdotool_on(pid_t pid, const std::string& command) {
    const std::string line = "timeout " + std::to_string(scaled_seconds(std::chrono::seconds(60))) +
                             " xdotool search --sync --onlyvisible --pid " + std::to_string(pid) +
                             " | head -n 1 | xargs -r -I{} xdotool " + command +
                             "; s=(\"${PIPESTATUS[@]}\"); [ \"${s[0]}\" != 124 ] || exit 124; exit \"${s[2]}\"";
    return std::system(("bash -c '" + escape_quotes(line) + "'").c_str());
}

// Types into the focused window after giving the program's window the focus.
inline int xdotool_keys(pid_t pid, const std::string& command) {
    return xdotool_on(pid, "windowfocus --sync {} " + command);
}

}  // namespace domora::e2e
