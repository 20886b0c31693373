// Views that take the whole window for a while, over the screen that opened
// them: a form of many rows, a pair of charts. While one is up no tab
// changes the screen; when it ends, the screen is drawn again.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace domora {

// Draws the view (again after the window changed size or a popup closed
// over it) and hands act every turn of the event wait, with the identifier
// it returned or 0, until act says the view is done or the program quits.
void run_full_view(const std::function<void()>& draw, const std::function<bool(int id)>& act);

// The parts such a view is built of, added to the widget table: the band
// that moves the window and the view's title centred at y (returns the y
// below it), and a row of buttons centred at top, each at least `least`
// wide, their first letters the mnemonics.
int add_view_title(const std::string& title, int y);
void add_button_row(int top, const std::vector<std::pair<int, std::string>>& buttons, int least);

}  // namespace domora
