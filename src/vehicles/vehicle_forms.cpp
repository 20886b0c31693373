#include "vehicles/vehicle_forms.h"

#include <functional>
#include <optional>
#include <vector>

#include "app/settings.h"
#include "app/text.h"
#include "platform/platform.h"
#include "ui/popups.h"
#include "vehicles/reminders.h"
#include "vehicles/vehicle_units.h"

namespace domora {

bool run_form(const std::string& title, const std::string& labels, int width, int max_length,
              std::vector<std::string>& values, const FormCheck& check) {
    clear_field_buffer();
    for (std::size_t i = 0; i < values.size(); ++i) set_field_text(static_cast<int>(i), values[i], max_length);
    std::string message = title;
    for (;;) {
        int result = 0;
        ShowPopup(message, labels, 1, "Save|Cancel", width + 100, result);
        wait_for_key_up();
        if (result != 1) return false;
        for (std::size_t i = 0; i < values.size(); ++i) values[i] = trim(field_text(static_cast<int>(i)));
        const std::string error = check(values);
        if (error.empty()) return true;
        message = title + error;
    }
}

namespace {

std::string today_text() {
    const UtcTime now = platform().local_now();
    return date_entry_text(now.year, now.month, now.day);
}

// A quantity as stored: an edit that leaves the form's text as it was keeps
// the stored value exactly, since the text is rounded for display. Empty
// when the text is no number of that kind.
std::optional<std::int64_t> typed_or_kept(const std::string& typed, const std::string& shown, bool editing,
                                          std::int64_t stored, std::optional<std::int64_t> (*convert)(std::string_view)) {
    if (editing && typed == shown) return stored;
    return convert(typed);
}

// Every record form ends alike: all records shown, saved, the record
// current, alone in being selected, and in sight.
void finish_record_change(VehicleManager& m, std::int32_t record_id) {
    VehicleStore& store = m.store;
    store.set_display_filter(kFilterAll);
    report_save(store.save());
    store.select_record(record_id);
    select_only_current(m);
    show_record(m, store.record_position());
}

bool valid_position(const VehicleManager& m, int position) {
    return position >= 0 && position < m.store.record_count();
}

// ---- the vehicle form ----------------------------------------------------------------------------

void vehicle_form(VehicleManager& m, bool editing) {
    VehicleStore& store = m.store;
    VehicleInfo vehicle;
    if (editing) {
        if (!need_vehicle(m)) return;
        std::optional<VehicleInfo> current = store.current_vehicle();
        if (!current) return;
        vehicle = *current;
    } else {
        const NewIds ids = store.new_ids();
        vehicle.vehicle_id = ids.vehicle_id;
        vehicle.record_id = ids.record_id;
    }
    std::vector<std::string> values = {trim(vehicle.year), trim(vehicle.make), trim(vehicle.model), trim(vehicle.vin),
                                       trim(vehicle.license)};
    int year = 0;
    const FormCheck check = [&](const std::vector<std::string>& v) -> std::string {
        std::string digits;
        for (char c : v[0]) {
            if (c >= '0' && c <= '9') digits += c;
        }
        year = leading_number(digits);
        if (year < 1900 || year > 2500) return "|** Please Enter A Year Betweeen 1900 and 2500 **";
        if (v[1].empty() && v[2].empty()) return "|** Please enter a Manufacturer and/or Model for this vehicle **";
        return {};
    };
    if (!run_form(editing ? "Edit Vehicle" : "Add Vehicle", "Year|Make|Model|VIN|License", 40, 60, values, check)) return;

    ChunkHeader h;
    h.type = kRecordVehicle;
    h.vehicle_id = vehicle.vehicle_id;
    h.record_id = vehicle.record_id;
    h.year = static_cast<std::uint16_t>(year);
    h.month = 1;
    h.day = 1;
    h.f = static_cast<std::int32_t>(vehicle.photo.size());
    store.append_chunk(h, vehicle_body(values[1], values[2], values[3], values[4], vehicle.photo));
    if (editing) store.set_record_type(vehicle.offset, kRecordDeleted);
    store.set_current_vehicle_id(vehicle.vehicle_id);
    report_save(store.save());
    save_settings();
    store.select_vehicle(vehicle.vehicle_id);
    select_only_current(m);
    show_record(m, store.record_position());
}

// The header a record form starts from: the stored one when editing (its
// offset in old_offset), else a fresh record id for the current vehicle.
ChunkHeader form_header(VehicleStore& store, std::optional<int> position, std::size_t& old_offset) {
    ChunkHeader h;
    if (position) {
        old_offset = store.record_offset(*position);
        return store.header(old_offset);
    }
    h.vehicle_id = store.current_vehicle_id();
    h.record_id = store.new_ids().record_id;
    return h;
}

// ---- the maintenance form ----------------------------------------------------------------------------

void maintenance_form(VehicleManager& m, std::optional<int> position) {
    VehicleStore& store = m.store;
    const bool editing = position.has_value();
    std::size_t old_offset = 0;
    const ChunkHeader h = form_header(store, position, old_offset);
    std::vector<std::string> values;
    if (editing) {
        values = {date_entry_text(h.year, h.month, h.day), odometer_entry_text(h.b), store.description(old_offset),
                  cost_entry_text(h.d)};
    } else {
        values = {today_text(), "", "", ""};
    }
    const std::vector<std::string> shown = values;
    VehicleDate date;
    std::int64_t odometer = 0;
    std::int64_t cost = 0;
    const FormCheck check = [&](const std::vector<std::string>& v) -> std::string {
        date = read_date(v[0]);
        const std::optional<std::int64_t> typed_odometer = typed_or_kept(v[1], shown[1], editing, h.b, distance_entry);
        const std::optional<std::int64_t> typed_cost = typed_or_kept(v[3], shown[3], editing, h.d, cost_entry);
        odometer = typed_odometer.value_or(0);
        cost = typed_cost.value_or(0);
        if (v[2].empty()) return "|** Please enter a description for this record **";
        if (!valid_date(date)) return "|** Please enter the date in the format YYYY/MM/DD **";
        if (!typed_odometer) return "|** Please enter a valid odometer **";
        if (!fits_stored(odometer)) return "|** Please enter a smaller odometer **";
        if (!typed_cost) return "|** Please enter a valid cost **";
        if (!fits_stored(cost)) return "|** Please enter a smaller cost **";
        return {};
    };
    const char* title = editing ? "Edit Maintenance Record" : "Add Maintenance Record";
    if (!run_form(title, "Date|Odometer|Description|Cost", 70, 79, values, check)) return;

    ChunkHeader record = h;  // an edit keeps the record id, the vehicle and the marks
    record.type = kRecordMaintenance;
    record.year = static_cast<std::uint16_t>(date.year);
    record.month = static_cast<std::uint8_t>(date.month);
    record.day = static_cast<std::uint8_t>(date.day);
    record.a = record.c = record.e = record.f = 0;
    record.b = static_cast<std::int32_t>(odometer);
    record.d = static_cast<std::int32_t>(cost);
    store.append_chunk(record, maintenance_body(values[2]));
    if (editing) store.set_record_type(old_offset, kRecordDeleted);
    finish_record_change(m, record.record_id);
    if (!editing) offer_reminder_move(m, record, values[2]);
}

// ---- the fuel form ----------------------------------------------------------------------------------------

void fuel_form(VehicleManager& m, std::optional<int> position) {
    VehicleStore& store = m.store;
    const bool editing = position.has_value();
    std::size_t old_offset = 0;
    const ChunkHeader h = form_header(store, position, old_offset);
    std::vector<std::string> values;
    if (editing) {
        values = {date_entry_text(h.year, h.month, h.day), odometer_entry_text(h.a), odometer_entry_text(h.b),
                  fuel_entry_text(h.c), cost_entry_text(h.d)};
    } else {
        // Consecutive fill-ups chain: this one starts where the latest ended.
        std::int32_t last_end = 0;
        for (std::size_t offset : store.chunks()) {
            const ChunkHeader other = store.header(offset);
            if (other.type == kRecordFuel && other.vehicle_id == h.vehicle_id) last_end = other.b;
        }
        values = {today_text(), odometer_entry_text(last_end), "", "", ""};
    }
    const bool us = us_units();
    const std::string labels = us ? "Date|Odometer Start (miles)|Odometer End (miles)|Gallons Used|Total Cost"
                                   : "Date|Odometer Start (km)|Odometer End (km)|Liters Used|Total Cost";
    const std::vector<std::string> shown = values;
    VehicleDate date;
    std::int64_t start = 0, end = 0, fuel = 0, cost = 0, economy = 0;
    const FormCheck check = [&](const std::vector<std::string>& v) -> std::string {
        const std::optional<std::int64_t> typed_start = typed_or_kept(v[1], shown[1], editing, h.a, distance_entry);
        const std::optional<std::int64_t> typed_end = typed_or_kept(v[2], shown[2], editing, h.b, distance_entry);
        const std::optional<std::int64_t> typed_fuel = typed_or_kept(v[3], shown[3], editing, h.c, fuel_entry);
        const std::optional<std::int64_t> typed_cost = typed_or_kept(v[4], shown[4], editing, h.d, cost_entry);
        start = typed_start.value_or(0);
        end = typed_end.value_or(0);
        fuel = typed_fuel.value_or(0);
        cost = typed_cost.value_or(0);
        date = read_date(v[0]);
        economy = fuel_economy(start, end, fuel);
        const bool us_now = us_units();
        if (!valid_date(date)) return "|** Please enter the date in the format YYYY/MM/DD **";
        // A text that is no number reads as none, so it gets the message an empty field gets.
        if (start == 0) return "|** Please enter a valid odometer start **";
        if (end == 0) return "|** Please enter a valid odometer end **";
        if (!fits_stored(start)) return "|** Please enter a smaller odometer start **";
        if (!fits_stored(end)) return "|** Please enter a smaller odometer end **";
        if (end <= start) return "|** The odometer start must be less than the odometer end **";
        if (fuel <= 0) {
            return us_now ? "|** Please enter the number of gallons used **" : "|** Please enter the number of liters used **";
        }
        if (!fits_stored(fuel)) {
            return us_now ? "|** Please enter a smaller number of gallons used **"
                          : "|** Please enter a smaller number of liters used **";
        }
        if (!typed_cost) return "|** Please enter a valid cost **";
        if (!fits_stored(cost)) return "|** Please enter a smaller cost **";
        if (!fits_stored(economy)) return "|** The fuel used is too small for this distance **";
        return {};
    };
    if (!run_form(editing ? "Edit Fuel Record" : "Add Fuel Record", labels, 30, 79, values, check)) return;

    ChunkHeader record = h;
    record.type = kRecordFuel;
    record.year = static_cast<std::uint16_t>(date.year);
    record.month = static_cast<std::uint8_t>(date.month);
    record.day = static_cast<std::uint8_t>(date.day);
    record.a = static_cast<std::int32_t>(start);
    record.b = static_cast<std::int32_t>(end);
    record.c = static_cast<std::int32_t>(fuel);
    record.d = static_cast<std::int32_t>(cost);
    record.e = static_cast<std::int32_t>(economy);
    record.f = 0;
    store.append_chunk(record, {});
    if (editing) store.set_record_type(old_offset, kRecordDeleted);
    finish_record_change(m, record.record_id);
}

}  // namespace

void add_vehicle(VehicleManager& m) { vehicle_form(m, false); }

void edit_vehicle(VehicleManager& m) { vehicle_form(m, true); }

void add_maintenance_record(VehicleManager& m) {
    if (need_vehicle(m)) maintenance_form(m, std::nullopt);
}

void edit_maintenance_record(VehicleManager& m, int position) {
    if (valid_position(m, position)) maintenance_form(m, position);
}

void add_fuel_record(VehicleManager& m) {
    if (need_vehicle(m)) fuel_form(m, std::nullopt);
}

void edit_fuel_record(VehicleManager& m, int position) {
    if (valid_position(m, position)) fuel_form(m, position);
}

void edit_current_record(VehicleManager& m) {
    if (!need_vehicle(m) || !need_records(m)) return;
    const int position = m.store.record_position();
    const std::uint8_t type = m.store.header(m.store.record_offset(position)).type;
    if (type == kRecordMaintenance) {
        maintenance_form(m, position);
    } else if (type == kRecordFuel) {
        fuel_form(m, position);
    }
}

}  // namespace domora
