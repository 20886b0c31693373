#include "screens/backup_restore.h"

#include "app/backup.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "app/settings.h"
#include "app/startup.h"
#include "ui/file_browser.h"
#include "ui/popups.h"

namespace domora {

namespace {

class ProgressPopup : public CopyProgress {
public:
    ProgressPopup() { OpenProgress(); }
    ~ProgressPopup() override { CloseProgress(); }
    void step(int step, int total) override {
        m_step = step;
        m_total = total;
        UpdateProgress("Copying Files", detail(), step, total);
    }
    // A large file moves the bar on through its step, and the window keeps answering meanwhile.
    void part(std::int64_t done, std::int64_t size) override {
        if (size <= 0) return;
        UpdateProgress("Copying Files", detail(), static_cast<long long>(m_step) * size + done, static_cast<long long>(m_total) * size);
    }

private:
    std::string detail() const { return std::to_string(m_step) + " of " + std::to_string(m_total); }
    int m_step = 0;
    int m_total = 1;
};

void tell(const std::string& message) {
    show_message(message);
    main_window().screen_needs_redraw = true;
}

bool choose_folder(const std::string& title, std::string& folder) {
    std::string chosen = settings().backup_path;
    std::string file_name;
    int result = 0;
    BrowseForFile(title, chosen, file_name, result);
    main_window().screen_needs_redraw = true;
    if (result != 1 || main_window().quit_requested) return false;
    folder = chosen;
    return true;
}

}  // namespace

std::string backup_title() { return std::string("Where do you want to save your ") + kProductName + " files?"; }

std::string restore_title() { return std::string("Where are your ") + kProductName + " backup files?"; }

void backup() {
    std::string chosen;
    if (!choose_folder(backup_title(), chosen)) return;
    const std::string folder = backup_folder_for(chosen);
    settings().backup_path = folder;
    save_settings();
    CopyOutcome outcome;
    {
        ProgressPopup progress;
        outcome = back_up_files(folder, progress);
    }
    if (outcome.ok()) {
        tell("Backup Completed");
    } else {
        tell("Backup Not Completed||These files could not be copied to " + folder + "|" + failure_lines(outcome.failures));
    }
}

void restore(void (*forget)()) {
    int answer = 2;
    ShowPopup("Restoring a backup will replace your existing files!|Do you want to continue with the restore?", "", 2,
              "OK|Cancel", 0, answer);
    main_window().screen_needs_redraw = true;
    if (answer != 1 || main_window().quit_requested) return;
    std::string folder;
    if (!choose_folder(restore_title(), folder)) return;
    settings().backup_path = folder;
    save_settings();
    CopyOutcome outcome;
    {
        ProgressPopup progress;
        outcome = restore_files(folder, progress);
    }
    if (outcome.copied > 0 && forget) forget();
    if (!outcome.ok()) {
        tell("Restore Not Completed||These files could not be restored; the current ones were kept:|" +
             failure_lines(outcome.failures));
    } else if (outcome.copied == 0) {
        tell(std::string("No ") + kProductName + " data files were found in|" + folder + "||Nothing was restored.");
    } else {
        tell("Restore Completed");
    }
}

}  // namespace domora
