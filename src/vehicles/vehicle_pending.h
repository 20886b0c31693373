// The Vehicles screen's actions whose own work arrives later: export and
// printing. Each answers with a short message until then, and this is the
// one place that changes when they land.
#pragma once

namespace domora {

struct VehicleManager;

void export_vehicle_records(VehicleManager& m);
void print_vehicle_records(VehicleManager& m);

}  // namespace domora
