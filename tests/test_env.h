// What the machine the tests run on asks of them: under CI a test that cannot
// set up what it needs fails with its reason, elsewhere it is reported as
// skipped; and waits stretch by one factor on slow or busy machines.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace domora::test {

inline bool in_ci() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

// DOMORA_TEST_TIMEOUT_FACTOR (default 1) multiplies every limit a test waits for.
inline double timeout_factor() {
    const char* text = std::getenv("DOMORA_TEST_TIMEOUT_FACTOR");
    const double factor = text ? std::atof(text) : 1.0;
    return factor >= 1.0 ? factor : 1.0;
}

template <class Rep, class Period>
std::chrono::milliseconds scaled(std::chrono::duration<Rep, Period> limit) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(limit).count();
    return std::chrono::milliseconds(static_cast<long long>(static_cast<double>(ms) * timeout_factor()));
}

}  // namespace domora::test

// Leaves the test: a failure with the reason under CI, a skip elsewhere.
#define DOMORA_NEEDS(condition, reason)                                            \
    do {                                                                           \
        if (!(condition)) {                                                        \
            if (::domora::test::in_ci()) FAIL() << "cannot set up: " << (reason);  \
            GTEST_SKIP() << (reason);                                              \
        }                                                                          \
    } while (0)
