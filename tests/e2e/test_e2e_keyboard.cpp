// Everyday tasks in the real window with the keyboard alone, sent by xdotool
// as a user's keys: every tab, and an address typed in and exported to a
// vCard file named in the file browser, read back by python3-vobject.
#include "../test_env.h"
#include "e2e_support.h"

namespace domora::e2e {
namespace {

using namespace std::chrono_literals;
using test::scaled;

// Waits until the condition holds, looking every 50 ms.
template <class Condition>
bool wait_until(Condition condition, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        if (condition()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

// The first line of the widget dump: which screen shows, and whether a popup is open.
std::string dump_state(const fs::path& dump) {
    const std::string text = read(dump);
    return text.substr(0, text.find('\n'));
}

std::string state(int screen, int popup) {
    return "screen\t" + std::to_string(screen) + "\tpopup\t" + std::to_string(popup);
}

bool has_text(const fs::path& dump, const std::string& text) { return read(dump).find("\t" + text + "\n") != std::string::npos; }

class Keyboard : public RealWindow {
protected:
    void SetUp() override {
        RealWindow::SetUp();
        m_dump = m_root / "dump.txt";
        m_env.push_back("DOMORA_WIDGET_DUMP=" + m_dump.string());
    }
    // Starts the program and waits until its Addresses screen shows and its
    // window has the keyboard: keys sent before would go elsewhere.
    bool start_with_keyboard() {
        m_first = start({});
        if (!wait_until([&] { return dump_state(m_dump) == state(3, 0); }, scaled(60s))) return false;
        const std::string focused = "test \"$(xdotool getwindowfocus 2>/dev/null)\" = \"$(xdotool search --onlyvisible --pid " +
                                    std::to_string(m_first) + " | head -n 1)\"";
        return wait_until([&] { return xdotool_on(m_first, "windowfocus --sync {}") == 0 && std::system(focused.c_str()) == 0; },
                          scaled(30s));
    }
    // Sends keys to the program's window; the dump then has to reach the state.
    bool keys_to(const std::string& keys, int screen, int popup) {
        if (xdotool_keys(m_first, "key --delay 80 " + keys) != 0) return false;
        return wait_until([&] { return dump_state(m_dump) == state(screen, popup); }, scaled(30s));
    }
    void quit() {
        ::kill(m_first, SIGTERM);
        EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
        m_first = -1;
    }
    fs::path m_dump;
};

TEST_F(Keyboard, EveryTabIsReachedByKeys) {
    DOMORA_NEEDS(can_drive_window(), "needs an X display and xdotool");
    ASSERT_TRUE(start_with_keyboard()) << read(m_dump);

    // The Passwords screen asks for a first master password; Alt+C is Cancel, not a typed c.
    ASSERT_TRUE(keys_to("ctrl+Next", 5, 1)) << dump_state(m_dump);
    ASSERT_TRUE(keys_to("alt+c", 5, 0)) << dump_state(m_dump);
    ASSERT_TRUE(keys_to("ctrl+Tab", 6, 0)) << dump_state(m_dump);
    ASSERT_TRUE(keys_to("ctrl+Next", 7, 0)) << dump_state(m_dump);
    ASSERT_TRUE(keys_to("ctrl+Next", 8, 0)) << dump_state(m_dump);
    ASSERT_TRUE(keys_to("ctrl+Next", 3, 0)) << "the last tab wraps to the first";
    ASSERT_TRUE(keys_to("ctrl+Prior", 8, 0)) << dump_state(m_dump);
    ASSERT_TRUE(keys_to("ctrl+shift+Tab", 7, 0)) << dump_state(m_dump);
    ASSERT_TRUE(keys_to("alt+3", 6, 0)) << dump_state(m_dump);
    ASSERT_TRUE(keys_to("alt+1", 3, 0)) << dump_state(m_dump);
    quit();
}

TEST_F(Keyboard, AnAddressTypedInGoesToAVcardFileNamedInTheFileBrowser) {
    DOMORA_NEEDS(can_drive_window(), "needs an X display and xdotool");
    DOMORA_NEEDS(std::system("/usr/bin/python3 -c 'import vobject' 2>/dev/null") == 0, "needs python3-vobject");
    ASSERT_TRUE(start_with_keyboard()) << read(m_dump);

    // Add by its mnemonic; the form saves with Ctrl+Enter from its second field.
    ASSERT_TRUE(keys_to("a", 3, 1)) << dump_state(m_dump);
    ASSERT_EQ(xdotool_keys(m_first, "type --delay 60 Zelda"), 0);
    ASSERT_EQ(xdotool_keys(m_first, "key Tab"), 0);
    ASSERT_EQ(xdotool_keys(m_first, "type --delay 60 Quist"), 0);
    ASSERT_TRUE(keys_to("ctrl+Return", 3, 0)) << dump_state(m_dump);
    ASSERT_TRUE(wait_until([&] { return read(m_dump).find("Quist") != std::string::npos; }, scaled(30s))) << read(m_dump);

    // Export by its mnemonic; Enter takes File with the vCard format; the
    // browser's name field is replaced and Enter takes it.
    ASSERT_TRUE(keys_to("x", 3, 1)) << dump_state(m_dump);
    ASSERT_TRUE(wait_until([&] { return has_text(m_dump, "Clipboard"); }, scaled(30s))) << read(m_dump);
    ASSERT_EQ(xdotool_keys(m_first, "key Return"), 0);
    ASSERT_TRUE(wait_until([&] { return has_text(m_dump, "File Name:"); }, scaled(30s))) << read(m_dump);
    ASSERT_EQ(xdotool_keys(m_first, "key ctrl+a"), 0);
    ASSERT_EQ(xdotool_keys(m_first, "type --delay 60 friends"), 0);
    ASSERT_EQ(xdotool_keys(m_first, "key Return"), 0);

    const fs::path file = m_root / "home" / "friends.vcf";
    ASSERT_TRUE(wait_until([&] { return read(file).find("END:VCARD") != std::string::npos; }, scaled(30s)))
        << "the file is written in the home folder, where the browser opened\n" << read(m_dump);
    const std::string reader = "/usr/bin/python3 -c \"import sys, vobject; c = next(vobject.readComponents(open(sys.argv[1]).read())); "
                               "sys.exit(0 if (c.n.value.family, c.n.value.given) == ('Quist', 'Zelda') else 1)\" '" +
                               file.string() + "'";
    EXPECT_EQ(std::system(reader.c_str()), 0) << read(file);
    quit();
}

}  // namespace
}  // namespace domora::e2e
