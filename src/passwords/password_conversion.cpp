#include "passwords/password_conversion.h"

#include <fcntl.h>

#include "app/files.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "passwords/password_store.h"
#include "platform/platform.h"

namespace domora {

namespace {

bool exists(const std::string& path) {
    FileInfo info;
    return !path.empty() && platform().sys_stat(path, info);
}

// Removes a file and makes the removal last, as a save's rename does.
Result<void> remove_durably(const std::string& path) {
    Platform& os = platform();
    if (os.sys_unlink(path) != 0) return Error{"the old file could not be removed"};
    const std::size_t slash = path.rfind('/');
    const int folder = os.sys_open(slash == std::string::npos ? "." : path.substr(0, slash + 1), O_RDONLY | O_DIRECTORY, 0);
    if (folder >= 0) {
        os.sys_fsync(folder);
        os.sys_close(folder);
    }
    return {};
}

std::string file_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

const char* password_protection_name() {
    const AppPaths& paths = app_paths();
    const bool strong = exists(paths.strong_password_file) || (!exists(paths.password_file) && !paths.strong_password_file.empty());
    return strong ? "Strong" : "Standard";
}

Result<void> convert_to_strong() {
    PasswordStore& store = password_store();
    if (!IsUnlocked() || store.strong) return Error{"the passwords are not open in the standard file"};
    const AppPaths& paths = app_paths();
    const std::vector<SecureBytes> before = live_records(store.image);
    store.strong = true;
    // A cost of its own for this machine, and a new salt.
    store.file_cost = {};
    Result<void> saved = SavePasswords();
    // Opening the new file checks it, and removes the standard one once it holds the same records.
    LoadPasswords();
    if (saved && IsUnlocked() && store.strong && live_records(store.image) == before) {
        // The strong file is the store now, whatever happens to the old one.
        if (exists(paths.password_file)) saved = remove_durably(paths.password_file);
        status_log_write("Passwords Converted: " + file_name(paths.strong_password_file));
        return saved;
    }
    if (saved) saved = Error{"the new file did not read back the same"};
    // The standard file is still the whole store: the new one goes.
    if (exists(paths.password_file) && exists(paths.strong_password_file)) (void)remove_durably(paths.strong_password_file);
    status_log_write("Passwords Not Converted: " + saved.error().message);
    LoadPasswords();
    return saved;
}

Result<void> convert_to_standard() {
    PasswordStore& store = password_store();
    if (!IsUnlocked() || !store.strong) return Error{"the passwords are not open in the strong file"};
    const AppPaths& paths = app_paths();
    const std::vector<SecureBytes> before = live_records(store.image);
    const ScopedSecret master{std::string(master_password())};
    store.strong = false;
    Result<void> saved = SavePasswords();
    if (saved) {
        const SecureBytes written = open_standard_file(paths.password_file, master.text());
        if (written.empty() || live_records(written) != before) saved = Error{"the new file did not read back the same"};
    }
    if (saved) saved = remove_durably(paths.strong_password_file);
    if (!saved) {
        // The strong file is still the whole store; a standard file beside it
        // is removed again once it opens.
        status_log_write("Passwords Not Converted: " + saved.error().message);
        LoadPasswords();
        return saved;
    }
    status_log_write("Passwords Converted: " + file_name(paths.password_file));
    LoadPasswords();
    return IsUnlocked() ? Result<void>() : Result<void>(Error{"the new file does not open"});
}

}  // namespace domora
