// The private CUPS scheduler the printing tests start: a job sent to its
// queue comes out as a PDF in the test's folder, two schedulers at once keep
// their jobs apart, and none outlives the test that started it, however that
// test ends.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "cups_server.h"
#include "support.h"
#include "test_env.h"

namespace domora {
namespace {

using namespace std::chrono_literals;

// A one-page letter PDF that shows text, with its cross-reference table
// counted out so that every reader takes it as it is.
std::string pdf_showing(const std::string& text) {
    const std::string content = "BT /F1 24 Tf 72 700 Td (" + text + ") Tj ET";
    const std::string objects[] = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    int number = 1;
    for (const std::string& body : objects) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(number++) + " 0 obj\n" + body + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 6\n0000000000 65535 f \n";
    for (std::size_t at : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", at);
        pdf += line;
    }
    pdf += "trailer\n<< /Size 6 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

bool installed(const char* program) { return ::access(program, X_OK) == 0; }

bool socket_answers(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::copy(path.begin(), path.end(), address.sun_path);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

template <class Condition>
bool eventually(Condition condition, std::chrono::seconds limit) {
    const auto until = std::chrono::steady_clock::now() + test::scaled(limit);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

class PrivateCupsTest : public test::DomoraTest {
protected:
    // Sends a file to the queue "PDF" of the scheduler at server, as a user would with lp.
    static int print(const std::string& server, const std::string& file) {
        return std::system(("CUPS_SERVER='" + server + "' /usr/bin/lp -d PDF '" + file + "' >/dev/null 2>&1").c_str());
    }
    static std::string text_of(const std::string& pdf) {
        std::string out;
        if (FILE* pipe = ::popen(("/usr/bin/pdftotext '" + pdf + "' - 2>/dev/null").c_str(), "r")) {
            char chunk[4096];
            for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
            ::pclose(pipe);
        }
        return out;
    }
    static bool printed(const test::PrivateCups& cups) {
        return read(cups.printed_pdf().string()).find("%%EOF") != std::string::npos;
    }
};

TEST_F(PrivateCupsTest, AJobOnItsQueueComesOutAsAPdfInTheTestsFolderAndTheSchedulerStopsWhenAsked) {
    DOMORA_NEEDS(installed("/usr/bin/lp") && installed("/usr/bin/pdftotext"),
                 "needs cups-client and poppler-utils (scripts/bootstrap-test.sh)");
    test::PrivateCups cups;
    const bool started = cups.start(path("cups"));
    DOMORA_NEEDS(started, cups.why_not());
    ASSERT_EQ(cups.server().front(), '/') << "a socket of its own, not a network address: " << cups.server();
    EXPECT_TRUE(socket_answers(cups.server()));

    write(path("page.pdf"), pdf_showing("Printed on the private queue"));
    ASSERT_EQ(print(cups.server(), path("page.pdf")), 0);
    ASSERT_TRUE(eventually([&] { return printed(cups); }, 60s)) << read(cups.error_log().string());
    EXPECT_NE(text_of(cups.printed_pdf().string()).find("Printed on the private queue"), std::string::npos);
    EXPECT_NE(read(cups.error_log().string()).find("Job completed"), std::string::npos) << "the job went through this scheduler";

    cups.stop();
    EXPECT_FALSE(cups.running());
    EXPECT_FALSE(socket_answers(cups.server())) << "nothing is left listening";
    EXPECT_TRUE(printed(cups)) << "what it printed stays for the test to read";
}

TEST_F(PrivateCupsTest, TwoAtOnceKeepTheirJobsApart) {
    DOMORA_NEEDS(installed("/usr/bin/lp") && installed("/usr/bin/pdftotext"),
                 "needs cups-client and poppler-utils (scripts/bootstrap-test.sh)");
    test::PrivateCups first, second;
    const bool started = first.start(path("one")) && second.start(path("two"));
    DOMORA_NEEDS(started, first.why_not() + second.why_not());
    EXPECT_NE(first.server(), second.server());
    write(path("a.pdf"), pdf_showing("Alpha page"));
    write(path("b.pdf"), pdf_showing("Bravo page"));
    ASSERT_EQ(print(second.server(), path("b.pdf")), 0);
    ASSERT_EQ(print(first.server(), path("a.pdf")), 0);
    ASSERT_TRUE(eventually([&] { return printed(first) && printed(second); }, 60s));
    const std::string one = text_of(first.printed_pdf().string()), two = text_of(second.printed_pdf().string());
    EXPECT_NE(one.find("Alpha page"), std::string::npos) << one;
    EXPECT_EQ(one.find("Bravo"), std::string::npos) << one;
    EXPECT_NE(two.find("Bravo page"), std::string::npos) << two;
    EXPECT_EQ(two.find("Alpha"), std::string::npos) << two;
}

TEST_F(PrivateCupsTest, ItGoesAwayWithATestThatEndsWithoutStoppingIt) {
    int report[2];
    ASSERT_EQ(::pipe2(report, O_CLOEXEC), 0);  // the scheduler must not keep our end open
    const pid_t owner = ::fork();
    ASSERT_GE(owner, 0);
    if (owner == 0) {
        // A test process that dies at once, destructors and all left undone.
        ::close(report[0]);
        auto* cups = new test::PrivateCups;
        const std::string line = cups->start(path("orphan")) ? cups->server() : "failed: " + cups->why_not();
        [[maybe_unused]] const ssize_t n = ::write(report[1], line.data(), line.size());
        ::_exit(0);
    }
    ::close(report[1]);
    std::string server;
    char chunk[512];
    for (ssize_t n; (n = ::read(report[0], chunk, sizeof chunk)) > 0;) server.append(chunk, static_cast<std::size_t>(n));
    ::close(report[0]);
    ::waitpid(owner, nullptr, 0);
    DOMORA_NEEDS(server.rfind("failed: ", 0) != 0, server);
    ASSERT_FALSE(server.empty());
    EXPECT_TRUE(eventually([&] { return !socket_answers(server); }, 30s)) << "the scheduler outlived its test";
}

TEST_F(PrivateCupsTest, AFolderTooDeepForASocketIsRefusedWithTheReason) {
    test::PrivateCups cups;
    // Run as root the socket lives elsewhere, and this folder is fine.
    if (::geteuid() == 0) {
        EXPECT_TRUE(cups.start(path(std::string(120, 'd')))) << cups.why_not();
        return;
    }
    EXPECT_FALSE(cups.start(path(std::string(120, 'd'))));
    EXPECT_NE(cups.why_not().find("too long for a socket"), std::string::npos) << cups.why_not();
    EXPECT_FALSE(cups.running());
}

}  // namespace
}  // namespace domora
