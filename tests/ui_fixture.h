// A headless window with its surface and fonts, for tests of the toolkit.
#pragma once

#include <functional>

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
    // After a script ran out, which ends the run as a closed window does.
    static void again() { main_window().quit_requested = false; }
    // Where a widget of a dialog is, from a showing that the empty script ends at once.
    WidgetRecord widget_of(int id, const std::function<void()>& show) {
        os.script.clear();
        show();
        again();
        const int index = FindWidget(id);
        EXPECT_GE(index, 0) << id;
        return index >= 0 ? widgets()[static_cast<std::size_t>(index)] : WidgetRecord{};
    }
    void click(const WidgetRecord& w) { os.push_click((w.x1 + w.x2) / 2, (w.y1 + w.y2) / 2); }
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
