#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/launch.h"
#include "screens/newsletter.h"
#include "app/status_log.h"
#include "app/update_check.h"
#include "loopback_server.h"
#include "ui/popups.h"
#include "ui_fixture.h"

namespace domora {
namespace {

using test::LoopbackServer;

const char kNewsBody[] =
    "news_date=\"2024-03-05\";news_note=\"The Spring Issue Is Out\";news_link=\"https://news.example/2024-03\"";

// A screen between turns, the newsletter offered as the running program
// offers it; the update text comes from a real server on 127.0.0.1.
class Newsletter : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        set_built_in_update_host("");
        reset_newsletter_notice();
        set_news_handler(offer_newsletter);
        EndWidgets(0);
        status_log_set_path(path("status.log"));
        os.environment["XDG_DATA_HOME"] = path("share");
        os.environment["PATH"] = "/opt/fake/bin";
        std::filesystem::create_directories(path("share/applications"));
        write(path("share/applications/fakefox.desktop"), "[Desktop Entry]\nExec=/opt/fake/bin/fakefox %u\n");
        os.program_answers["xdg-settings"] = {true, "fakefox.desktop\n"};
        os.fake_programs = {"/opt/fake/bin/fakefox"};
        forget_chosen_browser();
    }
    void TearDown() override {
        set_news_handler(nullptr);
        stop_update_check();
        UiTest::TearDown();
    }

    void fetch_from(const LoopbackServer& server) {
        os.environment["DOMORA_UPDATE_HOST"] = server.address();
        start_update_check();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!update_check_done() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_EQ(update_text(), kNewsBody);
    }

    // One quiet turn of a screen's loop, then what the user does in a popup
    // that turn may bring up. Returns whether the notice was shown.
    bool quiet_turn(const std::function<void()>& user = [] {}) {
        main_window().quit_requested = false;
        main_window().screen_needs_redraw = false;  // the screen has drawn itself again
        os.drawn_texts.clear();
        os.push(EventKind::Wake);
        user();
        event_wait(true);
        os.script.clear();  // what was meant for a popup that did not come
        return shown();
    }
    // A press of F12 on a screen, then the user's answer to what it brings up.
    bool press_f12(const std::function<void()>& user = [] {}) {
        main_window().quit_requested = false;
        main_window().screen_needs_redraw = false;  // the screen has drawn itself again
        os.drawn_texts.clear();
        os.push_key(kKeyF12);
        user();
        event_wait(true);
        os.script.clear();  // what was meant for a popup that did not come
        return shown();
    }
    bool shown() const {
        for (const HeadlessPlatform::DrawnText& t : os.drawn_texts) {
            if (t.text.rfind("Newsletter for ", 0) == 0) return true;
        }
        return false;
    }
    // The lines of the popup last shown, in order.
    static std::vector<std::string> popup_lines() {
        std::vector<std::string> lines;
        for (const WidgetRecord& w : widgets()) {
            if (w.id == kEndMarker) break;
            if (w.kind == kKindLabel) lines.push_back(w.text);
            if (w.kind == kKindButton) lines.push_back("[" + w.text + "]");
        }
        return lines;
    }
    void read_now() { os.push_key(kKeyReturn); }
    void later() { os.push_char('L'); }
};

TEST_F(Newsletter, ANewerNewsletterIsOfferedOnceAndReadNowOpensIt) {
    LoopbackServer server({LoopbackServer::reply("HTTP/1.0 200 OK\r\n\r\n" + std::string(kNewsBody))});
    fetch_from(server);
    settings().last_news = "2024-02-01";

    ASSERT_TRUE(quiet_turn([&] { read_now(); }));
    EXPECT_EQ(popup_lines(), (std::vector<std::string>{"Newsletter for March 5, 2024", "", "the spring issue is out",
                                                       "[Read Now]", "[Later]"}));
    ASSERT_EQ(os.started_programs.size(), 1u);
    EXPECT_EQ(os.started_programs[0], (std::vector<std::string>{"/opt/fake/bin/fakefox", "https://news.example/2024-03"}));
    EXPECT_EQ(settings().last_news, "2024-03-05");
    EXPECT_TRUE(main_window().screen_needs_redraw) << "the screen is drawn again after the notice";

    EXPECT_FALSE(quiet_turn([&] { read_now(); })) << "once per run";
    EXPECT_EQ(os.started_programs.size(), 1u);

    // The date goes to the file with the settings' next save.
    ASSERT_TRUE(save_settings());
    settings().last_news.clear();
    load_settings(os.work);
    EXPECT_EQ(settings().last_news, "2024-03-05");
}

TEST_F(Newsletter, LaterKeepsLastNewsSoTheNextStartOffersItAgain) {
    LoopbackServer server({LoopbackServer::reply("HTTP/1.0 200 OK\r\n\r\n" + std::string(kNewsBody))});
    fetch_from(server);
    settings().last_news = "2024-02-01";

    ASSERT_TRUE(quiet_turn([&] { later(); }));
    EXPECT_TRUE(os.started_programs.empty());
    EXPECT_EQ(settings().last_news, "2024-02-01");
    EXPECT_FALSE(quiet_turn([&] { later(); }));

    reset_newsletter_notice();  // the next start
    EXPECT_TRUE(quiet_turn([&] { later(); }));
}

TEST_F(Newsletter, ANewsletterAlreadyReadShowsOnlyOnF12) {
    LoopbackServer server({LoopbackServer::reply("HTTP/1.0 200 OK\r\n\r\n" + std::string(kNewsBody))});
    fetch_from(server);
    settings().last_news = "2024-03-05";

    EXPECT_FALSE(quiet_turn([&] { read_now(); }));
    EXPECT_FALSE(quiet_turn([&] { read_now(); }));

    ASSERT_TRUE(press_f12([&] { later(); }));
    EXPECT_EQ(popup_lines().at(0), "Newsletter for March 5, 2024");
    EXPECT_TRUE(os.started_programs.empty());
    ASSERT_TRUE(press_f12([&] { read_now(); })) << "and again, as often as asked";
    EXPECT_EQ(os.started_programs.size(), 1u);
    EXPECT_EQ(settings().last_news, "2024-03-05");

    settings().last_news = "2099-01-01";
    EXPECT_TRUE(press_f12([&] { later(); })) << "F12 does not compare dates";
    EXPECT_EQ(settings().last_news, "2099-01-01") << "Later stores nothing";
}

TEST_F(Newsletter, NoNoticeWithoutAnUpdateTextOrItsDateAndLink) {
    EXPECT_FALSE(quiet_turn([&] { read_now(); })) << "no server configured, nothing fetched";
    EXPECT_FALSE(press_f12([&] { read_now(); }));

    LoopbackServer server({LoopbackServer::reply("HTTP/1.0 200 OK\r\n\r\nnews_date=\"2030-01-01\";news_note=\"No link\"")});
    os.environment["DOMORA_UPDATE_HOST"] = server.address();
    start_update_check();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!update_check_done() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_FALSE(update_text().empty());
    EXPECT_FALSE(quiet_turn([&] { read_now(); }));
    EXPECT_FALSE(press_f12([&] { read_now(); }));
    EXPECT_TRUE(os.started_programs.empty());
}

}  // namespace
}  // namespace domora
