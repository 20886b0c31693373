// Exporting two of five addresses to the clipboard through the real window,
// as a user would, and reading what another program gets from the clipboard.
#include "e2e_support.h"

namespace domora::e2e {
namespace {

using namespace std::chrono_literals;

// One address record as the address file stores it.
std::string address_record(int id, const std::vector<std::string>& values) {
    std::string fields;
    for (int i = 0; i < 17; ++i) {
        fields += i < static_cast<int>(values.size()) ? values[static_cast<std::size_t>(i)] : "";
        fields += '\0';
    }
    const auto length = static_cast<std::uint32_t>(18 + fields.size());
    std::string record;
    for (int i = 0; i < 4; ++i) record += static_cast<char>((length >> (8 * i)) & 0xFF);
    record += "MSRI";
    for (int i = 0; i < 4; ++i) record += static_cast<char>((static_cast<std::uint32_t>(id) >> (8 * i)) & 0xFF);
    record += '\x01';
    record += '\0';
    record += std::string(4, '\0');
    return record + fields;
}

std::string clipboard_text() {
    std::string out;
    FILE* pipe = ::popen("xclip -o -selection clipboard 2>/dev/null", "r");
    if (!pipe) return out;
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
    ::pclose(pipe);
    return out;
}

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

using Exchange = RealWindow;

TEST_F(Exchange, TwoOfFiveAddressesGoToTheClipboardAsVcards) {
    DOMORA_NEEDS(can_drive_window() && std::system("command -v xclip >/dev/null 2>&1") == 0, "needs an X display, xdotool and xclip");
    std::ofstream(m_root / "app" / "address10.dat", std::ios::binary)
        << address_record(1, {"Amy", "Adams"}) << address_record(2, {"Ben", "Baker", "", "2 Oak Rd", "", "Troy", "NY"})
        << address_record(3, {"Cal", "Clark"}) << address_record(4, {"Dee", "Davis", "Caf\xE9 Co"})  // Windows-1252 in the file
        << address_record(5, {"Eve", "Evans"});
    const fs::path dump = m_root / "dump.txt";
    m_env.push_back("DOMORA_WIDGET_DUMP=" + dump.string());
    m_first = start({});
    ASSERT_FALSE(wait_for_screen(dump, 3, 60s).empty());

    // Baker alone selected, then Davis added to the selection.
    const auto before = written_at(dump);
    ASSERT_EQ(xdotool_keys(m_first, "key --delay 120 Down ctrl+Down ctrl+Down space"), 0);
    wait_for_redraw(dump, before);
    ASSERT_EQ(xdotool_keys(m_first, "type x"), 0);  // Export
    std::vector<DumpedWidget> table;
    const DumpedWidget* clipboard = nullptr;
    wait_for_condition(
        [&] {
            int screen = 0;
            table = parse_dump(read(dump), screen);
            clipboard = find_widget(table, 5001);
            return clipboard != nullptr;
        },
        30s);
    ASSERT_NE(clipboard, nullptr) << read(dump);
    EXPECT_EQ(clipboard->text, "Clipboard");
    ASSERT_EQ(xdotool_on(m_first, "mousemove --window {} " + std::to_string((clipboard->x1 + clipboard->x2) / 2) + " " +
                                      std::to_string((clipboard->y1 + clipboard->y2) / 2) + " click 1"),
              0);

    std::string text;
    wait_for_condition(
        [&] {
            text = clipboard_text();
            return count_of(text, "END:VCARD") >= 2;
        },
        30s, 100ms);
    EXPECT_EQ(count_of(text, "BEGIN:VCARD"), 2u) << text;
    EXPECT_NE(text.find("N:Baker;Ben;;;\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("N:Davis;Dee;;;\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("ORG:Caf\xC3\xA9 Co\r\n"), std::string::npos) << "UTF-8 on the clipboard, once";
    EXPECT_EQ(text.find("Adams"), std::string::npos);
    EXPECT_FALSE(fs::exists(m_root / "app" / "Temp.dat")) << "the scratch file is gone";

    ::kill(m_first, SIGTERM);
    EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
    m_first = -1;
}

}  // namespace
}  // namespace domora::e2e
