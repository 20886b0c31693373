// What the Password screen's buttons and keys do to the records: add, edit,
// delete, find and the sort that follows every change, with their forms and
// messages. Each works on the current row of the screen's list.
#pragma once

#include <cstdint>
#include <string>

#include "app/result.h"
#include "ui/widgets.h"

namespace domora {

// The screen's list: current row and scroll offset live for the whole run.
ListState& password_list();
// The last search text (empty at start, and again after "No More Matches").
std::string& last_password_search();
// Keeps the current row within the view.
void clamp_current_password();
// Makes the first row with this id current (the row stays when none has it).
void select_password_id(std::int32_t id);

void AddPassword();
void EditPassword();
void DeletePassword();
void FindPassword();
// Orders the records by sort key, drops deleted ones and junk, saves and loads.
Result<void> SortPasswords();

}  // namespace domora
