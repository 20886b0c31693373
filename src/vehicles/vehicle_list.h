// The Vehicles screen's record list (widget kind 1009): its columns, its
// rows, and what the mouse and the keys do on it.
#pragma once

#include "ui/widgets.h"
#include "vehicles/vehicle_records.h"

namespace domora {

// Widget identifiers of the list and its companions on the Vehicles screen.
inline constexpr int kVehicleListId = 612;
inline constexpr int kVehicleListCheckId = 611;  // the header's select-all box
inline constexpr int kVehicleScrollUpId = 613;
inline constexpr int kVehicleScrollBarId = 614;
inline constexpr int kVehicleScrollDownId = 615;

// Column edges of a list spanning left to right, in the list font.
struct RecordColumns {
    int padding = 10;
    int date_left = 0;
    int date_text_right = 0;  // where "d, yyyy" ends
    int date_end = 0;
    int odometer_end = 0;
    int cost_end = 0;
    int check_left = 0;  // the check-box column
    int check_right = 0;
    int record_left = 0;
};
RecordColumns record_columns(int left, int right);

// The manager whose records the list shows; the drawer reads it.
void show_records_of(VehicleManager* m);
// Registers the list's drawer with the toolkit.
void install_record_list_drawer();

// Draws the list, its scroll bar and the header box again and presents them.
void redraw_record_list();
// The select-all box shows whether every record in the view is selected.
bool all_records_selected(const VehicleManager& m);

// A press of the left button on the list, handled until the release: row
// selection, range marking, drag scrolling; a second click on the current
// row opens it for editing.
void record_list_press(VehicleManager& m, int list_index);
// The scroll arrows repeat while held; the thumb drags.
void record_list_scroll_press(VehicleManager& m, int index);
void record_list_wheel(VehicleManager& m, int wheel_lines);
// Up, Down, Home, End, Page Up, Page Down (with Shift or Ctrl), Space,
// Ctrl+A and Enter. False when the key is not the list's.
bool record_list_key(VehicleManager& m, int key, bool shift, bool ctrl);

}  // namespace domora
