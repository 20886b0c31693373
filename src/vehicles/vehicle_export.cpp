#include "vehicles/vehicle_export.h"

#include "app/files.h"
#include "app/settings.h"
#include "app/text.h"
#include "ui/file_browser.h"
#include "ui/popups.h"

namespace domora {

namespace {

constexpr const char* kDefaultName = "Vehicle Records";

}  // namespace

void ask_and_export_vehicle_records(VehicleManager& m) {
    int answer = 0;
    ShowPopup("Export all records for this vehicle|or just the selected records?", "", 1, "All|Selected|Cancel", 0, answer);
    if (answer == 1 || answer == 2) export_vehicle_records(m, answer == 2);
}

void export_vehicle_records(VehicleManager& m, bool selected_only) {
    const VehicleStore& store = m.store;
    if (store.image().size() < kChunkHeaderSize) {
        show_ok("No Data To Export");
        return;
    }
    const std::vector<std::size_t> offsets = vehicle_records_for_output(store, selected_only);
    if (offsets.empty()) {
        show_ok("No Records to Export");
        return;
    }
    std::string folder = settings().export_path;
    std::string name = kDefaultName;
    int result = 0;
    BrowseForFile("Export Vehicle Records", folder, name, result);
    if (result != 1) return;
    name = vehicle_export_name(name);
    const std::string path = folder + name;
    if (file_exists(path) && !ask_ok_cancel(name + "|Already Exists!|Do you want to overwrite it?")) return;
    if (can_create_file(path) != 0) {
        show_ok(name + " cannot be created.|Another program is currently using the file.");
        return;
    }
    settings().export_path = folder;
    save_settings();
    const Result<void> written = write_file_atomic(path, vehicle_records_csv(store, offsets), 0644);
    if (!written) {
        show_ok(name + " cannot be created.|" + written.error().message);
        return;
    }
    show_ok(count_of(static_cast<std::int64_t>(offsets.size()), "record", "records") + " exported to|" + path);
}

}  // namespace domora
