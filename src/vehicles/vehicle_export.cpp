#include "vehicles/vehicle_export.h"

#include "app/files.h"
#include "app/settings.h"
#include "app/text.h"
#include "ui/file_browser.h"
#include "ui/popups.h"
#include "vehicles/vehicle_units.h"

namespace domora {

namespace {

constexpr const char* kDefaultName = "Vehicle Records";

// A double quote inside a value is doubled, so that a description such as
// 16" wheels reads back whole in a spreadsheet.
std::string quoted(const std::string& value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string csv_line(const VehicleStore& store, std::size_t offset) {
    const ChunkHeader h = store.header(offset);
    const bool fuel = h.type == kRecordFuel;
    std::string detail;
    if (fuel) {
        const std::string amount = format_fuel(h.c);
        detail = amount.substr(0, amount.find(' '));
    } else {
        detail = store.description(offset);
    }
    std::string cost;
    if (h.d != 0) cost.append("$").append(format_cost(h.d));
    std::string line = quoted(format_date(h.year, h.month, h.day));
    line.append(",").append(quoted(fuel && h.a != 0 ? format_odometer(h.a) : ""));
    line.append(",").append(quoted(h.b != 0 ? format_odometer(h.b) : ""));
    line.append(",").append(quoted(detail));
    line.append(",").append(quoted(cost));
    return line.append("\r\n");
}

}  // namespace

std::vector<std::size_t> vehicle_records_for_output(const VehicleStore& store, bool selected_only) {
    std::vector<std::size_t> offsets;
    if (store.vehicles().empty()) return offsets;
    const std::int32_t vehicle_id = store.current_vehicle_id();
    for (std::size_t offset : store.chunks()) {
        const ChunkHeader h = store.header(offset);
        if (h.type != kRecordMaintenance && h.type != kRecordFuel) continue;
        if (h.vehicle_id != vehicle_id) continue;
        if (selected_only && (h.marks & kVehicleSelectedMark) == 0) continue;
        offsets.push_back(offset);
    }
    return offsets;
}

std::string vehicle_records_csv(const VehicleStore& store, const std::vector<std::size_t>& offsets) {
    std::string out = "Date,Odometer Start,Odometer End,Fuel/Description,Cost\r\n";
    for (std::size_t offset : offsets) out += csv_line(store, offset);
    return out;
}

std::string vehicle_export_name(const std::string& typed) {
    std::string name = trim(typed);
    if (name.empty()) name = kDefaultName;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return name + ".csv";
    return name.substr(0, dot + 1) + "csv";
}

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
