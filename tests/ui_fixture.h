// A headless window with its surface and fonts, for tests of the toolkit.
#pragma once

#include "app/main_window.h"
#include "app/settings.h"
#include "support.h"
#include "ui/event_wait.h"
#include "ui/widgets.h"

namespace domora::test {

class UiTest : public DomoraTest {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        main_window() = MainWindowState{};
        input() = InputState{};
        settings() = default_settings(os.work);
        settings_set_path(path("setup313.dat"));
        os.client_width = 1600;
        os.client_height = 970;
        read_client_size();
        rebuild_surface();
    }
    void TearDown() override {
        release_fonts();
        DomoraTest::TearDown();
    }
    // Runs event waits until one returns an identifier or the script ends.
    int next_click() {
        while (!main_window().quit_requested) {
            const int id = domora::event_wait(true);
            if (id != 0) return id;
        }
        return 0;
    }
};

}  // namespace domora::test
