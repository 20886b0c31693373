// Every screen of the real program entered by a user's keys, first on an
// empty data folder and then on one that holds every data file, the
// Passwords screen both before and after its file is unlocked. Run in the
// sanitizer build, a fault on any of these ways in ends the program, and
// the screen it should have reached never shows.
#include "../test_env.h"
#include "../vehicle_fixtures.h"
#include "e2e_support.h"

namespace domora::e2e {
namespace {

using namespace std::chrono_literals;
using test::scaled;

template <class Condition>
bool wait_until(Condition condition, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        if (condition()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

std::string state(int screen, int popup) {
    return "screen\t" + std::to_string(screen) + "\tpopup\t" + std::to_string(popup);
}

std::string data_file(const std::string& name) { return std::string(DOMORA_TEST_DATA_DIR "/") + name; }

constexpr int kAddresses = 3, kPasswords = 5, kVehicles = 6, kOptions = 7, kAbout = 8;

class EveryScreen : public RealWindow {
protected:
    void SetUp() override {
        RealWindow::SetUp();
        m_dump = m_root / "dump.txt";
        m_env.push_back("DOMORA_WIDGET_DUMP=" + m_dump.string());
    }
    std::string dump_state() const {
        const std::string text = read(m_dump);
        return text.substr(0, text.find('\n'));
    }
    bool shows(const std::string& text) const { return read(m_dump).find("\t" + text + "\n") != std::string::npos; }
    // Starts the program on the Addresses screen and waits until its window has the keyboard.
    bool start_with_keyboard() {
        std::error_code ignored;
        fs::remove(m_dump, ignored);
        m_first = start({});
        if (!wait_until([&] { return dump_state() == state(kAddresses, 0); }, scaled(60s))) return false;
        const std::string focused = "test \"$(xdotool getwindowfocus 2>/dev/null)\" = \"$(xdotool search --onlyvisible --pid " +
                                    std::to_string(m_first) + " | head -n 1)\"";
        return wait_until([&] { return xdotool_on(m_first, "windowfocus --sync {}") == 0 && std::system(focused.c_str()) == 0; },
                          scaled(30s));
    }
    // Sends keys; the dump then has to reach the state.
    bool keys_to(const std::string& keys, int screen, int popup) {
        if (xdotool_keys(m_first, "key --delay 80 " + keys) != 0) return false;
        return wait_until([&] { return dump_state() == state(screen, popup); }, scaled(30s));
    }
    bool type(const std::string& text) { return xdotool_keys(m_first, "type --delay 40 '" + text + "'") == 0; }
    // Alt+digit takes the tabs in their order: Addresses, Passwords, Vehicles, Options, About.
    void visit_all_but_passwords() {
        ASSERT_TRUE(keys_to("alt+3", kVehicles, 0)) << dump_state();
        ASSERT_TRUE(keys_to("alt+4", kOptions, 0)) << dump_state();
        ASSERT_TRUE(keys_to("alt+5", kAbout, 0)) << dump_state();
        ASSERT_TRUE(keys_to("alt+1", kAddresses, 0)) << dump_state();
    }
    // The program ends as asked, not by a fault.
    void quit() {
        ::kill(m_first, SIGTERM);
        EXPECT_EQ(wait_for_exit(m_first, std::chrono::duration_cast<std::chrono::seconds>(scaled(60s))), 0) << read(m_root / "app" / "status.log");
        m_first = -1;
    }
    void put(const std::string& fixture, const std::string& name) {
        fs::copy_file(data_file(fixture), m_root / "app" / name, fs::copy_options::overwrite_existing);
    }
    bool unlocked_with_records() const {
        const std::string dump = read(m_dump);
        return dump_state() == state(kPasswords, 0) && dump.find(" Passwords\n") != std::string::npos &&
               dump.find("\t0 Passwords\n") == std::string::npos;
    }
    // Enters the Passwords screen on an existing file: asked for the master
    // password, cancelled once (locked), then unlocked; and every other
    // screen is visited while it is locked and again once it is open.
    void passwords_locked_then_unlocked(const std::string& master) {
        ASSERT_TRUE(keys_to("alt+2", kPasswords, 1)) << dump_state();
        ASSERT_TRUE(shows("Please Enter Your Master Password")) << read(m_dump);
        ASSERT_TRUE(keys_to("alt+c", kPasswords, 0)) << "cancelled, the screen stays locked: " << dump_state();
        visit_all_but_passwords();
        ASSERT_TRUE(keys_to("alt+2", kPasswords, 1)) << "still locked, it asks again: " << dump_state();
        ASSERT_TRUE(type(master));
        ASSERT_EQ(xdotool_keys(m_first, "key Return"), 0);
        ASSERT_TRUE(wait_until([&] { return unlocked_with_records(); }, scaled(60s))) << read(m_dump);
        visit_all_but_passwords();
        ASSERT_TRUE(keys_to("alt+2", kPasswords, 0)) << "unlocked, it asks no more: " << dump_state();
        ASSERT_TRUE(unlocked_with_records()) << read(m_dump);
    }
    fs::path m_dump;
};

TEST_F(EveryScreen, IsEnteredWithoutItsDataFileAndThenWithIt) {
    DOMORA_NEEDS(can_drive_window(), "needs an X display and xdotool");
    // An empty data folder: no addresses, passwords, vehicles or settings.
    ASSERT_TRUE(start_with_keyboard()) << read(m_dump);
    ASSERT_TRUE(keys_to("alt+2", kPasswords, 1)) << "first use asks for a new master password: " << dump_state();
    ASSERT_TRUE(keys_to("alt+c", kPasswords, 0)) << dump_state();
    visit_all_but_passwords();
    quit();
    ASSERT_TRUE(fs::exists(m_root / "app" / "setup313.dat")) << "the settings are written on the way out";

    // Every data file there, the settings from the first run among them.
    put("address_two_people.dat", "address10.dat");
    put("password_sesame.dat", "password10.dat");
    std::ofstream(m_root / "app" / "vehicle11.dat", std::ios::binary)
        << test::vehicle_chunk(1, "Honda") << test::service_chunk(1, 2, 7, 1986735, 45500, "Oil and filter change")
        << test::fuel_chunk(1, 3, 9);
    ASSERT_TRUE(start_with_keyboard()) << read(m_dump);
    passwords_locked_then_unlocked("open sesame");
    quit();
}

TEST_F(EveryScreen, PasswordsOpenOnAStrongFileBeforeAndAfterUnlocking) {
    DOMORA_NEEDS(can_drive_window(), "needs an X display and xdotool");
    put("password20_sesame.dat", "password20.dat");
    ASSERT_TRUE(start_with_keyboard()) << read(m_dump);
    passwords_locked_then_unlocked("open sesame");
    quit();
}

}  // namespace
}  // namespace domora::e2e
