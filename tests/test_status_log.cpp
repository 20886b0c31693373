#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "app/status_log.h"
#include "support.h"

namespace domora {
namespace {

class StatusLog : public test::DomoraTest {};

TEST_F(StatusLog, AppendsLinesWithCrLfAndCreatesTheFile) {
    status_log_set_path(path("status.log"));
    status_log_write("first");
    status_log_write("");
    status_log_write("caf\xE9");
    EXPECT_EQ(read(path("status.log")), "first\r\n\r\ncaf\xE9\r\n");
    EXPECT_EQ(mode_of(path("status.log")), 0600u);
}

TEST_F(StatusLog, ALogThatCannotBeOpenedLosesTheLineSilently) {
    status_log_set_path(path("no/such/folder/status.log"));
    status_log_write("lost");
    status_log_set_path("");
    status_log_write("dropped before a path is set");
    EXPECT_FALSE(std::filesystem::exists(path("no")));
}

TEST_F(StatusLog, LinesFromManyThreadsNeverInterleave) {
    status_log_set_path(path("status.log"));
    constexpr int kThreads = 6;
    constexpr int kLines = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                status_log_write("thread " + std::to_string(t) + " line " + std::to_string(i) + std::string(40, 'x'));
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    const auto lines = log_lines(path("status.log"));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    std::set<std::string> distinct(lines.begin(), lines.end());
    EXPECT_EQ(distinct.size(), lines.size());
    for (const std::string& line : lines) {
        ASSERT_EQ(line.substr(0, 7), "thread ") << line;
        ASSERT_EQ(line.substr(line.size() - 40), std::string(40, 'x')) << line;
    }
}

TEST_F(StatusLog, ALogDeletedOrReplacedWhileOpenTakesTheNextLineAsBefore) {
    status_log_set_path(path("status.log"));
    status_log_write("one");
    std::filesystem::remove(path("status.log"));
    status_log_write("two");
    EXPECT_EQ(read(path("status.log")), "two\r\n") << "created again, as opening it for the line would";
    write(path("other.log"), "other\r\n");
    std::filesystem::rename(path("other.log"), path("status.log"));
    status_log_write("three");
    EXPECT_EQ(read(path("status.log")), "other\r\nthree\r\n") << "appended to the file now at the path";
    status_log_set_path(path("second.log"));
    status_log_write("four");
    EXPECT_EQ(read(path("second.log")), "four\r\n");
    EXPECT_EQ(read(path("status.log")), "other\r\nthree\r\n");
}

TEST_F(StatusLog, AReadOnlyLogLosesLinesUntilItIsWritableAgain) {
    const auto lines_kept = [this] {
        status_log_set_path(path("status.log"));
        status_log_write("kept");
        std::filesystem::permissions(path("status.log"), std::filesystem::perms::owner_read);
        status_log_write("lost");
        std::filesystem::permissions(path("status.log"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        status_log_write("kept again");
        return read(path("status.log"));
    };
    if (::geteuid() != 0) {
        EXPECT_EQ(lines_kept(), "kept\r\nkept again\r\n");
        return;
    }
    // The superuser writes to read-only files: the case runs in a child that has given up root.
    constexpr uid_t kNobody = 65534;
    ASSERT_EQ(::chown(path("").c_str(), kNobody, kNobody), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool dropped = ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
        ::_exit(!dropped ? 2 : lines_kept() == "kept\r\nkept again\r\n" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 2) << "could not give up root";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the line written while the log was read-only was kept, or a later one lost";
    status_log_set_path("");
}

TEST_F(StatusLog, ABatchWritesTheSameBytesInOneGoWhenItEnds) {
    status_log_set_path(path("plain.log"));
    const auto lines = [] {
        status_log_write("first");
        status_log_write("");
        status_log_write("two\r\nlines");
    };
    lines();
    status_log_set_path(path("status.log"));
    {
        const StatusLogBatch batch;
        lines();
        {
            const StatusLogBatch inner;
            status_log_write("inner");
        }
        EXPECT_FALSE(std::filesystem::exists(path("status.log"))) << "nothing before the outer batch ends";
        // Another thread's lines are not held back by this thread's batch.
        std::thread([] { status_log_write("other thread"); }).join();
        EXPECT_EQ(read(path("status.log")), "other thread\r\n");
    }
    EXPECT_EQ(read(path("status.log")), "other thread\r\n" + read(path("plain.log")) + "inner\r\n");
    { const StatusLogBatch empty; }
    status_log_write("after");
    EXPECT_EQ(log_lines(path("status.log")).back(), "after");
}

TEST_F(StatusLog, APacedBatchWritesTheSameBytesWholeBatchesAtATime) {
    status_log_set_path(path("status.log"));
    std::string expected;
    std::set<std::size_t> ends;  // where a batch's lines end
    const auto card = [&](int i) {
        const StatusLogBatch batch;
        const std::string line(300, static_cast<char>('a' + i % 26));
        status_log_write(line);
        status_log_write(std::to_string(i));
        expected += line + "\r\n" + std::to_string(i) + "\r\n";
        ends.insert(expected.size());
    };
    {
        const StatusLogBatch paced(StatusLogBatch::kPaced);
        status_log_write("start");
        expected += "start\r\n";
        ends.insert(expected.size());
        for (int i = 0; i < 400; ++i) {
            card(i);
            if (!std::filesystem::exists(path("status.log"))) continue;
            // What is out is the start of the whole, never half a batch.
            const std::string out = read(path("status.log"));
            ASSERT_EQ(expected.compare(0, out.size(), out), 0);
            ASSERT_EQ(ends.count(out.size()), 1u) << out.size();
        }
        EXPECT_TRUE(std::filesystem::exists(path("status.log"))) << "64 KB gathered go out before the end";
        EXPECT_LT(read(path("status.log")).size(), expected.size());
        // A quiet moment: the next batch to end takes what waited with it.
        os.clock_ms += 40;
        card(400);
        EXPECT_EQ(read(path("status.log")), expected);
        card(401);
    }
    EXPECT_EQ(read(path("status.log")), expected);

    // Inside a plain batch nothing goes out before that batch ends.
    std::filesystem::remove(path("status.log"));
    expected.clear();
    {
        const StatusLogBatch outer;
        {
            const StatusLogBatch paced(StatusLogBatch::kPaced);
            for (int i = 0; i < 400; ++i) card(i);
        }
        EXPECT_FALSE(std::filesystem::exists(path("status.log")));
    }
    EXPECT_EQ(read(path("status.log")), expected);
}

}  // namespace
}  // namespace domora
