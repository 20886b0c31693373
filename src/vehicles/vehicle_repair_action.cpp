#include "vehicles/vehicle_repair_action.h"

#include "app/main_window.h"
#include "app/messages.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "ui/popups.h"
#include "vehicles/vehicle_records.h"
#include "vehicles/vehicle_repair.h"

namespace domora {

namespace {

bool keep_window_alive() {
    static std::uint64_t last = 0;
    const std::uint64_t now = platform().tick_ms();
    if (now - last >= 50) {
        last = now;
        pump_message(false);
    }
    return !main_window().quit_requested;
}

void tell(const std::string& text) {
    show_message(text);
    main_window().screen_needs_redraw = true;
}

}  // namespace

void run_vehicle_repair() {
    VehicleManager& m = vehicle_manager();
    if (m.store.path().empty()) m.store.set_path(app_paths().vehicle_file);
    StoreCallbacks callbacks;
    callbacks.keep_going = keep_window_alive;
    callbacks.progress_open = OpenProgress;
    callbacks.progress = UpdateProgress;
    callbacks.progress_close = CloseProgress;
    m.store.set_callbacks(callbacks);
    const RepairOutcome outcome = repair_vehicle_file(m.store, callbacks, platform().local_now().year);
    main_window().screen_needs_redraw = true;
    switch (outcome.status) {
        case RepairOutcome::NoFile: tell("No Vehicle Data File"); return;
        case RepairOutcome::Unreadable:
            tell("The vehicle file could not be read, so it was not repaired.|" + outcome.error);
            return;
        case RepairOutcome::NotKept:
            tell("The vehicle file was not repaired: a copy of it could not be kept first.|" + outcome.error);
            return;
        case RepairOutcome::Stopped: return;
        case RepairOutcome::WriteFailed:
            reset_record_view(m);
            tell("The repaired vehicle file could not be written.|" + outcome.error + "||The original file was kept as " +
                 outcome.kept_name);
            return;
        case RepairOutcome::Repaired:
            reset_record_view(m);
            tell(repair_report(outcome));
            return;
    }
}

}  // namespace domora
