// A first visit to the Passwords screen in the real program: the master
// password is set and a record added with the keyboard alone, and the
// strong file it makes must then open, with PyNaCl rather than our own
// code, to exactly the image the format describes. And the desktop's
// screensaver, on a private session bus, locks the passwords.
#include "../test_env.h"
#include "e2e_support.h"

namespace domora::e2e {
namespace {

using namespace std::chrono_literals;

using PasswordWindow = RealWindow;

std::string hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

std::string u32(std::uint32_t v) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
    return out;
}

// Waits until the widget dump holds a widget with this text.
bool wait_for_text(const fs::path& dump, const std::string& text, std::chrono::seconds limit) {
    const auto until = std::chrono::steady_clock::now() + test::scaled(limit);
    while (std::chrono::steady_clock::now() < until) {
        if (read(dump).find("\t" + text + "\n") != std::string::npos) return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

bool wait_for_size(const fs::path& file, std::uintmax_t larger_than, std::chrono::seconds limit) {
    const auto until = std::chrono::steady_clock::now() + test::scaled(limit);
    while (std::chrono::steady_clock::now() < until) {
        std::error_code ignored;
        if (fs::exists(file) && fs::file_size(file, ignored) > larger_than) return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

// No bus of the machine's: the program finds none, or the test's own.
void use_bus(std::vector<std::string>& env, const fs::path& root, const std::string& session) {
    std::erase_if(env, [](const std::string& e) { return e.rfind("DBUS_", 0) == 0; });
    env.push_back("DBUS_SESSION_BUS_ADDRESS=" + (session.empty() ? "unix:path=" + (root / "run" / "no-bus").string() : session));
    env.push_back("DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + (root / "run" / "no-system-bus").string());
}

TEST_F(PasswordWindow, AMasterPasswordAndARecordTypedInGiveAStrongFilePyNaClCanOpen) {
    DOMORA_NEEDS(can_drive_window(), "needs an X display and xdotool");
    DOMORA_NEEDS(std::system("/usr/bin/python3 -c 'import nacl.pwhash' 2>/dev/null") == 0, "needs python3-nacl");
    const fs::path dump = m_root / "dump.txt";
    const fs::path file = m_root / "app" / "password20.dat";
    m_env.push_back("DOMORA_WIDGET_DUMP=" + dump.string());
    use_bus(m_env, m_root, "");
    m_first = start({"password"});
    ASSERT_TRUE(wait_for_text(dump, "Master Password:", 60s)) << "first use asks for a new master password\n" << read(dump);

    const std::string master = "Tr0ub4dor";
    ASSERT_EQ(xdotool_keys(m_first, "type --delay 40 '" + master + "'"), 0);
    ASSERT_EQ(xdotool_keys(m_first, "key Tab"), 0);
    ASSERT_EQ(xdotool_keys(m_first, "type --delay 40 '" + master + "'"), 0);
    ASSERT_EQ(xdotool_keys(m_first, "key Return"), 0);
    // The cost is measured on this machine first: a few seconds.
    ASSERT_TRUE(wait_for_size(file, 0, 60s)) << "an empty store is written at once";
    ASSERT_TRUE(wait_for_text(dump, "0 Passwords", 30s)) << read(dump);
    EXPECT_FALSE(fs::exists(m_root / "app" / "password10.dat")) << "a new store is strong";

    // "a" presses Add by its mnemonic.
    ASSERT_EQ(xdotool_keys(m_first, "type a"), 0);
    ASSERT_TRUE(wait_for_text(dump, "Add Password", 30s)) << read(dump);
    ASSERT_EQ(xdotool_keys(m_first, "type --delay 40 'Bank'"), 0);
    ASSERT_EQ(xdotool_keys(m_first, "key Return"), 0);
    ASSERT_EQ(xdotool_keys(m_first, "type --delay 40 'User: jo'"), 0);
    ASSERT_EQ(xdotool_keys(m_first, "key Return"), 0);
    ASSERT_EQ(xdotool_keys(m_first, "type --delay 40 'Password: s3cret'"), 0);
    // Enter on the last of the 16 fields saves the form.
    for (int i = 0; i < 14; ++i) ASSERT_EQ(xdotool_keys(m_first, "key Return"), 0);
    ASSERT_TRUE(wait_for_text(dump, "1 Passwords", 30s)) << read(dump);
    EXPECT_NE(read(dump).find("\ts3cret\n"), std::string::npos) << "the record's value is shown";

    const fs::path plain = m_root / "plain.hex";
    const std::string command = std::string("/usr/bin/python3 ") + DOMORA_STRONG_READER + " --dump '" + file.string() + "' '" +
                                master + "' > '" + plain.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);

    std::string expected(1, static_cast<char>(master.size()));
    expected += master;
    expected.resize(256, '\0');
    std::string body = std::string("Bank") + '\0' + "User: jo" + '\0' + "Password: s3cret" + '\0' + std::string(13, '\0');
    expected += u32(static_cast<std::uint32_t>(14 + body.size())) + "MSRI" + u32(1) + '\x02' + '\0' + body;
    expected.resize((expected.size() + 15) / 16 * 16, '\0');
    EXPECT_EQ(read(plain), hex(expected) + "\n");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    ::kill(m_first, SIGTERM);
    EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
    m_first = -1;
    const std::string log = read(m_root / "app" / "status.log");
    EXPECT_EQ(log.find(master), std::string::npos) << "the status log never holds the master password";
}

TEST_F(PasswordWindow, TheScreensaverStartingLocksThePasswords) {
    DOMORA_NEEDS(can_drive_window(), "needs an X display and xdotool");
    DOMORA_NEEDS(std::system("command -v dbus-daemon >/dev/null && command -v dbus-send >/dev/null") == 0,
                 "needs dbus-daemon and dbus-send");
    DOMORA_NEEDS(std::system("/usr/bin/python3 -c 'import nacl.pwhash' 2>/dev/null") == 0, "needs python3-nacl");
    // A session bus of the test's own, stopped by its process id.
    const std::string bus = "unix:path=" + (m_root / "run" / "bus").string();
    const std::string daemon_pid = (m_root / "run" / "bus.pid").string();
    const std::string start_bus = "dbus-daemon --session --fork --address=" + bus + " --print-pid > '" + daemon_pid + "'";
    ASSERT_EQ(std::system(start_bus.c_str()), 0);
    const pid_t daemon = std::atoi(read(daemon_pid).c_str());
    ASSERT_GT(daemon, 0);
    struct StopBus {
        pid_t pid;
        ~StopBus() { ::kill(pid, SIGTERM); }
    } stop_bus{daemon};

    const fs::path file = m_root / "app" / "password20.dat";
    const std::string write_file = std::string("/usr/bin/python3 ") + DOMORA_STRONG_READER + " --write '" + file.string() + "' 'pw'";
    ASSERT_EQ(std::system(write_file.c_str()), 0);
    const fs::path dump = m_root / "dump.txt";
    m_env.push_back("DOMORA_WIDGET_DUMP=" + dump.string());
    use_bus(m_env, m_root, bus);
    m_first = start({"password"});
    ASSERT_TRUE(wait_for_text(dump, "Please Enter Your Master Password", 60s)) << read(dump);
    ASSERT_EQ(xdotool_keys(m_first, "type --delay 40 'pw'"), 0);
    ASSERT_EQ(xdotool_keys(m_first, "key Return"), 0);
    ASSERT_TRUE(wait_for_text(dump, "2 Passwords", 30s)) << read(dump);

    const std::string signal = "dbus-send --bus=" + bus +
                               " --type=signal /org/freedesktop/ScreenSaver org.freedesktop.ScreenSaver.ActiveChanged boolean:true";
    ASSERT_EQ(std::system(signal.c_str()), 0);
    ASSERT_TRUE(wait_for_log("Passwords Locked: the session was locked", 30s)) << read(m_root / "app" / "status.log");
    ASSERT_TRUE(wait_for_text(dump, "Please Enter Your Master Password", 30s)) << read(dump);

    ::kill(m_first, SIGTERM);
    EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
    m_first = -1;
}

}  // namespace
}  // namespace domora::e2e
