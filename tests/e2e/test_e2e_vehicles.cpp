// The vehicle log through the real window: a vehicle and two fill-ups typed
// in as a user would, then the file on disk and the economy on the screen.
#include "e2e_support.h"

namespace domora::e2e {
namespace {

using namespace std::chrono_literals;

using VehicleWindow = RealWindow;

// The signed 32-bit value at offset in bytes.
std::int32_t int_at(const std::string& bytes, std::size_t offset) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[offset + static_cast<std::size_t>(i)]);
    return static_cast<std::int32_t>(v);
}

class Driver {
public:
    Driver(pid_t pid, fs::path dump) : m_pid(pid), m_dump(std::move(dump)) {}

    // Waits until the dump holds a widget with this text; false after the limit.
    bool wait_for_text(const std::string& text, std::chrono::seconds limit = 30s) {
        const auto until = std::chrono::steady_clock::now() + test::scaled(limit);
        while (std::chrono::steady_clock::now() < until) {
            int screen = -1;
            for (const DumpedWidget& w : parse_dump(read(m_dump), screen)) {
                if (w.text == text) return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    // Waits until a popup is open (or closed), as the dump's first line says.
    bool wait_for_popup(bool open, std::chrono::seconds limit = 30s) {
        const std::string wanted = std::string("\tpopup\t") + (open ? "1" : "0") + "\n";
        const auto until = std::chrono::steady_clock::now() + test::scaled(limit);
        while (std::chrono::steady_clock::now() < until) {
            const std::string text = read(m_dump);
            if (text.find(wanted) != std::string::npos && text.find(wanted) < text.find('\n') + 1) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    bool click(int id) {
        int screen = -1;
        const std::vector<DumpedWidget> table = parse_dump(read(m_dump), screen);
        const DumpedWidget* w = find_widget(table, id);
        if (!w) return false;
        // Raised first: the display may be shared with other windows.
        return xdotool_on(m_pid, "windowraise {} mousemove --window {} " + std::to_string((w->x1 + w->x2) / 2) + " " +
                                     std::to_string((w->y1 + w->y2) / 2) + " click 1") == 0;
    }
    bool keys(const std::string& command) { return xdotool_keys(m_pid, command) == 0; }
    bool type(const std::string& text) { return keys("type --delay 30 '" + text + "'"); }

private:
    pid_t m_pid;
    fs::path m_dump;
};

TEST_F(VehicleWindow, AVehicleAndTwoFillUpsTypedInShowTheirEconomy) {
    DOMORA_NEEDS(can_drive_window(), "needs an X display and xdotool");
    const fs::path dump = m_root / "dump.txt";
    m_env.push_back("DOMORA_WIDGET_DUMP=" + dump.string());
    m_env.push_back("LC_ALL=en_US.UTF-8");
    m_first = start({"vehicle"});
    ASSERT_FALSE(wait_for_screen(dump, 6, 60s).empty()) << "the Vehicles screen comes first";
    Driver user(m_first, dump);
    ASSERT_TRUE(user.wait_for_text("0 Records"));

    // Vehicle Manager, then "Add New Vehicle" from its list.
    ASSERT_TRUE(user.click(601));
    ASSERT_TRUE(user.wait_for_popup(true)) << "the list drops down";
    ASSERT_TRUE(user.keys("key Down Return"));
    ASSERT_TRUE(user.wait_for_text("Add Vehicle")) << read(dump);
    ASSERT_TRUE(user.type("2020"));
    ASSERT_TRUE(user.keys("key Tab"));
    ASSERT_TRUE(user.type("Honda"));
    ASSERT_TRUE(user.keys("key Tab"));
    ASSERT_TRUE(user.type("Civic"));
    ASSERT_TRUE(user.keys("key Tab Tab Return"));
    ASSERT_TRUE(user.wait_for_text("2020 Honda Civic")) << read(dump);

    // Two fill-ups; the second starts where the first ended.
    ASSERT_TRUE(user.click(603));
    ASSERT_TRUE(user.wait_for_text("Add Fuel Record"));
    for (const char* value : {"1000", "1300", "10", "35"}) {
        ASSERT_TRUE(user.keys("key Tab"));
        ASSERT_TRUE(user.type(value));
    }
    ASSERT_TRUE(user.keys("key Return"));
    ASSERT_TRUE(user.wait_for_text("1 Records")) << read(dump);
    ASSERT_TRUE(user.click(603));
    ASSERT_TRUE(user.wait_for_text("Add Fuel Record"));
    ASSERT_TRUE(user.keys("key Tab Tab"));
    ASSERT_TRUE(user.type("1600"));
    ASSERT_TRUE(user.keys("key Tab"));
    ASSERT_TRUE(user.type("10"));
    ASSERT_TRUE(user.keys("key Tab"));
    ASSERT_TRUE(user.type("30"));
    ASSERT_TRUE(user.keys("key Return"));
    ASSERT_TRUE(user.wait_for_text("2 Records")) << read(dump);
    EXPECT_TRUE(user.wait_for_text("30.0 mpg", 5s)) << read(dump);
    EXPECT_TRUE(user.wait_for_text("$ 65.00", 5s)) << "the fuel costs";

    ::kill(m_first, SIGTERM);
    EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
    m_first = -1;

    // The file: the vehicle, then the two fill-ups in stored units.
    const std::string file = read(m_root / "app" / "vehicle11.dat");
    std::vector<std::size_t> chunks;
    for (std::size_t at = 0; at + 52 <= file.size(); at += static_cast<std::size_t>(int_at(file, at))) {
        ASSERT_EQ(file.substr(at + 4, 4), "MSRI");
        ASSERT_GE(int_at(file, at), 52);
        chunks.push_back(at);
    }
    ASSERT_EQ(chunks.size(), 3u) << file.size();
    EXPECT_EQ(file[chunks[0] + 8], 1);
    EXPECT_EQ(file.substr(chunks[0] + 52, 12), std::string("Honda\0Civic\0", 12));
    const std::int32_t expected[2][5] = {{160934, 209215, 37854, 35000, 127545}, {209215, 257495, 37854, 30000, 127543}};
    for (int r = 0; r < 2; ++r) {
        const std::size_t at = chunks[static_cast<std::size_t>(r) + 1];
        EXPECT_EQ(file[at + 8], 3);
        for (int v = 0; v < 5; ++v) {
            EXPECT_EQ(int_at(file, at + 24 + 4 * static_cast<std::size_t>(v)), expected[r][v]) << "fill-up " << r << " value " << v;
        }
    }
    const auto mode = fs::status(m_root / "app" / "vehicle11.dat").permissions();
    EXPECT_EQ(mode & (fs::perms::group_all | fs::perms::others_all), fs::perms::none) << "owner-only";
}

}  // namespace
}  // namespace domora::e2e
