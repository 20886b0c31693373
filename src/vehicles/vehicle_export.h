// The Vehicles screen's Export: the current vehicle's fuel and maintenance
// records written to a CSV file that spreadsheets open.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "vehicles/vehicle_csv.h"
#include "vehicles/vehicle_records.h"
#include "vehicles/vehicle_store.h"

namespace domora {

// Asks "All|Selected|Cancel" and exports the answer.
void ask_and_export_vehicle_records(VehicleManager& m);
void export_vehicle_records(VehicleManager& m, bool selected_only);

}  // namespace domora
