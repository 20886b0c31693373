#include "addresses/address_screen.h"

#include "app/screens/screens.h"
#include "app/startup.h"

namespace domora {

void address_screen() { blank_screen(kScreenAddresses); }

}  // namespace domora
