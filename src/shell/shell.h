// The top of the program: the main loop over the screens, and the whole run.
#pragma once

#include <string>
#include <vector>

namespace domora {

// After a restore replaced data files: the password manager forgets its open
// state (the master password is asked again) and the vehicle file is read
// again on the next visit.
void forget_restored_data();

// Runs the loop of the current screen until quit is requested.
void main_loop();

// The whole run: start-up, main window, main loop, shutdown. Returns the
// process exit code.
int run_domora(const std::vector<std::string>& arguments);

}  // namespace domora
