// The command-line companion run as a user runs it, on copies of the test
// data: its output, its exit status and its one line on standard error.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "addresses/address_export.h"
#include "addresses/address_store.h"
#include "app/backup.h"
#include "app/files.h"
#include "app/startup.h"
#include "app/text.h"
#include "carddav_servers.h"
#include "passwords/password_export.h"
#include "password_fixtures.h"
#include "support.h"
#include "sync/carddav_state.h"
#include "test_env.h"
#include "vehicle_fixtures.h"
#include "vehicles/vehicle_csv.h"
#include "vehicles/vehicle_repair.h"

namespace domora::test {
namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

class CliTest : public DomoraTest {
protected:
    // Runs the program with the test's folder as its data folder.
    CliRun cli(const std::string& arguments, const std::string& wrapper = "", const std::string& program = DOMORA_CLI_PATH) {
        const std::string err_path = path("stderr.txt");
        const std::string command = "LC_ALL=C " + wrapper + "'" + program + "' --data '" + dir() + "' " + arguments + " 2>'" + err_path + "'";
        CliRun run;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return run;
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
        const int status = pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.err = read(err_path);
        return run;
    }
    void use_book(const std::string& name) { write(path("address10.dat"), read(std::string(DOMORA_TEST_DATA_DIR) + "/" + name)); }

    // What the window program's repair does to a copy of the file, in this process.
    RepairOutcome window_repair(const std::string& folder, const std::string& bytes) {
        write(folder + "vehicle11.dat", bytes);
        VehicleStore store;
        store.set_path(folder + "vehicle11.dat");
        return repair_vehicle_file(store, StoreCallbacks{}, platform().local_now().year);
    }

    // The records the window program exports when all are selected.
    std::vector<ExportRecord> window_records() {
        AddressStore store;
        set_app_paths("/opt/domora/domora", dir(), "");
        EXPECT_TRUE(store.load());
        std::vector<ExportRecord> records;
        for (int p = 0; p < store.count(); ++p) records.push_back(ExportRecord{store.record_at(store.item(p)).fields, p == store.count() - 1});
        return records;
    }
};

TEST_F(CliTest, AddressExportsMatchTheWindowProgramsByteForByte) {
    use_book("address_two_people.dat");
    const std::vector<ExportRecord> records = window_records();
    ASSERT_EQ(records.size(), 2u);
    CliRun csv = cli("addresses export --format csv -");
    EXPECT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out, csv_text(records));
    CliRun text = cli("addresses export --format text '" + path("book.txt") + "'");
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(read(path("book.txt")), plain_text(records));
    CliRun list = cli("addresses list --find bak");
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "Ann\tBaker" + std::string(15, '\t') + "\n");
}

TEST_F(CliTest, ABadCommandOrInputIsOneLineAndStatusOne) {
    use_book("address_two_people.dat");
    const struct {
        const char* arguments;
        const char* err;
    } cases[] = {
        {"addresses export -", "domora-cli: addresses export: --format vcard|csv|emails|text is needed\n"},
        {"addresses export --format xml -", "domora-cli: addresses export: unknown format xml (vcard, csv, emails or text)\n"},
        {"addresses export --format csv", "domora-cli: addresses export: name the output FILE, or - for standard output\n"},
        {"addresses list --colour", "domora-cli: addresses list: unknown option --colour (see --help)\n"},
        {"addresses frob", "domora-cli: addresses: unknown action frob (list, export or import)\n"},
        {"frob", "domora-cli: unknown verb frob (see domora-cli --help)\n"},
    };
    for (const auto& c : cases) {
        const CliRun run = cli(c.arguments);
        EXPECT_EQ(run.status, 1) << c.arguments;
        EXPECT_EQ(run.err, c.err) << c.arguments;
    }
}

TEST_F(CliTest, ImportRefusesAnUnknownLayoutNamingItsColumnsAndKeepsBothCopiesOfARepeat) {
    use_book("address_two_people.dat");
    write(path("odd.csv"), "Foo,Bar,Baz\r\n1,2,3\r\n");
    const CliRun odd = cli("addresses import '" + path("odd.csv") + "'");
    EXPECT_EQ(odd.status, 1);
    EXPECT_EQ(odd.err, "domora-cli: " + path("odd.csv") + ": no column gives a name or company; the columns are \"Foo\", \"Bar\", \"Baz\"\n");
    const std::string before = read(path("address10.dat"));
    EXPECT_EQ(read(path("address10.dat")), before);

    ASSERT_EQ(cli("addresses export --format csv '" + path("book.csv") + "'").status, 0);
    const CliRun again = cli("addresses import '" + path("book.csv") + "'");
    EXPECT_EQ(again.status, 0) << again.err;
    const CliRun list = cli("addresses list");
    EXPECT_NE(list.out.find("Ann (2)\tBaker"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("Ben\tCole"), std::string::npos) << list.out;

    write(path("cut.csv"), "First Name,Last Name\r\nCy,Dunn\r\nEd,Finn,extra\r\n");
    const CliRun cut = cli("addresses import '" + path("cut.csv") + "'");
    EXPECT_EQ(cut.status, 0);
    EXPECT_EQ(cut.err, "domora-cli: " + path("cut.csv") + ": 1 lines skipped, their field count differs from the header's\n");
}

// The window program's export of the same password file, read in this process.
std::string window_password_export(const std::string& folder, bool csv) {
    use_password_files(folder);
    set_master_password("open sesame");
    LoadPasswords();
    std::vector<PasswordExportRecord> records;
    for (int row = 0; row < view_count(); ++row) records.push_back(password_export_record(view_record(row)));
    forget_password_files();
    return csv ? password_csv_text(records) : password_plain_text(records);
}

TEST_F(CliTest, PasswordsOfBothFormatsListShowAndExportAsTheWindowProgramDoes) {
    write(path("pw.txt"), "open sesame\n");
    const std::string fd = " --password-fd 3 3<'" + path("pw.txt") + "'";
    for (const char* name : {"password10.dat", "password20.dat"}) {
        SCOPED_TRACE(name);
        remove(path("password10.dat").c_str());
        remove(path("password20.dat").c_str());
        write(path(name), read(std::string(DOMORA_TEST_DATA_DIR) + (name[8] == '1' ? "/password_sesame.dat" : "/password20_sesame.dat")));
        const CliRun list = cli("passwords list" + fd);
        EXPECT_EQ(list.status, 0) << list.err;
        EXPECT_FALSE(list.out.empty());
        for (const bool csv : {false, true}) {
            const CliRun out = cli(std::string("passwords export --format ") + (csv ? "csv" : "text") + " '" + path("out") + "'" + fd);
            EXPECT_EQ(out.status, 0) << out.err;
            EXPECT_EQ(read(path("out")), window_password_export(dir(), csv));
        }
    }
    const CliRun show = cli("passwords show bank" + fd);
    EXPECT_EQ(show.status, 0) << show.err;
    EXPECT_EQ(show.out, "Bank\nUser: jo\nPassword: s3cret\n\n");
}

TEST_F(CliTest, APasswordProblemIsOneLineWithItsStatus) {
    write(path("password10.dat"), read(std::string(DOMORA_TEST_DATA_DIR) + "/password_sesame.dat"));
    write(path("bad.txt"), "nope\n");
    write(path("pw.txt"), "open sesame\n");
    const CliRun wrong = cli("passwords list --password-fd 3 3<'" + path("bad.txt") + "'");
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.err, "domora-cli: passwords list: wrong master password for " + path("password10.dat") + "\n");
    const CliRun closed = cli("passwords list --password-fd 7");
    EXPECT_EQ(closed.status, 1);
    EXPECT_EQ(closed.err, "domora-cli: passwords list: cannot read the master password from file descriptor 7: Bad file descriptor\n");
    const CliRun missing = cli("passwords show Nothing --password-fd 3 3<'" + path("pw.txt") + "'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "domora-cli: passwords show: no record titled Nothing (see domora-cli passwords list)\n");
    // Without a controlling terminal there is nobody to ask.
    const CliRun no_tty = cli("passwords list </dev/null", "setsid -w ");
    EXPECT_EQ(no_tty.status, 1);
    EXPECT_EQ(no_tty.err, "domora-cli: passwords list: no terminal to ask the master password on (use --password-fd N)\n");
    write(path("password10.dat"), read(path("password10.dat")).substr(0, 100));
    const CliRun cut = cli("passwords list --password-fd 3 3<'" + path("pw.txt") + "'");
    EXPECT_EQ(cut.status, 2);
    EXPECT_EQ(cut.err, "domora-cli: " + path("password10.dat") + " is damaged: it is 100 bytes long, which no saved password file is\n");
    EXPECT_EQ(read(path("password10.dat")).size(), 100u) << "a damaged file is never written over";
}


// ---- vehicles, backups, check and repair ----------------------------------------------------

std::string two_vehicles() {
    return vehicle_chunk(1, "Honda") + fuel_chunk(1, 2, 5) + service_chunk(1, 3, 9, 12345, 4500, "Oil change") +
           vehicle_chunk(4, "Ford", "", "Focus") + fuel_chunk(4, 5, 6) + fuel_chunk(4, 6, 20, false, 2035015, 2083295);
}

TEST_F(CliTest, VehiclesListAndExportAsTheWindowProgramDoes) {
    write(path("vehicle11.dat"), two_vehicles());
    VehicleStore store;
    store.set_path(path("vehicle11.dat"));
    store.load();
    ASSERT_EQ(store.vehicles().size(), 2u);
    std::string expected_list;
    for (std::size_t offset : store.vehicles()) {
        expected_list += trim(store.vehicle_heading(offset)) + "\tJH4KA\tABC 123\t2\n";
    }
    const CliRun list = cli("vehicles list");
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, expected_list);

    store.set_current_vehicle_id(4);
    const CliRun ford = cli("vehicles export --vehicle focus -");
    EXPECT_EQ(ford.status, 0) << ford.err;
    EXPECT_EQ(ford.out, vehicle_records_csv(store, vehicle_records_for_output(store, false)));
    EXPECT_EQ(ford.out.find("Oil change"), std::string::npos) << "only the chosen vehicle's records";
    const CliRun none = cli("vehicles export --vehicle Tesla -");
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "domora-cli: vehicles export: no vehicle Tesla (see domora-cli vehicles list)\n");
    EXPECT_EQ(read(path("vehicle11.dat")), two_vehicles()) << "listing and exporting write nothing";
}

class CountSteps : public CopyProgress {
public:
    void step(int, int) override {}
};

TEST_F(CliTest, ABackupFromTheCompanionIsRestoredByTheWindowProgram) {
    // Installed, the companion sits beside the window program, which a backup copies too.
    make_folder(path("bin/x"));
    write(path("bin/domora"), "the window program");
    write(path("bin/domora-cli"), read(DOMORA_CLI_PATH));
    ASSERT_EQ(chmod(path("bin/domora-cli").c_str(), 0700), 0);
    use_book("address_two_people.dat");
    write(path("vehicle11.dat"), two_vehicles());
    const std::string book = read(path("address10.dat"));
    make_folder(path("stick/x"));
    const CliRun backup = cli("backup '" + path("stick") + "'", "", path("bin/domora-cli"));
    EXPECT_EQ(backup.status, 0) << backup.err;
    EXPECT_EQ(backup.out.rfind("Backup Completed: ", 0), 0u) << backup.out;
    EXPECT_EQ(read(path("stick/Domora/domora")), "the window program");

    write(path("address10.dat"), read(std::string(DOMORA_TEST_DATA_DIR) + "/address_one_person.dat"));
    write(path("vehicle11.dat"), "");
    set_app_paths(path("bin/domora"), dir(), "");
    CountSteps steps;
    const CopyOutcome restored = restore_files(path("stick/Domora/"), steps);
    EXPECT_TRUE(restored.ok());
    EXPECT_EQ(read(path("address10.dat")), book);
    EXPECT_EQ(read(path("vehicle11.dat")), two_vehicles());

    const CliRun nowhere = cli("backup '" + path("no such folder") + "'");
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_EQ(nowhere.err, "domora-cli: backup: no folder " + path("no such folder") + "\n");
}


std::string findings(const RepairOutcome& r) {
    auto n = [](int count, const char* one, const char* many) { return std::to_string(count) + " " + (count == 1 ? one : many); };
    return n(r.corrupted, "corrupted record", "corrupted records") + ", " + n(r.damaged_photos, "damaged photo", "damaged photos") +
           ", " + n(r.lost_records, "lost record", "lost records") + ", " +
           n(r.duplicates, "duplicate record", "duplicate records");
}

TEST_F(CliTest, CheckReportsEachFileAndWhatARepairWouldChangeWritingNothing) {
    use_book("address_two_people.dat");
    write(path("vehicle11.dat"), two_vehicles());
    const CliRun clean = cli("check");
    EXPECT_EQ(clean.status, 0) << clean.err;
    EXPECT_EQ(clean.out, "address10.dat: 2 addresses, no damage\n"
                         "password20.dat: no file (an empty password store)\n"
                         "vehicle11.dat: 2 vehicles, no damage\n");

    use_book("address_junk_front.dat");
    const std::string vehicles = read(std::string(DOMORA_TEST_DATA_DIR) + "/vehicle_damaged.dat");
    write(path("vehicle11.dat"), vehicles);
    write(path("password10.dat"), read(std::string(DOMORA_TEST_DATA_DIR) + "/password_sesame.dat").substr(0, 100));
    const std::string book = read(path("address10.dat"));
    AddressStore store;
    set_app_paths("/opt/domora/domora", dir(), "");
    ASSERT_TRUE(store.load());
    make_folder(path("copy/x"));
    const RepairOutcome repair = window_repair(path("copy/"), vehicles);
    ASSERT_EQ(repair.status, RepairOutcome::Repaired);

    const CliRun damaged = cli("check");
    EXPECT_EQ(damaged.status, 2);
    EXPECT_EQ(damaged.err, "domora-cli: check: damage found (see above)\n");
    EXPECT_EQ(damaged.out,
              "address10.dat: " + std::to_string(store.count()) + (store.count() == 1 ? " address; " : " addresses; ") +
                  std::to_string(book.size() - store.size()) + " damaged bytes between records, which the next change drops\n"
                  "password10.dat: damaged: it is 100 bytes long, which no saved password file is\n"
                  "vehicle11.dat: a repair would remove or reassign: " + findings(repair) + "\n");
    EXPECT_EQ(read(path("address10.dat")), book);
    EXPECT_EQ(read(path("vehicle11.dat")), vehicles);
    EXPECT_FALSE(file_exists(path("vehicle11.dat") + kBeforeRepairSuffix));
}

TEST_F(CliTest, RepairLeavesTheFileAsTheOptionsScreensRepairDoesAndKeepsTheOriginal) {
    const CliRun nothing = cli("repair");
    EXPECT_EQ(nothing.status, 1);
    EXPECT_EQ(nothing.err, "domora-cli: repair: there is no vehicle file " + path("vehicle11.dat") + "\n");

    const std::string vehicles = read(std::string(DOMORA_TEST_DATA_DIR) + "/vehicle_damaged.dat");
    write(path("vehicle11.dat"), vehicles);
    make_folder(path("copy/x"));
    const RepairOutcome repair = window_repair(path("copy/"), vehicles);
    const CliRun run = cli("repair");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Repair Complete: " + findings(repair) + "\nThe file as it was is kept as vehicle11.dat.before-repair\n");
    EXPECT_EQ(read(path("vehicle11.dat")), read(path("copy/vehicle11.dat")));
    EXPECT_EQ(read(path("vehicle11.dat") + kBeforeRepairSuffix), vehicles);
    EXPECT_EQ(cli("check").status, 0) << "a repaired file checks clean";
}

// ---- sync ----------------------------------------------------------------------------------

TEST_F(CliTest, SyncBringsTheServersCardsAndSendsOursWithItsOutcomeOnStandardOutput) {
    const CliRun unset = cli("sync");
    EXPECT_EQ(unset.status, 1);
    EXPECT_EQ(unset.err, "domora-cli: sync: the contacts sync is not set up (Options, Contacts Sync in the window program)\n");

    DavServer server;
    const bool started = server.start(DavServer::Radicale, path("server"));
    DOMORA_NEEDS(started, server.why_not());
    use_book("address_two_people.dat");
    SyncState state;
    state.server = server.origin();
    state.user = DavServer::kUser;
    state.book_url = server.book_url();
    state.book_name = "Contacts";
    ASSERT_TRUE(write_sync_state(path("carddav.dat"), state).ok());
    ASSERT_EQ(server.put_card("zoe.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:zoe\r\nN:Quinn;Zoe;;;\r\nFN:Zoe Quinn\r\nEND:VCARD\r\n"), 201);
    write(path("pw.txt"), std::string(DavServer::kPassword) + "\n");
    write(path("bad.txt"), "wrong\n");

    const CliRun refused = cli("sync --password-fd 3 3<'" + path("bad.txt") + "'");
    EXPECT_EQ(refused.status, 1);
    // Progress lines first; the last line says what went wrong.
    const std::string reason = "domora-cli: sync: 401 Unauthorized: check the user name and password\n";
    ASSERT_GE(refused.err.size(), reason.size());
    EXPECT_EQ(refused.err.substr(refused.err.size() - reason.size()), reason) << refused.err;

    const CliRun first = cli("sync --password-fd 3 3<'" + path("pw.txt") + "'");
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, "Contacts Sync: from the server 1 added, 0 changed, 0 deleted; to the server 2 added, 0 changed, 0 deleted\n");
    EXPECT_NE(cli("addresses list --find quinn").out.find("Zoe\tQuinn"), std::string::npos);
    std::string body;
    EXPECT_EQ(server.curl("PROPFIND", server.book_path(), "", body, {"Depth: 1"}), 207);
    EXPECT_NE(body.find(".vcf"), std::string::npos);
    const CliRun again = cli("sync --password-fd 3 3<'" + path("pw.txt") + "'");
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, "Contacts Sync: from the server 0 added, 0 changed, 0 deleted; to the server 0 added, 0 changed, 0 deleted\n");
    server.stop();
}

// ---- bash completion -----------------------------------------------------------------------

std::string completions(const std::string& line) {
    const std::string script = "source /usr/share/bash-completion/bash_completion; source '" DOMORA_CLI_COMPLETION "'; "
                               "COMP_LINE='" + line + "'; COMP_POINT=${#COMP_LINE}; read -ra COMP_WORDS <<<\"$COMP_LINE\"; "
                               "[[ $COMP_LINE == *' ' ]] && COMP_WORDS+=(''); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); "
                               "_domora_cli domora-cli \"${COMP_WORDS[COMP_CWORD]}\" \"${COMP_WORDS[COMP_CWORD-1]}\"; "
                               "printf '%s\\n' \"${COMPREPLY[@]}\" | sort | tr '\\n' ' '";
    int status = 0;
    return run_program({"/bin/bash", "-c", script}, status);
}

TEST(CliCompletion, OffersTheVerbsTheirActionsOptionsAndFormats) {
    DOMORA_NEEDS(access("/usr/share/bash-completion/bash_completion", R_OK) == 0, "bash-completion is not installed");
    EXPECT_EQ(completions("domora-cli "), "addresses backup check passwords repair restore sync vehicles ");
    EXPECT_EQ(completions("domora-cli --"), "--data --help --version ");
    EXPECT_EQ(completions("domora-cli addresses "), "export import list ");
    EXPECT_EQ(completions("domora-cli --data /tmp vehicles e"), "export ");
    EXPECT_EQ(completions("domora-cli addresses export --format "), "csv emails text vcard ");
    EXPECT_EQ(completions("domora-cli addresses import --format "), "csv vcard ");
    EXPECT_EQ(completions("domora-cli passwords export --format c"), "csv ");
    EXPECT_EQ(completions("domora-cli addresses list --"), "--data --find --help --json ");
    EXPECT_EQ(completions("domora-cli sync --"), "--data --help --password-fd --yes ");
    EXPECT_EQ(completions("domora-cli check --"), "--data --help ");
}

}  // namespace
}  // namespace domora::test
