// A test binary that the skip check runs with and without CI=true: one case
// whose setup is never there, one whose setup always is.
#include <cstdlib>

#include "test_env.h"

namespace {

TEST(Needs, WhatIsNeverThere) {
    DOMORA_NEEDS(false, "a thing that is never there");
    ADD_FAILURE() << "went on without it";
}

TEST(Needs, WhatIsThere) {
    bool reached = false;
    DOMORA_NEEDS(true, "always there");
    reached = true;
    EXPECT_TRUE(reached);
}

// The one factor every limit is stretched by; nonsense or a shrink counts as 1.
TEST(TimeoutFactor, StretchesEveryLimitAndNeverShrinksOne) {
    using namespace std::chrono_literals;
    const char* before = std::getenv("DOMORA_TEST_TIMEOUT_FACTOR");
    const std::string kept = before ? before : "";
    ::setenv("DOMORA_TEST_TIMEOUT_FACTOR", "2.5", 1);
    EXPECT_EQ(domora::test::scaled(10s), 25000ms);
    EXPECT_EQ(domora::test::scaled(200ms), 500ms);
    for (const char* text : {"0.5", "-3", "fast", ""}) {
        ::setenv("DOMORA_TEST_TIMEOUT_FACTOR", text, 1);
        EXPECT_EQ(domora::test::scaled(10s), 10000ms) << text;
    }
    ::unsetenv("DOMORA_TEST_TIMEOUT_FACTOR");
    EXPECT_EQ(domora::test::scaled(3s), 3000ms);
    if (before) ::setenv("DOMORA_TEST_TIMEOUT_FACTOR", kept.c_str(), 1);
}

}  // namespace
