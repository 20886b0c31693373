#include "vehicles/reminders.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "app/main_window.h"
#include "app/messages.h"
#include "app/startup.h"
#include "app/text.h"
#include "ui/chart.h"
#include "ui/popups.h"
#include "vehicles/vehicle_forms.h"
#include "vehicles/vehicle_records.h"
#include "vehicles/vehicle_units.h"

namespace domora {

namespace {

constexpr int kSoonDays = 30;
constexpr std::int64_t kSoonKilometres = 50000;  // 500 km, in hundredths
constexpr std::int64_t kSoonMiles = 48280;       // 300 mi
constexpr int kMostNoticeLines = 12;

int rank(ReminderState s) { return s == ReminderState::Overdue ? 0 : s == ReminderState::Soon ? 1 : 2; }

// A text that goes into a popup, where "|" would start a new line.
std::string one_line(const std::string& text) { return replace_all(text, "|", "/"); }

std::string heading_of(const VehicleStore& store, std::size_t offset) { return trim(store.vehicle_heading(offset)); }

// ---- the form ---------------------------------------------------------------------------------------

// Fills r from the typed values; "" when they can be kept, else the error
// line. A distance left as the form showed it keeps its stored value, which
// the text shows rounded.
std::string read_form(const std::vector<std::string>& v, const std::vector<std::string>& shown, Reminder& r) {
    r.text = v[0];
    if (r.text.empty()) return "|** Please enter what the reminder is for **";
    r.due_year = r.due_month = r.due_day = 0;
    if (!v[1].empty()) {
        const VehicleDate date = read_date(v[1]);
        if (!calendar_date(date.year, date.month, date.day)) return "|** Please enter the date in the format YYYY/MM/DD **";
        r.due_year = date.year;
        r.due_month = date.month;
        r.due_day = date.day;
    }
    // An empty string when the distance can be kept, else what is wrong with it.
    const auto distance = [](const std::string& text, const std::string& was, std::int32_t& into) -> const char* {
        if (text == was) return "";
        const std::optional<std::int64_t> value = distance_entry(text);
        if (!value) return "valid";
        if (!fits_stored(*value)) return "smaller";
        into = static_cast<std::int32_t>(*value);
        return "";
    };
    const std::string odometer = distance(v[2], shown[2], r.due_odometer);
    if (!odometer.empty()) return "|** Please enter a " + odometer + " odometer **";
    if (!r.has_date() && r.due_odometer == 0) return "|** Please enter a due date, a due odometer or both **";
    const bool digits = v[3].find_first_not_of("0123456789") == std::string::npos;
    const std::int64_t months = digits && !v[3].empty() && v[3].size() < 6 ? std::stoll(v[3]) : 0;
    if (!digits || months > kMostRepeatMonths) return "|** Please enter the months as a whole number up to 1200 **";
    r.repeat_months = static_cast<std::int32_t>(months);
    const std::string repeat = distance(v[4], shown[4], r.repeat_distance);
    if (!repeat.empty()) return "|** Please enter a " + repeat + " distance **";
    return {};
}

// The add or edit form; false when the user cancels.
bool reminder_form(const std::string& title, Reminder& r) {
    std::vector<std::string> values = {
        r.text,
        r.has_date() ? date_entry_text(r.due_year, r.due_month, r.due_day) : "",
        odometer_entry_text(r.due_odometer),
        r.repeat_months > 0 ? std::to_string(r.repeat_months) : "",
        odometer_entry_text(r.repeat_distance),
    };
    const std::string unit = us_units() ? "miles" : "km";
    const std::vector<std::string> shown = values;
    Reminder typed = r;
    const FormCheck check = [&](const std::vector<std::string>& v) {
        typed = r;
        return read_form(v, shown, typed);
    };
    if (!run_form(title, "Reminder|Due Date|Due Odometer (" + unit + ")|Repeat Every (months)|Repeat Every (" + unit + ")", 40,
                  kReminderTextLength, values, check)) {
        return false;
    }
    r = typed;
    return true;
}

// Positions in the file of the vehicle's reminders, in the order the list shows them.
std::vector<std::size_t> reminders_of_vehicle(const ReminderFile& file, std::int32_t vehicle_id, const VehicleStore& store,
                                              int today) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < file.reminders.size(); ++i) {
        if (file.reminders[i].vehicle_id == vehicle_id) found.push_back(i);
    }
    // Most vehicles have none: their records are not walked for nothing.
    if (found.empty()) return found;
    const std::int64_t odometer = vehicle_odometer(store, vehicle_id);
    const bool miles = us_units();
    std::stable_sort(found.begin(), found.end(), [&](std::size_t a, std::size_t b) {
        const ReminderDue x = reminder_due(file.reminders[a], today, odometer, miles);
        const ReminderDue y = reminder_due(file.reminders[b], today, odometer, miles);
        if (rank(x.state) != rank(y.state)) return rank(x.state) < rank(y.state);
        if (x.days_left != y.days_left) return x.days_left < y.days_left;
        return x.distance_left < y.distance_left;
    });
    return found;
}

std::string state_prefix(ReminderState s) {
    return s == ReminderState::Overdue ? "Overdue: " : s == ReminderState::Soon ? "Soon: " : "";
}

}  // namespace

ReminderDue reminder_due(const Reminder& r, int today, std::int64_t odometer, bool miles) {
    ReminderDue due;
    if (r.has_date()) due.days_left = day_number(r.due_year, r.due_month, r.due_day) - today;
    if (r.due_odometer > 0 && odometer > 0) due.distance_left = static_cast<std::int64_t>(r.due_odometer) - odometer;
    if (due.days_left < 0 || (due.distance_left != INT64_MAX && due.distance_left < 0)) {
        due.state = ReminderState::Overdue;
    } else if (due.days_left <= kSoonDays || (due.distance_left != INT64_MAX && due.distance_left <= (miles ? kSoonMiles : kSoonKilometres))) {
        due.state = ReminderState::Soon;
    }
    return due;
}

std::int64_t vehicle_odometer(const VehicleStore& store, std::int32_t vehicle_id) {
    std::int64_t highest = 0;
    for (std::size_t offset : store.chunks()) {
        const ChunkHeader h = store.header(offset);
        if (h.vehicle_id == vehicle_id && (h.type == kRecordFuel || h.type == kRecordMaintenance)) highest = std::max<std::int64_t>(highest, h.b);
    }
    return highest;
}

int today_number() {
    const UtcTime now = platform().local_now();
    return day_number(now.year, now.month, now.day);
}

const Reminder* next_reminder(const ReminderFile& file, std::int32_t vehicle_id, const VehicleStore& store, int today) {
    const std::vector<std::size_t> found = reminders_of_vehicle(file, vehicle_id, store, today);
    return found.empty() ? nullptr : &file.reminders[found.front()];
}

std::string due_text(const Reminder& r) {
    std::string text = "due";
    if (r.has_date()) text += " " + format_date(r.due_year, r.due_month, r.due_day);
    if (r.has_date() && r.due_odometer > 0) text += " or";
    if (r.due_odometer > 0) text += " at " + format_odometer(r.due_odometer);
    return text;
}

std::string reminder_text(const Reminder& r) { return one_line(r.text) + " - " + due_text(r); }

std::string reminder_line(const Reminder& r) {
    std::string text = reminder_text(r);
    if (!r.repeats()) return text;
    text += " - every";
    if (r.repeat_months > 0) text += " " + std::to_string(r.repeat_months) + (r.repeat_months == 1 ? " month" : " months");
    if (r.repeat_months > 0 && r.repeat_distance > 0) text += " or";
    if (r.repeat_distance > 0) text += " " + format_odometer(r.repeat_distance);
    return text;
}

Reminder moved_on(const Reminder& r, int year, int month, int day, std::int32_t odometer) {
    Reminder next = r;
    next.due_year = next.due_month = next.due_day = 0;
    if (r.repeat_months > 0) {
        const int months = year * 12 + (month - 1) + r.repeat_months;
        next.due_year = std::min(months / 12, 2500);
        next.due_month = next.due_year == 2500 && months / 12 > 2500 ? 12 : months % 12 + 1;
        next.due_day = day;
        // The 31st of a shorter month is its last day.
        while (next.due_day > 28 && !calendar_date(next.due_year, next.due_month, next.due_day)) --next.due_day;
    }
    next.due_odometer = 0;
    if (r.repeat_distance > 0 && odometer > 0) {
        next.due_odometer = static_cast<std::int32_t>(std::min<std::int64_t>(static_cast<std::int64_t>(odometer) + r.repeat_distance, INT32_MAX));
    }
    return next;
}

std::string overdue_notice(const ReminderFile& file, const VehicleStore& store, int today) {
    std::vector<std::string> lines;
    const bool miles = us_units();
    for (std::size_t offset : store.vehicles()) {
        const std::int32_t id = store.header(offset).vehicle_id;
        const std::int64_t odometer = vehicle_odometer(store, id);
        for (std::size_t i : reminders_of_vehicle(file, id, store, today)) {
            const Reminder& r = file.reminders[i];
            if (reminder_due(r, today, odometer, miles).state != ReminderState::Overdue) continue;
            lines.push_back(one_line(heading_of(store, offset)) + ": " + reminder_text(r));
        }
    }
    if (lines.empty()) return {};
    std::string text = lines.size() == 1 ? "This reminder is overdue:|" : "These reminders are overdue:|";
    for (std::size_t i = 0; i < lines.size() && i < kMostNoticeLines; ++i) text += "|" + lines[i];
    if (lines.size() > kMostNoticeLines) text += "|and " + std::to_string(lines.size() - kMostNoticeLines) + " more";
    return text;
}

// ---- with the user -------------------------------------------------------------------------------------

ReminderFile& reminders_of(VehicleManager& m) {
    if (!m.reminders_loaded) {
        const std::string& path = app_paths().reminders_file;
        m.reminders = load_reminders(path);
        m.reminders_loaded = true;
        if (m.reminders.unreadable) show_message("The reminders file could not be read.|" + path);
        if (m.reminders.damaged > 0) {
            show_message(std::to_string(m.reminders.damaged) + " reminders are damaged and have been skipped");
        }
    }
    return m.reminders;
}

void save_reminders_of(VehicleManager& m) {
    const Result<void> saved = save_reminders(app_paths().reminders_file, reminders_of(m));
    if (!saved) show_message("The reminders could not be saved.|" + saved.error().message);
    // What was damaged is not in the file any more.
    m.reminders.damaged = 0;
}

void manage_reminders(VehicleManager& m) {
    if (!need_vehicle(m)) return;
    ReminderFile& file = reminders_of(m);
    const std::optional<VehicleInfo> vehicle = m.store.current_vehicle();
    if (!vehicle) return;
    int chosen = 0;
    for (;;) {
        const int today = today_number();
        const std::vector<std::size_t> shown = reminders_of_vehicle(file, vehicle->vehicle_id, m.store, today);
        const std::int64_t odometer = vehicle_odometer(m.store, vehicle->vehicle_id);
        std::string options;
        for (std::size_t i : shown) {
            const Reminder& r = file.reminders[i];
            options += (options.empty() ? "" : "|") + state_prefix(reminder_due(r, today, odometer, us_units()).state) + reminder_line(r);
        }
        int button = 4;
        const std::string title = "Reminders for " + one_line(trim(vehicle->year + " " + vehicle->make + " " + vehicle->model));
        ShowChoice(shown.empty() ? title + "|(none yet)" : title, options, "Add|Edit|Delete|Close", button, chosen);
        wait_for_key_up();
        if (main_window().quit_requested || button < 1 || button > 3) return;
        if (button == 1) {
            Reminder r;
            r.vehicle_id = vehicle->vehicle_id;
            r.id = new_reminder_id(file);
            if (!reminder_form("Add Reminder", r)) continue;
            file.reminders.push_back(r);
            save_reminders_of(m);
            continue;
        }
        if (shown.empty()) {
            show_ok("There are no reminders for this vehicle");
            continue;
        }
        const std::size_t at = shown[static_cast<std::size_t>(std::clamp(chosen, 0, static_cast<int>(shown.size()) - 1))];
        if (button == 2) {
            Reminder r = file.reminders[at];
            if (!reminder_form("Edit Reminder", r)) continue;
            file.reminders[at] = r;
        } else {
            if (!ask_ok_cancel("Delete the reminder|" + reminder_text(file.reminders[at]) + "?")) continue;
            file.reminders.erase(file.reminders.begin() + static_cast<std::ptrdiff_t>(at));
            chosen = 0;
        }
        save_reminders_of(m);
    }
}

void offer_reminder_move(VehicleManager& m, const ChunkHeader& service, const std::string& description) {
    ReminderFile& file = reminders_of(m);
    const std::string done = to_lower(description);
    const std::int32_t odometer =
        service.b > 0 ? service.b : static_cast<std::int32_t>(std::min<std::int64_t>(vehicle_odometer(m.store, service.vehicle_id), INT32_MAX));
    bool changed = false;
    for (Reminder& r : file.reminders) {
        if (r.vehicle_id != service.vehicle_id || !r.repeats()) continue;
        const std::string wanted = to_lower(trim(r.text));
        if (wanted.empty() || done.find(wanted) == std::string::npos) continue;
        const Reminder next = moved_on(r, service.year, service.month, service.day, odometer);
        if (!next.has_date() && next.due_odometer == 0) continue;  // nothing to move it on to
        int answer = 2;
        ShowPopup("Move the reminder \"" + one_line(r.text) + "\" on?|Next " + due_text(next), "", 1, "Yes|No", 0, answer);
        wait_for_key_up();
        if (answer != 1) continue;
        r = next;
        changed = true;
    }
    if (changed) save_reminders_of(m);
}

void forget_vehicle_reminders(VehicleManager& m, std::int32_t vehicle_id) {
    std::vector<Reminder>& all = reminders_of(m).reminders;
    const std::size_t before = all.size();
    std::erase_if(all, [&](const Reminder& r) { return r.vehicle_id == vehicle_id; });
    if (all.size() != before) save_reminders_of(m);
}

void announce_overdue_reminders() {
    VehicleManager& m = vehicle_manager();
    if (reminders_of(m).reminders.empty()) return;
    // Only now is the vehicle file worth reading: its odometers tell what is overdue.
    enter_vehicle_manager(m);
    const std::string notice = overdue_notice(m.reminders, m.store, today_number());
    if (!notice.empty()) show_ok(notice);
}

}  // namespace domora
