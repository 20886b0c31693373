#include "vehicles/vehicle_screen.h"

#include "app/screens/screens.h"
#include "app/startup.h"

namespace domora {

void vehicle_screen() { blank_screen(kScreenVehicles); }

}  // namespace domora
