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

}  // namespace
}  // namespace domora
