// The program's vehicle manager on a vehicle file in the test's folder, with
// the reminders beside it, in a headless window; messages land in the
// platform's message boxes and the first vehicle is the current one.
#pragma once

#include <algorithm>
#include <string>

#include "app/messages.h"
#include "app/settings.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "ui/popups.h"
#include "ui_fixture.h"
#include "vehicles/vehicle_records.h"

namespace domora::test {

class VehicleUiTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        set_message_handler(nullptr);
        status_log_set_path(path("status.log"));
        clear_field_buffer();
        popup_list() = PopupList{};
        app_paths() = AppPaths{};
        app_paths().data_folder = dir();
        app_paths().vehicle_file = path("vehicle11.dat");
        app_paths().reminders_file = path("reminders.dat");
        vehicle_manager() = VehicleManager{};
        vehicle_manager().store.set_path(path("vehicle11.dat"));
        settings().vehicle_id = 1;
    }
    void TearDown() override {
        vehicle_manager() = VehicleManager{};
        app_paths() = AppPaths{};
        UiTest::TearDown();
    }
    VehicleManager& m() { return vehicle_manager(); }
    VehicleStore& store() { return vehicle_manager().store; }
    void load(const std::string& file) {
        write(path("vehicle11.dat"), file);
        store().load();
    }
    bool drawn(const std::string& text) const {
        return std::any_of(os.drawn_texts.begin(), os.drawn_texts.end(), [&](const auto& t) { return t.text == text; });
    }
};

}  // namespace domora::test
