// A laptop screen of 1024 x 768 with a 32-pixel panel at its bottom, under
// openbox on an X server of the test's own: the window fits the work area,
// carries its icon at every installed size, and the print settings screen's
// OK button is inside the window and works. The panel is a dock window the
// test makes itself, reserving its strip with _NET_WM_STRUT_PARTIAL.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstring>

#include "../test_env.h"
#include "addresses/address_store.h"
#include "e2e_support.h"
#include "programs.h"

namespace domora::e2e {
namespace {

using namespace std::chrono_literals;
using test::scaled;

constexpr int kScreenWide = 1024, kScreenHigh = 768, kPanelHigh = 32;

// A limit in whole seconds, stretched as the machine asks.

// Waits for a condition, checking every 50 ms, at most limit (scaled).
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + scaled(limit);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

class SmallScreen : public RealWindow {
protected:
    void TearDown() override {
        RealWindow::TearDown();
        if (m_x) xcb_disconnect(m_x);
        for (pid_t* pid : {&m_manager, &m_server}) {
            if (*pid > 0) {
                ::kill(*pid, SIGTERM);
                ::waitpid(*pid, nullptr, 0);
            }
        }
    }

    pid_t spawn_quiet(std::vector<std::string> args) { return spawn_program(std::move(args), m_env); }

    std::string x(const std::string& command) { return output_of("DISPLAY=" + m_display + " " + command + " 2>/dev/null"); }

    // Xvfb at 1024 x 768, openbox on it, and the panel; the work area is then the screen less the panel.
    void start_desktop() {
        for (int n = 380; n < 480 && m_server <= 0; ++n) {
            if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) || fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) continue;
            m_display = ":" + std::to_string(n);
            m_server = spawn_quiet({"Xvfb", m_display, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-r"});
        }
        ASSERT_GT(m_server, 0);
        const std::string socket = "/tmp/.X11-unix/X" + m_display.substr(1);
        ASSERT_TRUE(eventually([&] { return fs::exists(socket); }, 10s)) << "Xvfb did not start";
        std::erase_if(m_env, [](const std::string& e) { return e.rfind("DISPLAY=", 0) == 0 || e.rfind("QT_QPA_PLATFORM=", 0) == 0; });
        m_env.push_back("DISPLAY=" + m_display);
        ASSERT_TRUE(eventually([&] { return !x("xprop -root").empty(); }, 10s)) << "Xvfb does not answer";
        // openbox that meets a server still settling gives up; it is started again then.
        const std::string manager_errors = (m_root / "openbox.txt").string();
        ASSERT_TRUE(eventually([&] {
            if (m_manager > 0 && ::waitpid(m_manager, nullptr, WNOHANG) == m_manager) m_manager = -1;
            if (m_manager <= 0) m_manager = spawn_program({"openbox"}, m_env, manager_errors);
            return x("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos;
        }, 30s)) << "openbox did not take the screen: " << read(manager_errors);
        make_panel();
        // openbox claims the screen a moment before it manages new windows; a
        // panel mapped in that moment is shown unmanaged, so it is mapped again.
        bool reserved = false;
        for (int attempt = 0; attempt < 5 && !reserved; ++attempt) {
            if (attempt > 0) {
                xcb_unmap_window(m_x, m_panel);
                xcb_map_window(m_x, m_panel);
                xcb_flush(m_x);
            }
            reserved = eventually([&] { return x("xprop -root _NET_WORKAREA").find("0, 0, 1024, 736") != std::string::npos; }, 3s);
        }
        ASSERT_TRUE(reserved) << "the panel's strut did not shrink the work area: " << x("xprop -root _NET_WORKAREA");
    }

    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(m_x, xcb_intern_atom(m_x, 0, std::strlen(name), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(reply);
        return a;
    }

    // A dock across the bottom that reserves its 32 pixels, as a desktop panel does.
    void make_panel() {
        m_x = xcb_connect(m_display.c_str(), nullptr);
        ASSERT_EQ(xcb_connection_has_error(m_x), 0);
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data;
        const xcb_window_t panel = m_panel = xcb_generate_id(m_x);
        const std::uint32_t colour[] = {screen->black_pixel};
        xcb_create_window(m_x, XCB_COPY_FROM_PARENT, panel, screen->root, 0, kScreenHigh - kPanelHigh, kScreenWide, kPanelHigh, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, colour);
        const xcb_atom_t dock = atom("_NET_WM_WINDOW_TYPE_DOCK");
        xcb_change_property(m_x, XCB_PROP_MODE_REPLACE, panel, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1, &dock);
        // left, right, top, bottom, then the start and end of each edge's strip.
        const std::uint32_t strut[12] = {0, 0, 0, kPanelHigh, 0, 0, 0, 0, 0, 0, 0, kScreenWide - 1};
        xcb_change_property(m_x, XCB_PROP_MODE_REPLACE, panel, atom("_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL, 32, 12, strut);
        xcb_change_property(m_x, XCB_PROP_MODE_REPLACE, panel, atom("_NET_WM_STRUT"), XCB_ATOM_CARDINAL, 32, 4, strut);
        xcb_map_window(m_x, panel);
        xcb_flush(m_x);
    }

    std::string window_id(pid_t pid) {
        std::string id;
        eventually([&] {
            id = x("xdotool search --onlyvisible --pid " + std::to_string(pid) + " | head -n 1");
            while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
            return !id.empty();
        }, 30s);
        return id;
    }

    static int field(const std::string& xwininfo, const std::string& label) {
        const std::size_t at = xwininfo.find(label);
        return at == std::string::npos ? -100000 : std::atoi(xwininfo.c_str() + at + label.size());
    }

    std::vector<DumpedWidget> dumped() {
        int screen = -1;
        return parse_dump(read(m_root / "dump.txt"), screen);
    }

    std::string m_display;
    pid_t m_server = -1;
    pid_t m_manager = -1;
    xcb_connection_t* m_x = nullptr;
    xcb_window_t m_panel = 0;
};

TEST_F(SmallScreen, TheWindowFitsAboveThePanelAndThePrintSettingsOkButtonIsInsideAndWorks) {
    DOMORA_NEEDS(have("Xvfb") && have("openbox") && have("xdotool") && have("xprop") && have("xwininfo"),
                 "needs Xvfb, openbox, xdotool and x11-utils (scripts/bootstrap-test.sh)");
    start_desktop();
    if (HasFatalFailure()) return;
    AddressValues ann{};
    ann[0] = "Ann";
    ann[1] = "Lee";
    std::ofstream(m_root / "app" / "address10.dat", std::ios::binary) << build_address_record(1, true, 1, ann);
    m_env.push_back("DOMORA_WIDGET_DUMP=" + (m_root / "dump.txt").string());
    // A CUPS that has nothing to offer: the print settings start on "Save as PDF".
    m_env.push_back("CUPS_SERVER=" + (m_root / "no-cups.sock").string());

    m_first = start({"address"});
    const std::string id = window_id(m_first);
    ASSERT_FALSE(id.empty());
    ASSERT_FALSE(wait_for_screen(m_root / "dump.txt", 3, 60s).empty());

    // The whole frame above the panel: the window took the work area's height.
    std::string geometry;
    ASSERT_TRUE(eventually([&] {
        geometry = x("xwininfo -frame -id " + id);
        const int top = field(geometry, "Absolute upper-left Y:"), height = field(geometry, "Height:");
        return top >= 0 && top + height <= kScreenHigh - kPanelHigh;
    }, 15s)) << geometry;

    // The icon of the menu entry, at its installed sizes (Qt hands X up to 128 x 128 of them).
    const std::string icon = x("xprop -id " + id + " _NET_WM_ICON");
    for (const char* size : {"16 x 16", "24 x 24", "32 x 32", "48 x 48", "64 x 64", "128 x 128"}) {
        EXPECT_NE(icon.find(std::string("Icon (") + size + ")"), std::string::npos) << size;
    }

    // Print the one address in the first layout; the settings screen opens.
    x("xdotool windowfocus --sync " + id + " type p");
    ASSERT_TRUE(eventually([&] { return read(m_root / "dump.txt").find("Print Selected Addresses") != std::string::npos; }, 30s));
    x("xdotool windowfocus --sync " + id + " key Return");
    ASSERT_TRUE(eventually([&] { return read(m_root / "dump.txt").find("Print Settings - ") != std::string::npos; }, 30s))
        << read(m_root / "dump.txt");
    const std::vector<DumpedWidget> table = dumped();
    const DumpedWidget* ok = find_widget(table, 131);
    const DumpedWidget* behind = table.empty() ? nullptr : &table.front();  // the saved screen: the whole client area
    ASSERT_NE(ok, nullptr);
    ASSERT_NE(behind, nullptr);
    EXPECT_LE(ok->y2, behind->y2) << "OK is inside the client area";
    EXPECT_NE(read(m_root / "dump.txt").find("Printer: Save as PDF"), std::string::npos) << "no CUPS default, no printer at all";

    // Clicked where it shows, it prints: "Save as PDF" asks where to.
    x("xdotool mousemove --window " + id + " " + std::to_string((ok->x1 + ok->x2) / 2) + " " + std::to_string((ok->y1 + ok->y2) / 2) +
      " click 1");
    EXPECT_TRUE(eventually([&] { return find_widget(dumped(), 750) != nullptr; }, 30s)) << read(m_root / "dump.txt");
    ::kill(m_first, SIGTERM);
    EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
    m_first = -1;
}

TEST_F(SmallScreen, WithoutARuntimeFolderTheProgramMakesItsOwnAndQtDoesNotWarn) {
    DOMORA_NEEDS(have("Xvfb") && have("openbox") && have("xprop"), "needs Xvfb, openbox and x11-utils (scripts/bootstrap-test.sh)");
    start_desktop();
    if (HasFatalFailure()) return;
    std::erase_if(m_env, [](const std::string& e) { return e.rfind("XDG_RUNTIME_DIR=", 0) == 0; });
    fs::create_directories(m_root / "tmp");
    m_env.push_back("TMPDIR=" + (m_root / "tmp").string());
    m_env.push_back("DOMORA_WIDGET_DUMP=" + (m_root / "dump.txt").string());
    // Started with its error output in a file, the way a terminal shows it.
    const std::string err = (m_root / "stderr.txt").string();
    m_first = spawn_program({(m_root / "app" / "domora").string()}, m_env, err);
    ASSERT_GT(m_first, 0);
    ASSERT_FALSE(wait_for_screen(m_root / "dump.txt", 3, 60s).empty());
    ::kill(m_first, SIGTERM);
    EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
    m_first = -1;
    EXPECT_EQ(read(err).find("XDG_RUNTIME_DIR"), std::string::npos) << read(err);
    const fs::path own = m_root / "tmp" / ("domora-" + std::to_string(::getuid()));
    ASSERT_TRUE(fs::is_directory(own));
    EXPECT_EQ(fs::status(own).permissions() & fs::perms::all, fs::perms::owner_all) << "private to the user";
}

}  // namespace
}  // namespace domora::e2e
