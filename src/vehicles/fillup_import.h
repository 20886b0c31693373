// The Vehicles screen's Import button: fill-ups from a CSV file that another
// fuel log exported, into the current vehicle. The columns and units are
// shown in a form, found already where the file's header names them; the
// closing message names every line that could not be read.
#pragma once

#include <string>

#include "vehicles/fillup_csv.h"

namespace domora {

struct VehicleManager;

// Returns the closing message, for the screen to show once it has been drawn
// again; "" when the user left before anything was read.
std::string import_fill_ups(VehicleManager& m);

// The form that matches the file's columns to the parts of a fill-up and
// sets the units, the date order and the decimal mark; layout holds the
// guess going in and the choice coming out. False when the user cancels.
bool run_fill_up_form(const CsvTable& table, FillUpLayout& layout);

// The closing message of an import of `imported` fill-ups into the vehicle.
std::string import_report(const ImportPlan& plan, int imported, const std::string& vehicle);

}  // namespace domora
