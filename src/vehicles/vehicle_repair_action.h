// "Vehicle Repair" on the Options screen: the repair with its progress, and
// what it did told to the user.
#pragma once

namespace domora {

void run_vehicle_repair();

}  // namespace domora
