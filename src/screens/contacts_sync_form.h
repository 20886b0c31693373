// The dialogs of the Options screen's "Contacts Sync": the form for the
// server, user name and password, the choice of address book, the warning
// before plain http, and what a second press offers.
#pragma once

#include <string>
#include <vector>

namespace domora {

struct SyncAccount {
    std::string server;
    std::string user;
    std::string password;
};

// The form, starting from account; error (when not empty) is shown under
// the message. False when cancelled; true with every field filled in.
bool ask_sync_account(SyncAccount& account, const std::string& error);
// Only the password, for a run where no Secret Service keeps it. False when cancelled.
bool ask_sync_password(const std::string& server, const std::string& user, std::string& password);
// The list picker over the address books' names; -1 when none was chosen.
int pick_address_book(const std::vector<std::string>& names);
// The warning before a password goes over plain http to another machine; true to go on.
bool confirm_plain_http(const std::string& server);

enum class SyncChoice { SyncNow = 1, ChangeSettings = 2, StopSyncing = 3, Cancel = 4 };
// What a press of the button offers once a sync is set up.
SyncChoice ask_sync_choice(const std::string& book_name, const std::string& server);

}  // namespace domora
