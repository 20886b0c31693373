// An address added, edited and deleted through the real window with the
// keyboard alone, checked byte by byte in the address file.
#include "e2e_support.h"
#include "programs.h"

namespace domora::e2e {
namespace {

using namespace std::chrono_literals;

// One record chunk: length, "MSRI", id, live, marks, reserved, the 17 values.
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

class AddressBook : public RealWindow {
protected:
    fs::path dump() const { return m_root / "dump.txt"; }
    fs::path address_file() const { return m_root / "app" / "address10.dat"; }

    // Waits until the dump shows the Addresses screen with or without a popup.
    bool wait_for_popup(bool open, std::chrono::seconds limit) {
        const std::string wanted = std::string("screen\t3\tpopup\t") + (open ? "1" : "0") + "\n";
        const auto until = std::chrono::steady_clock::now() + test::scaled(limit);
        while (std::chrono::steady_clock::now() < until) {
            if (read(dump()).rfind(wanted, 0) == 0) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    bool wait_for_file(const std::string& bytes, std::chrono::seconds limit) {
        const auto until = std::chrono::steady_clock::now() + test::scaled(limit);
        while (std::chrono::steady_clock::now() < until) {
            if (fs::exists(address_file()) && read(address_file()) == bytes) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    void keys(const std::string& command) { ASSERT_EQ(xdotool_keys(m_first, command), 0) << command; }
    static std::string tabs(int n) {
        std::string out = "key";
        for (int i = 0; i < n; ++i) out += " Tab";
        return out;
    }
    // Adds Ann Lee through the Add form: "a" is the Add button's mnemonic,
    // and the form's last field saves on Enter.
    void add_ann_lee() {
        keys("type a");
        ASSERT_TRUE(wait_for_popup(true, 30s)) << read(dump());
        keys("type Ann");
        keys("key Tab");
        keys("type Lee");
        keys(tabs(15));
        keys("key Return");
    }
};

TEST_F(AddressBook, AddEditAndDeleteWithTheKeyboardAlone) {
    DOMORA_NEEDS(can_drive_window(), "needs an X display and xdotool");
    m_env.push_back("DOMORA_WIDGET_DUMP=" + dump().string());
    m_first = start({"address"});
    ASSERT_FALSE(wait_for_screen(dump(), 3, 60s).empty()) << read(dump());
    ASSERT_FALSE(fs::exists(address_file()));

    ASSERT_NO_FATAL_FAILURE(add_ann_lee());
    const std::string added = address_record(1, 1, {"Ann", "Lee"});
    ASSERT_TRUE(wait_for_file(added, 30s)) << "the file holds exactly the new record";
    ASSERT_TRUE(wait_for_popup(false, 30s));
    EXPECT_NE(read(dump()).find("\tAnn Lee\n"), std::string::npos) << "the panel shows it" << read(dump());

    // Enter edits the current record; it keeps its id and its selected mark.
    keys("key Return");
    ASSERT_TRUE(wait_for_popup(true, 30s)) << read(dump());
    keys(tabs(2));
    keys("type Acme");
    keys(tabs(14));
    keys("key Return");
    ASSERT_TRUE(wait_for_file(address_record(1, 1, {"Ann", "Lee", "Acme"}), 30s)) << "the old version is gone";
    ASSERT_TRUE(wait_for_popup(false, 30s));

    // Delete asks first; "o" answers OK.
    keys("key Delete");
    ASSERT_TRUE(wait_for_popup(true, 30s)) << read(dump());
    EXPECT_NE(read(dump()).find("Are you sure you want to delete the selected addresses?"), std::string::npos);
    keys("type o");
    ASSERT_TRUE(wait_for_file("", 30s)) << "the record left the file";
    EXPECT_EQ(fs::status(address_file()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    ::kill(m_first, SIGTERM);
    EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
    m_first = -1;
    for (const auto& entry : fs::directory_iterator(m_root / "app")) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << "the version a save kept is gone at the end";
    }
    const std::string log = read(m_root / "app" / "status.log");
    EXPECT_NE(log.find("Save Address Record:  1 - Old:  0 - New:  41\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Begin Sort\r\n"), std::string::npos);
    EXPECT_NE(log.find("List Records:  0\r\nAdjust Current Record\r\n"), std::string::npos);
}


// The companion imports while the window shows the book; the window's next
// add is made on the file the companion wrote, so both records are kept.
TEST_F(AddressBook, AnImportFromTheCompanionAndAnAddInTheOpenWindowAreBothKept) {
    DOMORA_NEEDS(can_drive_window(), "needs an X display and xdotool");
    m_env.push_back("DOMORA_WIDGET_DUMP=" + dump().string());
    m_first = start({"address"});
    ASSERT_FALSE(wait_for_screen(dump(), 3, 60s).empty()) << read(dump());

    const fs::path card = m_root / "zed.vcf";
    std::ofstream(card, std::ios::binary) << ("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Young;Zed;;;\r\nFN:Zed Young\r\nEND:VCARD\r\n");
    const std::string data = (m_root / "app").string();
    const std::string imported = output_of("'" DOMORA_CLI_PATH "' --data '" + data + "' addresses import '" + card.string() +
                                           "' 2>&1; echo \"exit $?\"");
    ASSERT_EQ(imported, "1 address imported\nexit 0\n");
    ASSERT_NE(read(address_file()).find("Zed"), std::string::npos);

    ASSERT_NO_FATAL_FAILURE(add_ann_lee());
    ASSERT_TRUE(wait_for_popup(false, 30s)) << read(dump());
    ASSERT_TRUE(wait_for_condition([&] { return read(address_file()).find("Ann") != std::string::npos; }, 30s));
    const std::string listed = output_of("'" DOMORA_CLI_PATH "' --data '" + data + "' addresses list");
    EXPECT_EQ(listed, "Ann\tLee" + std::string(15, '\t') + "\nZed\tYoung" + std::string(15, '\t') + "\n");
    EXPECT_TRUE(wait_for_condition([&] { return read(dump()).find("\t2 records\n") != std::string::npos; }, 30s))
        << "the window counts the imported record too" << read(dump());
}

}  // namespace
}  // namespace domora::e2e
