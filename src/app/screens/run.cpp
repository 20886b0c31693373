#include "app/main_window.h"
#include "app/screens/screens.h"
#include "app/startup.h"
#include "ui/widgets.h"

namespace domora {

namespace {

void on_resize() {
    rebuild_surface();
    main_window().screen_needs_redraw = true;
}

}  // namespace

void main_loop() {
    MainWindowState& win = main_window();
    while (!win.quit_requested) {
        switch (win.current_screen) {
            case kScreenAddresses:
            case kScreenPasswords:
            case kScreenVehicles:
            case kScreenOptions:
                blank_screen(win.current_screen);
                break;
            default:
                about_screen();
                break;
        }
    }
}

int run_domora(const std::vector<std::string>& arguments) {
    int exit_code = 0;
    if (!start_up(arguments, exit_code)) return exit_code;
    set_resize_handler(on_resize);
    rebuild_surface();
    main_loop();
    release_fonts();
    shut_down();
    set_resize_handler(nullptr);
    return 0;
}

}  // namespace domora
