// The tab bar every screen draws at the top: the five tabs and the header
// band, by which the window is dragged.
#pragma once

#include <string>

namespace domora {

// A short status line at the right of the header band, on every screen
// (the progress of a sync running in the background); "" shows none.
void set_status_note(const std::string& text);
const std::string& status_note();

// Adds the tabs (the current screen's in the active look) and the header band.
void add_tab_bar(int current_screen);

}  // namespace domora
