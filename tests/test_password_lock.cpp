// Locking the passwords: after the chosen minutes without input (the
// injected clock), when the session locks (the headless watch), with a form
// open on the Passwords screen; and the Options rows that choose the lock
// time and the protection.
#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/settings.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "passwords/key_cost.h"
#include "passwords/password_actions.h"
#include "passwords/password_conversion.h"
#include "passwords/password_lock.h"
#include "passwords/password_screen.h"
#include "passwords/password_store.h"
#include "passwords/protection_dialogs.h"
#include "passwords/secret_clipboard.h"
#include "platform/headless/headless_session_lock.h"
#include "screens/options_screen.h"
#include "ui/popups.h"
#include "password_fixtures.h"
#include "ui_fixture.h"

namespace domora {
namespace {

namespace fs = std::filesystem;

class PasswordLock : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        test::use_password_files(dir());
        set_session_lock_watch(&session);
        password_list() = ListState{};
        clear_field_buffer();
        install_popup_messages();
        // A strong store of two records, open.
        LoadPasswords();
        set_master_password("pw");
        for (const char* title : {"Bank", "Mail"}) {
            std::vector<std::string> fields(kPasswordFieldCount);
            fields[0] = title;
            fields[1] = "Password: s3cret";
            AppendPassword(NewPasswordId(), fields);
        }
        ASSERT_TRUE(SavePasswords());
        LoadPasswords();
        ASSERT_TRUE(IsUnlocked());
        start_password_lock();
    }
    void TearDown() override {
        stop_password_lock();
        set_session_lock_watch(nullptr);
        set_message_handler(nullptr);
        test::forget_password_files();
        UiTest::TearDown();
    }
    // Plays the script without a screen, as the event wait of any loop would.
    void play() {
        main_window().quit_requested = false;
        while (!os.idle() && !main_window().quit_requested) pump_message(true);
    }
    bool drawn(const std::string& text) const {
        for (const auto& t : os.drawn_texts) {
            if (t.text == text) return true;
        }
        return false;
    }
    bool logged(const std::string& line) {
        const std::vector<std::string> lines = log_lines(path("status.log"));
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    HeadlessSessionLock session;
};

TEST_F(PasswordLock, IdleLocksOnlyAfterTheChosenMinutesWithoutInput) {
    settings().password_lock_minutes = 1;
    os.push_wait(55000);
    play();
    EXPECT_TRUE(IsUnlocked()) << "55 s";
    os.push_key('A');  // input starts the minute again
    os.push_wait(50000);
    play();
    EXPECT_TRUE(IsUnlocked()) << "50 s after the key";
    os.push_wait(15000);
    play();
    EXPECT_FALSE(IsUnlocked()) << "65 s after the key";
    EXPECT_EQ(master_password(), "");
    EXPECT_TRUE(password_store().key.empty());
    EXPECT_TRUE(password_store().image.empty());
    EXPECT_TRUE(logged("Passwords Locked: no input for a while"));

    // "Never" never locks, however long the quiet.
    set_master_password("pw");
    LoadPasswords();
    ASSERT_TRUE(IsUnlocked());
    settings().password_lock_minutes = 0;
    os.push_wait(3 * 3600 * 1000);
    play();
    EXPECT_TRUE(IsUnlocked());
}

TEST_F(PasswordLock, TheSessionsLockWipesTheStoreAndACopiedPassword) {
    copy_secret("s3cret");
    ASSERT_EQ(os.clipboard, "s3cret");
    ASSERT_TRUE(session.watched());
    session.lock_session();
    EXPECT_TRUE(IsUnlocked()) << "the lock waits for the timer event, between two steps of the program";
    play();
    EXPECT_FALSE(IsUnlocked());
    EXPECT_EQ(master_password(), "");
    EXPECT_EQ(os.clipboard, "");
    EXPECT_TRUE(logged("Passwords Locked: the session was locked"));
    // Nothing open: a second lock has nothing to do.
    session.lock_session();
    play();
    const std::vector<std::string> lines = log_lines(path("status.log"));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Passwords Locked: the session was locked"), 1);
}

TEST_F(PasswordLock, AFormShowingARecordClosesAndTheScreenAsksAgain) {
    const std::string before = read(app_paths().strong_password_file);
    main_window().current_screen = kScreenPasswords;
    os.push_key(kKeyReturn);  // Edit the first record
    os.push_text(" changed");
    os.push_call([this] {
        EXPECT_TRUE(main_window().popup_open);
        os.drawn_texts.clear();
        session.lock_session();
    });
    os.push_wait(100);
    os.push_call([this] {
        EXPECT_TRUE(drawn("Please Enter Your Master Password")) << "asked again at once";
        EXPECT_FALSE(drawn("s3cret")) << "no value shown while it asks";
        EXPECT_FALSE(IsUnlocked());
    });
    os.push_text("pw");
    os.push_key(kKeyReturn);
    password_screen();
    EXPECT_EQ(read(app_paths().strong_password_file), before) << "the form was cancelled, nothing written";
    EXPECT_TRUE(IsUnlocked()) << "and the right password opens it again";
    EXPECT_FALSE(main_window().close_popups);
    EXPECT_FALSE(password_lock_pending());
}

// ---- the Options rows -------------------------------------------------------------------------------

class PasswordOptions : public PasswordLock {
protected:
    void SetUp() override {
        PasswordLock::SetUp();
        set_options_actions(OptionsActions{nullptr, nullptr, password_protection_name, change_password_protection});
        main_window().current_screen = kScreenOptions;
        run();
    }
    void TearDown() override {
        set_options_actions(OptionsActions{});
        PasswordLock::TearDown();
    }
    void run() {
        main_window().quit_requested = false;
        options_screen();
        for (const WidgetRecord& w : widgets()) {
            if (w.id == kEndMarker) break;
            if (w.id != 0 && !main_window().popup_open) layout[w.id] = w;
        }
    }
    void click(int id) {
        const WidgetRecord& w = layout.at(id);
        os.push_click((w.x1 + w.x2) / 2, (w.y1 + w.y2) / 2);
    }
    std::map<int, WidgetRecord> layout;
};

TEST_F(PasswordOptions, TheLockListSetsTheMinutesAndSavesThem) {
    EXPECT_EQ(layout.at(kOptionsLockBoxId).text, ">Never");
    click(kOptionsLockBoxId);
    os.push_key(kKeyHome);
    os.push_key(kKeyDown);
    os.push_key(kKeyDown);
    os.push_key(kKeyReturn);
    run();
    EXPECT_EQ(popup_list().lines,
              (std::vector<std::string>{"Never", "After 1 minute", "After 5 minutes", "After 15 minutes", "After 60 minutes"}));
    EXPECT_EQ(settings().password_lock_minutes, 5);
    Settings saved;
    parse_settings(read(path("setup313.dat")), saved);
    EXPECT_EQ(saved.password_lock_minutes, 5);
    EXPECT_EQ(layout.at(kOptionsLockBoxId).text, ">After 5 minutes");
}

TEST_F(PasswordOptions, ProtectionChangesOnlyWithTheMasterPasswordAndSaysWhatBackupsHold) {
    EXPECT_EQ(layout.at(kOptionsProtectionBoxId).text, ">Strong");
    // Standard: the warning, then the master password (a wrong one first).
    click(kOptionsProtectionBoxId);
    os.push_key(kKeyHome);
    os.push_key(kKeyReturn);
    os.push_call([this] { EXPECT_TRUE(drawn("without salt or stretching: whoever gets a copy of the file")); });
    os.push_char('o');        // OK by its letter: Cancel is the default
    os.push_text("wrong");
    os.push_key(kKeyReturn);
    os.push_call([this] { EXPECT_TRUE(drawn("Incorrect Password")); });
    for (int i = 0; i < 5; ++i) os.push_key(kKeyBack);
    os.push_text("pw");
    os.push_key(kKeyReturn);
    os.push_key(kKeyReturn);  // OK to the message
    run();
    EXPECT_TRUE(drawn("Your passwords now have standard protection (password10.dat)."));
    EXPECT_FALSE(fs::exists(app_paths().strong_password_file));
    EXPECT_EQ(layout.at(kOptionsProtectionBoxId).text, ">Standard");

    // Back to Strong; the message tells what older backups still hold.
    os.drawn_texts.clear();
    click(kOptionsProtectionBoxId);
    os.push_key(kKeyEnd);
    os.push_key(kKeyReturn);
    os.push_text("pw");
    os.push_key(kKeyReturn);
    os.push_key(kKeyReturn);
    run();
    EXPECT_TRUE(drawn("Backups made before now still hold the old file (password10.dat),"));
    EXPECT_FALSE(fs::exists(app_paths().password_file));
    ASSERT_TRUE(IsUnlocked());
    EXPECT_EQ(view_count(), 2);

}

TEST_F(PasswordOptions, TheDefaultPasswordIsNeverGivenStrongProtection) {
    ASSERT_TRUE(convert_to_standard());
    set_master_password(kDefaultMasterPassword);
    ASSERT_TRUE(SavePasswords());
    reset_password_store();
    os.drawn_texts.clear();
    click(kOptionsProtectionBoxId);
    os.push_key(kKeyEnd);
    os.push_key(kKeyReturn);
    os.push_text(kDefaultMasterPassword);
    os.push_key(kKeyReturn);
    os.push_key(kKeyReturn);
    run();
    EXPECT_TRUE(drawn("Your passwords are protected by the default 'Quoll' password,"));
    EXPECT_FALSE(fs::exists(app_paths().strong_password_file));
    EXPECT_TRUE(fs::exists(app_paths().password_file));
}

}  // namespace
}  // namespace domora
