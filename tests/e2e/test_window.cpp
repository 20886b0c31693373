// Starts the real program as a user would: a portable copy in its own
// folder, a second start while it runs, and an ending by signal.
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
#include <thread>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class RealWindow : public ::testing::TestWithParam<int> {
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
            if (entry.rfind("HOME=", 0) == 0 || entry.rfind("XDG_", 0) == 0) continue;
            m_env.push_back(entry);
        }
        m_env.push_back("HOME=" + (m_root / "home").string());
        m_env.push_back("XDG_RUNTIME_DIR=" + (m_root / "run").string());
        if (!std::getenv("DISPLAY")) m_env.push_back("QT_QPA_PLATFORM=offscreen");
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
        const auto until = std::chrono::steady_clock::now() + limit;
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
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            if (read(m_root / "app" / "status.log").find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    fs::path m_root;
    std::vector<std::string> m_env;
    pid_t m_first = -1;
};

TEST_P(RealWindow, RefusesASecondStartAndEndsInOrderOnASignal) {
    std::ofstream(m_root / "app" / "Temp.dat") << "scratch";
    m_first = start({"vehicle"});
    ASSERT_TRUE(wait_for_log("Window State:", 60s)) << read(m_root / "app" / "status.log");

    const pid_t second = start({});
    EXPECT_EQ(wait_for_exit(second, 60s), 0) << "the second start ends silently";
    EXPECT_EQ(::kill(m_first, 0), 0) << "the first keeps running";
    EXPECT_EQ(read(m_root / "app" / "status.log").find("Domora 3.16 Status Log"), 0u)
        << "the second start left the first one's log alone";

    ::kill(m_first, GetParam());
    EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
    m_first = -1;

    const std::string log = read(m_root / "app" / "status.log");
    EXPECT_EQ(log.rfind("Domora 3.16 Status Log\r\n\r\nProgram Files 1 - ", 0), 0u) << log;
    EXPECT_NE(log.find("Data Path - " + (m_root / "app").string() + "/\r\n"), std::string::npos) << log;
    const std::string settings = read(m_root / "app" / "setup313.dat");
    ASSERT_GT(settings.size(), 24u);
    EXPECT_EQ(settings.substr(settings.size() - 22, 6), "verify");
    EXPECT_EQ(settings.substr(settings.size() - 16).find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_FALSE(fs::exists(m_root / "app" / "Temp.dat"));
}

// ---- a user's clicks, through the X server --------------------------------------------------

struct DumpedWidget {
    int id = 0, kind = 0, x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::string text;
};

std::vector<DumpedWidget> parse_dump(const std::string& dump, int& screen) {
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

class ClickThrough : public RealWindow {};

TEST_F(ClickThrough, TheAboutTabShowsTheMakersButtons) {
    if (!std::getenv("DISPLAY") || std::system("command -v xdotool >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs an X display and xdotool";
    }
    const fs::path dump = m_root / "dump.txt";
    m_env.push_back("DOMORA_WIDGET_DUMP=" + dump.string());
    m_first = start({});
    int screen = -1;
    std::vector<DumpedWidget> table;
    const auto until = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < until) {
        table = parse_dump(read(dump), screen);
        if (screen == 3) break;
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_EQ(screen, 3) << "the Addresses screen comes first";
    const auto about = std::find_if(table.begin(), table.end(), [](const DumpedWidget& w) { return w.id == 8; });
    ASSERT_NE(about, table.end());
    const std::string click = "xdotool search --sync --onlyvisible --pid " + std::to_string(m_first) +
                              " | head -n 1 | xargs -I{} xdotool mousemove --window {} " +
                              std::to_string((about->x1 + about->x2) / 2) + " " + std::to_string((about->y1 + about->y2) / 2) +
                              " click 1";
    ASSERT_EQ(std::system(click.c_str()), 0);
    const auto until_about = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < until_about) {
        table = parse_dump(read(dump), screen);
        if (screen == 8) break;
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_EQ(screen, 8) << read(dump);
    for (const char* caption : {"Web Page", "Contact Us", "Help", "Newsletter"}) {
        EXPECT_TRUE(std::any_of(table.begin(), table.end(),
                                [&](const DumpedWidget& w) { return w.kind == 4 && w.text == caption; }))
            << caption;
    }

    ::kill(m_first, SIGTERM);
    EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
    m_first = -1;
    const std::string settings = read(m_root / "app" / "setup313.dat");
    ASSERT_GT(settings.size(), 24u);
    EXPECT_EQ(settings.substr(settings.size() - 22, 6), "verify");
    const std::string log = read(m_root / "app" / "status.log");
    EXPECT_EQ(log.rfind("Domora 3.16 Status Log\r\n", 0), 0u);
    EXPECT_NE(log.find("Window State:  1\r\n"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Signals, RealWindow, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& signal) {
                             return std::string(signal.param == SIGTERM ? "Term" : signal.param == SIGINT ? "Int" : "Hup");
                         });

}  // namespace
