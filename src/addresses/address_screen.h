// The Addresses screen.
#pragma once

namespace domora {

// Runs the screen's loop until another screen is chosen or the program quits.
void address_screen();

}  // namespace domora
