#include "vehicles/vehicle_pending.h"

#include "app/messages.h"
#include "vehicles/vehicle_records.h"

namespace domora {

void print_vehicle_records(VehicleManager&) { show_message("Printing vehicle records is not available yet."); }

}  // namespace domora
