// The master password dialogs and the Passwords screen, driven through the
// headless window by scripted keys and clicks.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "passwords/aes/aes.h"
#include "passwords/master_password.h"
#include "passwords/password_actions.h"
#include "passwords/password_exchange.h"
#include "passwords/password_screen.h"
#include "passwords/password_store.h"
#include "passwords/secret_clipboard.h"
#include "ui/file_browser.h"
#include "ui/popups.h"
#include "ui_fixture.h"

namespace domora {
namespace {

using Bytes = std::string;

Bytes u32(std::uint32_t v) {
    Bytes out(4, '\0');
    for (int i = 0; i < 4; ++i) out[static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
    return out;
}

Bytes record(std::int32_t id, int format, std::vector<std::string> fields, int kept = 0) {
    if (format == 2) fields.resize(16);
    Bytes body;
    for (const std::string& f : fields) body += f + '\0';
    return u32(static_cast<std::uint32_t>(14 + body.size())) + "MSRI" + u32(static_cast<std::uint32_t>(id)) +
           static_cast<char>(format) + static_cast<char>(kept) + body;
}

Bytes header(const std::string& master) {
    Bytes h(1, static_cast<char>(master.size()));
    h += master;
    h.resize(256, '\0');
    return h;
}

Bytes cipher(Bytes image, const std::string& password, bool encrypt) {
    image.resize((image.size() + 15) / 16 * 16, '\0');
    const auto key = master_key(password);
    aes::KeySchedule schedule;
    aes::set_key(schedule, key.data(), key.size());
    auto* data = reinterpret_cast<unsigned char*>(image.data());
    if (encrypt) {
        aes::encrypt_ecb(schedule, data, image.size());
    } else {
        aes::decrypt_ecb(schedule, data, image.size());
    }
    return image;
}

const std::string kFirstUse = std::string("Before you can start saving passwords|") + "you must enter a MASTER password|" +
                              "to prevent unauthorized access.||" + "Passwords are case sensitive and may contain|" +
                              "letters, numbers, or punctuation characters.||" +
                              "Please write it down and store it in a safe location.|";

class PasswordScreen : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        app_paths().password_file = path("password10.dat");
        status_log_set_path(path("status.log"));
        reset_password_store();
        password_list() = ListState{};
        last_password_search().clear();
        clear_field_buffer();
        main_window().current_screen = kScreenPasswords;
        install_popup_messages();
    }
    void TearDown() override {
        set_message_handler(nullptr);
        reset_password_store();
        UiTest::TearDown();
    }

    void store(const Bytes& plain, const std::string& password) {
        write(app_paths().password_file, cipher(plain, password, true));
    }
    void open(const Bytes& plain, const std::string& password) {
        store(plain, password);
        set_master_password(password);
        LoadPasswords();
        ASSERT_TRUE(IsUnlocked());
    }
    Bytes plaintext(const std::string& password) { return cipher(read(app_paths().password_file), password, false); }

    // Where a dialog puts a widget: shows it once against an empty script
    // (the window closes at once) and reads the table it left.
    WidgetRecord locate(const std::function<void()>& show, int id) {
        show();
        const int index = FindWidget(id);
        EXPECT_GE(index, 0) << "no widget " << id;
        const WidgetRecord found = index >= 0 ? widgets()[static_cast<std::size_t>(index)] : WidgetRecord{};
        main_window().quit_requested = false;
        return found;
    }
    WidgetRecord popup_button(const std::string& message, const std::string& labels, const std::string& buttons, int width,
                              int id) {
        return locate([&] {
            int result = 0;
            ShowPopup(message, labels, 1, buttons, width, result);
        }, id);
    }
    void click(const WidgetRecord& w, int button = 1) { os.push_click((w.x1 + w.x2) / 2, (w.y1 + w.y2) / 2, button); }
    void keys(int key, int times) {
        for (int i = 0; i < times; ++i) os.push_key(key);
    }
    // Fills the 16-field record form from its first field and saves it with Enter.
    void fill_form(const std::vector<std::string>& texts) {
        for (std::size_t i = 0; i < 16; ++i) {
            if (i < texts.size()) os.push_text(texts[i]);
            os.push_key(kKeyReturn);
        }
    }
    bool drawn(const std::string& text) const {
        for (const auto& t : os.drawn_texts) {
            if (t.text == text) return true;
        }
        return false;
    }
    static std::vector<std::string> titles() {
        std::vector<std::string> out;
        for (int row = 0; row < view_count(); ++row) out.push_back(read_entry(view_record(row)).title);
        return out;
    }
    void expect_log_free_of(const std::vector<std::string>& secrets) {
        for (const std::string& line : log_lines(path("status.log"))) {
            for (const std::string& secret : secrets) {
                EXPECT_EQ(line.find(secret), std::string::npos) << "the status log holds a password: " << line;
            }
        }
    }
};

// ---- the master password ------------------------------------------------------------------------

TEST_F(PasswordScreen, FirstUseSetsATrimmedMasterPasswordOnceItIsConfirmed) {
    os.push_text("one");
    os.push_key(kKeyTab);
    os.push_text("two");
    os.push_key(kKeyReturn);
    os.push_key(kKeyReturn);  // OK to "Confirmation did not match master password"
    keys(kKeyReturn, 2);      // both empty: the form again
    os.push_text("  s3cret pw ");
    os.push_key(kKeyTab);
    os.push_text("s3cret pw");
    os.push_key(kKeyReturn);
    AskMasterPassword();
    EXPECT_TRUE(drawn("Confirmation did not match master password"));
    EXPECT_EQ(master_password(), "s3cret pw");
    EXPECT_EQ(plaintext("s3cret pw"), header("s3cret pw")) << "a 256-byte file with no records";
    EXPECT_EQ(mode_of(app_paths().password_file), 0600u);
    EXPECT_FALSE(IsUnlocked()) << "the image in memory is the encrypted one until the next load";
    EXPECT_FALSE(main_window().quit_requested);

    os.drawn_texts.clear();
    AskMasterPassword();
    EXPECT_TRUE(IsUnlocked()) << "the next operation opens the new file without a question";
    EXPECT_FALSE(main_window().quit_requested);
    EXPECT_TRUE(os.drawn_texts.empty());
    expect_log_free_of({"s3cret", "one", "two"});
    EXPECT_TRUE(field_text(0).empty() && field_text(1).empty()) << "the form's copies are wiped";
}

TEST_F(PasswordScreen, ADamagedFileIsReportedAndNeverTakenForFirstUse) {
    // The first 200 bytes of a 480-byte file.
    const Bytes damaged = read(std::string(DOMORA_TEST_DATA_DIR) + "/password_cut_short.dat");
    write(app_paths().password_file, damaged);
    os.push_key(kKeyReturn);  // OK to the message
    AskMasterPassword();
    EXPECT_TRUE(drawn("The password file is damaged: it is 200 bytes long, which no saved password file is."));
    EXPECT_FALSE(drawn("Before you can start saving passwords"));
    EXPECT_EQ(master_password(), "");
    EXPECT_EQ(read(app_paths().password_file), damaged);
}

TEST_F(PasswordScreen, CancellingFirstUseLeavesNoFileAndNoPassword) {
    click(popup_button(kFirstUse, "Master Password:|Confirm Password:", "Save|Cancel", 132, 5001));
    AskMasterPassword();
    EXPECT_FALSE(main_window().quit_requested) << "the click ended it";
    EXPECT_EQ(master_password(), "");
    EXPECT_FALSE(std::filesystem::exists(app_paths().password_file));
}

TEST_F(PasswordScreen, AWrongPasswordIsAskedForAgainAndNeverLogged) {
    store(header("right pw") + record(1, 2, {"Bank"}), "right pw");
    os.push_text("wrong pw");
    os.push_key(kKeyReturn);
    os.push_key(kKeyEscape);  // the prompt starts with the text typed last
    os.push_text(" right pw ");
    os.push_key(kKeyReturn);
    AskMasterPassword();
    EXPECT_TRUE(IsUnlocked());
    EXPECT_TRUE(drawn("Please Enter Your Master Password"));
    EXPECT_TRUE(drawn("Incorrect Password"));
    EXPECT_EQ(master_password(), "right pw");
    expect_log_free_of({"right pw", "wrong pw", "Failed: Quoll"});

    // Cancel leaves it locked, with the master password empty.
    reset_password_store();
    click(popup_button("Please Enter Your Master Password", "", "OK|Cancel", 132, 5001));
    AskMasterPassword();
    EXPECT_FALSE(IsUnlocked());
    EXPECT_EQ(master_password(), "");
    EXPECT_FALSE(main_window().quit_requested);
}

TEST_F(PasswordScreen, AfterAWrongPasswordTheTextIsSelectedSoRetypingReplacesIt) {
    store(header("right pw") + record(1, 2, {"Bank"}), "right pw");
    os.push_text("wrong pw");
    os.push_key(kKeyReturn);
    os.push_text("right pw");
    os.push_key(kKeyReturn);
    AskMasterPassword();
    EXPECT_TRUE(drawn("Incorrect Password"));
    EXPECT_TRUE(IsUnlocked());
    EXPECT_EQ(master_password(), "right pw");
}

TEST_F(PasswordScreen, ChangingTheMasterPasswordKeepsTheRecordsAndStoresItTrimmed) {
    open(header("old pw") + record(1, 2, {"Bank", "pin: 1234"}), "old pw");
    const std::string message = std::string("Please enter a new master password in the fields below.||") +
                                "Once the new master password is saved,|" + "the old master will no longer function!";
    const WidgetRecord cancel = popup_button(message, "New Password:|Confirm:", "Save|Cancel", 132, 5001);

    os.drawn_texts.clear();
    os.push_text("  new pw  ");
    os.push_key(kKeyTab);
    os.push_text("new pw");
    os.push_key(kKeyReturn);
    os.push_key(kKeyReturn);  // OK to the notice
    ChangeMasterPassword();
    for (const auto& t : os.drawn_texts) {
        EXPECT_EQ(t.text.find("old pw"), std::string::npos) << "the current password is never shown: " << t.text;
        EXPECT_NE(t.text, "  new pw  ") << "what is typed shows as bullets";
    }
    EXPECT_TRUE(drawn(std::string(10, '\x95')));
    EXPECT_TRUE(drawn("New Password: new pw"));
    EXPECT_TRUE(drawn("is now active!"));
    EXPECT_EQ(master_password(), "new pw");
    const Bytes plain = plaintext("new pw");
    EXPECT_EQ(plain.substr(0, 256), header("new pw"));
    EXPECT_NE(plain.find("pin: 1234"), std::string::npos);
    EXPECT_TRUE(IsUnlocked());

    os.push_key(kKeyTab);
    os.push_text("x");
    os.push_key(kKeyReturn);
    os.push_key(kKeyReturn);
    ChangeMasterPassword();
    EXPECT_TRUE(drawn("Invalid Password"));
    os.push_text("abc");
    os.push_key(kKeyTab);
    os.push_text("abd");
    os.push_key(kKeyReturn);
    os.push_key(kKeyReturn);
    ChangeMasterPassword();
    EXPECT_TRUE(drawn("Confirmation did not match master password"));
    click(cancel);
    ChangeMasterPassword();
    EXPECT_EQ(master_password(), "new pw") << "nothing changed after the refusals and the cancel";
    EXPECT_EQ(plaintext("new pw").substr(0, 256), header("new pw"));
    expect_log_free_of({"old pw", "new pw"});
}

TEST_F(PasswordScreen, TheUnlockPromptShowsBulletsTakesKeysUnderThePointerAndKeepsTheSecretIn) {
    store(header("sesame") + record(1, 2, {"Bank"}), "sesame");
    AskMasterPassword();  // nothing scripted: shows the prompt, then the window closes
    main_window().quit_requested = false;
    WidgetRecord field;
    for (const WidgetRecord& w : widgets()) {
        if (w.id == kEndMarker) break;
        if (w.kind == kKindTextInput) field = w;
    }
    ASSERT_EQ(field.kind, kKindTextInput);
    os.environment["DOMORA_WIDGET_DUMP"] = path("dump.txt");
    os.clipboard = "before";
    os.drawn_texts.clear();
    std::string dumped;
    // The pointer rests on the field and wanders a little while the keys go in.
    const int y = (field.y1 + field.y2) / 2;
    os.push_mouse_move(field.x1 + 20, y);
    os.push_text("sesa");
    os.push_mouse_move(field.x1 + 22, y + 1);
    os.push_text("me");
    os.push_key('A', false, true);  // Ctrl+A, then Ctrl+C and Ctrl+X: nothing leaves the field
    os.push_key('C', false, true);
    os.push_key('X', false, true);
    os.push_call([&] {
        DrawAllWidgets();
        dumped = read(path("dump.txt"));
    });
    os.push_key(kKeyReturn);
    AskMasterPassword();
    EXPECT_TRUE(IsUnlocked()) << "the keys and Enter reached the field";
    EXPECT_EQ(os.clipboard, "before");
    EXPECT_TRUE(drawn(std::string(6, '\x95')));
    EXPECT_FALSE(drawn("sesame"));
    EXPECT_NE(dumped.find("\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2"), std::string::npos)
        << "the widget dump shows the bullets: " << dumped;
    EXPECT_EQ(dumped.find("sesame"), std::string::npos);
    for (const WidgetRecord& w : widgets()) {
        if (w.id == kEndMarker) break;
        EXPECT_EQ(w.text.find("sesame"), std::string::npos) << "the popup's copy is wiped";
    }
    EXPECT_EQ(field_text(0).find("sesame"), std::string::npos) << "and so is the buffer's";
}

TEST_F(PasswordScreen, AFailedSaveOfANewMasterPasswordKeepsTheOldOne) {
    open(header("old pw") + record(1, 2, {"Bank"}), "old pw");
    const Bytes before = read(app_paths().password_file);
    os.fail_writes("password10", 10);
    os.push_text("new pw");
    os.push_key(kKeyTab);
    os.push_text("new pw");
    os.push_key(kKeyReturn);
    os.push_key(kKeyReturn);
    ChangeMasterPassword();
    EXPECT_FALSE(drawn("is now active!"));
    EXPECT_TRUE(drawn("Your last change was not kept."));
    EXPECT_EQ(master_password(), "old pw");
    EXPECT_TRUE(IsUnlocked());
    EXPECT_EQ(read(app_paths().password_file), before);
}

// ---- add, edit, delete ------------------------------------------------------------------------------

TEST_F(PasswordScreen, AddingSortsTheNewRecordInAndMakesItCurrent) {
    open(header("pw") + record(1, 2, {"Zeta"}) + record(2, 2, {"alpha"}), "pw");
    fill_form({});            // no title
    os.push_key(kKeyReturn);  // OK to the message; the form comes back
    fill_form({"  Bank ", "User: bob", "no colon"});
    AddPassword();
    EXPECT_TRUE(drawn("Every record must have a title"));
    EXPECT_EQ(titles(), (std::vector<std::string>{"alpha", "  Bank ", "Zeta"})) << "the texts are kept as typed";
    EXPECT_EQ(password_list().current_item, 1);
    const std::vector<std::string> fields = record_fields(view_record(1));
    ASSERT_EQ(fields.size(), 16u);
    EXPECT_EQ(fields[1], "User: bob");
    EXPECT_EQ(record_id(view_record(1)), 3);
    EXPECT_EQ(record_format(view_record(1)), 2);
    EXPECT_EQ(plaintext("pw").substr(256, 4), u32(14 + 6 + 15)) << "the file is sorted too: alpha first";
}

TEST_F(PasswordScreen, EditingAnOlderRecordPresetsItsNamedValuesAndRewritesItInTheCurrentFormat) {
    open(header("pw") + record(7, 1, {"Old Bank", "jsmith", "hunter2", "", "", "", "", "", "", ""}, 5) +
             record(8, 2, {"Other"}),
         "pw");
    keys(kKeyReturn, 16);  // save as preset
    EditPassword();
    ASSERT_EQ(titles(), (std::vector<std::string>{"Old Bank", "Other"}));
    const RecordBytes edited = view_record(0);
    EXPECT_EQ(record_id(edited), 7);
    EXPECT_EQ(record_format(edited), 2);
    EXPECT_EQ(edited[13], 5) << "the kept byte survives the edit";
    const std::vector<std::string> fields = record_fields(edited);
    ASSERT_EQ(fields.size(), 16u);
    EXPECT_EQ(fields[1], "User Name: jsmith");
    EXPECT_EQ(fields[2], "Password: hunter2");
    EXPECT_EQ(fields[3], "");
    EXPECT_EQ(password_list().current_item, 0);

    // An emptied title is refused and marked, and the form comes back.
    os.push_key(kKeyEscape);
    keys(kKeyReturn, 16);
    os.push_key(kKeyReturn);
    os.push_text("Renamed");
    keys(kKeyReturn, 16);
    EditPassword();
    EXPECT_TRUE(drawn("Every record must have a title"));
    EXPECT_EQ(titles(), (std::vector<std::string>{"Other", "Renamed"}));
    EXPECT_EQ(password_list().current_item, 1);
}

TEST_F(PasswordScreen, ALongTitleIsNotCutByTheEditForm) {
    const std::string title(120, 'T');
    open(header("pw") + record(1, 2, {title, "a: b"}), "pw");
    keys(kKeyReturn, 16);
    EditPassword();
    EXPECT_EQ(titles(), (std::vector<std::string>{title}));
}

TEST_F(PasswordScreen, DeletingAsksFirstAndTheLastRecordLeavesAnEmptyFile) {
    open(header("pw") + record(1, 2, {"Bank"}) + record(2, 2, {"Mail"}), "pw");
    password_list().current_item = 1;
    os.push_key(kKeyReturn);  // the default answer is No
    DeletePassword();
    EXPECT_TRUE(drawn("Are you sure you want to delete this password?"));
    EXPECT_TRUE(drawn("Mail"));
    EXPECT_EQ(view_count(), 2);

    os.push_text("y");
    DeletePassword();
    EXPECT_EQ(titles(), (std::vector<std::string>{"Bank"}));
    EXPECT_EQ(password_list().current_item, 0) << "kept within the list";
    os.push_text("y");
    DeletePassword();
    EXPECT_EQ(view_count(), 0);
    EXPECT_EQ(read(app_paths().password_file).size(), 256u);
    os.drawn_texts.clear();
    os.push_key(kKeyReturn);
    DeletePassword();
    EXPECT_TRUE(drawn("No Passwords In Database"));
}

// ---- find and sort ----------------------------------------------------------------------------------

TEST_F(PasswordScreen, FindIgnoresCaseRepeatsToTheNextMatchAndThenStartsOver) {
    open(header("pw") + record(1, 2, {"Alpha", "user: SMITH"}) + record(2, 2, {"Beta"}) +
             record(3, 2, {"Gamma", "note: blacksmithy"}),
         "pw");
    auto find = [&](const std::string& text) {
        os.push_key(kKeyEscape);
        os.push_text(text);
        os.push_key(kKeyReturn);
        FindPassword();
    };
    find("smith");
    EXPECT_EQ(password_list().current_item, 0);
    find("SMITH");
    EXPECT_EQ(password_list().current_item, 2) << "the same text again finds the next one";
    os.push_key(kKeyReturn);  // the same text is preset
    os.push_key(kKeyReturn);  // OK to "No More Matches"
    FindPassword();
    EXPECT_TRUE(drawn("No More Matches"));
    EXPECT_EQ(last_password_search(), "");
    EXPECT_EQ(password_list().current_item, 2);
    find("smith");
    EXPECT_EQ(password_list().current_item, 0) << "after no more matches the search starts at the top";
    find("user: smith");
    EXPECT_EQ(password_list().current_item, 0) << "the whole stored line is searched";
    find("Beta user");
    EXPECT_EQ(password_list().current_item, 0) << "a match never spans two fields";
}

TEST_F(PasswordScreen, AnExportEndsByNamingHowManyRecordsWentToWhichFile) {
    open(header("pw") + record(1, 2, {"Bank", "PIN: 1234"}) + record(2, 2, {"Mail", "User: jo"}), "pw");
    std::filesystem::create_directories(path("out"));
    settings().export_path = path("out/");
    const WidgetRecord ok = locate([this] {
        std::string folder = path("out/"), name;
        int result = 0;
        BrowseForFile("Export Passwords", folder, name, result);
    }, 750);
    os.push_key(kKeyReturn);  // yes, unencrypted
    os.push_key(kKeyReturn);  // plain text
    os.push_text("vault");
    click(ok);
    ExportPasswords();
    EXPECT_TRUE(std::filesystem::exists(path("out/vault.txt")));
    EXPECT_TRUE(drawn("2 passwords exported to"));
    EXPECT_TRUE(drawn(path("out/vault.txt")));
}

TEST_F(PasswordScreen, SortingPutsTitlesThatDifferInCaseTogetherOrderedByTheirFirstLines) {
    open(header("pw") + record(1, 2, {"bank", "z"}) + record(2, 2, {"Zoo"}) + record(3, 2, {"BANK", "a"}) +
             record(4, 2, {"apple"}) + record(5, 2, {"Bank", "m"}) + record(6, 0, {"deleted"}) + "junk",
         "pw");
    ASSERT_TRUE(SortPasswords());
    std::vector<std::string> order;
    for (int row = 0; row < view_count(); ++row) order.push_back(record_fields(view_record(row)).at(1));
    EXPECT_EQ(titles(), (std::vector<std::string>{"apple", "BANK", "Bank", "bank", "Zoo"}));
    EXPECT_EQ(order, (std::vector<std::string>{"", "a", "m", "z", ""}));
    EXPECT_EQ(plaintext("pw").find("deleted"), std::string::npos);
    EXPECT_EQ(plaintext("pw").find("junk"), std::string::npos);
}

// ---- the screen ------------------------------------------------------------------------------------

class PasswordScreenLoop : public PasswordScreen {
protected:
    // Runs the screen once with nothing scripted, to learn where its widgets are.
    WidgetRecord where(int id) {
        return locate([] { password_screen(); }, id);
    }
    // Runs the screen over what is scripted; it ends when the script does.
    static void run() {
        main_window().quit_requested = false;
        password_screen();
    }
};

TEST_F(PasswordScreenLoop, TheDefaultPasswordOpensTheFileWithANotice) {
    store(header("Quoll") + record(1, 2, {"Bank"}), "Quoll");
    os.push_key(kKeyReturn);
    run();
    EXPECT_TRUE(drawn("Domora is currently using the default 'Quoll' password."));
    EXPECT_TRUE(IsUnlocked());
    EXPECT_FALSE(drawn("Please Enter Your Master Password"));
    EXPECT_TRUE(drawn("1 Passwords"));
}

TEST_F(PasswordScreenLoop, ALockedFileShowsNoRecords) {
    store(header("pw") + record(1, 2, {"Bank"}), "pw");
    run();  // the prompt closes with the window
    EXPECT_TRUE(drawn("Please Enter Your Master Password"));
    EXPECT_FALSE(IsUnlocked());
    EXPECT_FALSE(drawn("Bank"));
    EXPECT_TRUE(drawn("0 Passwords"));
}

TEST_F(PasswordScreenLoop, ValuesAreCopiedMailedOrOpenedAndExplainedOnHover) {
    open(header("pw") + record(1, 2, {"Bank", "Mail: jo@example.com", "Site: www.example.com", "Note: a\rb", "PIN: 1234"}),
         "pw");
    const WidgetRecord mail = where(500), site = where(501), note = where(502), pin = where(503), help = where(213);
    EXPECT_EQ(mail.text, "jo@example.com");
    EXPECT_EQ(mail.colour1, rgb(255, 255, 0));
    os.push_mouse_move(mail.x1 + 2, mail.y1 + 2);
    os.push_wait(20);
    run();
    EXPECT_EQ(widgets()[static_cast<std::size_t>(FindWidget(213))].text,
              "Click to copy text to clipboard. Right click to send email.");

    // Stand-ins for the mail program and the browser.
    std::filesystem::create_directory(path("bin"));
    for (const char* program : {"xdg-email", "browser"}) {
        write(path("bin/") + program, "#!/bin/sh\n");
        std::filesystem::permissions(path("bin/") + program, std::filesystem::perms::owner_all);
    }
    os.environment["PATH"] = path("bin");
    os.environment["BROWSER"] = path("bin/browser");
    click(note);
    click(pin, 2);
    click(site, 2);
    click(mail, 2);
    run();
    EXPECT_EQ(os.clipboard, "1234") << "a right click on plain text copies it, after the left click copied the note";
    ASSERT_EQ(os.started_programs.size(), 2u);
    EXPECT_EQ(os.started_programs[0], (std::vector<std::string>{path("bin/browser"), "www.example.com"}));
    EXPECT_EQ(os.started_programs[1].front(), path("bin/xdg-email"));
    EXPECT_EQ(os.started_programs[1].back(), "jo@example.com");

    os.push_mouse_move(help.x1 + 2, help.y1 + 2);
    click(note);
    run();
    EXPECT_EQ(os.clipboard, "a\r\nb");
    os.start_program_result = 2;
    click(mail, 2);
    os.push_key(kKeyReturn);
    run();
    EXPECT_TRUE(drawn("Domora was unable to open your email program."));
}

TEST_F(PasswordScreenLoop, ACopySaysWhatWentOnTheClipboardUntilTheMouseMoves) {
    open(header("pw") + record(1, 2, {"Bank", "Password: s3cret", "1234 5678"}), "pw");
    const WidgetRecord password = where(500), bare = where(501);
    const auto help = [] { return widgets()[static_cast<std::size_t>(FindWidget(kPwHelpLine))].text; };
    std::vector<std::string> seen;
    os.push_mouse_move(password.x1 + 3, password.y1 + 3);
    click(password);
    os.push_wait(100);
    os.push_call([&] { seen.push_back(help()); });
    os.push_mouse_move(password.x1 + 4, password.y1 + 3);
    os.push_wait(20);
    os.push_call([&] { seen.push_back(help()); });
    click(bare, 2);  // a line without a name, copied by a right click
    os.push_wait(100);
    os.push_call([&] { seen.push_back(help()); });
    run();
    EXPECT_EQ(seen, (std::vector<std::string>{"Password copied: the clipboard is cleared in 30 seconds",
                                              "Click to copy text to clipboard",
                                              "Text copied: the clipboard is cleared in 30 seconds"}));
    EXPECT_EQ(os.clipboard, "1234 5678");
}

TEST_F(PasswordScreenLoop, CutTitlesAndValuesEndInAnEllipsisAndShowWholeInTheHelpLine) {
    const std::string title = "Household insurance for the cottage at the lake, policy " + std::string(60, '7');
    const std::string value = "https://www.example.com/" + std::string(150, 'q');
    open(header("pw") + record(1, 2, {title, "Site: " + value}), "pw");
    const WidgetRecord list = where(kPwList), site = where(500);
    EXPECT_EQ(site.text, value) << "the record keeps the whole value";
    const auto help = [] { return widgets()[static_cast<std::size_t>(FindWidget(kPwHelpLine))].text; };
    std::vector<std::string> seen;
    os.drawn_texts.clear();
    os.push_mouse_move(list.x1 + 20, list.y1 + 5);
    os.push_wait(20);
    os.push_call([&] { seen.push_back(help()); });
    os.push_mouse_move(site.x1 + 5, site.y1 + 5);
    os.push_wait(20);
    os.push_call([&] { seen.push_back(help()); });
    run();
    EXPECT_EQ(seen, (std::vector<std::string>{title, value + " - Click to copy text to clipboard. Right click to visit web site."}));
    int cut = 0;
    for (const auto& t : os.drawn_texts) {
        if (!t.text.empty() && t.text.back() == kEllipsis) {
            ++cut;
            EXPECT_TRUE(title.rfind(t.text.substr(0, t.text.size() - 1), 0) == 0 ||
                        value.rfind(t.text.substr(0, t.text.size() - 1), 0) == 0 ||
                        t.text.rfind(value, 0) == 0)
                << t.text;
        }
    }
    EXPECT_GE(cut, 3) << "the list row, the pane's title and the value";
}

TEST_F(PasswordScreenLoop, AnEmptyStoreSaysHowToAddTheFirstRecord) {
    open(header("pw"), "pw");
    run();
    EXPECT_TRUE(drawn("There are no passwords yet."));
    EXPECT_TRUE(drawn("To add one, click Add or press the A key."));
    EXPECT_TRUE(drawn("0 Passwords"));
    os.drawn_texts.clear();
    os.push_char('e');
    os.push_key(kKeyReturn);
    run();
    EXPECT_TRUE(drawn("No Passwords In Database")) << "Edit says why it does nothing";
}

TEST_F(PasswordScreenLoop, KeysAndClicksMoveTheCurrentRowAndASecondClickEdits) {
    Bytes image = header("pw");
    for (int i = 0; i < 40; ++i) image += record(i + 1, 2, {"Title " + std::string(1, static_cast<char>('A' + i / 10)) + std::to_string(i % 10)});
    open(image, "pw");
    const WidgetRecord list = where(kPwList);
    const int row = password_list().row_height;
    os.push_key(kKeyEnd);
    run();
    EXPECT_EQ(password_list().current_item, 39);
    EXPECT_GT(password_list().scroll_offset, 0) << "scrolled to show it";
    os.push_key(kKeyHome);
    os.push_key(kKeyDown);
    os.push_key(kKeyDown);
    run();
    EXPECT_EQ(password_list().current_item, 2);
    EXPECT_EQ(password_list().scroll_offset, 0);

    click(list, 1);
    const int third_row_y = list.y1 + 1 + 3 * row + row / 2;
    os.push_click(list.x1 + 20, third_row_y);
    run();
    EXPECT_EQ(password_list().current_item, 3);
    EXPECT_FALSE(drawn("Edit Password")) << "the first click only chooses the row";
    os.push_click(list.x1 + 20, third_row_y);
    run();
    EXPECT_TRUE(drawn("Edit Password")) << "a second click on the current row edits it";

    os.drawn_texts.clear();
    os.push_click(list.x1 + 20, list.y1 + 1 + row / 2, 2);
    run();
    EXPECT_EQ(password_list().current_item, 0);
    EXPECT_TRUE(drawn("Edit Password")) << "a right click edits the row it lands on";

    os.drawn_texts.clear();
    os.push_key(kKeyDelete);
    run();
    EXPECT_TRUE(drawn("Are you sure you want to delete this password?"));
    os.drawn_texts.clear();
    os.push_text("x");  // Export, by its mnemonic
    os.push_key(kKeyReturn);
    run();
    EXPECT_TRUE(drawn("Passwords exported to an unencrypted file will no longer be secure."));
    EXPECT_TRUE(drawn("40 Passwords"));
}

TEST_F(PasswordScreenLoop, EnterOpensEditOnceAndTheSameKeyStaysOutOfTheForm) {
    open(header("pw") + record(1, 2, {"Bank", "User: jo", "PIN: 1234"}), "pw");
    // Enter held a moment, as a hand does: the key repeats before it comes up.
    Event enter;
    enter.kind = EventKind::KeyDown;
    enter.key = kKeyReturn;
    Event typed;
    typed.kind = EventKind::Character;
    typed.character = 13;
    os.push_event(enter);
    os.push_event(typed);
    for (int i = 0; i < 3; ++i) {
        os.push_wait(40);
        os.push_event(enter);
        os.push_event(typed);
    }
    Event up;
    up.kind = EventKind::KeyUp;
    up.key = kKeyReturn;
    os.push_event(up);
    os.push_text("X");  // lands in the title, where the form starts
    keys(kKeyReturn, 16);
    run();
    EXPECT_TRUE(drawn("Edit Password"));
    ASSERT_EQ(view_count(), 1);
    const PasswordEntry entry = read_entry(view_record(0));
    EXPECT_EQ(entry.title, "BankX");
    ASSERT_EQ(entry.lines.size(), 2u);
    EXPECT_EQ(entry.lines[0].value, "jo") << "no stored line was touched";
    EXPECT_EQ(entry.lines[1].value, "1234");
}

TEST_F(PasswordScreenLoop, TheWheelAndTheArrowsScrollWithoutMovingTheCurrentRow) {
    Bytes image = header("pw");
    for (int i = 0; i < 60; ++i) image += record(i + 1, 2, {"Row " + std::to_string(100 + i)});
    open(image, "pw");
    const WidgetRecord list = where(kPwList), down = where(kPwScrollDown), up = where(kPwScrollUp);
    const int row = password_list().row_height;
    os.push_mouse_move(list.x1 + 10, list.y1 + 10);
    os.push_wheel(-120);
    click(down);
    click(down);
    click(up);
    run();
    EXPECT_EQ(password_list().scroll_offset, row * 3 / 2 + row) << "half the wheel's three lines, then one row a click";
    EXPECT_EQ(password_list().current_item, 0);
}

TEST_F(PasswordScreenLoop, ACopiedValueIsASecretTakenOffTheClipboardAfterThirtySeconds) {
    open(header("pw") + record(1, 2, {"Bank", "PIN: 1234", "Note: x"}), "pw");
    const WidgetRecord pin = where(500), note = where(501);
    click(pin);
    os.push_wait(28000);
    run();
    EXPECT_EQ(os.clipboard, "1234");
    EXPECT_TRUE(os.clipboard_secret) << "kept out of clipboard managers' history";
    os.push_wait(2000);
    run();
    EXPECT_EQ(os.clipboard, "") << "30 seconds after the copy";
    EXPECT_FALSE(secret_on_clipboard());

    // A second copy starts the count again.
    click(pin);
    os.push_wait(20000);
    run();
    click(note);
    os.push_wait(20000);
    run();
    EXPECT_EQ(os.clipboard, "x");
    os.push_wait(10000);
    run();
    EXPECT_EQ(os.clipboard, "");

    // What the user copied since is theirs: it stays.
    click(pin);
    run();
    os.set_clipboard_text("my own text");
    os.push_wait(30000);
    run();
    EXPECT_EQ(os.clipboard, "my own text");
    EXPECT_FALSE(secret_on_clipboard());

    // At exit a copy still on the clipboard goes at once.
    click(note);
    run();
    clear_secret_clipboard();
    EXPECT_EQ(os.clipboard, "");
    EXPECT_FALSE(os.timer_running(kSecretClipboardTimer));
}

TEST_F(PasswordScreenLoop, CtrlCAndCtrlBCopyThePasswordAndTheUserNameAsAClickWould) {
    open(header("pw") + record(1, 2, {"Bank", "URL: www.bank.example", "User Name: jo", "password : s3 cret"}) +
             record(2, 1, {"Mail", "jo@mail.example", "m41l"}) + record(3, 2, {"Note", "Text: nothing to copy"}),
         "pw");
    std::vector<std::string> seen;
    auto look = [&] { os.push_call([&] { seen.push_back(os.clipboard + (os.clipboard_secret ? " (secret)" : "")); }); };
    os.push_key('C', false, true);
    look();
    os.push_key('B', false, true);
    look();
    os.push_key(kKeyDown);  // an older record: its values have the fixed names
    os.push_key('C', false, true);
    look();
    os.push_key(kKeyDown);
    os.push_key('B', false, true);
    look();
    run();
    EXPECT_EQ(seen, (std::vector<std::string>{"s3 cret (secret)", "jo (secret)", "m41l (secret)", "m41l (secret)"}));
    EXPECT_TRUE(drawn("This record has no User Name line"));
    EXPECT_TRUE(drawn("Password copied: the clipboard is cleared in 30 seconds"));
    os.push_wait(30000);
    run();
    EXPECT_EQ(os.clipboard, "") << "cleared 30 seconds after the copy, as a clicked value is";
}

}  // namespace
}  // namespace domora
