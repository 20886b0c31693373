// Service reminders of the vehicles: when each is due, the one the Vehicles
// screen shows, the overdue ones the program names at start, the list and
// form that keep them, and moving a repeating one on when its service is
// recorded.
#pragma once

#include <climits>
#include <cstdint>
#include <string>

#include "vehicles/reminder_file.h"
#include "vehicles/vehicle_store.h"

namespace domora {

struct VehicleManager;

enum class ReminderState { Later, Soon, Overdue };

struct ReminderDue {
    ReminderState state = ReminderState::Later;
    int days_left = INT_MAX;                 // to the due date, negative once past; INT_MAX without one
    std::int64_t distance_left = INT64_MAX;  // hundredths of a km; INT64_MAX without a due odometer
};

// Overdue once the due date has passed or the odometer has gone beyond the
// due reading; soon within 30 days, or within 500 km (300 mi where the
// locale counts in miles). odometer 0 means no reading is known.
ReminderDue reminder_due(const Reminder& r, int today, std::int64_t odometer, bool miles);

// The highest odometer reading among a vehicle's records, 0 for none.
std::int64_t vehicle_odometer(const VehicleStore& store, std::int32_t vehicle_id);
// Today as a day number (ui/chart.h), from the platform's local clock.
int today_number();

// The reminder of the vehicle that is due next: overdue before soon before
// later, then the nearest date, then the shortest distance. Null for none.
const Reminder* next_reminder(const ReminderFile& file, std::int32_t vehicle_id, const VehicleStore& store, int today);

// "due Mar 7, 2024 or at 45,000 km", "due at 45,000 km".
std::string due_text(const Reminder& r);
// "Oil change - due Mar 7, 2024 or at 45,000 km".
std::string reminder_text(const Reminder& r);
// The same, then how it repeats: " - every 6 months or 10,000 km".
std::string reminder_line(const Reminder& r);

// A repeating reminder moved on from a service done on that day at that
// reading: each part that repeats is due its interval later, a part that
// does not is done with.
Reminder moved_on(const Reminder& r, int year, int month, int day, std::int32_t odometer);

// The start-up notice naming every overdue reminder of every vehicle, "" for none.
std::string overdue_notice(const ReminderFile& file, const VehicleStore& store, int today);

// ---- with the user -------------------------------------------------------------------------------------

// The manager's reminders, read from the data folder's "reminders.dat" on first use.
ReminderFile& reminders_of(VehicleManager& m);
// Writes them, telling the user when that failed.
void save_reminders_of(VehicleManager& m);

// The Reminders button: the current vehicle's list with Add, Edit, Delete and Close.
void manage_reminders(VehicleManager& m);
// After a maintenance record was added: offers to move on each repeating
// reminder of its vehicle whose text the description holds.
void offer_reminder_move(VehicleManager& m, const ChunkHeader& service, const std::string& description);
// A deleted vehicle's reminders go with it, so that a vehicle added later
// under the same id does not find them.
void forget_vehicle_reminders(VehicleManager& m, std::int32_t vehicle_id);
// Once at start: the overdue reminders, if there are any.
void announce_overdue_reminders();

}  // namespace domora
