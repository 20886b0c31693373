#include "shell/shell.h"

#include "addresses/address_actions.h"
#include "addresses/address_screen.h"
#include "app/main_window.h"
#include "screens/newsletter.h"
#include "screens/screens.h"
#include "app/startup.h"
#include "passwords/master_password.h"
#include "passwords/password_conversion.h"
#include "passwords/password_lock.h"
#include "passwords/password_screen.h"
#include "passwords/password_store.h"
#include "passwords/protection_dialogs.h"
#include "passwords/secret_clipboard.h"
#include "sync/contacts_sync.h"
#include "screens/options_screen.h"
#include "screens/screen_loop.h"
#include "app/messages.h"
#include "ui/event_wait.h"
#include "ui/popups.h"
#include "ui/widgets.h"
#include "vehicles/reminders.h"
#include "vehicles/vehicle_records.h"
#include "vehicles/vehicle_repair_action.h"
#include "vehicles/vehicle_screen.h"

namespace domora {

namespace {

void on_resize() {
    rebuild_surface();
    main_window().screen_needs_redraw = true;
}

// Every quiet turn of the event wait: the newsletter's offer, and the contacts sync's work.
void on_quiet_turn(bool forced) {
    offer_newsletter(forced);
    if (!forced) contacts_sync_poll();
}

}  // namespace

// The address screen reads its file on every visit; the other two keep theirs.
void forget_restored_data() {
    reset_password_store();
    vehicle_manager() = VehicleManager{};
}

void main_loop() {
    MainWindowState& win = main_window();
    while (!win.quit_requested) {
        switch (win.current_screen) {
            case kScreenAddresses:
                address_screen();
                break;
            case kScreenPasswords:
                password_screen();
                break;
            case kScreenVehicles:
                vehicle_screen();
                break;
            case kScreenOptions:
                options_screen();
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
    install_popup_messages();
    install_web_address_capture();
    set_options_actions(OptionsActions{run_vehicle_repair, forget_restored_data, password_protection_name,
                                       change_password_protection, contacts_sync_options});
    install_key_wait();
    start_password_lock();
    reset_newsletter_notice();
    set_news_handler(on_quiet_turn);
    show_after_first_draw(announce_overdue_reminders);
    contacts_sync_begin();
    main_loop();
    contacts_sync_end();
    stop_password_lock();
    set_key_wait(nullptr);
    // Nothing secret outlives the program: not a copied password, not the
    // decrypted records, not the master password.
    clear_secret_clipboard();
    reset_password_store();
    set_news_handler(nullptr);
    release_fonts();
    set_message_handler(nullptr);  // the window is going: back to the system's box
    shut_down();
    set_resize_handler(nullptr);
    return 0;
}

}  // namespace domora
