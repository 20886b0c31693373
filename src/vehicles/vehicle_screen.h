// The Vehicles screen.
#pragma once

namespace domora {

// Runs the screen's loop until another screen is chosen or the program quits.
void vehicle_screen();

}  // namespace domora
