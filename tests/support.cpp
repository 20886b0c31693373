#include "support.h"

#include "app/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/settings.h"
#include "app/status_log.h"

namespace domora::test {

void DomoraTest::SetUp() {
    char pattern[] = "/tmp/domora-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    m_dir = std::string(pattern) + "/";
    os.environment["HOME"] = m_dir + "home";
    os.resource_folder = DOMORA_RESOURCE_DIR;
    set_platform(&os);
    set_font_catalogue(&installed_fonts);
    status_log_set_path("");
    settings() = Settings{};
    settings_set_path("");
}

void DomoraTest::TearDown() {
    // Before the platform goes: a spare may still be being made in the background.
    discard_spare_files();
    status_log_set_path("");
    set_font_catalogue(nullptr);
    set_platform(nullptr);
    std::error_code ignored;
    std::filesystem::permissions(m_dir, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(m_dir, ignored);
}

std::string DomoraTest::read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void DomoraTest::write(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

unsigned DomoraTest::mode_of(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

std::vector<std::string> DomoraTest::log_lines(const std::string& log_path) {
    const std::string text = read(log_path);
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(text.substr(pos) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

}  // namespace domora::test
