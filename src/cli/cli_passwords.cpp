#include <cstdlib>
#include <string>
#include <vector>

#include "app/files.h"
#include "app/startup.h"
#include "app/text.h"
#include "cli/cli_master.h"
#include "cli/cli_verbs.h"
#include "passwords/password_export.h"
#include "passwords/password_store.h"
#include "passwords/secure_memory.h"
#include "platform/cp1252.h"

namespace domora::cli {

namespace {

const std::string& file_in_use() {
    return password_store().strong ? app_paths().strong_password_file : app_paths().password_file;
}

// A file that cannot be read or is damaged stops the verb before a password is asked.
int file_trouble() {
    const PasswordStore& store = password_store();
    if (!store.read_error.empty()) return fail(kExitDamaged, "cannot read " + file_in_use() + ": " + store.read_error);
    if (!store.damage.empty()) return fail(kExitDamaged, file_in_use() + " is damaged: " + store.damage);
    if (store.damaged_size != 0) {
        return fail(kExitDamaged, file_in_use() + " is damaged: it is " + std::to_string(store.damaged_size) +
                                      " bytes long, which no saved password file is");
    }
    return kExitOk;
}

// Opens the store as the window program does: a file still under the
// default password opens without asking; otherwise the master password is
// read from the descriptor given, else asked on the terminal. Sets empty
// when there is no password file yet.
int unlock(const std::string& verb, bool have_fd, const std::string& fd_text, bool& empty) {
    empty = false;
    int fd = -1;
    if (have_fd) {
        char* end = nullptr;
        const long value = std::strtol(fd_text.c_str(), &end, 10);
        if (fd_text.empty() || *end != '\0' || value < 0 || value > 1000000) {
            return fail(kExitUser, verb + ": --password-fd needs a file descriptor number, not " + fd_text);
        }
        fd = static_cast<int>(value);
    }
    ScopedSecret typed;
    std::string error;
    // Read first, so that a script's pipe is drained whether or not the password is needed.
    if (have_fd && !read_password_from_fd(fd, typed.text(), error)) {
        return fail(kExitUser, verb + ": cannot read the master password from file descriptor " + fd_text + ": " + error);
    }
    reset_password_store();
    LoadPasswords();
    if (const int trouble = file_trouble()) return trouble;
    if (IsUnlocked()) return kExitOk;
    if (IsFirstUse()) {
        empty = true;
        return kExitOk;
    }
    if (!have_fd && !read_password_from_terminal("Master password: ", typed.text(), error)) {
        return fail(kExitUser, verb + ": " + error);
    }
    // Typed as UTF-8; the store keeps its texts in Windows-1252.
    ScopedSecret stored(trim(utf8_to_cp1252(typed.text())));
    if (stored.text().empty()) return fail(kExitUser, verb + ": no master password was given");
    set_master_password(stored.text());
    LoadPasswords();
    if (const int trouble = file_trouble()) return trouble;
    if (!IsUnlocked()) return fail(kExitUser, verb + ": wrong master password for " + file_in_use());
    return kExitOk;
}

std::vector<PasswordExportRecord> all_records() {
    std::vector<PasswordExportRecord> records;
    for (int row = 0; row < view_count(); ++row) records.push_back(password_export_record(view_record(row)));
    return records;
}

// Takes --password-fd, then checks nothing else is left, then unlocks.
int open_store(Words& words, bool& empty) {
    int error = kExitOk;
    std::string fd_text;
    const bool have_fd = words.option("--password-fd", fd_text, error);
    if (error != kExitOk) return error;
    if (const int left = words.leftover()) return left;
    return unlock(words.verb(), have_fd, fd_text, empty);
}

int list(Words& words) {
    bool empty = false;
    if (const int opened = open_store(words, empty)) return opened;
    ScopedSecret out;
    for (int row = 0; row < view_count(); ++row) out.text() += one_column(read_entry(view_record(row)).title) + "\n";
    return write_output("-", out.text());
}

int show(Words& words) {
    std::string title;
    if (!words.take(title)) return fail(kExitUser, "passwords show: name the TITLE of the record");
    bool empty = false;
    if (const int opened = open_store(words, empty)) return opened;
    const std::string wanted = to_upper(trim(title));
    std::vector<PasswordExportRecord> records = all_records();
    std::vector<PasswordExportRecord> found;
    for (const PasswordExportRecord& record : records) {
        if (to_upper(trim(record.title)) == wanted) found.push_back(record);
    }
    wipe_export_records(records);
    if (found.empty()) return fail(kExitUser, "passwords show: no record titled " + for_terminal(title) + " (see domora-cli passwords list)");
    // The export's plain text, with the terminal's line ends and characters.
    ScopedSecret text(password_plain_text(found));
    wipe_export_records(found);
    ScopedSecret out;
    for (std::size_t at = 0; at < text.text().size(); ++at) {
        if (text.text()[at] == '\r' && at + 1 < text.text().size() && text.text()[at + 1] == '\n') continue;
        out.text() += text.text()[at];
    }
    ScopedSecret shown(for_terminal(out.text()));
    return write_output("-", shown.text());
}

int export_store(Words& words) {
    int error = kExitOk;
    std::string format = "text", target;
    words.option("--format", format, error);
    if (error != kExitOk) return error;
    if (format != "text" && format != "csv") return fail(kExitUser, "passwords export: unknown format " + format + " (text or csv)");
    if (!words.take(target)) return fail(kExitUser, "passwords export: name the output FILE, or - for standard output");
    bool empty = false;
    if (const int opened = open_store(words, empty)) return opened;
    if (empty || view_count() == 0) return fail(kExitUser, "passwords export: No Passwords In Database");
    std::vector<PasswordExportRecord> records = all_records();
    ScopedSecret text(format == "text" ? password_plain_text(records) : password_csv_text(records));
    wipe_export_records(records);
    // Owner-only, like the password file itself.
    return write_output(target, text.text(), kOwnerOnly);
}

}  // namespace

int run_passwords(Words& words) {
    std::string action;
    if (!words.take(action)) return fail(kExitUser, "passwords: list, show or export? (see domora-cli passwords --help)");
    Words rest = words.under(action);
    int code = kExitUser;
    if (action == "list") {
        code = list(rest);
    } else if (action == "show") {
        code = show(rest);
    } else if (action == "export") {
        code = export_store(rest);
    } else {
        code = fail(kExitUser, "passwords: unknown action " + action + " (list, show or export)");
    }
    reset_password_store();
    return code;
}

}  // namespace domora::cli
