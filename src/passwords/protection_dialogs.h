// The Options screen's choice of how the password file is protected: the
// warning, the master password, the conversion and what the user is told.
#pragma once

namespace domora {

// Converts the store to the strong file (true) or the standard one, after
// asking for the master password; nothing happens when it is that already.
void change_password_protection(bool strong);

}  // namespace domora
