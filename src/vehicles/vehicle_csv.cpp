#include "vehicles/vehicle_csv.h"

#include "app/csv_text.h"
#include "app/text.h"
#include "vehicles/vehicle_units.h"

namespace domora {

namespace {

constexpr const char* kDefaultName = "Vehicle Records";


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
    std::string line = csv_quoted(format_date(h.year, h.month, h.day));
    line.append(",").append(csv_quoted(fuel && h.a != 0 ? format_odometer(h.a) : ""));
    line.append(",").append(csv_quoted(h.b != 0 ? format_odometer(h.b) : ""));
    line.append(",").append(csv_quoted(detail));
    line.append(",").append(csv_quoted(cost));
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

}  // namespace domora
