// The Vehicles screen's action whose own work arrives later: printing. It
// answers with a short message until then, and this is the one place that
// changes when it lands.
#pragma once

namespace domora {

struct VehicleManager;

void print_vehicle_records(VehicleManager& m);

}  // namespace domora
