// A first visit to the Passwords screen in the real program: the master
// password is set and a record added with the keyboard alone, and the file
// must then decrypt, with OpenSSL rather than our own cipher, to exactly
// the image the format describes.
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
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        if (read(dump).find("\t" + text + "\n") != std::string::npos) return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

bool wait_for_size(const fs::path& file, std::uintmax_t larger_than, std::chrono::seconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        std::error_code ignored;
        if (fs::exists(file) && fs::file_size(file, ignored) > larger_than) return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

TEST_F(PasswordWindow, AMasterPasswordAndARecordTypedInGiveAFileOpenSslCanRead) {
    if (!can_drive_window()) {
        GTEST_SKIP() << "needs an X display and xdotool";
    }
    if (std::system("command -v openssl >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs the openssl command";
    }
    const fs::path dump = m_root / "dump.txt";
    const fs::path file = m_root / "app" / "password10.dat";
    m_env.push_back("DOMORA_WIDGET_DUMP=" + dump.string());
    m_first = start({"password"});
    ASSERT_TRUE(wait_for_text(dump, "Master Password:", 60s)) << "first use asks for a new master password\n" << read(dump);

    const std::string master = "Tr0ub4dor";
    ASSERT_EQ(xdotool_keys(m_first, "type --delay 40 '" + master + "'"), 0);
    ASSERT_EQ(xdotool_keys(m_first, "key Tab"), 0);
    ASSERT_EQ(xdotool_keys(m_first, "type --delay 40 '" + master + "'"), 0);
    ASSERT_EQ(xdotool_keys(m_first, "key Return"), 0);
    ASSERT_TRUE(wait_for_size(file, 0, 30s)) << "an empty store is written at once";
    ASSERT_TRUE(wait_for_text(dump, "0 Passwords", 30s)) << read(dump);

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
    ASSERT_TRUE(wait_for_size(file, 256, 30s)) << "the record is saved";
    ASSERT_TRUE(wait_for_text(dump, "1 Passwords", 30s)) << read(dump);
    EXPECT_NE(read(dump).find("\ts3cret\n"), std::string::npos) << "the record's value is shown";

    std::string key = master;
    key.resize(32, ' ');
    const fs::path plain = m_root / "plain.bin";
    const std::string command = "openssl enc -d -aes-256-ecb -nopad -K " + hex(key) + " -in '" + file.string() + "' -out '" +
                                plain.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);

    std::string expected(1, static_cast<char>(master.size()));
    expected += master;
    expected.resize(256, '\0');
    std::string body = std::string("Bank") + '\0' + "User: jo" + '\0' + "Password: s3cret" + '\0' + std::string(13, '\0');
    expected += u32(static_cast<std::uint32_t>(14 + body.size())) + "MSRI" + u32(1) + '\x02' + '\0' + body;
    expected.resize((expected.size() + 15) / 16 * 16, '\0');
    EXPECT_EQ(read(plain), expected);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    ::kill(m_first, SIGTERM);
    EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
    m_first = -1;
    const std::string log = read(m_root / "app" / "status.log");
    EXPECT_EQ(log.find(master), std::string::npos) << "the status log never holds the master password";
    EXPECT_NE(log.find("Decrypted with Users Password\r\n"), std::string::npos) << log;
}

}  // namespace
}  // namespace domora::e2e
