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

// The screen code of the tab at position 1..5 (left to right), 0 for others.
int tab_screen(int position);
// The tab step places from the current screen's, wrapping at either end; a
// screen without a tab of its own counts as About.
int neighbour_tab(int current_screen, int step);

}  // namespace domora
