// The tab bar every screen draws at the top: the five tabs and the header
// band, by which the window is dragged.
#pragma once

namespace domora {

// Adds the tabs (the current screen's in the active look) and the header band.
void add_tab_bar(int current_screen);

}  // namespace domora
