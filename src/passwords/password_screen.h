// The Passwords screen: the list of titles, the current record's "Name:
// Value" lines with copy, e-mail and browser actions, and the buttons for
// find, add, edit, delete, export and changing the master password.
#pragma once

#include <string>

namespace domora {

// Widget identifiers of the screen.
enum PasswordWidget {
    kPwFind = 200,
    kPwAdd = 201,
    kPwEdit = 202,
    kPwDelete = 203,
    kPwChangeMaster = 204,
    kPwExport = 207,
    kPwList = 209,
    kPwScrollUp = 210,
    kPwScrollBar = 211,
    kPwScrollDown = 212,
    kPwHelpLine = 213,
    kPwDetailPane = 214,
    kPwFirstValue = 500,
};

// Runs the screen's loop until another screen is chosen or the program quits.
void password_screen();

}  // namespace domora
