// The entry forms of the vehicle log: the vehicle form, the maintenance
// form and the fuel form, each re-shown with one error line until what was
// typed can be stored, and each ending with a save.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "vehicles/vehicle_records.h"

namespace domora {

// Returns "" when the typed values can be stored, else the error line.
using FormCheck = std::function<std::string(const std::vector<std::string>&)>;
// Shows an entry form preset with values and shows it again, keeping what
// was typed, with the check's error line under the title until the check
// passes. values then holds the trimmed texts. False when the user cancels
// (or the program quits while the form is open).
bool run_form(const std::string& title, const std::string& labels, int width, int max_length,
              std::vector<std::string>& values, const FormCheck& check);

void add_vehicle(VehicleManager& m);
void edit_vehicle(VehicleManager& m);

void add_maintenance_record(VehicleManager& m);
void edit_maintenance_record(VehicleManager& m, int position);
void add_fuel_record(VehicleManager& m);
void edit_fuel_record(VehicleManager& m, int position);
// The maintenance or fuel form for the current record.
void edit_current_record(VehicleManager& m);

}  // namespace domora
