// The real program heard through AT-SPI: a private X server and session bus
// with the AT-SPI registry (a11y_session.sh), and python3-pyatspi walking the
// tree and adding an address without a mouse or keyboard (atspi_check.py).
#include "../test_env.h"
#include <fcntl.h>

#include "e2e_support.h"

namespace domora::e2e {
namespace {

using namespace std::chrono_literals;

bool have(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

class ScreenReader : public RealWindow {};

TEST_F(ScreenReader, WalksTheTreeAndAddsAnAddressThroughAtSpiAlone) {
    DOMORA_NEEDS(have("command -v Xvfb") && have("command -v xdotool"), "needs Xvfb and xdotool");
    DOMORA_NEEDS(have("command -v dbus-run-session") && have("test -x /usr/libexec/at-spi-bus-launcher"),
                 "needs dbus-run-session and at-spi2-core");
    DOMORA_NEEDS(have("/usr/bin/python3 -c 'import pyatspi'"), "needs python3-pyatspi");
    // Ann Baker and Ben Cole.
    fs::copy_file(DOMORA_E2E_DIR "/../data/address_two_people.dat", m_root / "app" / "address10.dat");
    std::vector<std::string> args = {DOMORA_E2E_DIR "/a11y_session.sh", m_root.string(), "/usr/bin/python3",
                                     DOMORA_E2E_DIR "/atspi_check.py", (m_root / "app" / "domora").string(),
                                     (m_root / "app").string()};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (const std::string& e : m_env) {
        if (e.rfind("DISPLAY=", 0) != 0 && e.rfind("QT_QPA_PLATFORM=", 0) != 0) env.push_back(e);
    }
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string log = (m_root / "check.log").string();
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&files);
    const auto limit = std::chrono::duration_cast<std::chrono::seconds>(test::scaled(240s));
    const int status = wait_for_exit(pid, limit);
    if (status < 0) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    const std::string output = read(log);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("all checks passed"), std::string::npos) << output;
    EXPECT_EQ(output.find("FAIL"), std::string::npos) << output;
    // The record the client added is in the file, after the two that were there.
    const std::string file = read(m_root / "app" / "address10.dat");
    EXPECT_NE(file.find(std::string("Zelda") + '\0' + "Ames" + '\0'), std::string::npos);
}

}  // namespace
}  // namespace domora::e2e
