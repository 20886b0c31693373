#include "screens/contacts_sync_form.h"

#include "app/main_window.h"
#include "app/text.h"
#include "ui/popups.h"

namespace domora {

namespace {

constexpr int kFieldLength = 200;
constexpr int kFormWidth = 50;

}  // namespace

bool ask_sync_account(SyncAccount& account, const std::string& error) {
    std::string problem = error;
    for (;;) {
        clear_field_buffer();
        set_field_text(0, account.server, kFieldLength);
        set_field_text(1, account.user, kFieldLength);
        set_field_text(2, account.password, kFieldLength);
        set_field_secret(2);
        std::string message = "Contacts Sync|Keep your addresses in step with a CardDAV server:|your phone and other computers reach it too.";
        if (!problem.empty()) message += "||** " + problem + " **";
        int result = 2;
        ShowPopup(message, "Server Address|User Name|Password", 1, "OK|Cancel", kFormWidth + 100, result);
        main_window().screen_needs_redraw = true;
        if (result != 1 || main_window().quit_requested) return false;
        account.server = trim(field_text(0));
        account.user = trim(field_text(1));
        account.password = field_text(2);
        if (account.server.empty()) problem = "Please enter the address of the server";
        else if (account.user.empty()) problem = "Please enter your user name";
        else if (account.password.empty()) problem = "Please enter your password";
        else return true;
    }
}

bool ask_sync_password(const std::string& server, const std::string& user, std::string& password) {
    clear_field_buffer();
    set_field_text(0, "", kFieldLength);
    set_field_secret(0);
    int result = 2;
    ShowPopup("Contacts Sync|The password of " + user + " on " + server + ":", "Password", 1, "OK|Cancel", kFormWidth + 100, result);
    main_window().screen_needs_redraw = true;
    if (result != 1 || main_window().quit_requested) return false;
    password = field_text(0);
    return !password.empty();
}

int pick_address_book(const std::vector<std::string>& names) {
    popup_list() = PopupList{};
    popup_list().lines.push_back("|Choose the address book to sync");
    for (const std::string& name : names) popup_list().lines.push_back(name.substr(0, 80));
    const MainWindowState& win = main_window();
    int picked = -1;
    PickFromList(win.client_width / 2 - 200, win.client_height / 4, 400, 0, 0, picked);
    main_window().screen_needs_redraw = true;
    // The heading is line 0.
    return picked >= 1 && picked <= static_cast<int>(names.size()) ? picked - 1 : -1;
}

bool confirm_plain_http(const std::string& server) {
    int result = 2;
    ShowPopup(server + " is reached over plain http:|the password and every address would cross the network unencrypted.||"
              "Do you want to use it all the same?",
              "", 2, "Use It|Cancel", 0, result);
    main_window().screen_needs_redraw = true;
    return result == 1 && !main_window().quit_requested;
}

SyncChoice ask_sync_choice(const std::string& book_name, const std::string& server) {
    int result = static_cast<int>(SyncChoice::Cancel);
    ShowPopup("Contacts Sync|Your addresses are synced with \"" + book_name + "\" on " + server + ".", "", 1,
              "Sync Now|Change Settings|Stop Syncing|Cancel", 0, result);
    main_window().screen_needs_redraw = true;
    if (main_window().quit_requested || result < 1 || result > 4) return SyncChoice::Cancel;
    return static_cast<SyncChoice>(result);
}

}  // namespace domora
