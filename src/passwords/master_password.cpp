#include "passwords/master_password.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/main_window.h"
#include "app/messages.h"
#include "app/startup.h"
#include "app/text.h"
#include "passwords/password_store.h"
#include "passwords/secure_memory.h"
#include "platform/platform.h"
#include "ui/popups.h"

namespace domora {

namespace {

constexpr int kMasterFieldWidth = static_cast<int>(kMaxMasterLength);
const char* const kMismatch = "Confirmation did not match master password";

// Both answers of a two-field form, trimmed; the form's copies are wiped.
struct TwoAnswers {
    ScopedSecret first;
    ScopedSecret second;
};

void read_two_answers(TwoAnswers& answers) {
    answers.first.text() = trim(field_text(0));
    answers.second.text() = trim(field_text(1));
    wipe_dialog_texts();
}

// First use: asks for a new master password until one is confirmed (then
// saves an empty file under it) or the user cancels.
void set_first_master_password() {
    const std::string message = std::string("Before you can start saving passwords|") +
                                "you must enter a MASTER password|" + "to prevent unauthorized access.||" +
                                "Passwords are case sensitive and may contain|" +
                                "letters, numbers, or punctuation characters.||" +
                                "Please write it down and store it in a safe location.|";
    while (!main_window().quit_requested) {
        clear_field_buffer();
        set_field_secret(0);
        set_field_secret(1);
        int result = 0;
        ShowPopup(message, "Master Password:|Confirm Password:", 1, "Save|Cancel", kMasterFieldWidth + 100, result);
        TwoAnswers answers;
        read_two_answers(answers);
        if (result != 1) {
            set_master_password("");
            return;
        }
        if (answers.first.text() != answers.second.text()) {
            show_message(kMismatch);
            continue;
        }
        if (answers.first.text().empty()) continue;
        set_master_password(answers.first.text());
        Result<void> saved = SavePasswords();
        if (!saved) {
            set_master_password("");
            report_save_failure(saved);
        }
        return;
    }
}

// The progress popup while a key is derived. The derivation runs beside the
// user-interface thread, which keeps the window painted meanwhile; the bar
// moves with the time the derivation is expected to take.
class DerivationProgress : public KeyWait {
public:
    void run(const std::string& title, int expected_ms, const std::function<void()>& work) override {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            work();
            done = true;
        });
        OpenProgress();
        const auto start = std::chrono::steady_clock::now();
        while (!done) {
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            UpdateProgress(title, "Please wait", std::min<long long>(95, elapsed.count() * 100 / std::max(1, expected_ms)), 100);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            platform().idle_wait(1);
        }
        worker.join();
        UpdateProgress(title, "Please wait", 100, 100);
        CloseProgress();
    }
};

DerivationProgress g_derivation_progress;

}  // namespace

void install_key_wait() { set_key_wait(&g_derivation_progress); }

void damaged_file_message() {
    const PasswordStore& store = password_store();
    if (!store.damage.empty()) {
        show_message("The password file is damaged: " + store.damage + ".|It has been left untouched; restore it from a backup.|" +
                     app_paths().strong_password_file);
        return;
    }
    show_message("The password file is damaged: it is " + std::to_string(store.damaged_size) +
                 " bytes long, which no saved password file is.|It has been left untouched; restore it from a backup.|" +
                 app_paths().password_file);
}

void wipe_dialog_texts() {
    for (WidgetRecord& record : field_buffer()) wipe(record.text);
    for (WidgetRecord& record : widgets()) {
        if (record.id == kEndMarker) break;
        wipe(record.text);
    }
}

const std::string& password_file_in_use() {
    return password_store().strong ? app_paths().strong_password_file : app_paths().password_file;
}

void report_save_failure(const Result<void>& saved) {
    if (saved) return;
    show_message("The password file could not be saved (" + saved.error().message + ").|Your last change was not kept.");
}

void AskMasterPassword() {
    ScopedSecret typed;
    bool failed_before = false;
    for (;;) {
        LoadPasswords();
        if (IsUnlocked() || main_window().quit_requested) return;
        if (!password_store().read_error.empty()) {
            show_message("The password file cannot be read (" + password_store().read_error + ").|" + password_file_in_use());
            return;
        }
        if (password_store().damaged_size != 0 || !password_store().damage.empty()) {
            damaged_file_message();
            return;
        }
        if (IsFirstUse()) {
            set_first_master_password();
            return;
        }
        clear_field_buffer();
        set_field_text(0, typed.text());
        set_field_secret(0);
        // After a wrong try the text is selected: typing replaces it.
        if (failed_before) select_field_text(0);
        int result = 0;
        ShowPopup(failed_before ? "Incorrect Password|Please Enter Your Master Password" : "Please Enter Your Master Password",
                  "", 1, "OK|Cancel", kMasterFieldWidth + 100, result);
        wipe(typed.text());
        typed.text() = field_text(0);
        wipe_dialog_texts();
        if (result != 1) {
            set_master_password("");
            return;
        }
        // Saved passwords are always trimmed, so surrounding blanks can never match.
        ScopedSecret trimmed(trim(typed.text()));
        set_master_password(trimmed.text());
        failed_before = true;
    }
}

bool ensure_unlocked() {
    if (!IsUnlocked()) AskMasterPassword();
    return IsUnlocked();
}

void ChangeMasterPassword() {
    if (!ensure_unlocked()) return;
    // The current password is not shown: anyone behind the user could read it.
    const std::string message = std::string("Please enter a new master password in the fields below.||") +
                                "Once the new master password is saved,|the old master will no longer function!";
    clear_field_buffer();
    set_field_secret(0);
    set_field_secret(1);
    int result = 0;
    ShowPopup(message, "New Password:|Confirm:", 1, "Save|Cancel", kMasterFieldWidth + 100, result);
    TwoAnswers answers;
    read_two_answers(answers);
    main_window().screen_needs_redraw = true;
    if (result != 1) return;
    if (answers.first.text().empty() || answers.second.text().empty()) {
        show_message("Invalid Password");
        return;
    }
    if (answers.first.text() != answers.second.text()) {
        show_message(kMismatch);
        return;
    }
    ScopedSecret old{std::string(master_password())};
    set_master_password(answers.first.text());
    Result<void> saved = SavePasswords();
    if (!saved) {
        // The file still opens with the old password only.
        set_master_password(old.text());
        LoadPasswords();
        report_save_failure(saved);
        return;
    }
    LoadPasswords();
    ScopedSecret notice;
    notice.text().reserve(64);
    notice.text() += "New Password: ";
    notice.text() += answers.first.text();
    notice.text() += "|is now active!";
    show_message(notice.text());
    wipe_dialog_texts();
}

void default_password_notice() {
    if (master_password() != kDefaultMasterPassword) return;
    show_message(std::string(kProductName) + " is currently using the default 'Quoll' password.|" +
                 "Please click the 'Change Master' button to define a unique password|" +
                 "so only you will have access to your password data.");
}

}  // namespace domora
