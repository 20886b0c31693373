#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "app/messages.h"
#include "app/settings.h"
#include "app/status_log.h"
#include "passwords/password_store.h"

namespace domora::fuzz {

namespace {

class FuzzPlatform : public HeadlessPlatform {
public:
    int sys_fsync(int) override { return 0; }
};

std::string g_folder;

void remove_folder() {
    std::error_code ignored;
    if (!g_folder.empty()) std::filesystem::remove_all(g_folder, ignored);
}

void ignore_message(const std::string&) {}

}  // namespace

HeadlessPlatform& fuzz_platform() {
    static FuzzPlatform* os = [] {
        auto* made = new FuzzPlatform;
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/domora-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        g_folder = pattern + "/";
        std::atexit(remove_folder);
        made->environment["HOME"] = g_folder + "home";
        set_platform(made);
        status_log_set_path("");
        settings_set_path("");
        // Messages would pile up in the recorded boxes of a run of millions.
        set_message_handler(ignore_message);
        return made;
    }();
    return *os;
}

std::string scratch_path(const std::string& name) {
    fuzz_platform();
    return g_folder + name;
}

void write_scratch(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_scratch(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void remove_scratch(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "\nproperty failed: %s (%s:%d)\n", what, file, line);
    std::abort();
}

std::vector<std::string> shown_passwords() {
    std::vector<std::string> out;
    for (int row = 0; row < view_count(); ++row) {
        const RecordBytes record = view_record(row);
        FUZZ_CHECK(!record.empty());
        FUZZ_CHECK(record_format(record) != kFormatDeleted);
        out.emplace_back(reinterpret_cast<const char*>(record.data()), record.size());
        (void)record_fields(record);
    }
    return out;
}

}  // namespace domora::fuzz
