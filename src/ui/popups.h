// Modal popups drawn inside the main window: message boxes, confirmations,
// prompts and entry forms (ShowPopup), the choice dialog, the list picker
// and the progress popup. Each runs its own loop over the event wait.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "ui/widgets.h"

namespace domora {

inline constexpr int kFieldBufferSize = 40;
inline constexpr int kFirstButtonId = 5000;
inline constexpr int kLastButtonId = 6000;
inline constexpr std::uint32_t kWhite = 16777215;
// The look of every popup's panel.
inline constexpr std::uint32_t kPanelFill = rgb(224, 230, 236);
inline constexpr std::uint32_t kPanelLine = rgb(24, 52, 64);

// Entry forms exchange their values through these records: record i is field
// i (its id is the field number), and the record after the last has id -1.
using FieldBuffer = std::array<WidgetRecord, kFieldBufferSize>;
FieldBuffer& field_buffer();
// Zeroes every record, text colour black, background white, as callers do
// before presetting values.
void clear_field_buffer();
// Record i's text; "" past the end.
std::string field_text(int i);
void set_field_text(int i, const std::string& text, int max_length = 0);
// Field i of the next dialog started from the buffer (N + 100) shows bullets
// instead of its text and wipes its own copy when the dialog ends.
void set_field_secret(int i);
// Field i of the next dialog started from the buffer begins with its whole
// text selected, so that typing replaces it (a password to try again).
void select_field_text(int i);

// Mnemonic positions (from 1, 0 for none) for a row of captions: each its
// first letter unless an earlier caption has it, else the first free letter
// that starts a word, else any free letter.
std::vector<int> free_mnemonics(const std::vector<std::string>& captions);

// message and labels and buttons are "|"-separated; field_width 0 means no
// fields, N (1..99) N-character fields, N + 100 the same starting from the
// field buffer. In a form a caption that starts with "&" (not shown) is
// pressed by Ctrl and its first letter. result is set to the chosen 1-based button; it keeps the
// caller's value when the dialog ends without a choice (the program quits).
void ShowPopup(const std::string& message, const std::string& labels, int default_button, const std::string& buttons,
               int field_width, int& result);

// A title, a framed list of options (one highlighted), and a row of buttons.
// button_result is the 1-based button pressed; chosen is the option highlighted.
void ShowChoice(const std::string& title, const std::string& options, const std::string& buttons, int& button_result,
                int& chosen);

// The list picker's lines; a line beginning with "|" is a heading.
struct PopupList {
    std::vector<std::string> lines;  // up to 80 characters each
    int first_visible = 0;
    int chosen = -1;
    int current = -1;  // the line to highlight on opening (the value now); -1 none; reset by every pick
};
PopupList& popup_list();
// The first line equal to text (case ignored), for PopupList::current; -1 when none is.
int index_of(const std::vector<std::string>& lines, const std::string& text);
// Drops the list down at (x, y), at least width wide. result is the chosen
// 0-based line, or -1 when the user leaves without choosing. flags 0 shows
// at least 10 lines.
void PickFromList(int x, int y, int width, int flags, int reserved, int& result);

void OpenProgress();
// Redraws only when the percentage changes (or is 100).
void UpdateProgress(const std::string& title, const std::string& detail, long long done, long long total);
void CloseProgress();

// Saves the screen and the flags before a popup; restores them after it.
struct PopupScope {
    PopupScope();
    ~PopupScope();
    PopupScope(const PopupScope&) = delete;
    PopupScope& operator=(const PopupScope&) = delete;
    bool was_open;
};

// Starts a popup's widget table: the saved screen behind it, the header band
// (the window can still be moved), a shade over the screen and the panel.
void begin_popup_widgets(const Rect& panel);

// From now on, messages from below the toolkit come up as popup message boxes.
void install_popup_messages();

// Splits at each "|"; an empty text gives no parts.
std::vector<std::string> split_bars(const std::string& text);

// The two plain questions the exchange screens ask: a message with one OK
// button, and OK|Cancel with OK as the default (true for OK).
void show_ok(const std::string& message);
bool ask_ok_cancel(const std::string& message);

}  // namespace domora
