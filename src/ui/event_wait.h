// The event wait: one turn of every screen loop and popup. Pumps one event,
// hit-tests the widget table, shows hover and press looks, and returns the
// identifier of the widget that was clicked or whose mnemonic was typed.
#pragma once

namespace domora {

inline constexpr int kHeaderBandId = 1;

int event_wait(bool wait);

// What the update check may have brought; F12 and the event wait offer it.
using NewsHandler = void (*)(bool forced);
void set_news_handler(NewsHandler handler);

// Centres the window in the work area at no less than 1,024 x 748, in the
// normal state, and saves the settings.
void reset_window_placement();

}  // namespace domora
