// The master password dialogs: asking for it (or, on first use, setting
// it), changing it, and the notice shown while the default one is in use.
#pragma once

#include <string>

#include "app/result.h"

namespace domora {

// Loads the file and asks until it opens, the user cancels, or the program
// quits. On first use it asks for a new master password and saves an empty
// file under it; the store is then still locked until the next load.
void AskMasterPassword();
// Asks for a new master password and saves the file under it.
void ChangeMasterPassword();
// The notice shown on entering the screen while the default password opens the file.
void default_password_notice();
// Runs AskMasterPassword when the store is locked; true when it is unlocked.
bool ensure_unlocked();
// Tells the user that the file was not written and their change is not kept.
void report_save_failure(const Result<void>& saved);
// Overwrites every text of the widget table and the field buffer, after a
// dialog that showed or took a password.
void wipe_dialog_texts();
// Tells the user that the password file is damaged and left as it is.
void damaged_file_message();
// The path of the file the store reads and writes.
const std::string& password_file_in_use();
// From now on a key derivation shows the progress popup while it runs.
void install_key_wait();

}  // namespace domora
