// The vehicle log as a CSV file that spreadsheets open: the records of one
// vehicle, a line each. The Vehicles screen's Export and the command-line
// companion both write it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "vehicles/vehicle_store.h"

namespace domora {

// The fuel and maintenance records of the current vehicle, in file order;
// with selected_only, just those carrying the selected mark.
std::vector<std::size_t> vehicle_records_for_output(const VehicleStore& store, bool selected_only);

// The header line and one line per record, each ended by CR LF: date,
// odometer start, odometer end, fuel or description, cost, every field in
// double quotes with any double quote inside doubled.
std::string vehicle_records_csv(const VehicleStore& store, const std::vector<std::size_t>& offsets);

// The file name as the user typed it, ending in ".csv": an empty name is
// "Vehicle Records", a name without "." gets the extension, and whatever
// follows the last "." is replaced.
std::string vehicle_export_name(const std::string& typed);

}  // namespace domora
