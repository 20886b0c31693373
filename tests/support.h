// Shared fixture: a headless platform installed for the test, a private
// temporary folder, and the program-wide state reset around every test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/headless_font_families.h"
#include "platform/headless/headless_platform.h"

namespace domora::test {

class DomoraTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Path of name inside the test's folder.
    std::string path(const std::string& name) const { return m_dir + name; }
    const std::string& dir() const { return m_dir; }

    static std::string read(const std::string& path);
    static void write(const std::string& path, const std::string& data);
    static unsigned mode_of(const std::string& path);
    // The status log split into lines (without CR LF).
    static std::vector<std::string> log_lines(const std::string& log_path);

    HeadlessPlatform os;
    HeadlessFontCatalogue installed_fonts;

private:
    std::string m_dir;
};

}  // namespace domora::test
