// The strong password file as the real store writes and reads it, for the
// independent reader and writer in check_strong_file.py:
//   strong_sample write FOLDER PASSWORD   makes FOLDER/password20.dat with a few records
//   strong_sample read FOLDER PASSWORD    opens it
// Both print the records the store then shows, one JSON list of their
// fields (bytes as Latin-1 code points); read exits with 3 when the file
// does not open, 4 when it is damaged.
#include <cstdio>
#include <string>
#include <vector>

#include "app/startup.h"
#include "passwords/password_store.h"
#include "platform/headless/headless_platform.h"

namespace {

using namespace domora;

std::string json_text(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void print_records() {
    std::string out = "[";
    for (int row = 0; row < view_count(); ++row) {
        const RecordBytes record = view_record(row);
        out += row == 0 ? "{" : ", {";
        out += "\"id\": " + std::to_string(record_id(record)) + ", \"fields\": [";
        const std::vector<std::string> fields = record_fields(record);
        for (std::size_t i = 0; i < fields.size(); ++i) out += (i == 0 ? "" : ", ") + json_text(fields[i]);
        out += "]}";
    }
    std::printf("%s]\n", out.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: strong_sample write|read FOLDER PASSWORD\n");
        return 2;
    }
    HeadlessPlatform os;
    set_platform(&os);
    const std::string mode = argv[1], folder = std::string(argv[2]) + "/";
    app_paths().password_file = folder + "password10.dat";
    app_paths().strong_password_file = folder + "password20.dat";
    set_master_password(argv[3]);
    LoadPasswords();
    if (mode == "write") {
        // The store's own cost, measured on this machine, as a user's file gets it.
        const std::vector<std::vector<std::string>> records = {
            {"Bank", "User: jo", "Password: s3cret"},
            {"Caf\xe9 \x80uro", "PIN: 1234", "", "Note: \"quoted\" and \\ too"},
            {"Empty lines"},
        };
        std::int32_t id = 1;
        for (std::vector<std::string> fields : records) {
            fields.resize(kPasswordFieldCount);
            AppendPassword(id++, fields);
        }
        if (!SavePasswords()) return 1;
        LoadPasswords();
        if (!IsUnlocked()) return 1;
    } else if (mode != "read") {
        return 2;
    }
    if (!password_store().damage.empty()) return 4;
    if (!IsUnlocked()) return 3;
    print_records();
    reset_password_store();
    set_platform(nullptr);
    return 0;
}
