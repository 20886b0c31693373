// The address list: the sort that keeps the file in order, the find with its
// four ways of combining results, the address modes, the marks and the
// selection rules of the Addresses screen. Works on an AddressStore; draws
// nothing (long operations report their progress through a callback).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "addresses/address_store.h"
#include "app/result.h"

namespace domora {

// Called once per record with (done, total) while a long operation runs.
using ProgressFn = std::function<void(std::int64_t done, std::int64_t total)>;

// ---- sort --------------------------------------------------------------------------------------

// Last + " " + First + " " + Company, outer blanks removed, upper case.
// Keys compare as unsigned bytes, a prefix before the longer key.
std::string address_sort_key(std::string_view first, std::string_view last, std::string_view company);

// Orders the live records by sort key (equal keys keep their file order),
// drops deleted records and junk, writes the file and loads it again. An
// empty image shows "No Addresses To Sort?" and changes nothing. When the
// file cannot be written the user is told, the sorted image stays in memory
// and the error is returned.
Result<void> sort_addresses(AddressStore& store, const ProgressFn& progress = {});

// ---- find ----------------------------------------------------------------------------------------

// The buttons of the "Find Addresses" prompt.
enum FindButton { kFindNew = 1, kFindNarrow = 2, kFindWiden = 3, kFindExclude = 4, kFindCancel = 5 };

// Sets the search marks of every live record from the text (blanks trimmed,
// letter case ignored, a hit always lies within one field) as the button
// says, then shows the search results with position 0 current and alone
// selected, and saves the marks. An empty text or Cancel changes nothing
// and returns false.
bool apply_find(AddressStore& store, const std::string& text, int button, const ProgressFn& progress = {});

// ---- modes, current record and marks --------------------------------------------------------------

// Shows all addresses (0) or the search results (1), with position 0 current and alone selected.
void set_address_mode(AddressStore& store, int mode);
// Makes the first record in the view with this id current; -1 or an empty
// view gives position 0; an id not in the view leaves the position alone.
void set_current_by_id(AddressStore& store, std::int32_t id);
// The same for a record just added under a new id, one no other record in the view has.
void set_current_to_added(AddressStore& store, std::int32_t id);

// A mark bit of the record at a view position; 0 outside the view.
int mark(const AddressStore& store, int position, int bit);
// Ignored outside the view.
void set_mark(AddressStore& store, int position, int bit, bool value);
// Clears the bit in every record of the image, shown or not, live or deleted.
void clear_marks(AddressStore& store, int bit);
// True when the view is not empty and every record in it is selected.
bool all_selected(const AddressStore& store);
// Clears every selected mark and selects the position.
void select_only(AddressStore& store, int position);
// Before Export and Print: when no record in the image is selected, the current one is.
void ensure_selection(AddressStore& store);

// ---- selection rules --------------------------------------------------------------------------------

// One step of Up/Down (delta -1/+1) or Page Up/Page Down (delta -/+ page):
// moves the current position within the view; with Shift the positions
// passed receive the selected mark, with Ctrl the marks stay, otherwise only
// the new position is selected.
void step_current(AddressStore& store, int delta, bool shift, bool ctrl);
// Home (to_end false) and End.
void jump_current(AddressStore& store, bool to_end, bool shift, bool ctrl);
// Space.
void toggle_current_mark(AddressStore& store);
// Ctrl+A and the select-all box: all selected, unless all already were, then none.
void toggle_select_all(AddressStore& store);

// A mouse press in the list, followed while the button is held.
class ListPress {
public:
    // A range press is one with Shift held or in the check-box column.
    ListPress(const AddressStore& store, int button, bool shift, bool in_check_column);
    // The pointer is over this view position (positions outside the view are ignored).
    // Returns true when the marks or the current position changed.
    bool follow(AddressStore& store, int position);
    // After the release: true when the press asks for the Edit form (a
    // right press, or a second left press on the current row, neither a
    // range press and ending on a record).
    bool wants_edit() const;
    bool range() const { return m_range; }

private:
    int m_button;
    bool m_range;
    int m_anchor = -1;
    bool m_value = true;
    int m_start_current;
    int m_first_row = -1;
    int m_row = -1;
    bool m_moved = false;
};

}  // namespace domora
