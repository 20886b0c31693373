// The real window on an X server of its own: under a window manager (openbox)
// the window keeps its frame across starts, fits a smaller screen, takes a
// frame from a manager that starts after it without growing, and stays
// maximised under a popup; on a screen scaled by two it is drawn sharp.

#include <cstdio>
#include <map>
#include <thread>

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
    // Starts Xvfb on a free display, waits until it answers, and starts
    // openbox on it when asked; false when they are missing or never came up.
    bool start_server(const std::string& size, bool window_manager) {
        if (!have("Xvfb") || !have("xdotool") || !have("xprop") || (window_manager && !have("openbox"))) return false;
        for (int n = 150; n < 250 && m_server <= 0; ++n) {
            if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) || fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) continue;
            m_display = ":" + std::to_string(n);
            m_server = spawn({"Xvfb", m_display, "-screen", "0", size, "-nolisten", "tcp", "-r"});
            if (m_server <= 0) return false;
            // Answering, or gone: another test may have taken the number in between.
            bool gone = false;
            const bool answers = wait_for_condition(
                [&] {
                    gone = ::waitpid(m_server, nullptr, WNOHANG) == m_server;
                    return gone || x_ok("xprop -root _NET_SUPPORTING_WM_CHECK");
                },
                60s);
            if (gone || !answers) {
                if (!gone) {
                    ::kill(m_server, SIGKILL);
                    ::waitpid(m_server, nullptr, 0);
                }
                m_server = -1;
                if (!answers) return false;
            }
        }
        if (m_server <= 0) return false;
        std::erase_if(m_env, [](const std::string& e) { return e.rfind("DISPLAY=", 0) == 0 || e.rfind("QT_QPA_PLATFORM=", 0) == 0; });
        m_env.push_back("DISPLAY=" + m_display);
        if (window_manager) start_window_manager();
        return true;
    }

    // openbox, waited for until it owns the screen. A start that dies on the
    // way (a busy machine, a display not quite ready) is tried again.
    void start_window_manager() {
        std::string said;
        for (int attempt = 0; attempt < 5 && !window_manager_owns_screen(); ++attempt) {
            if (m_manager > 0) {
                ::kill(m_manager, SIGTERM);
                ::waitpid(m_manager, nullptr, 0);
            }
            if (attempt > 0) std::this_thread::sleep_for(test::scaled(std::chrono::milliseconds(250 * attempt)));
            const std::string log = (m_root / ("openbox-" + std::to_string(attempt) + ".log")).string();
            std::vector<std::string> env = m_env;
            m_manager = spawn_program({"openbox", "--sm-disable"}, env, log);
            if (m_manager <= 0) {
                said += "attempt " + std::to_string(attempt) + ": could not start openbox\n";
                continue;
            }
            bool gone = false;
            int status = 0;
            wait_for_condition(
                [&] {
                    gone = ::waitpid(m_manager, &status, WNOHANG) == m_manager;
                    return gone || window_manager_owns_screen();
                },
                60s);
            if (gone) {
                m_manager = -1;
                said += "attempt " + std::to_string(attempt) + ": openbox ended (status " + std::to_string(status) + "): " + read(log) + "\n";
            }
        }
        if (!window_manager_owns_screen()) ADD_FAILURE() << "openbox did not take the screen:\n" << said;
    }

    // The root window names the window manager's check window, which names
    // itself: the manager is running and has taken the screen.
    bool window_manager_owns_screen() {
        const std::string root = x("xprop -root -notype _NET_SUPPORTING_WM_CHECK");
        const std::size_t at = root.find("window id # ");
        if (at == std::string::npos) return false;
        const std::string id = root.substr(at + 12, root.find_first_of(" \n", at + 12) - at - 12);
        return x("xprop -id " + id + " -notype _NET_SUPPORTING_WM_CHECK").find("window id # " + id) != std::string::npos;
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
    bool x_ok(const std::string& command) {
        return std::system(("DISPLAY=" + m_display + " " + command + " >/dev/null 2>&1").c_str()) == 0;
    }

    // The program's visible window, once it is mapped.
    std::string window_id(pid_t pid) {
        std::string id;
        wait_for_condition(
            [&] {
                id = x("xdotool search --onlyvisible --pid " + std::to_string(pid) + " | head -n 1");
                while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
                return !id.empty();
            },
            30s);
        return id;
    }

    // Under a window manager: the window has its frame, and the manager and
    // the program have stopped moving it (the same geometry three times over).
    std::string settled_geometry(const std::string& id, bool framed) {
        if (framed) {
            EXPECT_TRUE(wait_for_condition([&] { return x("xprop -id " + id + " _NET_FRAME_EXTENTS").find(" = ") != std::string::npos; },
                                           30s))
                << "openbox never framed the window";
        }
        std::string last = x("xwininfo -id " + id);
        int same = 0;
        wait_for_condition(
            [&] {
                const std::string now = x("xwininfo -id " + id);
                same = now == last ? same + 1 : 0;
                last = now;
                return same >= 2;
            },
            30s, 100ms);
        return last;
    }

    // Starts the program, waits until its window has settled, ends it with a signal; the settings it saved.
    std::map<std::string, std::string> run_once(const std::vector<std::string>& words, std::string* geometry = nullptr) {
        m_first = start(words);
        EXPECT_TRUE(wait_for_log("Window State:", 60s));
        const std::string id = window_id(m_first);
        EXPECT_FALSE(id.empty());
        const std::string settled = settled_geometry(id, m_manager > 0);
        if (geometry) *geometry = settled;
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
    DOMORA_NEEDS(start_server("1600x1000x24", true), "needs Xvfb, openbox and xdotool");
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

TEST_F(OwnXServer, AWindowManagerThatArrivesLateFramesTheWindowWithoutGrowingIt) {
    DOMORA_NEEDS(start_server("1600x1000x24", false) && have("openbox"), "needs Xvfb, openbox and xdotool");
    std::ofstream(m_root / "app" / "setup313.dat", std::ios::binary)
        << entry("window_x", "40") + entry("window_y", "30") + entry("window_wide", "1200") + entry("window_high", "800");
    m_first = start({});
    ASSERT_TRUE(wait_for_log("Window State:", 60s));
    const std::string id = window_id(m_first);
    ASSERT_FALSE(id.empty());
    settled_geometry(id, false);
    // The desktop's manager comes up only now, as on a slow login, and takes in the window already shown.
    start_window_manager();
    ASSERT_TRUE(window_manager_owns_screen());
    const std::string geometry = settled_geometry(id, true);
    EXPECT_EQ(x("xwininfo -id " + id).find("Map State: IsViewable") != std::string::npos, true) << geometry;
    const int client_top = field(geometry, "Absolute upper-left Y:");
    EXPECT_GT(client_top, 0) << "a title bar above the client area: " << geometry;
    EXPECT_LE(field(geometry, "Absolute upper-left X:") + field(geometry, "Width:"), 1600) << geometry;
    EXPECT_LE(client_top + field(geometry, "Height:"), 1000) << geometry;
    ::kill(m_first, SIGTERM);
    EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
    m_first = -1;
    auto saved = settings_of(read(m_root / "app" / "setup313.dat"));
    EXPECT_EQ(saved["window_wide"], "1200") << "the window does not grow by the frame it was given";
    EXPECT_EQ(saved["window_high"], "800");
}

TEST_F(OwnXServer, AMaximisedWindowStaysMaximisedUnderAPopupAndKeepsItsNormalSize) {
    DOMORA_NEEDS(start_server("1600x1000x24", true), "needs Xvfb, openbox and xdotool");
    std::ofstream(m_root / "app" / "setup313.dat", std::ios::binary)
        << entry("window_x", "50") + entry("window_y", "60") + entry("window_wide", "1100") + entry("window_high", "780") +
               entry("window_state", "3");
    const fs::path dump = m_root / "dump.txt";
    m_env.push_back("DOMORA_WIDGET_DUMP=" + dump.string());
    m_first = start({"password"});  // the first-use prompt opens at once
    const std::string id = window_id(m_first);
    ASSERT_FALSE(id.empty());
    ASSERT_TRUE(wait_for_condition([&] { return read(dump).find("popup\t1") != std::string::npos; }, 30s)) << read(dump);
    // The window manager applies the maximised state on its own time; a busy
    // machine may take a while, so the state is waited for, not sampled once.
    std::string state, geometry;
    wait_for_condition(
        [&] {
            state = x("xprop -id " + id + " _NET_WM_STATE");
            geometry = x("xwininfo -id " + id);
            return state.find("_NET_WM_STATE_MAXIMIZED_VERT") != std::string::npos && field(geometry, "Width:") > 1500;
        },
        30s, 100ms);
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
    DOMORA_NEEDS(have("import") && have("convert"), "needs ImageMagick");
    DOMORA_NEEDS(start_server("3200x2000x24", false), "needs Xvfb and xdotool");
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
        x("xdotool mousemove --window " + id + " " + std::to_string(about->x1 + about->x2) + " " +
          std::to_string(about->y1 + about->y2) + " click 1");
        table = wait_for_screen(dump, 8, 10s);
    }
    const DumpedWidget* web = find_widget(table, 402);
    ASSERT_NE(web, nullptr);
    // The pointer away from the buttons; the picture is taken once the window
    // shows the same twice in a row, all drawn.
    x("xdotool mousemove --window " + id + " 4 1900");
    const fs::path shot = m_root / "shot.ppm";
    const std::string grab = "DISPLAY=" + m_display + " import -window " + id + " -depth 8 ppm:" + shot.string();
    std::string previous, picture;
    ASSERT_TRUE(wait_for_condition(
        [&] {
            previous = picture;
            picture = std::system(grab.c_str()) == 0 ? read(shot) : std::string();
            return !picture.empty() && picture == previous;
        },
        30s, 100ms));
    const Picture p = read_ppm(picture);
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
