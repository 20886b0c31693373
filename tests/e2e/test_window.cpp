// Starts the real program as a user would: a portable copy in its own
// folder, a second start while it runs, an ending by signal, and a click
// through the X server.
#include "e2e_support.h"

namespace domora::e2e {
namespace {

using namespace std::chrono_literals;

class Signals : public RealWindow, public ::testing::WithParamInterface<int> {};

TEST_P(Signals, RefusesASecondStartAndEndsInOrderOnASignal) {
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

using ClickThrough = RealWindow;

TEST_F(ClickThrough, TheAboutTabShowsTheMakersButtons) {
    DOMORA_NEEDS(can_drive_window(), "needs an X display and xdotool");
    const fs::path dump = m_root / "dump.txt";
    m_env.push_back("DOMORA_WIDGET_DUMP=" + dump.string());
    m_first = start({});
    int screen = -1;
    std::vector<DumpedWidget> table;
    const auto until = std::chrono::steady_clock::now() + test::scaled(60s);
    while (std::chrono::steady_clock::now() < until) {
        table = parse_dump(read(dump), screen);
        if (screen == 3) break;
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_EQ(screen, 3) << "the Addresses screen comes first";
    const auto about = std::find_if(table.begin(), table.end(), [](const DumpedWidget& w) { return w.id == 8; });
    ASSERT_NE(about, table.end());
    const std::string click = "mousemove --window {} " + std::to_string((about->x1 + about->x2) / 2) + " " +
                              std::to_string((about->y1 + about->y2) / 2) + " click 1";
    // A click that lands while the window is still being mapped is lost;
    // clicking the tab again does no harm, so a few tries are allowed.
    for (int attempt = 0; attempt < 3 && screen != 8; ++attempt) {
        ASSERT_EQ(xdotool_on(m_first, click), 0);
        const auto until_about = std::chrono::steady_clock::now() + test::scaled(10s);
        while (std::chrono::steady_clock::now() < until_about) {
            table = parse_dump(read(dump), screen);
            if (screen == 8) break;
            std::this_thread::sleep_for(50ms);
        }
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

INSTANTIATE_TEST_SUITE_P(Signals, Signals, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& signal) {
                             return std::string(signal.param == SIGTERM ? "Term" : signal.param == SIGINT ? "Int" : "Hup");
                         });

}  // namespace
}  // namespace domora::e2e
