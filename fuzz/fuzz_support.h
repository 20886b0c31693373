// What every fuzz target shares: a headless platform whose files live in a
// private folder (in memory where the system offers one), and a check that
// stops the run with a message when a property does not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/headless/headless_platform.h"

namespace domora::fuzz {

// The platform of the run, installed on first use; its files are the real
// ones, but flushing to the disk is skipped so that a save costs microseconds.
HeadlessPlatform& fuzz_platform();
// Path of name inside the run's private folder.
std::string scratch_path(const std::string& name);
void write_scratch(const std::string& path, std::string_view bytes);
std::string read_scratch(const std::string& path);
void remove_scratch(const std::string& path);

[[noreturn]] void fail(const char* what, const char* file, int line);

// The password store's shown records, whole, each checked to be a live one.
std::vector<std::string> shown_passwords();

inline std::string_view input_text(const std::uint8_t* data, std::size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

}  // namespace domora::fuzz

// A property of the target: when it does not hold the input is a finding.
#define FUZZ_CHECK(condition)                                                    \
    do {                                                                         \
        if (!(condition)) ::domora::fuzz::fail(#condition, __FILE__, __LINE__);  \
    } while (0)
