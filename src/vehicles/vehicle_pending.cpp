#include "vehicles/vehicle_pending.h"

#include "app/messages.h"
#include "vehicles/vehicle_records.h"

namespace domora {

void import_vehicle_photo(VehicleManager&) { show_message("Vehicle photos are not available yet."); }

void delete_vehicle_photo(VehicleManager&) { show_message("Vehicle photos are not available yet."); }

void export_vehicle_records(VehicleManager&) { show_message("Exporting vehicle records is not available yet."); }

void print_vehicle_records(VehicleManager&) { show_message("Printing vehicle records is not available yet."); }

bool vehicle_photo_drawable(const VehicleManager&) { return false; }

}  // namespace domora
