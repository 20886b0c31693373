// What the Passwords screen's two files share: its state between turns and
// its drawing (password_screen_draw.cpp); input and actions are in
// password_screen.cpp.
#pragma once

#include <string>
#include <vector>

#include "passwords/password_record.h"
#include "ui/widgets.h"

namespace domora::password_screen_parts {

struct ScreenState {
    std::string help;             // the help line under the detail pane
    // After a copy the help line says so until the mouse leaves this spot.
    bool copy_noted = false;
    int copied_x = 0, copied_y = 0;
    std::vector<PasswordLine> lines;  // the current record's lines as shown
    bool keep_current_visible = true;
    int last_button = 0;          // the mouse button of the latest press
    int button_before = 0;        // the button as the previous turn saw it
    // A press in the list.
    bool tracking = false;
    int press_button = 0;
    bool press_on_current = false;
    bool press_moved = false;
    // Keys: the one that repeats, and one still held from before a dialog.
    int held_key = 0;
    int stale_key = 0;
    bool arrow_repeating = false;
    int hover_x = -1, hover_y = -1;  // where the pointer was when the help line last followed it
};

extern ScreenState g_state;

// Wipes the current record's lines as shown and forgets them.
void forget_lines();
// Records are shown only while the file is open: a locked image is ciphertext.
int shown_count();
// The list's area inside its frame.
Rect list_inner(const WidgetRecord& w);
const WidgetRecord* widget(int id);
// The row under the mouse, or -1.
int row_at(int x, int y);
// A lock that waited for the popups to close is carried out before the
// screen can show a record again.
void apply_pending_lock();
// Fills the widget table with the screen and draws it.
void draw_screen();
// Shows text in the help line at once.
void set_help(const std::string& text);

}  // namespace domora::password_screen_parts
