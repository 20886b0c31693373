#include "app/backup.h"

#include <set>

#include "app/file_copy.h"
#include "app/files.h"
#include "app/result.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "platform/platform.h"

namespace domora {

namespace {

constexpr unsigned kProgramMode = 0700;

std::string with_slash(const std::string& folder) {
    return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

std::string folder_with_slash_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

bool is_file(const std::string& path) {
    FileInfo info;
    return !path.empty() && platform().sys_stat(path, info) && !info.is_folder;
}

void copy_one(const char* what, const std::string& from, const std::string& to, unsigned mode, CopyProgress& progress,
              CopyOutcome& outcome) {
    const Result<void> copied = copy_file_atomic(from, to, mode, [&](std::int64_t done, std::int64_t size) { progress.part(done, size); });
    if (copied) {
        ++outcome.copied;
        return;
    }
    status_log_write(std::string(what) + " Failed: " + from + " to " + to + " - " + copied.error().message);
    outcome.failures.push_back({name_of(to), copied.error().message});
}

void remove_other_store(const std::string& folder, const std::string& kept) {
    const AppPaths& paths = app_paths();
    for (const std::string* store : {&paths.password_file, &paths.strong_password_file}) {
        const std::string name = name_of(*store);
        if (!name.empty() && name != kept && is_file(folder + name)) delete_file(folder + name);
    }
}

}  // namespace

std::string backup_folder_for(const std::string& chosen) {
    // Whole folder names only: "MyDomora/" is a folder of its own.
    const std::string tail = std::string("/") + kBackupFolderName;
    std::string folder = with_slash(chosen);
    while (folder.size() >= tail.size() && folder.compare(folder.size() - tail.size(), tail.size(), tail) == 0) {
        folder.erase(folder.size() - tail.size() + 1);
    }
    return folder + kBackupFolderName;
}

CopyOutcome back_up_files(const std::string& backup_folder, CopyProgress& progress) {
    const AppPaths& paths = app_paths();
    const std::string folder = with_slash(backup_folder);
    make_folder(folder);
    struct Row {
        int step;
        std::string source;
        std::string name;
        unsigned mode;
    };
    // The password store is whichever file exists, the strong one first.
    const std::string& passwords = is_file(paths.strong_password_file) ? paths.strong_password_file : paths.password_file;
    // Steps 2 to 4 were the installer's files; the numbering is kept.
    const Row rows[] = {
        {1, paths.program_path, kBackupProgramName, kProgramMode},
        {5, paths.address_file, name_of(paths.address_file), kOwnerOnly},
        {6, passwords, name_of(passwords), kOwnerOnly},
        {7, paths.vehicle_file, name_of(paths.vehicle_file), kOwnerOnly},
        {7, paths.reminders_file, name_of(paths.reminders_file), kOwnerOnly},
        {8, paths.settings_file, name_of(paths.settings_file), kOwnerOnly},
        {8, paths.carddav_file, name_of(paths.carddav_file), kOwnerOnly},
    };
    CopyOutcome outcome;
    int shown = 0;
    for (const Row& row : rows) {
        // A file that belongs to another (the reminders, the sync's state) shares its step.
        if (row.step != shown) progress.step(row.step, 8);
        shown = row.step;
        if (row.name.empty() || !is_file(row.source)) continue;
        const std::size_t failed = outcome.failures.size();
        copy_one("Backup", row.source, folder + row.name, row.mode, progress, outcome);
        // A backup holds one password store: an earlier one of the other kind would be restored in its place.
        if (row.step == 6 && outcome.failures.size() == failed) remove_other_store(folder, row.name);
    }
    // Each copy was flushed on its own; the renames into the folder are made durable in one go.
    if (outcome.copied > 0) flush_folder(folder);
    status_log_write("Backup: " + std::to_string(outcome.copied) + " files copied to " + folder + ", " +
                     std::to_string(outcome.failures.size()) + " failed");
    return outcome;
}

CopyOutcome restore_files(const std::string& folder, CopyProgress& progress) {
    const AppPaths& paths = app_paths();
    const std::string from = with_slash(folder);
    if (!paths.data_folder.empty()) {
        const std::string old_error_log = paths.data_folder + "error.log";
        if (is_file(old_error_log)) delete_file(old_error_log);
    }
    CopyOutcome outcome;
    std::set<std::string> folders;
    int step = 0;
    // The backup's password store, the strong one first; once it is back the other kind goes, so
    // that the restored files are one consistent store.
    const bool strong = !paths.strong_password_file.empty() && is_file(from + name_of(paths.strong_password_file));
    const std::string& passwords = strong ? paths.strong_password_file : paths.password_file;
    const std::string& other = strong ? paths.password_file : paths.strong_password_file;
    for (const std::string* target :
         {&paths.address_file, &passwords, &paths.vehicle_file, &paths.reminders_file, &paths.carddav_file}) {
        // The reminders and the sync's state go in the steps of the files they belong to.
        if (target != &paths.carddav_file && target != &paths.reminders_file) progress.step(step++, 5);
        const std::string source = from + name_of(*target);
        if (target->empty() || !is_file(source)) continue;
        const std::size_t failed = outcome.failures.size();
        copy_one("Restore", source, *target, kOwnerOnly, progress, outcome);
        if (outcome.failures.size() == failed) folders.insert(folder_with_slash_of(*target));
        if (target == &passwords && outcome.failures.size() == failed && is_file(other)) delete_file(other);
    }
    // The data files nearly always share one folder: each folder is flushed once.
    for (const std::string& copied_into : folders) flush_folder(copied_into);
    status_log_write("Restore: " + std::to_string(outcome.copied) + " files copied from " + from + ", " +
                     std::to_string(outcome.failures.size()) + " failed");
    return outcome;
}

std::string failure_lines(const std::vector<CopyFailure>& failures) {
    std::string text;
    for (const CopyFailure& f : failures) {
        if (!text.empty()) text += "|";
        text += f.name + " - " + f.reason;
    }
    return text;
}

}  // namespace domora
