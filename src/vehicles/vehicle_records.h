// What the Vehicles screen's buttons do: choosing and deleting vehicles,
// deleting the marked records, Find, the display filter, and the upkeep of
// the record view after each of them (one current record, carrying the
// selected mark, scrolled into sight). The entry forms are in vehicle_forms.h.
#pragma once

#include <string>

#include "app/result.h"
#include "platform/image.h"
#include "ui/widgets.h"
#include "vehicles/reminder_file.h"
#include "vehicles/vehicle_store.h"

namespace domora {

struct VehicleManager {
    VehicleStore store;
    // The record list's scrolling; the screen sets its view and row heights.
    ListState list;
    // The photo last decoded for drawing and the stored bytes it came from,
    // so that a redraw does not decode the same photo again.
    std::string photo_bytes;
    Picture photo;
    // The service reminders ("reminders.dat"), read on first use.
    ReminderFile reminders;
    bool reminders_loaded = false;
};

// The program's one vehicle manager, on the data folder's vehicle file.
VehicleManager& vehicle_manager();

// "All Records", "Fuel Records", "Maintenance Records", "Search Results".
std::string display_filter_name(int filter);

// ---- the view after an operation --------------------------------------------------------------

// On entering the screen: loads the file while the image is empty, with the
// filter back to "All Records" and the last record current and selected.
void enter_vehicle_manager(VehicleManager& m);
// Copies the record view's count and position into the list state.
void sync_record_list(VehicleManager& m);
// Makes position current (kept within the view) and scrolls it into sight.
void show_record(VehicleManager& m, int position);
// Clears every selected mark and gives the current record one.
void select_only_current(VehicleManager& m);
// Scroll to the top, the last record current, and only it selected.
void reset_record_view(VehicleManager& m);
// Tells the user when a save did not reach the disk.
void report_save(const Result<void>& saved);
// Waits for the key that closed a popup to come up, so that the Enter that
// chose a line or saved a form does not act again on what follows.
void wait_for_key_up();

// ---- guards: false after telling the user why nothing happens ---------------------------------------

bool need_vehicle(const VehicleManager& m);  // "Add a Vehicle First"
bool need_records(const VehicleManager& m);  // "No Records For This Vehicle"

// ---- operations ----------------------------------------------------------------------------------------

// The vehicle picker dropped down at (x, y); the pick is remembered in the settings.
void choose_vehicle(VehicleManager& m, int x, int y, int width);
// After the user types YES: the vehicle and all its records go.
void delete_vehicle(VehicleManager& m);
void delete_selected_records(VehicleManager& m);
void find_records(VehicleManager& m);
// The filter picker dropped down at (x, y).
void choose_display_filter(VehicleManager& m, int x, int y, int width);
void apply_display_filter(VehicleManager& m, int filter);
// Flips every record of the view: all cleared when all carry the mark, else all set.
void toggle_all_selected(VehicleManager& m);

}  // namespace domora
