// The Passwords screen.
#pragma once

namespace domora {

// Runs the screen's loop until another screen is chosen or the program quits.
void password_screen();

}  // namespace domora
