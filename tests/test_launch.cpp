#include <sys/stat.h>

#include <filesystem>

#include "app/launch.h"
#include "app/messages.h"
#include "screens/screens.h"
#include "app/status_log.h"
#include "support.h"
#include "ui/popups.h"
#include "ui_fixture.h"
#include "test_env.h"

namespace domora {
namespace {

class Launch : public test::DomoraTest {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        status_log_set_path(path("status.log"));
        os.environment["XDG_DATA_HOME"] = path("share");
        os.environment["PATH"] = "/opt/fake/bin";
        std::filesystem::create_directories(path("share/applications"));
        forget_chosen_browser();
    }
    void default_browser(const std::string& desktop_id, const std::string& exec_line) {
        os.program_answers["xdg-settings"] = {true, desktop_id + "\n"};
        write(path("share/applications/") + desktop_id, "[Desktop Entry]\nName=Fake\n" + exec_line + "\n");
    }
    std::string log() { return read(path("status.log")); }
    static bool system_has_a_browser() {
        for (const char* p : {"/usr/bin/x-www-browser", "/usr/bin/firefox", "/usr/bin/firefox-esr", "/usr/bin/google-chrome",
                              "/usr/bin/google-chrome-stable", "/usr/bin/chromium", "/usr/bin/microsoft-edge",
                              "/usr/bin/microsoft-edge-stable"}) {
            if (std::filesystem::exists(p)) return true;
        }
        return false;
    }
};

TEST(EscapeWebAddress, EscapesPercentFirstAndDropsQuotes) {
    EXPECT_EQ(escape_web_address("50% off"), "50%25%20off");
    EXPECT_EQ(escape_web_address("  \"https://a.example/x#top\"  "), "https://a.example/x%23top");
    EXPECT_EQ(escape_web_address("<>{}|\\^~[]`"), "%3C%3E%7B%7D%7C%5C%5E%7E%5B%5D%60");
    EXPECT_EQ(escape_web_address("%20"), "%2520") << "an escape already there is escaped once";
    EXPECT_EQ(escape_web_address("https://maps.example/?q=1+Main+St"), "https://maps.example/?q=1+Main+St");
}

TEST_F(Launch, TheDesktopsDefaultBrowserOpensTheEscapedAddress) {
    default_browser("fakefox.desktop", "Exec=/opt/fake/bin/fakefox %u");
    os.fake_programs = {"/opt/fake/bin/fakefox"};
    open_web_page("  https://example.org/a b ");
    ASSERT_EQ(os.started_programs.size(), 1u);
    EXPECT_EQ(os.started_programs[0], (std::vector<std::string>{"/opt/fake/bin/fakefox", "https://example.org/a%20b"}));
    const std::vector<std::string> lines = log_lines(path("status.log"));
    ASSERT_EQ(lines.size(), 19u) << log();
    const std::vector<std::string> head = {"",
                                           "Open Web Browser",
                                           "========================",
                                           "xdg-settings:  0",
                                           "User Choice: fakefox.desktop",
                                           "Default Browser: /opt/fake/bin/fakefox",
                                           "Association for .htm: "};
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 7), head);
    // The fixed places are looked at too; what they hold depends on the machine.
    EXPECT_EQ(lines[7].rfind("Association for .html: ", 0), 0u);
    EXPECT_EQ(lines[8].rfind("Firefox: ", 0), 0u);
    EXPECT_EQ(lines[9].rfind("Chrome: ", 0), 0u);
    EXPECT_EQ(lines[10].rfind("Edge: ", 0), 0u);
    const std::vector<std::string> tail = {"Internet Explorer: ",
                                           "",
                                           "USING DEFAULT BROWSER",
                                           "/opt/fake/bin/fakefox",
                                           "",
                                           "Open Program (File): /opt/fake/bin/fakefox",
                                           "Open Program (Parameter): https://example.org/a%20b",
                                           "Open Program: Successful"};
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 11, lines.begin() + 19), tail);
}

TEST_F(Launch, ADesktopEntryProgramIsFoundAlongThePathAndQuotesAreHonoured) {
    default_browser("quoted.desktop", "Exec=\"/opt/fake/bin/my browser\" --new-window %u");
    os.fake_programs = {"/opt/fake/bin/my browser"};
    open_web_page("example.org");
    ASSERT_EQ(os.started_programs.size(), 1u);
    EXPECT_EQ(os.started_programs[0][0], "/opt/fake/bin/my browser");

    os.started_programs.clear();
    default_browser("bare.desktop", "Exec=fakefox %U");
    os.fake_programs = {"/opt/fake/bin/fakefox"};
    open_web_page("example.org");
    ASSERT_EQ(os.started_programs.size(), 1u);
    EXPECT_EQ(os.started_programs[0][0], "/opt/fake/bin/fakefox");
}

TEST_F(Launch, WithoutADesktopDefaultTheBrowserVariableIsUsed) {
    os.program_answers["xdg-settings"] = {false, ""};
    os.environment["BROWSER"] = "fakefox:other";
    os.fake_programs = {"/opt/fake/bin/fakefox"};
    open_web_page("example.org");
    EXPECT_NE(log().find("\r\nUSING HTM FILE ASSOCIATION\r\n"), std::string::npos) << log();
    ASSERT_EQ(os.started_programs.size(), 1u);
    EXPECT_EQ(os.started_programs[0][0], "/opt/fake/bin/fakefox");
}

TEST_F(Launch, AnEmptyAddressIsRefusedWithAMessage) {
    open_web_page("   ");
    EXPECT_EQ(log(), "\r\nOpen Web Browser\r\n========================\r\nNo Web Page to Open\r\n");
    ASSERT_EQ(os.message_boxes.size(), 1u);
    EXPECT_EQ(os.message_boxes[0].text, "No Web Page to Open?");
    EXPECT_TRUE(os.started_programs.empty());
}

TEST_F(Launch, TheBrowserChosenEarlierIsReusedAndNothingFoundIsToldOnce) {
    DOMORA_NEEDS(!system_has_a_browser(), "no real browser where the fixed lookups look");
    open_web_page("example.org");
    ASSERT_EQ(os.message_boxes.size(), 1u);
    EXPECT_EQ(os.message_boxes[0].text, "Domora could not locate your web browser");
    EXPECT_TRUE(os.started_programs.empty());

    default_browser("fakefox.desktop", "Exec=/opt/fake/bin/fakefox %u");
    os.fake_programs = {"/opt/fake/bin/fakefox"};
    open_web_page("first.example");
    os.program_answers.clear();  // the desktop settings can no longer be read
    os.fake_programs = {"/opt/fake/bin/fakefox"};
    open_web_page("second.example");
    ASSERT_EQ(os.started_programs.size(), 2u);
    EXPECT_EQ(os.started_programs[1], (std::vector<std::string>{"/opt/fake/bin/fakefox", "second.example"}));
}

TEST_F(Launch, AProgramThatCannotStartIsLogged) {
    default_browser("fakefox.desktop", "Exec=/opt/fake/bin/fakefox %u");
    os.fake_programs = {"/opt/fake/bin/fakefox"};
    os.start_program_result = ENOENT;
    open_web_page("example.org");
    EXPECT_NE(log().find("Open Program:  2 - No such file or directory\r\n"), std::string::npos) << log();
}

TEST_F(Launch, EmailGoesThroughXdgEmailWithWhatIsGiven) {
    os.fake_programs = {"/opt/fake/bin/xdg-email"};
    EXPECT_EQ(send_email(" ann@example.org ", " Hello ", "Line 1\r\nLine 2", " /tmp/a.vcf "), 0);
    ASSERT_EQ(os.started_programs.size(), 1u);
    EXPECT_EQ(os.started_programs[0],
              (std::vector<std::string>{"/opt/fake/bin/xdg-email", "--subject", "Hello", "--body", "Line 1\r\nLine 2",
                                        "--attach", "/tmp/a.vcf", "ann@example.org"}));
    EXPECT_EQ(send_email("", "", "", ""), 0);
    EXPECT_EQ(os.started_programs[1], (std::vector<std::string>{"/opt/fake/bin/xdg-email"}))
        << "no recipient and no attachment: the compose window opens empty";
    os.start_program_result = EACCES;
    EXPECT_GT(send_email("a@b.example", "", "", ""), 0);
    os.fake_programs.clear();
    EXPECT_GT(send_email("a@b.example", "", "", ""), 0) << "no mail program at all";
}

// The About screen's buttons open the maker's pages through the launcher.
class AboutButtons : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        status_log_set_path(path("status.log"));
        os.environment["XDG_DATA_HOME"] = path("share");
        os.environment["PATH"] = "/opt/fake/bin";
        forget_chosen_browser();
        main_window().current_screen = 8;
        install_popup_messages();
    }
    void TearDown() override {
        set_message_handler(nullptr);
        UiTest::TearDown();
    }
    WidgetRecord button(int id) {
        about_screen();  // nothing scripted: drawn once, then the window closes
        main_window().quit_requested = false;
        const int index = FindWidget(id);
        EXPECT_GE(index, 0) << id;
        return index >= 0 ? widgets()[static_cast<std::size_t>(index)] : WidgetRecord{};
    }
};

TEST_F(AboutButtons, EachOpensItsPageWithTheLaunchersLogAndItsMessageWhenNoBrowserIsFound) {
    const WidgetRecord help = button(407);
    os.environment["BROWSER"] = "/opt/fake/bin/fakefox";
    os.fake_programs = {"/opt/fake/bin/fakefox"};
    os.push_click((help.x1 + help.x2) / 2, (help.y1 + help.y2) / 2);
    about_screen();
    ASSERT_EQ(os.started_programs.size(), 1u);
    EXPECT_EQ(os.started_programs[0], (std::vector<std::string>{"/opt/fake/bin/fakefox", "https://www.tarnwick.com/domora-help.php"}));
    EXPECT_TRUE(os.opened_urls.empty()) << "no direct call past the launcher";
    EXPECT_NE(read(path("status.log")).find("Open Web Browser"), std::string::npos);

    // No browser anywhere: the launcher's own message, in the program's popup.
    if (std::filesystem::exists("/usr/bin/x-www-browser") || std::filesystem::exists("/usr/bin/firefox-esr")) return;
    forget_chosen_browser();
    os.environment.erase("BROWSER");
    os.fake_programs.clear();
    os.started_programs.clear();
    os.drawn_texts.clear();
    main_window().quit_requested = false;
    os.push_text("n");  // Newsletter, by its mnemonic
    os.push_key(kKeyReturn);
    about_screen();
    bool told = false;
    for (const auto& t : os.drawn_texts) told = told || t.text == "Domora could not locate your web browser";
    EXPECT_TRUE(told);
    EXPECT_TRUE(os.started_programs.empty());
}

}  // namespace
}  // namespace domora
