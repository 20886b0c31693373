// The command-line companion run as a user runs it, on copies of the test
// data: its output, its exit status and its one line on standard error.
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "addresses/address_export.h"
#include "addresses/address_store.h"
#include "app/startup.h"
#include "passwords/password_export.h"
#include "password_fixtures.h"
#include "support.h"

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
    CliRun cli(const std::string& arguments, const std::string& wrapper = "") {
        const std::string err_path = path("stderr.txt");
        const std::string command = "LC_ALL=C " + wrapper + DOMORA_CLI_PATH " --data '" + dir() + "' " + arguments + " 2>'" + err_path + "'";
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

}  // namespace
}  // namespace domora::test
