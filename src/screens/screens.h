// The shared screens: About and the screens not built yet.
#pragma once

#include <string>
#include <vector>

namespace domora {

// "Mmm dd, yyyy", e.g. "Mar 10, 2023".
std::string release_date_text(int year, int month, int day);

void about_screen();
// A screen not built yet: the tab bar over the background.
void blank_screen(int code);

}  // namespace domora
