// The top of the program: the main loop over the screens, and the whole run.
#pragma once

#include <string>
#include <vector>

namespace domora {

// Runs the loop of the current screen until quit is requested.
void main_loop();

// The whole run: start-up, main window, main loop, shutdown. Returns the
// process exit code.
int run_domora(const std::vector<std::string>& arguments);

}  // namespace domora
