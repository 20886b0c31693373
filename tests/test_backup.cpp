// Backup and restore: the backup folder rule, what is copied where, and that
// a copy that fails is reported and never costs a current file.
#include <filesystem>
#include <string>
#include <vector>

#include "app/backup.h"
#include "app/messages.h"
#include "app/settings.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "passwords/password_store.h"
#include "screens/backup_restore.h"
#include "shell/shell.h"
#include "ui/file_browser.h"
#include "ui_fixture.h"

namespace domora {
namespace {

namespace fs = std::filesystem;

struct StepLog : CopyProgress {
    std::vector<int> steps;
    int total = 0;
    std::vector<std::int64_t> parts;  // bytes done, one entry a report
    std::int64_t part_size = 0;
    void step(int step, int of) override {
        steps.push_back(step);
        total = of;
    }
    void part(std::int64_t done, std::int64_t size) override {
        parts.push_back(done);
        part_size = size;
    }
};

// Bytes that a copy which drops, repeats or shifts a block cannot reproduce.
std::string patterned(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t x = 2463534242u;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return bytes;
}

class Backup : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        set_message_handler(nullptr);
        fs::create_directories(path("prog"));
        fs::create_directories(path("data"));
        fs::create_directories(path("usb"));
        AppPaths& p = app_paths();
        p = AppPaths{};
        p.program_path = path("prog/domora-3.16");
        p.data_folder = path("data/");
        p.address_file = path("data/address10.dat");
        p.password_file = path("data/password10.dat");
        p.vehicle_file = path("data/vehicle11.dat");
        p.reminders_file = path("data/reminders.dat");
        p.settings_file = path("data/setup313.dat");
        settings_set_path(p.settings_file);
        status_log_set_path(path("data/status.log"));
        write(p.program_path, "\x7f" "ELF program");
        write(p.address_file, "addresses v1");
        write(p.password_file, "passwords v1");
        write(p.vehicle_file, "vehicles v1");
        write(p.reminders_file, "reminders v1");
        write(p.settings_file, "settings v1");
    }
    void TearDown() override {
        reset_password_store();
        app_paths() = AppPaths{};
        UiTest::TearDown();
    }
    std::vector<std::string> log() { return log_lines(path("data/status.log")); }
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        // The system's box shows each "|" as a line break.
        for (const auto& box : os.message_boxes) {
            std::string text = box.text;
            for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.replace(at, 2, "|");
            texts.push_back(text);
        }
        return texts;
    }
    static std::vector<std::string> names_in(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Where the browser's OK button is, from a showing that ends at once.
    WidgetRecord browser_ok() {
        std::string folder = path("usb/"), name;
        int result = 0;
        os.script.clear();
        BrowseForFile(backup_title(), folder, name, result);
        main_window().quit_requested = false;
        const int index = FindWidget(750);
        EXPECT_GE(index, 0);
        return index >= 0 ? widgets()[static_cast<std::size_t>(index)] : WidgetRecord{};
    }
    void click(const WidgetRecord& w) { os.push_click((w.x1 + w.x2) / 2, (w.y1 + w.y2) / 2); }
};

TEST(BackupFolder, EveryTrailingDomoraFolderGivesWayToOne) {
    EXPECT_EQ(backup_folder_for("/media/usb/"), "/media/usb/Domora/");
    EXPECT_EQ(backup_folder_for("/media/usb"), "/media/usb/Domora/");
    EXPECT_EQ(backup_folder_for("/media/usb/Domora/"), "/media/usb/Domora/");
    EXPECT_EQ(backup_folder_for("/media/usb/Domora/Domora/"), "/media/usb/Domora/");
    EXPECT_EQ(backup_folder_for("/"), "/Domora/");
    // Only the exact name counts.
    EXPECT_EQ(backup_folder_for("/media/usb/domora/"), "/media/usb/domora/Domora/");
    EXPECT_EQ(backup_folder_for("/media/usb/MyDomora/"), "/media/usb/MyDomora/Domora/");
}

TEST_F(Backup, CopiesTheProgramTheDataAndTheSettingsAndAgainOverTheOldCopies) {
    StepLog progress;
    const CopyOutcome first = back_up_files(path("usb/Domora/"), progress);
    EXPECT_TRUE(first.ok());
    EXPECT_EQ(first.copied, 6);
    EXPECT_EQ(progress.steps, (std::vector<int>{1, 5, 6, 7, 8}));  // the vehicles' two files are one step
    EXPECT_EQ(progress.total, 8);
    EXPECT_EQ(names_in(path("usb/Domora")),
              (std::vector<std::string>{"address10.dat", "domora", "password10.dat", "reminders.dat", "setup313.dat",
                                        "vehicle11.dat"}));
    EXPECT_EQ(read(path("usb/Domora/domora")), "\x7f" "ELF program");
    EXPECT_EQ(mode_of(path("usb/Domora/reminders.dat")), 0600u);
    EXPECT_EQ(mode_of(path("usb/Domora/domora")), 0700u);
    EXPECT_EQ(mode_of(path("usb/Domora/address10.dat")), 0600u);

    write(app_paths().address_file, "addresses v2");
    fs::remove(app_paths().vehicle_file);  // a source that is gone leaves its old copy
    EXPECT_TRUE(back_up_files(path("usb/Domora/"), progress).ok());
    EXPECT_EQ(read(path("usb/Domora/address10.dat")), "addresses v2");
    EXPECT_EQ(read(path("usb/Domora/vehicle11.dat")), "vehicles v1");
    EXPECT_EQ(names_in(path("usb/Domora")).size(), 6u);  // no temporary files left behind
}

TEST_F(Backup, AFullStickIsReportedFileByFileAndLeavesTheEarlierCopyWhole) {
    StepLog progress;
    ASSERT_TRUE(back_up_files(path("usb/Domora/"), progress).ok());
    write(app_paths().address_file, std::string(5000, 'A'));
    os.fail_writes(path("usb/Domora/address10.dat"), 100, ENOSPC);
    const CopyOutcome outcome = back_up_files(path("usb/Domora/"), progress);
    ASSERT_EQ(outcome.failures.size(), 1u);
    EXPECT_EQ(outcome.failures[0].name, "address10.dat");
    EXPECT_EQ(outcome.failures[0].reason, "write: No space left on device");
    EXPECT_EQ(outcome.copied, 5);
    EXPECT_EQ(read(path("usb/Domora/address10.dat")), "addresses v1");
    EXPECT_EQ(names_in(path("usb/Domora")).size(), 6u);
    const std::vector<std::string> lines = log();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Backup Failed: " + app_paths().address_file + " to " + path("usb/Domora/address10.dat") +
                            " - write: No space left on device"),
              lines.end());
}

TEST_F(Backup, ALargeFileIsCopiedWholeInsideTheSystemOrThroughTheBufferReportingEachMegabyte) {
    // Three and a half megabytes: the last piece is shorter than the buffer.
    const std::string big = patterned(3 * (1 << 20) + (1 << 19));
    write(app_paths().address_file, big);
    for (const bool in_system : {true, false}) {
        SCOPED_TRACE(in_system ? "in the system" : "through the buffer");
        os.clear_faults();
        if (!in_system) os.refuse_copy_ranges(EXDEV);
        os.copy_range_calls = 0;
        os.fsync_calls = 0;
        StepLog progress;
        const CopyOutcome outcome = back_up_files(path("usb/Domora/"), progress);
        EXPECT_TRUE(outcome.ok());
        EXPECT_EQ(outcome.copied, 6);
        EXPECT_EQ(read(path("usb/Domora/address10.dat")), big);
        EXPECT_EQ(read(path("usb/Domora/domora")), "\x7f" "ELF program");
        EXPECT_EQ(in_system, os.copy_range_calls > 0);
        // Only the large file reports, once a megabyte, with the steps as they were.
        EXPECT_EQ(progress.parts, (std::vector<std::int64_t>{1 << 20, 2 << 20, 3 << 20, static_cast<std::int64_t>(big.size())}));
        EXPECT_EQ(progress.part_size, static_cast<std::int64_t>(big.size()));
        EXPECT_EQ(progress.steps, (std::vector<int>{1, 5, 6, 7, 8}));
        // Each copy flushed once, and the folder once for all of them.
        EXPECT_EQ(os.fsync_calls, 7);
        EXPECT_EQ(names_in(path("usb/Domora")).size(), 6u);
    }

    // A full stick stops the buffered copy too, and costs neither file.
    os.clear_faults();
    os.refuse_copy_ranges(EXDEV);
    write(app_paths().address_file, big + "more");
    os.fail_writes(path("usb/Domora/address10.dat"), 1 << 20, ENOSPC);
    StepLog progress;
    const CopyOutcome outcome = back_up_files(path("usb/Domora/"), progress);
    ASSERT_EQ(outcome.failures.size(), 1u);
    EXPECT_EQ(outcome.failures[0].reason, "write: No space left on device");
    EXPECT_EQ(read(path("usb/Domora/address10.dat")), big);
    EXPECT_EQ(names_in(path("usb/Domora")).size(), 6u);
}

TEST_F(Backup, AFlushThatFailsKeepsTheEarlierCopyAndTheRestoreFlushesTheDataFolderOnce) {
    StepLog progress;
    ASSERT_TRUE(back_up_files(path("usb/Domora/"), progress).ok());
    write(app_paths().address_file, "addresses v2");
    os.fail_fsync(EIO);
    const CopyOutcome failed = back_up_files(path("usb/Domora/"), progress);
    EXPECT_EQ(failed.failures.size(), 6u);
    EXPECT_EQ(failure_lines({failed.failures[1]}), "address10.dat - flush: Input/output error");
    EXPECT_EQ(read(path("usb/Domora/address10.dat")), "addresses v1");
    EXPECT_EQ(names_in(path("usb/Domora")).size(), 6u);

    os.clear_faults();
    os.fsync_calls = 0;
    const CopyOutcome restored = restore_files(path("usb/Domora/"), progress);
    EXPECT_EQ(restored.copied, 4);
    EXPECT_EQ(os.fsync_calls, 5);
    EXPECT_EQ(read(app_paths().address_file), "addresses v1");
}

TEST_F(Backup, TheBackupButtonStoresTheFolderCopiesAndSaysSoOnlyWhenAllWent) {
    const WidgetRecord ok = browser_ok();
    settings().backup_path = path("usb/Domora/Domora/");
    fs::create_directories(path("usb/Domora/Domora"));
    os.script.clear();
    click(ok);
    backup();
    EXPECT_EQ(settings().backup_path, path("usb/Domora/"));
    EXPECT_EQ(messages(), (std::vector<std::string>{"Backup Completed"}));
    EXPECT_EQ(read(path("usb/Domora/address10.dat")), "addresses v1");
    // The settings were saved before they were copied.
    EXPECT_NE(read(path("usb/Domora/setup313.dat")), "settings v1");

    os.message_boxes.clear();
    os.fail_writes(path("usb/Domora/"), 0, EROFS);
    click(ok);
    backup();
    ASSERT_EQ(messages().size(), 1u);
    const std::string text = messages()[0];
    EXPECT_EQ(text.rfind("Backup Not Completed||", 0), 0u) << text;
    for (const char* name : {"domora", "address10.dat", "password10.dat", "vehicle11.dat", "reminders.dat", "setup313.dat"}) {
        EXPECT_NE(text.find(std::string(name) + " - write: Read-only file system"), std::string::npos) << name;
    }
}

TEST_F(Backup, RestoreTakesTheDataFilesFromTheBackupFolderAndNothingFromItsParent) {
    StepLog progress;
    ASSERT_TRUE(back_up_files(path("usb/Domora/"), progress).ok());
    write(app_paths().address_file, "addresses v2");
    write(app_paths().vehicle_file, "vehicles v2");
    write(app_paths().reminders_file, "reminders v2");
    write(app_paths().settings_file, "settings v2");
    write(path("data/error.log"), "old");

    const CopyOutcome from_parent = restore_files(path("usb/"), progress);
    EXPECT_TRUE(from_parent.ok());
    EXPECT_EQ(from_parent.copied, 0);
    EXPECT_EQ(read(app_paths().address_file), "addresses v2");

    progress.steps.clear();
    const CopyOutcome restored = restore_files(path("usb/Domora"), progress);
    EXPECT_TRUE(restored.ok());
    EXPECT_EQ(restored.copied, 4);
    // The reminders go in the vehicle file's step: the progress keeps its three steps of five.
    EXPECT_EQ(progress.steps, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(progress.total, 5);
    EXPECT_EQ(read(app_paths().address_file), "addresses v1");
    EXPECT_EQ(read(app_paths().vehicle_file), "vehicles v1");
    EXPECT_EQ(read(app_paths().reminders_file), "reminders v1");
    EXPECT_EQ(read(app_paths().settings_file), "settings v2");  // never restored
    EXPECT_FALSE(fs::exists(path("data/error.log")));
    EXPECT_EQ(mode_of(app_paths().address_file), 0600u);
}

TEST_F(Backup, TheContactsSyncStateGoesWithTheAddressFileBothWays) {
    app_paths().carddav_file = path("data/carddav.dat");
    write(app_paths().carddav_file, "sync state v1");
    StepLog progress;
    const CopyOutcome backed_up = back_up_files(path("usb/Domora/"), progress);
    EXPECT_TRUE(backed_up.ok());
    EXPECT_EQ(backed_up.copied, 7);
    EXPECT_EQ(progress.steps, (std::vector<int>{1, 5, 6, 7, 8}));
    EXPECT_EQ(read(path("usb/Domora/carddav.dat")), "sync state v1");
    EXPECT_EQ(mode_of(path("usb/Domora/carddav.dat")), 0600u);
    write(app_paths().carddav_file, "sync state v2");
    progress.steps.clear();
    const CopyOutcome restored = restore_files(path("usb/Domora/"), progress);
    EXPECT_EQ(restored.copied, 5);
    EXPECT_EQ(progress.steps, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(read(app_paths().carddav_file), "sync state v1");
    EXPECT_EQ(mode_of(app_paths().carddav_file), 0600u);
}

TEST_F(Backup, ARestoreThatFailsKeepsTheCurrentFileAsItWas) {
    StepLog progress;
    ASSERT_TRUE(back_up_files(path("usb/Domora/"), progress).ok());
    write(path("usb/Domora/vehicle11.dat"), std::string(4000, 'V'));
    write(app_paths().vehicle_file, "vehicles v2");
    os.fail_writes(path("data/vehicle11.dat"), 1000, ENOSPC);
    const CopyOutcome outcome = restore_files(path("usb/Domora/"), progress);
    ASSERT_EQ(outcome.failures.size(), 1u);
    EXPECT_EQ(failure_lines(outcome.failures), "vehicle11.dat - write: No space left on device");
    EXPECT_EQ(read(app_paths().vehicle_file), "vehicles v2");
    EXPECT_EQ(names_in(path("data")),
              (std::vector<std::string>{"address10.dat", "password10.dat", "reminders.dat", "setup313.dat", "status.log",
                                        "vehicle11.dat"}));
}

TEST_F(Backup, TheRestoreButtonAsksFirstAndAfterwardsTheMasterPasswordIsAskedAgain) {
    const WidgetRecord ok = browser_ok();
    settings().backup_path = path("usb/");
    os.script.clear();
    os.push_key(kKeyReturn);  // the confirmation's default is Cancel
    restore(forget_restored_data);
    EXPECT_EQ(settings().backup_path, path("usb/"));
    EXPECT_TRUE(messages().empty());

    // A backup whose password file is locked with another master password.
    fs::create_directories(path("usb/Domora"));
    write(path("usb/Domora/password10.dat"), read(std::string(DOMORA_TEST_DATA_DIR) + "/password_sesame.dat"));
    write(path("usb/Domora/address10.dat"), "addresses from the backup");
    set_master_password("Quoll");
    password_store().view = {256};
    settings().backup_path = path("usb/Domora/");
    os.push_char('o');
    click(ok);
    restore(forget_restored_data);
    EXPECT_EQ(messages(), (std::vector<std::string>{"Restore Completed"}));
    EXPECT_EQ(settings().backup_path, path("usb/Domora/"));
    EXPECT_EQ(read(app_paths().address_file), "addresses from the backup");
    EXPECT_EQ(read(app_paths().vehicle_file), "vehicles v1");
    EXPECT_TRUE(master_password().empty());
    EXPECT_TRUE(password_store().view.empty());
    LoadPasswords();
    EXPECT_FALSE(IsUnlocked());  // the default password does not open it: the screen asks

    // The parent of a backup folder holds nothing to restore, and the user is told so.
    os.message_boxes.clear();
    settings().backup_path = path("usb/");
    os.push_char('o');
    click(ok);
    restore(forget_restored_data);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0], "No Domora data files were found in|" + path("usb/") + "||Nothing was restored.");
}

}  // namespace
}  // namespace domora
