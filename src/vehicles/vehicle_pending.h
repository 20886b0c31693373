// The Vehicles screen's actions whose own work arrives later: photos,
// export and printing. Each answers with a short message until then, and
// this is the one place that changes when they land.
#pragma once

namespace domora {

struct VehicleManager;

void import_vehicle_photo(VehicleManager& m);
void delete_vehicle_photo(VehicleManager& m);
void export_vehicle_records(VehicleManager& m);
void print_vehicle_records(VehicleManager& m);

// The stored photo bytes as something the screen can draw: nothing yet, so
// every vehicle shows "No Photo".
bool vehicle_photo_drawable(const VehicleManager& m);

}  // namespace domora
