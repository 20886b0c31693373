#include "vehicles/vehicle_records.h"

#include <algorithm>

#include "app/main_window.h"
#include "app/messages.h"
#include "app/settings.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "app/text.h"
#include "ui/popups.h"
#include "vehicles/reminders.h"
#include "vehicles/vehicle_units.h"

namespace domora {

namespace {

constexpr const char* kFilterNames = "All Records,Fuel Records,Maintenance Records,Search Results";

std::vector<std::string> split_commas(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

// What Find looks for in a record: the row as the list shows it, lower-cased.
std::string find_text(const VehicleStore& store, std::size_t offset) {
    const ChunkHeader h = store.header(offset);
    std::string detail;
    if (h.type == kRecordMaintenance) {
        detail = store.description(offset);
    } else if (h.type == kRecordFuel) {
        detail = format_fuel(h.c) + " at $" + fuel_price(h.d, h.c) + " - " +
                 format_odometer(static_cast<std::int64_t>(h.b) - h.a) + " - " + format_economy(h.e);
    }
    return to_lower(format_date(h.year, h.month, h.day) + " - " + format_odometer(h.b) + " - " + format_cost(h.d) +
                    " - " + detail);
}

}  // namespace

VehicleManager& vehicle_manager() {
    static VehicleManager manager;
    return manager;
}

std::string display_filter_name(int filter) {
    const std::vector<std::string> names = split_commas(kFilterNames);
    return filter >= 0 && filter < static_cast<int>(names.size()) ? names[static_cast<std::size_t>(filter)] : "";
}

// ---- the view after an operation --------------------------------------------------------------------

void enter_vehicle_manager(VehicleManager& m) {
    if (m.store.path().empty()) m.store.set_path(app_paths().vehicle_file);
    if (!m.store.empty()) {
        // Another program may have written the file while another screen showed.
        if (!m.store.catch_up().reloaded) return;
        if (m.store.unreadable()) show_message("The vehicle file could not be read.|" + m.store.path());
        reset_record_view(m);
        return;
    }
    m.store.set_display_filter(kFilterAll);
    m.store.load();
    if (m.store.unreadable()) show_message("The vehicle file could not be read.|" + m.store.path());
    reset_record_view(m);
}

void sync_record_list(VehicleManager& m) {
    ListState& list = m.list;
    list.item_count = m.store.record_count();
    list.current_item = m.store.record_position();
    list.content_height = list.item_count * list.row_height;
    clamp_scroll(list);
}

void show_record(VehicleManager& m, int position) {
    m.store.set_record_position(position);
    sync_record_list(m);
    scroll_to_current(m.list);
}

void select_only_current(VehicleManager& m) {
    m.store.clear_selected_marks();
    m.store.set_selected(m.store.record_position(), true);
}

void reset_record_view(VehicleManager& m) {
    m.list.scroll_offset = 0;
    m.store.set_record_position(m.store.record_count() - 1);
    select_only_current(m);
    show_record(m, m.store.record_position());
}

void report_save(const Result<void>& saved) {
    if (!saved) show_message("The vehicle records could not be saved.|" + saved.error().message);
}

void wait_for_key_up() {
    while (input().key != 0 && !main_window().quit_requested) pump_message(true);
}

// ---- guards ----------------------------------------------------------------------------------------------

bool need_vehicle(const VehicleManager& m) {
    if (!m.store.vehicles().empty()) return true;
    show_message("Add a Vehicle First");
    return false;
}

bool need_records(const VehicleManager& m) {
    if (m.store.record_count() > 0) return true;
    show_message("No Records For This Vehicle");
    return false;
}

// ---- vehicles ----------------------------------------------------------------------------------------------

void choose_vehicle(VehicleManager& m, int x, int y, int width) {
    if (!need_vehicle(m)) return;
    VehicleStore& store = m.store;
    PopupList& list = popup_list();
    list.lines.clear();
    for (std::size_t offset : store.vehicles()) {
        if (store.header(offset).vehicle_id == store.current_vehicle_id()) list.current = static_cast<int>(list.lines.size());
        list.lines.push_back(store.vehicle_heading(offset).substr(0, 80));
    }
    int picked = -1;
    PickFromList(x, y, width, 0, 0, picked);
    if (picked < 0 || picked >= static_cast<int>(store.vehicles().size())) return;
    store.set_current_vehicle_id(store.header(store.vehicles()[static_cast<std::size_t>(picked)]).vehicle_id);
    save_settings();
    store.set_display_filter(kFilterAll);
    store.rebuild_vehicle_list();
    store.rebuild_record_view();
    reset_record_view(m);
}

void delete_vehicle(VehicleManager& m) {
    VehicleStore& store = m.store;
    if (store.vehicles().empty()) {
        show_message("No Vehicle Selected");
        return;
    }
    const std::optional<VehicleInfo> vehicle = store.current_vehicle();
    if (!vehicle) return;
    clear_field_buffer();
    set_field_text(0, "", 79);
    int result = 0;
    ShowPopup("Type 'YES' to delete this vehicle:|" + vehicle->year + " " + vehicle->make + " " + vehicle->model, "", 1,
              "OK|Cancel", 20 + 100, result);
    if (result != 1 || to_lower(trim(field_text(0))) != "yes") return;

    for (std::size_t offset : store.chunks()) {
        if (store.header(offset).vehicle_id == vehicle->vehicle_id) store.set_record_type(offset, kRecordDeleted);
    }
    const int old_position = store.vehicle_position();
    report_save(store.save());
    forget_vehicle_reminders(m, vehicle->vehicle_id);
    // The vehicle that moved into the deleted one's place, or the last one.
    store.set_vehicle_position(old_position);
    const std::vector<std::size_t>& vehicles = store.vehicles();
    store.set_current_vehicle_id(
        vehicles.empty() ? 0 : store.header(vehicles[static_cast<std::size_t>(store.vehicle_position())]).vehicle_id);
    save_settings();
    store.rebuild_vehicle_list();
    store.rebuild_record_view();
    reset_record_view(m);
}

// ---- records -------------------------------------------------------------------------------------------------

void delete_selected_records(VehicleManager& m) {
    if (!need_vehicle(m) || !need_records(m)) return;
    int result = 0;
    ShowPopup("Are you sure you want to delete the marked records?", "", 2, "OK|Cancel", 0, result);
    if (result != 1) return;
    VehicleStore& store = m.store;
    int first_deleted = -1;
    for (int position = 0; position < store.record_count(); ++position) {
        if (!store.is_selected(position)) continue;
        store.set_record_type(store.record_offset(position), kRecordDeleted);
        if (first_deleted < 0) first_deleted = position;
    }
    if (first_deleted < 0) first_deleted = store.record_count() - 1;
    status_log_write("Begin Sort");
    report_save(store.save());
    status_log_write("List Records: " + log_number(store.record_count()));
    status_log_write("Adjust Current Record");
    store.set_record_position(first_deleted);
    store.set_selected(store.record_position(), true);
    show_record(m, store.record_position());
}

void find_records(VehicleManager& m) {
    int result = 0;
    ShowPopup("Find Records", "", 1, "OK|Cancel", 40, result);
    if (result != 1) return;
    const std::string wanted = to_lower(trim(field_text(0)));
    VehicleStore& store = m.store;
    const std::int32_t vehicle_id =
        store.vehicles().empty()
            ? 0
            : store.header(store.vehicles()[static_cast<std::size_t>(store.vehicle_position())]).vehicle_id;
    for (std::size_t offset : store.chunks()) {
        const ChunkHeader h = store.header(offset);
        std::uint8_t marks = static_cast<std::uint8_t>(h.marks & ~kVehicleSearchMark);
        if (!store.vehicles().empty() && h.vehicle_id == vehicle_id && !wanted.empty() &&
            find_text(store, offset).find(wanted) != std::string::npos) {
            marks |= kVehicleSearchMark;
        }
        store.set_marks(offset, marks);
    }
    report_save(store.write_image());
    store.set_display_filter(kFilterSearch);
    store.rebuild_record_view();
    store.set_record_position(store.record_count() - 1);
    select_only_current(m);
    show_record(m, store.record_position());
}

void choose_display_filter(VehicleManager& m, int x, int y, int width) {
    popup_list().lines = split_commas(kFilterNames);
    popup_list().current = m.store.display_filter();
    int picked = -1;
    PickFromList(x, y, width, 0, 0, picked);
    if (picked >= 0 && picked <= kFilterSearch) apply_display_filter(m, picked);
}

void apply_display_filter(VehicleManager& m, int filter) {
    m.store.set_display_filter(filter);
    m.store.rebuild_record_view();
    m.store.set_record_position(m.store.record_count() - 1);
    select_only_current(m);
    show_record(m, m.store.record_position());
}

void toggle_all_selected(VehicleManager& m) {
    VehicleStore& store = m.store;
    bool all = store.record_count() > 0;
    for (int i = 0; i < store.record_count() && all; ++i) all = store.is_selected(i);
    for (int i = 0; i < store.record_count(); ++i) store.set_selected(i, !all);
}

}  // namespace domora
