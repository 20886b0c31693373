// The entry forms of the vehicle log: the vehicle form, the maintenance
// form and the fuel form, each re-shown with one error line until what was
// typed can be stored, and each ending with a save.
#pragma once

#include "vehicles/vehicle_records.h"

namespace domora {

void add_vehicle(VehicleManager& m);
void edit_vehicle(VehicleManager& m);

void add_maintenance_record(VehicleManager& m);
void edit_maintenance_record(VehicleManager& m, int position);
void add_fuel_record(VehicleManager& m);
void edit_fuel_record(VehicleManager& m, int position);
// The maintenance or fuel form for the current record.
void edit_current_record(VehicleManager& m);

}  // namespace domora
