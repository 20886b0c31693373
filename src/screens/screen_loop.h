// The pattern every screen loop follows: redraw when asked, otherwise act on
// what the event wait returns, until the screen changes or the program quits.
#pragma once

namespace domora {

class ScreenLoop {
public:
    explicit ScreenLoop(int code);
    // False once the screen is left. Draws via draw() when a redraw is due
    // and then returns with id 0.
    bool next(int& id, void (*draw)());

private:
    int m_code;
};

// A notice for the start: shown once, over the first screen the window
// shows, as soon as that screen has been drawn.
void show_after_first_draw(void (*notice)());

}  // namespace domora
