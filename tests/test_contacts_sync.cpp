// The contacts sync as the user meets it, in the headless window against a
// private Radicale: the Options form, discovery, the sync on its worker
// thread with its progress on the status line, the password in the Secret
// Service or asked once per run, and the one message when it fails.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "addresses/address_list.h"
#include "addresses/address_records.h"
#include "app/messages.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "carddav_servers.h"
#include "platform/headless/headless_secret_store.h"
#include "screens/options_screen.h"
#include "sync/contacts_sync.h"
#include "sync/sync_round.h"
#include "ui/popups.h"
#include "ui/tab_bar.h"
#include "ui_fixture.h"

namespace domora {
namespace {

using test::DavServer;

void poll_on_quiet_turns(bool forced) {
    if (!forced) contacts_sync_poll();
}

class ContactsSync : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        set_message_handler(nullptr);
        app_paths().address_file = path("address10.dat");
        app_paths().carddav_file = path("carddav.dat");
        status_log_set_path(path("status.log"));
        set_secret_store(&secrets);
        set_news_handler(poll_on_quiet_turns);
        main_window().current_screen = kScreenOptions;
        const bool started = server.start(DavServer::Radicale, path("server"));
        DOMORA_NEEDS(started, server.why_not());
    }
    void TearDown() override {
        contacts_sync_end();
        set_news_handler(nullptr);
        set_secret_store(nullptr);
        server.stop();
        UiTest::TearDown();
    }
    // Waits, in real time, for the worker's step; then lets the busy timer bring a quiet turn.
    void let_the_worker_finish(int steps) {
        for (int i = 0; i < steps; ++i) {
            os.push_call([] {
                const auto until = std::chrono::steady_clock::now() + test::scaled(std::chrono::seconds(30));
                while (contacts_sync_worker_busy() && std::chrono::steady_clock::now() < until) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            });
            os.push_wait(300);
        }
    }
    void fill_form(const std::string& password) {
        os.push_text(server.origin());
        os.push_key(kKeyTab);
        os.push_text(DavServer::kUser);
        os.push_key(kKeyTab);
        os.push_text(password);
        os.push_key(kKeyReturn);
    }
    // The event waits of a screen, until the script has been played.
    void run_turns() {
        main_window().quit_requested = false;
        while (!os.idle() && !main_window().quit_requested) {
            main_window().screen_needs_redraw = false;  // no screen here redraws
            event_wait(true);
        }
    }
    std::size_t book_size() {
        AddressStore book;
        EXPECT_TRUE(book.load().ok());
        return book_snapshot(book).size();
    }
    void add_local(const std::string& first) {
        AddressStore book;
        ASSERT_TRUE(book.load().ok());
        AddressRecordIndex index(book);
        AddressValues values, stored;
        values[kFieldFirst] = first;
        values[kFieldLast] = "Lee";
        index.add(values, stored);
        ASSERT_TRUE(sort_addresses(book).ok());
    }

    DavServer server;
    HeadlessSecretStore secrets;
};

TEST_F(ContactsSync, SettingUpFindsTheAddressBookSyncsAndKeepsThePasswordInTheSecretService) {
    add_local("Ann");
    ASSERT_EQ(server.put_card("bob.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:bob\r\nN:Moe;Bob;;;\r\nFN:Bob Moe\r\nEND:VCARD\r\n") / 100, 2);
    fill_form(DavServer::kPassword);
    let_the_worker_finish(1);  // discovery
    contacts_sync_begin();
    contacts_sync_options();
    EXPECT_TRUE(contacts_sync_running());
    EXPECT_FALSE(status_note().empty()) << "the sync shows where it is on the status line";
    let_the_worker_finish(6);
    run_turns();
    EXPECT_FALSE(contacts_sync_running());
    EXPECT_TRUE(os.message_boxes.empty()) << os.message_boxes[0].text;
    EXPECT_EQ(status_note(), "");
    EXPECT_EQ(book_size(), 2u);
    const SyncState state = read_sync_state(path("carddav.dat")).value();
    EXPECT_EQ(state.book_url, server.book_url());
    EXPECT_EQ(state.entries.size(), 2u);
    EXPECT_EQ(mode_of(path("carddav.dat")), 0600u);
    EXPECT_EQ(read(path("carddav.dat")).find(DavServer::kPassword), std::string::npos) << "the password never goes to a file";
    EXPECT_EQ(read(path("status.log")).find(DavServer::kPassword), std::string::npos) << "nor to the log";
    EXPECT_EQ((secrets.secrets[{server.origin(), DavServer::kUser}]), DavServer::kPassword);
    std::string body;
    EXPECT_EQ(server.curl("PROPFIND", server.book_path(), "", body, {"Depth: 1"}), 207);
    std::size_t cards = 0;
    for (std::size_t at = body.find(".vcf<"); at != std::string::npos; at = body.find(".vcf<", at + 1)) ++cards;
    EXPECT_EQ(cards, 2u) << body;
}

TEST_F(ContactsSync, WithoutASecretServiceThePasswordIsAskedOncePerRun) {
    secrets.no_service = true;
    fill_form(DavServer::kPassword);
    let_the_worker_finish(1);
    contacts_sync_begin();
    contacts_sync_options();
    let_the_worker_finish(4);
    run_turns();
    ASSERT_TRUE(read_sync_state(path("carddav.dat")).value().configured());
    ASSERT_TRUE(os.message_boxes.empty()) << os.message_boxes[0].text;
    // A new run: the password is asked at the first sync, then never again in that run.
    contacts_sync_end();
    contacts_sync_begin();
    os.push_wait(5);  // the sync at start asks at its first turn
    os.push_text(DavServer::kPassword);
    os.push_key(kKeyReturn);
    let_the_worker_finish(4);
    run_turns();
    ASSERT_TRUE(os.message_boxes.empty()) << os.message_boxes[0].text;
    const int asked = secrets.lookups;
    EXPECT_GE(asked, 1);
    // "Sync Now" on the second press: no question this time.
    os.push_key(kKeyReturn);  // the first button, Sync Now
    let_the_worker_finish(4);
    contacts_sync_options();
    run_turns();
    EXPECT_TRUE(os.message_boxes.empty());
    EXPECT_FALSE(contacts_sync_running());
}

TEST_F(ContactsSync, AWrongPasswordEndsInOneMessageWithTheServersReasonAndTheNextSyncStillKnowsItsContacts) {
    fill_form("not the password");
    let_the_worker_finish(1);
    contacts_sync_begin();
    contacts_sync_options();
    // Discovery failed: the form comes back with the reason; cancel it.
    os.push_key(kKeyEscape);
    run_turns();
    EXPECT_FALSE(read_sync_state(path("carddav.dat")).value().configured());

    // Set up right, then the server's password changes: the next sync says why it failed.
    add_local("Ann");
    fill_form(DavServer::kPassword);
    let_the_worker_finish(1);
    contacts_sync_options();
    let_the_worker_finish(4);
    run_turns();
    ASSERT_TRUE(os.message_boxes.empty());
    secrets.secrets[{server.origin(), DavServer::kUser}] = "changed elsewhere";
    contacts_sync_end();
    contacts_sync_begin();
    let_the_worker_finish(2);
    run_turns();
    ASSERT_EQ(os.message_boxes.size(), 1u);
    EXPECT_NE(os.message_boxes[0].text.find("401 Unauthorized: check the user name and password"), std::string::npos)
        << os.message_boxes[0].text;

    // The password put right, the sync a quarter of an hour later goes on
    // from what the last good one agreed: Ann is not sent a second time.
    secrets.secrets[{server.origin(), DavServer::kUser}] = DavServer::kPassword;
    os.clock_ms += kContactsSyncPeriodMs;
    let_the_worker_finish(4);
    run_turns();
    EXPECT_EQ(os.message_boxes.size(), 1u) << os.message_boxes.back().text;
    EXPECT_FALSE(contacts_sync_running());
    EXPECT_EQ(book_size(), 1u);
    EXPECT_EQ(read_sync_state(path("carddav.dat")).value().entries.size(), 1u);
    std::string body;
    EXPECT_EQ(server.curl("PROPFIND", server.book_path(), "", body, {"Depth: 1"}), 207);
    std::size_t cards = 0;
    for (std::size_t at = body.find(".vcf<"); at != std::string::npos; at = body.find(".vcf<", at + 1)) ++cards;
    EXPECT_EQ(cards, 1u) << body;
}

}  // namespace
}  // namespace domora
