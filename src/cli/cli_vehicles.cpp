#include <string>
#include <vector>

#include "app/backup.h"
#include "app/files.h"
#include "app/startup.h"
#include "app/text.h"
#include "cli/cli_verbs.h"
#include "vehicles/vehicle_csv.h"
#include "vehicles/vehicle_store.h"

namespace domora::cli {

namespace {

int load_log(VehicleStore& store) {
    store.set_path(app_paths().vehicle_file);
    store.load();
    if (store.unreadable()) return fail(kExitDamaged, "cannot read " + app_paths().vehicle_file);
    return kExitOk;
}

int records_of(const VehicleStore& store, std::int32_t vehicle_id) {
    int count = 0;
    for (std::size_t offset : store.chunks()) {
        const ChunkHeader h = store.header(offset);
        if ((h.type == kRecordFuel || h.type == kRecordMaintenance) && h.vehicle_id == vehicle_id) ++count;
    }
    return count;
}

int list(Words& words) {
    if (const int left = words.leftover()) return left;
    VehicleStore store;
    if (const int loaded = load_log(store)) return loaded;
    std::string out;
    for (std::size_t offset : store.vehicles()) {
        const std::int32_t id = store.header(offset).vehicle_id;
        const std::optional<VehicleInfo> info = store.read_vehicle(id);
        if (!info) continue;
        out += one_column(trim(store.vehicle_heading(offset))) + "\t" + one_column(info->vin) + "\t" + one_column(info->license) +
               "\t" + std::to_string(records_of(store, id)) + "\n";
    }
    return write_output("-", out);
}

int export_log(Words& words) {
    int error = kExitOk;
    std::string name, target;
    const bool have_name = words.option("--vehicle", name, error);
    if (error != kExitOk) return error;
    if (!words.take(target)) return fail(kExitUser, "vehicles export: name the output FILE, or - for standard output");
    if (const int left = words.leftover()) return left;
    VehicleStore store;
    if (const int loaded = load_log(store)) return loaded;
    if (store.vehicles().empty()) return fail(kExitUser, "vehicles export: there are no vehicles in " + app_paths().vehicle_file);
    if (have_name) {
        const std::string wanted = to_upper(trim(name));
        std::int32_t found = 0;
        for (std::size_t offset : store.vehicles()) {
            const std::int32_t id = store.header(offset).vehicle_id;
            const std::optional<VehicleInfo> info = store.read_vehicle(id);
            if (!info) continue;
            for (const std::string& text : {trim(store.vehicle_heading(offset)), info->make, info->model, info->license}) {
                if (found == 0 && !text.empty() && to_upper(trim(text)) == wanted) found = id;
            }
        }
        if (found == 0) return fail(kExitUser, "vehicles export: no vehicle " + name + " (see domora-cli vehicles list)");
        // Only in memory: the window program's current vehicle stays as it was.
        store.set_current_vehicle_id(found);
    } else {
        const std::int32_t current = store.current_vehicle_id();
        if (!store.read_vehicle(current)) store.set_current_vehicle_id(store.header(store.vehicles().front()).vehicle_id);
    }
    return write_output(target, vehicle_records_csv(store, vehicle_records_for_output(store, false)));
}

// Copying shows its steps on standard error, as the window's progress popup does.
class StepsOnStderr : public CopyProgress {
public:
    void step(int step, int total) override { std::fprintf(stderr, "Copying Files %d of %d\n", step, total); }
};

int report(const CopyOutcome& outcome, const std::string& done) {
    for (const CopyFailure& failure : outcome.failures) warn(for_terminal(failure.name + " - " + failure.reason));
    if (!outcome.ok()) return fail(kExitUser, done + ": " + std::to_string(outcome.failures.size()) + " files could not be copied");
    std::printf("%s: %d files copied\n", done.c_str(), outcome.copied);
    return kExitOk;
}

}  // namespace

int run_vehicles(Words& words) {
    std::string action;
    if (!words.take(action)) return fail(kExitUser, "vehicles: list or export? (see domora-cli vehicles --help)");
    Words rest = words.under(action);
    if (action == "list") return list(rest);
    if (action == "export") return export_log(rest);
    return fail(kExitUser, "vehicles: unknown action " + action + " (list or export)");
}

int run_backup(Words& words) {
    std::string folder;
    if (!words.take(folder)) return fail(kExitUser, "backup: name the folder DIR to back up into");
    if (const int left = words.leftover()) return left;
    if (!folder_exists(folder)) return fail(kExitUser, "backup: no folder " + folder);
    if (folder.back() != '/') folder += '/';
    StepsOnStderr steps;
    return report(back_up_files(backup_folder_for(folder), steps), "Backup Completed");
}

int run_restore(Words& words) {
    std::string folder;
    if (!words.take(folder)) return fail(kExitUser, "restore: name the backup folder DIR");
    if (const int left = words.leftover()) return left;
    if (!folder_exists(folder)) return fail(kExitUser, "restore: no folder " + folder);
    if (folder.back() != '/') folder += '/';
    StepsOnStderr steps;
    return report(restore_files(folder, steps), "Restore Completed");
}

}  // namespace domora::cli
