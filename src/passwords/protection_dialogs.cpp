#include "passwords/protection_dialogs.h"

#include <cstring>

#include "app/main_window.h"
#include "app/messages.h"
#include "app/startup.h"
#include "app/text.h"
#include "passwords/master_password.h"
#include "passwords/password_conversion.h"
#include "passwords/password_store.h"
#include "passwords/secure_memory.h"
#include "ui/popups.h"

namespace domora {

namespace {

constexpr int kMasterFieldWidth = static_cast<int>(kMaxMasterLength);

// Asks for the master password until it opens the store (the default
// password never stands in for it) or the user stops; true once it opens.
bool confirm_master(const std::string& why) {
    ScopedSecret typed;
    bool failed_before = false;
    for (;;) {
        LoadPasswords();
        if (main_window().quit_requested) return false;
        if (!password_store().read_error.empty()) {
            show_message("The password file cannot be read (" + password_store().read_error + ").|" + password_file_in_use());
            return false;
        }
        if (password_store().damaged_size != 0 || !password_store().damage.empty()) {
            damaged_file_message();
            return false;
        }
        if (IsFirstUse()) {
            show_message("There are no passwords yet.|The password file is made with strong protection when you first save one.");
            return false;
        }
        clear_field_buffer();
        set_field_text(0, typed.text());
        set_field_secret(0);
        int result = 0;
        ShowPopup(std::string(failed_before ? "Incorrect Password|" : "") + why + "||Please Enter Your Master Password", "", 1,
                  "OK|Cancel", kMasterFieldWidth + 100, result);
        wipe(typed.text());
        typed.text() = trim(field_text(0));
        wipe_dialog_texts();
        if (result != 1) return false;
        set_master_password(typed.text());
        LoadPasswords();
        if (IsUnlocked() && master_password() == typed.text()) return true;
        failed_before = true;
    }
}

}  // namespace

void change_password_protection(bool strong) {
    main_window().screen_needs_redraw = true;
    if (strong == (std::strcmp(password_protection_name(), "Strong") == 0)) return;
    if (!strong) {
        int answer = 2;
        ShowPopup(std::string("Standard protection makes the key from the master password alone,|") +
                      "without salt or stretching: whoever gets a copy of the file|" +
                      "can try billions of passwords a second, and equal blocks show.||" + "Choose it only where an older version of " +
                      kProductName + " must read the file.|Do you want to continue?",
                  "", 2, "OK|Cancel", 0, answer);
        if (answer != 1) return;
    }
    const std::string why = strong ? "Strong protection makes every guess at your master password|cost about a second of work."
                                   : "The passwords are written with standard protection.";
    if (!confirm_master(why)) return;
    if (strong && master_password() == kDefaultMasterPassword) {
        show_message(std::string("Your passwords are protected by the default 'Quoll' password,|") +
                     "which anyone can try first. Please click 'Change Master' on the|" +
                     "Passwords screen to choose your own before you change their protection.");
        return;
    }
    const Result<void> converted = strong ? convert_to_strong() : convert_to_standard();
    if (!converted) {
        show_message("The passwords could not be converted (" + converted.error().message + ").|They are kept as they were.");
    } else if (strong) {
        show_message(std::string("Your passwords now have strong protection (password20.dat).||") +
                     "Backups made before now still hold the old file (password10.dat),|" +
                     "which whoever has a copy can attack far faster.|" +
                     "Make a new backup, and delete the older ones you no longer need.");
    } else {
        show_message("Your passwords now have standard protection (password10.dat).");
    }
}

}  // namespace domora
