// The real program against an update server on 127.0.0.1: the request it
// sends, the newsletter notice it shows, and a quick end while the server
// keeps it waiting.
#include "../loopback_server.h"
#include "e2e_support.h"

namespace domora::e2e {
namespace {

using namespace std::chrono_literals;
using test::LoopbackServer;

using UpdateServer = RealWindow;

bool wait_for_text(const fs::path& file, const std::string& text, std::chrono::seconds limit) {
    return wait_for_condition([&] { return read(file).find(text) != std::string::npos; }, limit);
}

// True while some socket of this machine is still knocking (SYN sent, no
// answer) at the loopback port: the program's connect that hangs.
bool connect_hangs_at(int port) {
    char wanted[16];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    std::istringstream lines(read("/proc/net/tcp"));
    std::string line;
    std::getline(lines, line);  // the heading
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (remote.size() > 5 && remote.substr(remote.size() - 5) == wanted && state == "02") return true;
    }
    return false;
}

TEST_F(UpdateServer, TheNewsletterIsAskedForAndOffered) {
    LoopbackServer server({LoopbackServer::reply(
        "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n"
        "news_date=\"2024-03-05\";news_note=\"The Spring Issue\";news_link=\"https://news.example/\"\r\n")});
    const fs::path dump = m_root / "dump.txt";
    m_env.push_back("DOMORA_WIDGET_DUMP=" + dump.string());
    m_env.push_back("DOMORA_UPDATE_HOST=" + server.address());
    m_first = start({});
    ASSERT_TRUE(wait_for_text(dump, "Newsletter for March 5, 2024", 60s)) << read(dump);
    EXPECT_NE(read(dump).find("\tthe spring issue\n"), std::string::npos) << read(dump);
    EXPECT_NE(read(dump).find("screen\t3\tpopup\t1"), std::string::npos) << "over the first screen";
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0],
              "GET /version_info.txt HTTP/1.0\r\nHost: 127.0.0.1\r\nUser-Agent: Domora/3.16\r\n"
              "Pragma: no-cache\r\nCache-Control: max-age=0\r\n\r\n");

    ::kill(m_first, SIGTERM);
    EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
    m_first = -1;
}

TEST_F(UpdateServer, QuittingWhileTheServerKeepsItWaitingIsQuick) {
    // Accepting off and a queue of one, already taken: the program's connect hangs.
    LoopbackServer server({}, false, 0);
    const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(server.port()));
    ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    m_env.push_back("DOMORA_UPDATE_HOST=" + server.address());
    m_first = start({});
    ASSERT_TRUE(wait_for_log("Window State:", 60s)) << read(m_root / "app" / "status.log");
    ASSERT_TRUE(wait_for_condition([&] { return connect_hangs_at(server.port()); }, 30s)) << "the program is not connecting";
    const auto asked = std::chrono::steady_clock::now();
    ::kill(m_first, SIGTERM);
    EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
    m_first = -1;
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 8s) << "the connect's ten seconds are not waited out";
    ::close(filler);
}

}  // namespace
}  // namespace domora::e2e
