#include "passwords/password_exchange.h"

#include "app/files.h"
#include "app/settings.h"
#include "app/text.h"
#include "passwords/master_password.h"
#include "passwords/password_export.h"
#include "passwords/password_store.h"
#include "passwords/secure_memory.h"
#include "ui/file_browser.h"
#include "ui/popups.h"

namespace domora {

void ExportPasswords() {
    if (!IsUnlocked()) {
        AskMasterPassword();
        return;
    }
    if (view_count() == 0) {
        show_ok("No Passwords In Database");
        return;
    }
    if (!ask_ok_cancel("Passwords exported to an unencrypted file will no longer be secure.|Are you sure you want to continute exporting?")) {
        return;
    }
    int button = 0, format = 0;
    ShowChoice("Select Format For Exported Passwords", "Plain Text|Comma Separated Values (CSV)", "OK|Cancel", button, format);
    if (button != 1) return;
    const std::string extension = format == 0 ? "txt" : "csv";

    std::string folder = settings().export_path;
    std::string name;
    int result = 0;
    BrowseForFile("Export Passwords", folder, name, result);
    if (result != 1) return;
    name = password_export_name(name, extension);
    const std::string path = folder + name;
    if (file_exists(path) && !ask_ok_cancel(name + "|Already Exists!|Do you want to overwrite it?")) return;
    if (can_create_file(path) != 0) {
        show_ok(name + " cannot be created.|Another program is currently using the file.");
        return;
    }
    settings().export_path = folder;
    save_settings();
    // The passwords may have locked themselves while the file was chosen.
    if (!IsUnlocked()) return;

    std::vector<PasswordExportRecord> records;
    for (int row = 0; row < view_count(); ++row) records.push_back(password_export_record(view_record(row)));
    std::string text = format == 0 ? password_plain_text(records) : password_csv_text(records);
    // Owner-only, like the password file itself.
    const Result<void> written = write_file_atomic(path, text, kOwnerOnly);
    wipe(text);
    wipe_export_records(records);
    if (!written) {
        show_ok(name + " cannot be created.|" + written.error().message);
        return;
    }
    show_ok(count_of(static_cast<std::int64_t>(records.size()), "password", "passwords") + " exported to|" + path);
}

}  // namespace domora
