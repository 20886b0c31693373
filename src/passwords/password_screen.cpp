#include "passwords/password_screen.h"

#include "app/screens/screens.h"
#include "app/startup.h"

namespace domora {

void password_screen() { blank_screen(kScreenPasswords); }

}  // namespace domora
