#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/update_check.h"
#include "loopback_server.h"
#include "platform/net_connection.h"
#include "support.h"
#include "test_env.h"

namespace domora {
namespace {

using test::LoopbackServer;
using Clock = std::chrono::steady_clock;

const char kExpectedRequest[] =
    "GET /version_info.txt HTTP/1.0\r\n"
    "Host: 127.0.0.1\r\n"
    "User-Agent: Domora/3.16\r\n"
    "Pragma: no-cache\r\n"
    "Cache-Control: max-age=0\r\n"
    "\r\n";

const char kNewsBody[] =
    "news_date=\"2024-03-05\";news_note=\"The Spring Issue Is Out\";news_link=\"https://news.example/2024-03\";"
    "webroot=\"https://www.example/Import-Help.html\"";

std::string http_reply(const std::string& body) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body;
}

// Counts the attempts the fetch makes.
class CountingConnection : public NetConnection {
public:
    NetStatus connect(const std::string& host, int port, int timeout_ms) override {
        ++attempts;
        return NetConnection::connect(host, port, timeout_ms);
    }
    int attempts = 0;
};

// A loopback port on which nobody listens, so connecting is refused.
int refused_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

UpdateServer loopback(int port) { return UpdateServer{"127.0.0.1", port}; }

const UpdateTimeouts kQuick{1000, 300};

// ---- where the server is ------------------------------------------------------------------------

TEST(UpdateServerText, HostAndOptionalPort) {
    UpdateServer s;
    EXPECT_TRUE(parse_update_server("updates.example", s));
    EXPECT_EQ(s.host, "updates.example");
    EXPECT_EQ(s.port, 80);
    EXPECT_TRUE(parse_update_server(" updates.example:8080 ", s));
    EXPECT_EQ(s.host, "updates.example");
    EXPECT_EQ(s.port, 8080);
    EXPECT_TRUE(parse_update_server("[::1]:8081", s));
    EXPECT_EQ(s.host, "::1");
    EXPECT_EQ(s.port, 8081);
    EXPECT_TRUE(parse_update_server("fe80::1", s)) << "a bare IPv6 address has no port";
    EXPECT_EQ(s.host, "fe80::1");
    EXPECT_EQ(s.port, 80);
    for (const char* bad : {"", "   ", ":80", "host:", "host:0", "host:65536", "host:8o", "[::1", "[::1]80", "[]:80"}) {
        EXPECT_FALSE(parse_update_server(bad, s)) << bad;
        EXPECT_EQ(s.host, "") << bad;
    }
}

class UpdateCheck : public test::DomoraTest {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        set_built_in_update_host("");
    }
    void TearDown() override {
        stop_update_check();
        set_built_in_update_host("");
        DomoraTest::TearDown();
    }
    // Bounded: the fetch of a loopback server ends well within this.
    static bool wait_until_done() {
        const auto until = Clock::now() + std::chrono::seconds(20);
        while (!update_check_done() && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return update_check_done();
    }
};

TEST_F(UpdateCheck, TheEnvironmentOverridesTheBuiltInServer) {
    EXPECT_EQ(configured_update_server().host, "") << "no server unless one is configured";
    set_built_in_update_host("updates.example");
    EXPECT_EQ(configured_update_server().host, "updates.example");
    EXPECT_EQ(configured_update_server().port, 80);
    os.environment["DOMORA_UPDATE_HOST"] = "127.0.0.1:8123";
    EXPECT_EQ(configured_update_server().host, "127.0.0.1");
    EXPECT_EQ(configured_update_server().port, 8123);
    os.environment["DOMORA_UPDATE_HOST"] = "127.0.0.1:99999";
    EXPECT_EQ(configured_update_server().host, "") << "a broken setting contacts nobody";
}

// ---- one fetch, against a real server -----------------------------------------------------------

TEST_F(UpdateCheck, TheRequestGoesOutByteForByteAndTheBodyIsTrimmed) {
    LoopbackServer server({LoopbackServer::reply(http_reply(std::string("  ") + kNewsBody + "  "))});
    CountingConnection connection;
    EXPECT_EQ(fetch_update_text(connection, loopback(server.port()), kQuick), kNewsBody);
    EXPECT_EQ(connection.attempts, 1);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], kExpectedRequest);
}

TEST_F(UpdateCheck, OnlyWhatFollowsTheFirstEmptyLineCounts) {
    EXPECT_EQ(update_body("HTTP/1.0 404 Not Found\r\n\r\nnews_date=1\r\n\r\nmore"), "news_date=1\r\n\r\nmore")
        << "the status is not looked at";
    EXPECT_EQ(update_body("HTTP/1.0 200 OK\r\n\r\n   "), "");
    EXPECT_EQ(update_body("HTTP/1.0 200 OK\r\n\r\n\r\n a=\"1\" \r\n"), "a=\"1\"") << "the file's last line end is no part of it";
    EXPECT_EQ(update_body("HTTP/1.0 200 OK\r\n\r\n\ta=1\t"), "\ta=1\t") << "tabs stay";
    EXPECT_EQ(update_body("HTTP/1.0 200 OK\n\nnews_date=1"), "") << "bare line feeds make no empty line";

    // A reply without an empty line is still a reply: no second attempt.
    LoopbackServer server({LoopbackServer::reply("HTTP/1.0 200 OK\r\nnews_date=2024-03-05"),
                           LoopbackServer::reply(http_reply(kNewsBody))});
    CountingConnection connection;
    EXPECT_EQ(fetch_update_text(connection, loopback(server.port()), kQuick), "");
    EXPECT_EQ(connection.attempts, 1);
}

TEST_F(UpdateCheck, AnEmptyAttemptIsFollowedAtOnceAndThreeAreTheMost) {
    {
        LoopbackServer server({LoopbackServer::hangup(), LoopbackServer::reply(http_reply(kNewsBody))});
        CountingConnection connection;
        EXPECT_EQ(fetch_update_text(connection, loopback(server.port()), kQuick), kNewsBody);
        EXPECT_EQ(connection.attempts, 2);
    }
    {
        // Hung up on, then silent past the time allowed, then hung up on again:
        // the fourth answer, a good one, is never asked for.
        LoopbackServer server({LoopbackServer::hangup(), LoopbackServer::silence(), LoopbackServer::hangup(),
                               LoopbackServer::reply(http_reply(kNewsBody))});
        CountingConnection connection;
        EXPECT_EQ(fetch_update_text(connection, loopback(server.port()), kQuick), "");
        EXPECT_EQ(connection.attempts, 3);
        EXPECT_EQ(server.requests().size(), 3u);
    }
    {
        CountingConnection connection;
        EXPECT_EQ(fetch_update_text(connection, loopback(refused_port()), kQuick), "");
        EXPECT_EQ(connection.attempts, 3) << "refused three times";
    }
}

TEST_F(UpdateCheck, AReplyOverOneMebibyteCountsAsEmpty) {
    const std::string head = "HTTP/1.0 200 OK\r\n\r\n";
    const std::string fits = head + kNewsBody + std::string(kMaxUpdateResponse - head.size() - sizeof kNewsBody + 1, ' ');
    ASSERT_EQ(fits.size(), kMaxUpdateResponse);
    {
        LoopbackServer server({LoopbackServer::reply(fits)});
        CountingConnection connection;
        EXPECT_EQ(fetch_update_text(connection, loopback(server.port()), kQuick), kNewsBody) << "exactly 1 MiB is fine";
    }
    {
        const std::string over = fits + "x";
        LoopbackServer server({LoopbackServer::reply(over), LoopbackServer::reply(over + std::string(3 << 20, 'y')),
                               LoopbackServer::reply(over)});
        CountingConnection connection;
        EXPECT_EQ(fetch_update_text(connection, loopback(server.port()), kQuick), "");
        EXPECT_EQ(connection.attempts, 3);
    }
}

TEST_F(UpdateCheck, AConnectThatHangsTimesOut) {
    // Accepting off and a queue of one: the first connection fills it, the
    // next ones are never answered.
    LoopbackServer server({}, false, 0);
    NetConnection filler;
    ASSERT_EQ(filler.connect("127.0.0.1", server.port(), 2000), NetStatus::Ok);
    NetConnection probe;
    DOMORA_NEEDS(probe.connect("127.0.0.1", server.port(), 300) == NetStatus::TimedOut,
                 "a system that leaves connections beyond a full queue unanswered");
    CountingConnection connection;
    const auto start = Clock::now();
    EXPECT_EQ(fetch_update_text(connection, loopback(server.port()), UpdateTimeouts{200, 200}), "");
    EXPECT_EQ(connection.attempts, 3);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(3 * 200 - 30)) << "each attempt waited its time";
}

// ---- in the background --------------------------------------------------------------------------

TEST_F(UpdateCheck, TheBackgroundFetchPublishesTheTextAndItsFields) {
    LoopbackServer server({LoopbackServer::reply(http_reply(kNewsBody))});
    os.environment["DOMORA_UPDATE_HOST"] = server.address();
    EXPECT_EQ(update_text(), "");
    start_update_check();
    EXPECT_TRUE(os.timer_running(kUpdateTimer)) << "the event wait keeps turning while the fetch runs";
    ASSERT_TRUE(wait_until_done());
    EXPECT_FALSE(os.timer_running(kUpdateTimer));
    EXPECT_EQ(update_text(), kNewsBody);
    EXPECT_EQ(update_field("webroot"), "https://www.example/Import-Help.html");
    EXPECT_EQ(update_field("news_note"), "The Spring Issue Is Out") << "as received, not lower-cased";
    EXPECT_EQ(update_field("WEBROOT"), "") << "keys are case-sensitive";
    EXPECT_EQ(update_field("missing"), "");
    stop_update_check();
    EXPECT_EQ(update_text(), "");
}

TEST_F(UpdateCheck, FieldsWithoutBothQuotesAreEmpty) {
    LoopbackServer server({LoopbackServer::reply(http_reply("news_link=https://x;news_note=\"Hi\";webroot=\"https://half"))});
    os.environment["DOMORA_UPDATE_HOST"] = server.address();
    start_update_check();
    ASSERT_TRUE(wait_until_done());
    EXPECT_EQ(update_field("webroot"), "");
    EXPECT_EQ(update_field("news_link"), "Hi") << "the quotes after the key are taken, wherever they are";
}

class CountingPlatform : public HeadlessPlatform {
public:
    std::unique_ptr<NetConnection> new_connection() override {
        ++connections;
        return HeadlessPlatform::new_connection();
    }
    std::atomic<int> connections{0};
};

TEST_F(UpdateCheck, WithoutAServerNothingIsFetched) {
    CountingPlatform counting;
    set_platform(&counting);
    start_update_check();
    EXPECT_TRUE(update_check_done());
    EXPECT_EQ(counting.connections.load(), 0);
    counting.environment["DOMORA_UPDATE_HOST"] = "127.0.0.1:0";
    start_update_check();
    EXPECT_EQ(counting.connections.load(), 0) << "port 0 is no server";
    stop_update_check();
    set_platform(&os);
}

TEST_F(UpdateCheck, QuittingDuringASlowConnectDoesNotWaitForIt) {
    LoopbackServer server({}, false, 0);
    NetConnection filler;
    ASSERT_EQ(filler.connect("127.0.0.1", server.port(), 2000), NetStatus::Ok);
    NetConnection probe;
    DOMORA_NEEDS(probe.connect("127.0.0.1", server.port(), 300) == NetStatus::TimedOut,
                 "a system that leaves connections beyond a full queue unanswered");
    os.environment["DOMORA_UPDATE_HOST"] = server.address();
    start_update_check();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(update_check_done()) << "still waiting for the connection";
    const auto start = Clock::now();
    stop_update_check();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3)) << "the ten-second wait is cancelled, not sat out";
    EXPECT_EQ(update_text(), "");
}

TEST_F(UpdateCheck, ACancelEndsTheWaitForAReply) {
    LoopbackServer server({LoopbackServer::silence()});
    NetConnection connection;
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        connection.cancel();
    });
    const auto start = Clock::now();
    EXPECT_EQ(fetch_update_text(connection, loopback(server.port())), "");
    canceller.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(connection.connect("127.0.0.1", server.port(), 1000), NetStatus::Cancelled) << "a cancel is for good";
}

// ---- the notice's values ---------------------------------------------------------------------------

TEST(NewsletterNotice, ValuesAreLowerCasedAndFreedOfQuotesAndEqualSigns) {
    const NewsletterNotice n = newsletter_notice(kNewsBody);
    EXPECT_EQ(n.date, "2024-03-05");
    EXPECT_EQ(n.note, "the spring issue is out");
    EXPECT_EQ(n.link, "https://news.example/2024-03");

    const NewsletterNotice loose = newsletter_notice("NEWS_DATE==2024-03-05;News_Note=\"Caf\xC9 \"\"quoted\"\"\"");
    EXPECT_EQ(loose.date, "2024-03-05");
    EXPECT_EQ(loose.note, "caf\xE9 \"\"quoted") << "only the ends lose their quotes; Windows-1252 letters lower-case too";
    EXPECT_EQ(loose.link, "");
}

TEST(NewsletterNotice, TheHeadingSpellsTheDateOut) {
    EXPECT_EQ(newsletter_heading("2024-03-05"), "Newsletter for March 5, 2024");
    EXPECT_EQ(newsletter_heading("2025-12-31"), "Newsletter for December 31, 2025");
    EXPECT_EQ(newsletter_heading("2024-13-05"), "Newsletter for  5, 2024") << "no thirteenth month";
    EXPECT_EQ(newsletter_heading("soon"), "Newsletter for  0, 0");
    EXPECT_EQ(newsletter_heading(""), "Newsletter for  0, 0");
}

}  // namespace
}  // namespace domora
