// The Options screen through the real window: a backup to a folder, an
// address changed afterwards, and the restore that brings the old one back.
#include "e2e_support.h"

namespace domora::e2e {
namespace {

using namespace std::chrono_literals;

// One address record chunk: length, "MSRI", id, live, marks, reserved, the 17 values.
std::string address_record(int id, int marks, const std::vector<std::string>& values) {
    std::string body;
    for (std::size_t i = 0; i < 17; ++i) body += (i < values.size() ? values[i] : std::string()) + '\0';
    const std::uint32_t length = static_cast<std::uint32_t>(18 + body.size());
    std::string out;
    for (int i = 0; i < 4; ++i) out += static_cast<char>((length >> (8 * i)) & 0xFF);
    out += "MSRI";
    for (int i = 0; i < 4; ++i) out += static_cast<char>((static_cast<std::uint32_t>(id) >> (8 * i)) & 0xFF);
    out += '\x01';
    out += static_cast<char>(marks);
    out += std::string(4, '\0');
    return out + body;
}

// One settings entry: marker 0xD431, name length, value length, name, value.
std::string settings_entry(const std::string& name, const std::string& value) {
    std::string out = "\x31\xD4";
    out += static_cast<char>(name.size() & 0xFF);
    out += static_cast<char>(name.size() >> 8);
    for (int i = 0; i < 4; ++i) out += static_cast<char>((value.size() >> (8 * i)) & 0xFF);
    return out + name + value;
}

class OptionsWindow : public RealWindow {
protected:
    fs::path dump() const { return m_root / "dump.txt"; }
    fs::path app(const std::string& name) const { return m_root / "app" / name; }

    // Waits until the dump shows the screen with the text somewhere in it.
    bool wait_for_text(int screen, const std::string& text, std::chrono::seconds limit) {
        const std::string head = "screen\t" + std::to_string(screen) + "\t";
        const auto until = std::chrono::steady_clock::now() + test::scaled(limit);
        while (std::chrono::steady_clock::now() < until) {
            const std::string d = read(dump());
            if (d.rfind(head, 0) == 0 && d.find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    bool wait_for_file(const fs::path& file, const std::string& bytes, std::chrono::seconds limit) {
        const auto until = std::chrono::steady_clock::now() + test::scaled(limit);
        while (std::chrono::steady_clock::now() < until) {
            if (fs::exists(file) && read(file) == bytes) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    // Clicks the middle of the widget as the dump shows it now.
    void click(int screen, int id) {
        const std::vector<DumpedWidget> table = wait_for_screen(dump(), screen, 30s);
        const DumpedWidget* w = find_widget(table, id);
        ASSERT_NE(w, nullptr) << id << "\n" << read(dump());
        const std::string at = std::to_string((w->x1 + w->x2) / 2) + " " + std::to_string((w->y1 + w->y2) / 2);
        ASSERT_EQ(xdotool_on(m_first, "mousemove --window {} " + at + " click 1"), 0);
    }
    void keys(const std::string& command) { ASSERT_EQ(xdotool_keys(m_first, command), 0) << command; }
    static std::string tabs(int n) {
        std::string out = "key";
        for (int i = 0; i < n; ++i) out += " Tab";
        return out;
    }
};

TEST_F(OptionsWindow, BackUpChangeAnAddressRestoreAndTheOldOneIsBack) {
    DOMORA_NEEDS(can_drive_window(), "needs an X display and xdotool");
    const fs::path usb = m_root / "usb";
    fs::create_directories(usb);
    const std::string ann = address_record(1, 1, {"Ann", "Lee"});
    { std::ofstream(app("address10.dat"), std::ios::binary) << ann; }
    { std::ofstream(app("setup313.dat"), std::ios::binary) << settings_entry("backup_path", usb.string() + "/"); }
    m_env.push_back("DOMORA_WIDGET_DUMP=" + dump().string());
    m_first = start({"address"});
    ASSERT_FALSE(wait_for_screen(dump(), 3, 60s).empty()) << read(dump());

    // Options, then Backup ("b"): the browser starts in the folder of the last backup.
    click(3, 7);
    ASSERT_TRUE(wait_for_text(7, "\tBackup\n", 30s)) << read(dump());
    keys("type b");
    ASSERT_TRUE(wait_for_text(7, "Where do you want to save your Domora files?", 30s)) << read(dump());
    click(7, 750);
    ASSERT_TRUE(wait_for_text(7, "Backup Completed", 60s)) << read(dump());
    EXPECT_EQ(read(usb / "Domora" / "address10.dat"), ann);
    EXPECT_TRUE(fs::exists(usb / "Domora" / "domora"));
    EXPECT_TRUE(fs::exists(usb / "Domora" / "setup313.dat"));
    keys("key Return");
    ASSERT_TRUE(wait_for_text(7, "popup\t0\n", 30s)) << read(dump());

    // On the Addresses screen Enter edits the current address: a company is added.
    click(7, 3);
    ASSERT_TRUE(wait_for_text(3, "Ann Lee", 30s)) << read(dump());
    keys("key Return");
    ASSERT_TRUE(wait_for_text(3, "popup\t1\n", 30s)) << read(dump());
    keys(tabs(2));
    keys("type Acme");
    keys(tabs(14));
    keys("key Return");
    const std::string changed = address_record(1, 1, {"Ann", "Lee", "Acme"});
    ASSERT_TRUE(wait_for_file(app("address10.dat"), changed, 30s));
    ASSERT_TRUE(wait_for_text(3, "popup\t0\n", 30s)) << read(dump());

    // Restore ("r") asks first; "o" is OK; the browser starts at the backup folder.
    click(3, 7);
    ASSERT_TRUE(wait_for_text(7, "\tRestore\n", 30s)) << read(dump());
    keys("type r");
    ASSERT_TRUE(wait_for_text(7, "Restoring a backup will replace your existing files!", 30s)) << read(dump());
    keys("type o");
    ASSERT_TRUE(wait_for_text(7, "Where are your Domora backup files?", 30s)) << read(dump());
    click(7, 750);
    ASSERT_TRUE(wait_for_text(7, "Restore Completed", 60s)) << read(dump());
    EXPECT_EQ(read(app("address10.dat")), ann);
    keys("key Return");
    ASSERT_TRUE(wait_for_text(7, "popup\t0\n", 30s)) << read(dump());

    click(7, 3);
    ASSERT_TRUE(wait_for_text(3, "Ann Lee", 30s)) << read(dump());
    EXPECT_EQ(read(dump()).find("Acme"), std::string::npos) << read(dump());

    ::kill(m_first, SIGTERM);
    EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
    m_first = -1;
    const std::string log = read(app("status.log"));
    EXPECT_NE(log.find(" files copied to " + usb.string() + "/Domora/, 0 failed\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" files copied from " + usb.string() + "/Domora/, 0 failed\r\n"), std::string::npos) << log;
}

}  // namespace
}  // namespace domora::e2e
