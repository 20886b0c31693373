// Backup and restore of the data: a backup is a plain folder "Domora/" with
// a copy of the program, the three data files and the settings file at its
// top level, so that it runs from a USB stick with its data beside it. A
// restore brings the three data files back from such a folder.
//
// Every copy goes through a temporary file that is flushed and renamed over
// the destination (the bytes move inside the system, never through memory
// whole), so neither a full stick nor a failed restore ever leaves
// a half-written file where a whole one was.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace domora {

inline constexpr const char* kBackupFolderName = "Domora/";
// The name the program has in a backup folder.
inline constexpr const char* kBackupProgramName = "domora";

// The backup folder for the folder the user chose: every trailing "Domora/"
// is removed, then one is appended, so that choosing a drive or the Domora
// folder on it gives the same place.
std::string backup_folder_for(const std::string& chosen);

// How copying shows where it is; the screen supplies it.
class CopyProgress {
public:
    virtual ~CopyProgress() = default;
    virtual void step(int step, int total) = 0;
    // Within the step, after each megabyte of a large file.
    virtual void part(std::int64_t done, std::int64_t size) {
        (void)done;
        (void)size;
    }
};

struct CopyFailure {
    std::string name;    // the file's name, e.g. "address10.dat"
    std::string reason;  // e.g. "write: No space left on device"
};

struct CopyOutcome {
    int copied = 0;
    std::vector<CopyFailure> failures;
    bool ok() const { return failures.empty(); }
};

// Creates the backup folder (one level) and copies the program, the data
// files, the contacts sync's state and the settings file into it, replacing
// earlier copies. Sources that do not exist are skipped. Each failure is
// logged and returned. Of the two password files the one in use is copied,
// and an earlier copy of the other is removed from the backup.
CopyOutcome back_up_files(const std::string& backup_folder, CopyProgress& progress);

// Copies the address, password and vehicle files, the vehicles' reminders
// and the contacts sync's state found at the top of folder over the current
// ones; the others are left alone (the state goes with the address file it
// describes). A current file is only ever replaced by a whole copy. Each
// failure is logged and returned. The password store the backup holds (the
// strong file when it has both) comes back, and the current file of the
// other kind is removed.
CopyOutcome restore_files(const std::string& folder, CopyProgress& progress);

// "name - reason" lines, one a file, joined by "|" for a popup.
std::string failure_lines(const std::vector<CopyFailure>& failures);

}  // namespace domora
