// The program's screens and the main loop that runs them.
#pragma once

#include <string>
#include <vector>

namespace domora {

// "Mmm dd, yyyy", e.g. "Mar 10, 2023".
std::string release_date_text(int year, int month, int day);

void about_screen();
// A screen not built yet: the tab bar over the background.
void blank_screen(int code);

// Runs the loop of the current screen until quit is requested.
void main_loop();

// The whole run: start-up, main window, main loop, shutdown. Returns the
// process exit code.
int run_domora(const std::vector<std::string>& arguments);

}  // namespace domora
