// The real window on an X server of its own: under a window manager (openbox)
// the window keeps its frame across starts, fits a smaller screen and stays
// maximised under a popup; on a screen scaled by two it is drawn sharp.

#include <cstdio>
#include <map>

#include "e2e_support.h"
#include "programs.h"

namespace domora::e2e {
namespace {

using namespace std::chrono_literals;

// The entries of a settings file: name and value.
std::map<std::string, std::string> settings_of(const std::string& image) {
    std::map<std::string, std::string> out;
    std::size_t at = 0;
    auto number = [&](std::size_t pos, int bytes) {
        std::uint32_t v = 0;
        for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(image[pos + static_cast<std::size_t>(i)]);
        return static_cast<std::size_t>(v);
    };
    while (at + 8 <= image.size()) {
        const std::size_t n = number(at + 2, 2), v = number(at + 4, 4);
        if (number(at, 2) != 0xD431 || at + 8 + n + v > image.size()) {
            ++at;
            continue;
        }
        out[image.substr(at + 8, n)] = image.substr(at + 8 + n, v);
        at += 8 + n + v;
    }
    return out;
}

std::string entry(const std::string& name, const std::string& value) {
    std::string e(8, '\0');
    e[0] = '\x31';
    e[1] = '\xD4';
    e[2] = static_cast<char>(name.size());
    e[4] = static_cast<char>(value.size());
    return e + name + value;
}

class OwnXServer : public RealWindow {
protected:
    // Starts Xvfb on a free display (and openbox on it when asked); false when they are missing.
    bool start_server(const std::string& size, bool window_manager) {
        if (!have("Xvfb") || !have("xdotool") || (window_manager && !have("openbox"))) return false;
        for (int n = 150; n < 250; ++n) {
            if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) || fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) continue;
            m_display = ":" + std::to_string(n);
            m_server = spawn({"Xvfb", m_display, "-screen", "0", size, "-nolisten", "tcp"});
            for (int i = 0; i < 100 && !fs::exists("/tmp/.X11-unix/X" + std::to_string(n)); ++i) std::this_thread::sleep_for(50ms);
            break;
        }
        if (m_server <= 0) return false;
        std::erase_if(m_env, [](const std::string& e) { return e.rfind("DISPLAY=", 0) == 0 || e.rfind("QT_QPA_PLATFORM=", 0) == 0; });
        m_env.push_back("DISPLAY=" + m_display);
        if (window_manager) {
            m_manager = spawn({"openbox"});
            // openbox is ready once it has claimed the screen's window manager
            // selection; on a busy machine that has taken more than five seconds.
            bool claimed = false;
            for (int i = 0; i < 600 && !claimed; ++i) {
                claimed = output_of("DISPLAY=" + m_display + " xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null").find("window id") !=
                          std::string::npos;
                if (!claimed) std::this_thread::sleep_for(50ms);
            }
            if (!claimed) ADD_FAILURE() << "openbox did not take the screen within 30 s";
        }
        return true;
    }

    void TearDown() override {
        RealWindow::TearDown();
        for (pid_t* pid : {&m_manager, &m_server}) {
            if (*pid > 0) {
                ::kill(*pid, SIGTERM);
                ::waitpid(*pid, nullptr, 0);
                *pid = -1;
            }
        }
    }

    pid_t spawn(std::vector<std::string> args) {
        std::vector<std::string> env = m_env;
        env.push_back("DISPLAY=" + m_display);
        return spawn_program(std::move(args), std::move(env));
    }

    std::string x(const std::string& command) { return output_of("DISPLAY=" + m_display + " " + command + " 2>/dev/null"); }

    // The program's visible window, once it is mapped.
    std::string window_id(pid_t pid) {
        for (int i = 0; i < 200; ++i) {
            std::string id = x("xdotool search --onlyvisible --pid " + std::to_string(pid) + " | head -n 1");
            while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
            if (!id.empty()) return id;
            std::this_thread::sleep_for(50ms);
        }
        return {};
    }

    // Starts the program, lets it settle, ends it with a signal; the settings it saved.
    std::map<std::string, std::string> run_once(const std::vector<std::string>& words, std::string* geometry = nullptr) {
        m_first = start(words);
        EXPECT_TRUE(wait_for_log("Window State:", 60s));
        const std::string id = window_id(m_first);
        EXPECT_FALSE(id.empty());
        std::this_thread::sleep_for(1500ms);
        if (geometry) *geometry = x("xwininfo -id " + id);
        ::kill(m_first, SIGTERM);
        EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
        m_first = -1;
        return settings_of(read(m_root / "app" / "setup313.dat"));
    }

    static int field(const std::string& xwininfo, const std::string& label) {
        const std::size_t at = xwininfo.find(label);
        return at == std::string::npos ? -100000 : std::atoi(xwininfo.c_str() + at + label.size());
    }

    std::string m_display;
    pid_t m_server = -1;
    pid_t m_manager = -1;
};

TEST_F(OwnXServer, UnderOpenboxTheFrameGoesRoundTripAndFitsASmallerScreen) {
    if (!start_server("1600x1000x24", true)) GTEST_SKIP() << "needs Xvfb, openbox and xdotool";
    std::ofstream(m_root / "app" / "setup313.dat", std::ios::binary)
        << entry("window_x", "40") + entry("window_y", "30") + entry("window_wide", "1200") + entry("window_high", "800");
    for (int start = 0; start < 3; ++start) {
        std::string geometry;
        auto saved = run_once({}, &geometry);
        EXPECT_EQ(saved["window_x"], "40") << "start " << start;
        EXPECT_EQ(saved["window_y"], "30") << "start " << start;
        EXPECT_EQ(saved["window_wide"], "1200") << "start " << start << ": the window does not grow by its frame";
        EXPECT_EQ(saved["window_high"], "800") << "start " << start;
        EXPECT_LT(field(geometry, "Width:"), 1200) << "the client is the frame less its borders";
    }

    // Saved on a larger screen, and on first start: the whole frame, title bar included, is on this one.
    for (const std::string& settings : {entry("window_x", "900") + entry("window_y", "-50") + entry("window_wide", "2400") +
                                            entry("window_high", "1500"),
                                        std::string()}) {
        fs::remove(m_root / "app" / "setup313.dat");
        if (!settings.empty()) std::ofstream(m_root / "app" / "setup313.dat", std::ios::binary) << settings;
        std::string geometry;
        auto saved = run_once({}, &geometry);
        EXPECT_LE(std::stoi(saved["window_wide"]), 1600);
        EXPECT_LE(std::stoi(saved["window_high"]), 1000);
        EXPECT_GE(std::stoi(saved["window_y"]), 0);
        const int client_top = field(geometry, "Absolute upper-left Y:");
        const int client_left = field(geometry, "Absolute upper-left X:");
        EXPECT_GT(client_top, 0) << "a title bar fits above the client area: " << geometry;
        EXPECT_LE(client_left + field(geometry, "Width:"), 1600) << geometry;
        EXPECT_LE(client_top + field(geometry, "Height:"), 1000) << geometry;
    }
}

TEST_F(OwnXServer, AMaximisedWindowStaysMaximisedUnderAPopupAndKeepsItsNormalSize) {
    if (!start_server("1600x1000x24", true)) GTEST_SKIP() << "needs Xvfb, openbox and xdotool";
    std::ofstream(m_root / "app" / "setup313.dat", std::ios::binary)
        << entry("window_x", "50") + entry("window_y", "60") + entry("window_wide", "1100") + entry("window_high", "780") +
               entry("window_state", "3");
    const fs::path dump = m_root / "dump.txt";
    m_env.push_back("DOMORA_WIDGET_DUMP=" + dump.string());
    m_first = start({"password"});  // the first-use prompt opens at once
    const std::string id = window_id(m_first);
    ASSERT_FALSE(id.empty());
    const auto until = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < until && read(dump).find("popup\t1") == std::string::npos) std::this_thread::sleep_for(50ms);
    ASSERT_NE(read(dump).find("popup\t1"), std::string::npos) << read(dump);
    // The window manager applies the maximised state on its own time; a busy
    // machine may take a while, so the state is waited for, not sampled once.
    std::string state, geometry;
    const auto until_state = std::chrono::steady_clock::now() + 15s;
    do {
        std::this_thread::sleep_for(250ms);
        state = x("xprop -id " + id + " _NET_WM_STATE");
        geometry = x("xwininfo -id " + id);
    } while (std::chrono::steady_clock::now() < until_state &&
             (state.find("_NET_WM_STATE_MAXIMIZED_VERT") == std::string::npos || field(geometry, "Width:") <= 1500));
    EXPECT_NE(state.find("_NET_WM_STATE_MAXIMIZED_VERT"), std::string::npos) << "opening a popup leaves the window maximised";
    EXPECT_GT(field(geometry, "Width:"), 1500) << geometry;
    ::kill(m_first, SIGTERM);
    EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
    m_first = -1;
    auto saved = settings_of(read(m_root / "app" / "setup313.dat"));
    EXPECT_EQ(saved["window_state"], "3");
    EXPECT_EQ(saved["window_wide"], "1100") << "the normal size is kept";
    EXPECT_EQ(saved["window_high"], "780");
    EXPECT_EQ(saved["window_x"], "50");
}

// A binary PPM's pixel at (x, y), as 0xRRGGBB.
struct Picture {
    int width = 0, height = 0;
    std::string data;
    std::uint32_t at(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
        return static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << 16 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(data[i + 1])) << 8 | static_cast<unsigned char>(data[i + 2]);
    }
};

Picture read_ppm(const std::string& bytes) {
    Picture p;
    std::istringstream in(bytes);
    std::string magic;
    int max = 0;
    in >> magic >> p.width >> p.height >> max;
    in.get();
    if (magic != "P6" || max != 255) return Picture{};
    p.data = bytes.substr(static_cast<std::size_t>(in.tellg()));
    if (p.data.size() < static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height) * 3) return Picture{};
    return p;
}

TEST_F(OwnXServer, OnAScreenScaledByTwoLinesAreTwoPixelsAndTextIsDrawnAtFullResolution) {
    if (!have("import") || !have("convert")) GTEST_SKIP() << "needs ImageMagick";
    if (!start_server("3200x2000x24", false)) GTEST_SKIP() << "needs Xvfb and xdotool";
    m_env.push_back("QT_SCALE_FACTOR=2");
    const fs::path dump = m_root / "dump.txt";
    m_env.push_back("DOMORA_WIDGET_DUMP=" + dump.string());
    m_first = start({});
    ASSERT_FALSE(wait_for_screen(dump, 3, 60s).empty());
    const std::string id = window_id(m_first);
    ASSERT_FALSE(id.empty());
    int screen = -1;
    const std::vector<DumpedWidget> first = parse_dump(read(dump), screen);
    const DumpedWidget* about = find_widget(first, 8);
    ASSERT_NE(about, nullptr);
    // The widget table is in logical pixels; the X server counts device pixels.
    std::vector<DumpedWidget> table;
    for (int attempt = 0; attempt < 3 && table.empty(); ++attempt) {
        std::this_thread::sleep_for(500ms);
        x("xdotool mousemove --window " + id + " " + std::to_string(about->x1 + about->x2) + " " +
          std::to_string(about->y1 + about->y2) + " click 1 sleep 0.3 mousemove --window " + id + " 4 1900");
        table = wait_for_screen(dump, 8, 10s);
    }
    const DumpedWidget* web = find_widget(table, 402);
    ASSERT_NE(web, nullptr);
    std::this_thread::sleep_for(800ms);
    const fs::path shot = m_root / "shot.ppm";
    ASSERT_EQ(std::system(("DISPLAY=" + m_display + " import -window " + id + " -depth 8 ppm:" + shot.string()).c_str()), 0);
    const Picture p = read_ppm(read(shot));
    ASSERT_GT(p.width, 2 * web->x2);

    // The button's one-pixel outline: two device pixels wide, with crisp neighbours on both sides.
    const int mid = web->y1 + web->y2;  // the middle row, in device pixels
    const std::uint32_t border = 0x3F738B;
    EXPECT_EQ(p.at(2 * web->x1, mid), border);
    EXPECT_EQ(p.at(2 * web->x1 + 1, mid), border);
    EXPECT_NE(p.at(2 * web->x1 - 1, mid), border);
    EXPECT_NE(p.at(2 * web->x1 + 2, mid), border);

    // The caption drawn at device resolution: its edges do not fall on whole logical pixels,
    // which a surface drawn at half the size and stretched would make them.
    int uneven = 0, inked = 0;
    for (int y = 2 * web->y1 + 4; y + 1 < 2 * web->y2 - 4; y += 2) {
        for (int x = 2 * web->x1 + 4; x + 1 < 2 * web->x2 - 4; x += 2) {
            const std::uint32_t a = p.at(x, y), b = p.at(x + 1, y), c = p.at(x, y + 1), d = p.at(x + 1, y + 1);
            const auto dark = [](std::uint32_t v) { return (v & 0xFF) < 0x80; };
            if (!dark(a) && !dark(b) && !dark(c) && !dark(d)) continue;
            ++inked;
            if (a != b || a != c || a != d) ++uneven;
        }
    }
    EXPECT_GT(inked, 20) << "the caption is there";
    EXPECT_GT(uneven, 20) << "text edges fall between logical pixels";
}

}  // namespace
}  // namespace domora::e2e
