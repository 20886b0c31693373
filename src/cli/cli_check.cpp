// check and repair: what the window program's loaders and its vehicle repair
// find in the data files, from a script. check changes nothing: the vehicle
// repair runs on a copy in a scratch folder, and its report says what a
// repair of the real file would change.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "addresses/address_store.h"
#include "app/files.h"
#include "app/startup.h"
#include "cli/cli_verbs.h"
#include "passwords/password_store.h"
#include "platform/platform.h"
#include "vehicles/vehicle_repair.h"
#include "vehicles/vehicle_store.h"

namespace domora::cli {

namespace {

// One line of the check's report: the file's name and what was found.
void say(const std::string& file, const std::string& finding) {
    std::printf("%s\n", for_terminal(name_of(file) + ": " + finding).c_str());
}

std::string plural(long long count, const std::string& one, const std::string& many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// True when the address file reads whole.
bool check_addresses() {
    const std::string& path = app_paths().address_file;
    if (!file_exists(path)) {
        say(path, "no file (an empty address book)");
        return true;
    }
    AddressStore store;
    const Result<void> loaded = store.load();
    if (!loaded) {
        say(path, "cannot be read: " + loaded.error().message);
        return false;
    }
    const Result<std::string> bytes = read_whole_file(path);
    const long long junk = bytes ? static_cast<long long>(bytes.value().size()) - static_cast<long long>(store.size()) : 0;
    if (junk > 0) {
        say(path, plural(store.count(), "address", "addresses") + "; " + plural(junk, "damaged byte", "damaged bytes") +
                      " between records, which the next change drops");
        return false;
    }
    say(path, plural(store.count(), "address", "addresses") + ", no damage");
    return true;
}

bool check_passwords() {
    reset_password_store();
    LoadPasswords();
    const PasswordStore& store = password_store();
    const std::string& path = store.strong ? app_paths().strong_password_file : app_paths().password_file;
    if (!file_exists(path)) {
        say(path, "no file (an empty password store)");
        return true;
    }
    if (!store.read_error.empty()) {
        say(path, "cannot be read: " + store.read_error);
        return false;
    }
    if (!store.damage.empty()) {
        say(path, "damaged: " + store.damage);
        return false;
    }
    if (store.damaged_size != 0) {
        say(path, "damaged: it is " + std::to_string(store.damaged_size) + " bytes long, which no saved password file is");
        return false;
    }
    // The records themselves are sealed: reading them needs the master password.
    say(path, "no damage found without the master password");
    return true;
}

std::string repair_findings(const RepairOutcome& outcome) {
    return plural(outcome.corrupted, "corrupted record", "corrupted records") + ", " +
           plural(outcome.damaged_photos, "damaged photo", "damaged photos") + ", " +
           plural(outcome.lost_records, "lost record", "lost records") + ", " +
           plural(outcome.duplicates, "duplicate record", "duplicate records");
}

bool repair_would_change(const RepairOutcome& outcome) {
    return outcome.corrupted + outcome.damaged_photos + outcome.lost_records + outcome.duplicates > 0;
}

// A scratch folder of our own below TMPDIR, gone again when this ends.
class ScratchFolder {
public:
    ScratchFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/domora-cli-check-XXXXXX";
        if (mkdtemp(pattern.data())) m_path = pattern + "/";
    }
    ~ScratchFolder() {
        if (m_path.empty()) return;
        std::vector<std::string> names;
        platform().list_folder(m_path, names);
        for (const std::string& name : names) delete_file(m_path + name);
        rmdir(m_path.c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

bool check_vehicles() {
    const std::string& path = app_paths().vehicle_file;
    if (!file_exists(path)) {
        say(path, "no file (an empty vehicle log)");
        return true;
    }
    ScratchFolder scratch;
    if (scratch.path().empty()) {
        say(path, "not checked: no scratch folder could be made");
        return false;
    }
    const std::string copy = scratch.path() + name_of(path);
    const Result<void> copied = copy_file_no_overwrite(path, copy);
    if (!copied) {
        say(path, "cannot be read: " + copied.error().message);
        return false;
    }
    VehicleStore store;
    store.set_path(copy);
    const RepairOutcome outcome = repair_vehicle_file(store, StoreCallbacks{}, platform().local_now().year);
    if (outcome.status == RepairOutcome::Unreadable) {
        say(path, "cannot be read: " + outcome.error);
        return false;
    }
    if (outcome.status != RepairOutcome::Repaired) {
        say(path, "not checked: " + outcome.error);
        return false;
    }
    if (!repair_would_change(outcome)) {
        say(path, plural(static_cast<long long>(store.vehicles().size()), "vehicle", "vehicles") + ", no damage");
        return true;
    }
    say(path, "a repair would remove or reassign: " + repair_findings(outcome));
    return false;
}

// The long steps of a repair on standard error, a line for each tenth.
void progress_on_stderr(const std::string& title, const std::string&, long long done, long long total) {
    static int last_tenth = -1;
    const int tenth = total > 0 ? static_cast<int>(done * 10 / total) : 10;
    if (tenth == last_tenth) return;
    last_tenth = tenth;
    std::fprintf(stderr, "%s %d%%\n", for_terminal(title).c_str(), tenth * 10);
}

}  // namespace

int run_check(Words& words) {
    if (const int left = words.leftover()) return left;
    // Every file is checked, whatever an earlier one showed.
    const bool addresses = check_addresses();
    const bool passwords = check_passwords();
    const bool vehicles = check_vehicles();
    std::fflush(stdout);
    if (addresses && passwords && vehicles) return kExitOk;
    return fail(kExitDamaged, "check: damage found (see above)");
}

int run_repair(Words& words) {
    if (const int left = words.leftover()) return left;
    VehicleStore store;
    store.set_path(app_paths().vehicle_file);
    StoreCallbacks callbacks;
    callbacks.progress = progress_on_stderr;
    store.set_callbacks(callbacks);
    const RepairOutcome outcome = repair_vehicle_file(store, callbacks, platform().local_now().year);
    switch (outcome.status) {
        case RepairOutcome::NoFile: return fail(kExitUser, "repair: there is no vehicle file " + app_paths().vehicle_file);
        case RepairOutcome::Unreadable:
            return fail(kExitDamaged, "repair: cannot read " + app_paths().vehicle_file + ": " + outcome.error);
        case RepairOutcome::NotKept:
            return fail(kExitUser, "repair: nothing changed, a copy of the file could not be kept first: " + outcome.error);
        case RepairOutcome::Stopped: return fail(kExitUser, "repair: stopped; nothing changed");
        case RepairOutcome::WriteFailed:
            return fail(kExitUser, "repair: the repaired file could not be written: " + outcome.error + "; the original is kept as " +
                                       outcome.kept_name);
        case RepairOutcome::Repaired: break;
    }
    std::printf("Repair Complete: %s\n", repair_findings(outcome).c_str());
    std::printf("The file as it was is kept as %s\n", for_terminal(outcome.kept_name).c_str());
    return kExitOk;
}

}  // namespace domora::cli
