// The contacts sync against real CardDAV servers, Radicale and Xandikos, each
// started privately on a loopback port; curl changes and deletes cards as a
// second client would, and python3-vobject reads what we uploaded.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "addresses/address_list.h"
#include "addresses/address_records.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "carddav_servers.h"
#include "support.h"
#include "sync/card_mapping.h"
#include "sync/sync_round.h"

namespace domora {
namespace {

using test::DavServer;

AddressFields person(const std::string& first, const std::string& last, const std::string& email = "") {
    AddressFields f;
    f[kFieldFirst] = first;
    f[kFieldLast] = last;
    f[kFieldEmail] = email;
    return f;
}

std::string server_card(const std::string& uid, const std::string& given, const std::string& family, const std::string& extra = "") {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid + "\r\nN:" + family + ";" + given + ";;;\r\nFN:" + given + " " + family + "\r\n" +
           extra + "END:VCARD\r\n";
}

class CardDav : public test::DomoraTest, public ::testing::WithParamInterface<DavServer::Kind> {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        main_window() = MainWindowState{};
        app_paths().address_file = path("address10.dat");
        status_log_set_path(path("status.log"));
        const bool started = server.start(GetParam(), path("server"));
        DOMORA_NEEDS(started, server.why_not());
        SyncState state;
        state.server = server.origin();
        state.user = DavServer::kUser;
        state.book_url = server.book_url();
        state.book_name = "Contacts";
        ASSERT_TRUE(write_sync_state(state_path(), state).ok());
    }
    void TearDown() override {
        server.stop();
        DomoraTest::TearDown();
    }
    std::string state_path() const { return path("carddav.dat"); }
    HttpOptions options(const std::string& password = DavServer::kPassword) const {
        HttpOptions o;
        o.user = DavServer::kUser;
        o.password = server.needs_password() ? password : "";
        o.allow_plain_http = true;
        o.connect_timeout_ms = 5000;
        o.idle_timeout_s = 20;
        return o;
    }
    Result<SyncReport> sync(bool allow_deletions = true) {
        HttpClient http(options());
        return sync_address_book(http, state_path(), store, [&](const DeleteCounts& c) {
            asked = c;
            return allow_deletions;
        }, UtcTime{2026, 3, 5, 12, 0, 0, 0});
    }
    void add_local(const AddressFields& f) {
        AddressRecordIndex index(store);
        AddressFields stored;
        index.add(f, stored);
        ASSERT_TRUE(sort_addresses(store).ok());
    }
    std::vector<AddressFields> local() const {
        std::vector<AddressFields> out;
        for (const BookContact& c : book_snapshot(store)) out.push_back(c.fields.unpacked());
        return out;
    }
    std::optional<AddressFields> local_named(const std::string& first) const {
        for (const BookContact& c : book_snapshot(store)) {
            if (c.fields[kFieldFirst] == first) return c.fields.unpacked();
        }
        return std::nullopt;
    }
    std::int32_t id_of(const std::string& first) const {
        for (const BookContact& c : book_snapshot(store)) {
            if (c.fields[kFieldFirst] == first) return c.id;
        }
        return 0;
    }
    // What an independent reader finds on the server: the JSON of check_carddav.py.
    std::string server_view() {
        std::vector<std::string> argv = {"/usr/bin/python3", std::string(DOMORA_TESTS_DIR) + "/check_carddav.py", server.book_url()};
        if (server.needs_password()) argv.insert(argv.end(), {DavServer::kUser, DavServer::kPassword});
        int status = 0;
        const std::string out = test::run_program(argv, status);
        EXPECT_EQ(status, 0) << "a card on the server did not read back strictly";
        return out;
    }
    std::size_t server_count() {
        const std::string view = server_view();
        std::size_t n = 0;
        for (std::size_t at = view.find("\"href\""); at != std::string::npos; at = view.find("\"href\"", at + 1)) ++n;
        return n;
    }
    std::string card_named(const std::string& href) {
        std::string body;
        EXPECT_EQ(server.curl("GET", href, "", body), 200);
        return body;
    }
    std::string href_of(const std::string& first) {
        const SyncState state = read_sync_state(state_path()).value();
        const std::int32_t id = id_of(first);
        for (const SyncEntry& e : state.entries) {
            if (e.record_id == id) return e.href.str();
        }
        return {};
    }

    DavServer server;
    AddressStore store;
    DeleteCounts asked;
};

TEST_P(CardDav, AFirstSyncJoinsBothSidesAndASecondChangesNothing) {
    for (int i = 0; i < 25; ++i) add_local(person("Local" + std::to_string(i), "Lee", "l" + std::to_string(i) + "@example.org"));
    for (int i = 0; i < 25; ++i) {
        ASSERT_EQ(server.put_card("s" + std::to_string(i) + ".vcf", server_card("s" + std::to_string(i), "Server" + std::to_string(i), "Moe")) / 100, 2);
    }
    Result<SyncReport> first = sync();
    ASSERT_TRUE(first.ok()) << first.error().message;
    EXPECT_EQ(first.value().received_added, 25u);
    EXPECT_EQ(first.value().sent_added, 25u);
    EXPECT_EQ(local().size(), 50u);
    const std::string view = server_view();
    EXPECT_NE(view.find("\"fn\": \"Local7 Lee\""), std::string::npos);
    EXPECT_NE(view.find("l7@example.org"), std::string::npos);
    EXPECT_EQ(server_count(), 50u);
    ASSERT_TRUE(local_named("Server3"));
    EXPECT_EQ((*local_named("Server3"))[kFieldLast], "Moe");

    Result<SyncReport> again = sync();
    ASSERT_TRUE(again.ok()) << again.error().message;
    EXPECT_EQ(again.value().received_added + again.value().received_changed + again.value().received_deleted, 0u);
    EXPECT_EQ(again.value().sent_added + again.value().sent_changed + again.value().sent_deleted, 0u);
    EXPECT_EQ(local().size(), 50u);
}

TEST_P(CardDav, AnEditOnEachSideOfOneContactMergesFieldByField) {
    add_local(person("Ann", "Lee", "ann@example.org"));
    ASSERT_TRUE(sync().ok());
    const std::string href = href_of("Ann");
    ASSERT_FALSE(href.empty());
    // The other client gives Ann a cell phone and a new e-mail; here the e-mail changes too, and the city.
    std::string card = card_named(href);
    card = card.substr(0, card.find("END:VCARD")) + "TEL;TYPE=CELL:555-0101\r\nEND:VCARD\r\n";
    const std::size_t email = card.find("ann@example.org");
    ASSERT_NE(email, std::string::npos);
    card.replace(email, 15, "ann@server.example");
    ASSERT_EQ(server.curl("PUT", href, card, card, {"Content-Type: text/vcard"}) / 100, 2);
    AddressRecordIndex index(store);
    AddressFields edited = *local_named("Ann");
    edited[kFieldEmail] = "ann@home.example";
    edited[kFieldCity] = "Springfield";
    AddressFields stored;
    ASSERT_TRUE(index.edit(id_of("Ann"), edited, stored));
    ASSERT_TRUE(sort_addresses(store).ok());

    ASSERT_TRUE(sync().ok());
    const AddressFields merged = *local_named("Ann");
    EXPECT_EQ(merged[kFieldCellPhone], "555-0101");       // theirs
    EXPECT_EQ(merged[kFieldCity], "Springfield");         // ours
    EXPECT_EQ(merged[kFieldEmail], "ann@home.example");   // both: ours
    const std::string view = server_view();
    EXPECT_NE(view.find("ann@home.example"), std::string::npos);
    EXPECT_NE(view.find("Springfield"), std::string::npos);
    EXPECT_NE(view.find("555-0101"), std::string::npos);
    bool logged = false;
    for (const std::string& line : log_lines(path("status.log"))) logged = logged || line.find("ann@server.example") != std::string::npos;
    EXPECT_TRUE(logged) << "the server's value of a field changed on both sides goes to the status log";
}

TEST_P(CardDav, ADeleteOnEachSideReachesTheOther) {
    for (const char* first : {"Ann", "Bob", "Cy", "Di", "Ed", "Flo", "Gus", "Hal", "Ida", "Jo"}) add_local(person(first, "Lee"));
    ASSERT_TRUE(sync().ok());
    ASSERT_EQ(server_count(), 10u);
    std::string body;
    ASSERT_EQ(server.curl("DELETE", href_of("Bob"), "", body) / 100, 2);
    AddressRecordIndex index(store);
    ASSERT_TRUE(index.remove(id_of("Cy")));
    ASSERT_TRUE(sort_addresses(store).ok());

    ASSERT_TRUE(sync().ok());
    EXPECT_FALSE(local_named("Bob"));
    EXPECT_FALSE(local_named("Cy"));
    EXPECT_EQ(local().size(), 8u);
    const std::string view = server_view();
    EXPECT_EQ(view.find("Cy Lee"), std::string::npos);
    EXPECT_EQ(server_count(), 8u);
}

TEST_P(CardDav, APhotoAndASecondEmailOnTheServerSurviveALocalEdit) {
    const std::string photo = "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAAgGBgcGBQgHBwcJCQgKDBQNDAsLDBkSEw8UHRofHh0aHBwg\r\n"
                              " JC4nICIsIxwcKDcpLDAxNDQ0Hyc5PTgyPC4zNDL/wAALCAABAAEBAREA/8QAFAABAAAAAAAAAAAA\r\n";
    const std::string extra = "EMAIL;TYPE=INTERNET,HOME:zoe@home.example\r\nEMAIL;TYPE=INTERNET,WORK:zoe@work.example\r\n" + photo +
                              "BDAY:1980-04-01\r\nCATEGORIES:Friends,Choir\r\nX-ABLABEL:kept\r\nitem1.TEL:555-0199\r\nitem1.X-ABLABEL:Boat\r\n";
    ASSERT_EQ(server.put_card("zoe.vcf", server_card("zoe-1", "Zoe", "Ray", extra)) / 100, 2);
    ASSERT_TRUE(sync().ok());
    ASSERT_TRUE(local_named("Zoe"));
    AddressRecordIndex index(store);
    AddressFields edited = *local_named("Zoe");
    edited[kFieldWorkPhone] = "555-0142";
    AddressFields stored;
    ASSERT_TRUE(index.edit(id_of("Zoe"), edited, stored));
    ASSERT_TRUE(sort_addresses(store).ok());
    Result<SyncReport> sent = sync();
    ASSERT_TRUE(sent.ok()) << sent.error().message;
    EXPECT_EQ(sent.value().sent_changed, 1u);

    const std::string card = card_named(server.book_path() + "zoe.vcf");
    for (const std::string& kept : {std::string("zoe@home.example"), std::string("zoe@work.example"), std::string("BDAY:1980-04-01"),
                                    std::string("CATEGORIES:Friends,Choir"), std::string("X-ABLABEL:kept"),
                                    std::string("item1.X-ABLABEL:Boat"), std::string("555-0199"), std::string("UID:zoe-1"),
                                    std::string("/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAAgGBgcGBQgHBwcJCQgKDBQNDAsLDBkSEw8UHRofHh0aHBwg")}) {
        EXPECT_NE(card.find(kept), std::string::npos) << kept << " is gone from\n" << card;
    }
    EXPECT_NE(card.find("555-0142"), std::string::npos);
    const std::string view = server_view();
    EXPECT_NE(view.find("\"photo\": true"), std::string::npos);
}

TEST_P(CardDav, ARefusedSyncTokenFallsBackToAFullListing) {
    add_local(person("Ann", "Lee"));
    ASSERT_TRUE(sync().ok());
    ASSERT_EQ(server.put_card("new.vcf", server_card("new-1", "Neu", "Moe")) / 100, 2);
    SyncState state = read_sync_state(state_path()).value();
    state.token = server.origin() + "/sync/not-a-token-of-this-server";
    ASSERT_TRUE(write_sync_state(state_path(), state).ok());
    Result<SyncReport> report = sync();
    ASSERT_TRUE(report.ok()) << report.error().message;
    EXPECT_EQ(report.value().received_added, 1u);
    EXPECT_EQ(report.value().sent_added, 0u);
    EXPECT_EQ(local().size(), 2u);
    EXPECT_EQ(server_count(), 2u);
    EXPECT_FALSE(read_sync_state(state_path()).value().token.empty());
}

// Xandikos leaves authentication to a server in front of it.
class WithPassword : public CardDav {};

TEST_P(WithPassword, AWrongPasswordIsReportedWithTheServersReason) {
    HttpClient http(options("wrong"));
    Result<SyncReport> report = sync_address_book(http, state_path(), store, {}, UtcTime{});
    ASSERT_FALSE(report.ok());
    EXPECT_EQ(report.error().message, "401 Unauthorized: check the user name and password");
}

TEST_P(CardDav, AServerKilledMidSyncLosesNothingAndTheNextSyncFinishes) {
    for (int i = 0; i < 120; ++i) add_local(person("P" + std::to_string(i), "Lee"));
    std::atomic<bool> killed{false};
    {
        HttpClient http(options());
        Result<SyncReport> cut = sync_address_book(http, state_path(), store, {}, UtcTime{},
                                                   [&](const std::string& what, std::size_t done, std::size_t) {
                                                       if (what == "Sending contacts" && done == 40 && !killed.exchange(true)) server.kill_now();
                                                   });
        ASSERT_TRUE(killed);
        EXPECT_FALSE(cut.ok());
    }
    ASSERT_TRUE(server.restart()) << server.why_not();
    Result<SyncReport> finished = sync();
    ASSERT_TRUE(finished.ok()) << finished.error().message;
    EXPECT_EQ(local().size(), 120u);
    EXPECT_EQ(server_count(), 120u);
    const SyncState state = read_sync_state(state_path()).value();
    EXPECT_EQ(state.entries.size(), 120u);
    for (const SyncEntry& e : state.entries) EXPECT_FALSE(e.etag.empty()) << e.href;
}

TEST_P(CardDav, TheDeleteGuardAsksAndKeepsWhatTheUserKeeps) {
    for (int i = 0; i < 30; ++i) add_local(person("G" + std::to_string(i), "Lee"));
    ASSERT_TRUE(sync().ok());
    std::string body;
    for (int i = 0; i < 22; ++i) ASSERT_EQ(server.curl("DELETE", href_of("G" + std::to_string(i)), "", body) / 100, 2);
    Result<SyncReport> kept = sync(false);
    ASSERT_TRUE(kept.ok()) << kept.error().message;
    EXPECT_EQ(asked.in_book, 22u);
    EXPECT_EQ(local().size(), 30u);
    EXPECT_EQ(server_count(), 30u) << "what the user kept goes back to the server";

    for (int i = 0; i < 22; ++i) ASSERT_EQ(server.curl("DELETE", href_of("G" + std::to_string(i)), "", body) / 100, 2);
    ASSERT_TRUE(sync(true).ok());
    EXPECT_EQ(local().size(), 8u);
    EXPECT_EQ(server_count(), 8u);
}

INSTANTIATE_TEST_SUITE_P(Servers, CardDav, ::testing::Values(DavServer::Radicale, DavServer::Xandikos),
                         [](const ::testing::TestParamInfo<DavServer::Kind>& kind) {
                             return kind.param == DavServer::Radicale ? "Radicale" : "Xandikos";
                         });

INSTANTIATE_TEST_SUITE_P(Servers, WithPassword, ::testing::Values(DavServer::Radicale),
                         [](const ::testing::TestParamInfo<DavServer::Kind>&) { return "Radicale"; });

}  // namespace
}  // namespace domora
