// The address book's exchange formats: what we write, what we read back, and
// what other programs' files give.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "addresses/address_exchange.h"
#include "addresses/address_export.h"
#include "addresses/address_import.h"
#include "addresses/address_list.h"
#include "app/startup.h"
#include "ui/file_browser.h"
#include "ui/popups.h"
#include "ui_fixture.h"
#include "app/status_log.h"
#include "app/text.h"
#include "app/update_check.h"
#include "loopback_server.h"
#include "platform/cp1252.h"
#include "support.h"

namespace domora {
namespace {

enum { First, Last, Company, Address1, Address2, City, State, Zip, Country, Home, Work, Cell, Email, Web, Misc1, Misc2, Misc3 };

AddressFields fields(std::initializer_list<std::pair<int, std::string>> values) {
    AddressFields f;
    for (const auto& [i, v] : values) f[static_cast<std::size_t>(i)] = v;
    return f;
}

ExportRecord record(AddressFields f, bool last = true) { return ExportRecord{std::move(f), last}; }

const UtcTime kStamp{2026, 12, 7, 9, 5, 3, 0};

std::string whole_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// tests/data/interop holds other programs' files as they wrote them;
// tests/data/import the cases that once went wrong.
std::string corpus(const std::string& name) {
    const bool under_data = name.rfind("import/", 0) == 0 || name.rfind("interop/", 0) == 0;
    return whole_file(std::string(under_data ? DOMORA_TEST_DATA_DIR : DOMORA_CORPUS_DIR) + "/" + name);
}

// ---- export ----------------------------------------------------------------------------------------

TEST(AddressExport, ACompanyOnlyCardNamesTheCompanyAndAWorkAddress) {
    const std::string text = vcard_text({record(fields({{Company, "Acme, Inc."}, {Address2, "Suite 5"}, {City, "Springfield"}}))}, kStamp);
    EXPECT_EQ(text,
              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Acme\\, Inc.;;;;\r\nFN:Acme\\, Inc.\r\nORG:Acme\\, Inc.\r\n"
              "ADR;TYPE=WORK:;;Suite 5;Springfield;;;\r\n"
              "LABEL;TYPE=WORK:Suite 5\\nSpringfield\r\n"
              "REV:20261207T090503Z\r\nEND:VCARD\r\n\r\n");
}

TEST(AddressExport, APersonsCardHasAHomeAddressAndNotes) {
    const std::string text = vcard_text(
        {record(fields({{First, "Ren\xE9"}, {Last, "Lee"}, {Address1, "1 Main St"}, {City, "Troy; NY"}, {State, "NY"}, {Zip, "12180"},
                        {Email, "rene@example.org"}, {Home, "555-0100"}, {Misc1, "a"}, {Misc3, "c\\d"}}))},
        kStamp);
    EXPECT_NE(text.find("N:Lee;Ren\xE9;;;\r\nFN:Ren\xE9 Lee\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("ADR;TYPE=HOME:;;1 Main St;Troy\\; NY;NY;12180;\r\n"), std::string::npos);
    EXPECT_NE(text.find("EMAIL;TYPE=INTERNET,PREF:rene@example.org\r\nTEL;TYPE=HOME,VOICE:555-0100\r\n"), std::string::npos);
    EXPECT_NE(text.find("NOTE:a\\n\\nc\\\\d\r\n"), std::string::npos) << "an empty middle note keeps its place";
    EXPECT_EQ(text.find("ORG:"), std::string::npos);
}

// Strict readers reject a line break inside a property and quoted-printable
// in vCard 3.0; long lines are folded at 75 octets of the UTF-8 file.
TEST(AddressExport, VcardLinesAreEscapedAndFoldedForStrictReaders) {
    const std::string note = "\x80 " + std::string(70, 'x') + "\\, " + std::string(64, 'y') + "\xFC\xFC\xFC";
    const std::string file = vcard_file({record(fields({{First, "Ann"}, {Address1, "1 Main"}, {Address2, "Apt 2"}, {City, "Troy"},
                                                        {Misc1, note}, {Misc2, "two"}}))},
                                        kStamp);
    EXPECT_EQ(file.find("QUOTED-PRINTABLE"), std::string::npos);
    EXPECT_EQ(file.find("=0D=0A"), std::string::npos);
    std::string unfolded;
    std::size_t start = 0;
    for (std::size_t end; (end = file.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = file.substr(start, end - start);
        EXPECT_LE(line.size(), 75u) << line;
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "no bare line break inside a property";
        unfolded += line.empty() || line[0] != ' ' ? "\r\n" + line : line.substr(1);
    }
    EXPECT_NE(unfolded.find("\r\nLABEL;TYPE=HOME:1 Main\\nApt 2\\nTroy\r\n"), std::string::npos) << unfolded;
    EXPECT_NE(unfolded.find("\r\nNOTE:" + cp1252_to_utf8("\x80 " + std::string(70, 'x') + "\\\\\\, " + std::string(64, 'y') +
                                                          "\xFC\xFC\xFC") + "\\ntwo\r\n"),
              std::string::npos)
        << "folding splits neither a character nor an escape";
}

TEST(AddressExport, CsvQuotesEveryValueAndDoublesQuotes) {
    const std::string text = csv_text({record(fields({{First, "Ann"}, {Misc1, "say \"hi\", then go"}}))});
    EXPECT_EQ(text,
              "First Name,Last Name,Company,Address 1,Address 2,City,State,Zip,Country,Home Phone,Work Phone,Cell Phone,Email,"
              "Web Site,Misc 1,Misc 2,Misc 3\r\n"
              "\"Ann\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"say \"\"hi\"\", then go\",\"\",\"\"\r\n");
}

TEST(AddressExport, EmailListAndPlainText) {
    int lines = -1;
    const std::string list = email_list_text({record(fields({{First, "Ann"}, {Last, "Lee"}, {Email, "ann@x.org"}})),
                                              record(fields({{First, "Bob"}, {Email, "bob@x.org"}})),
                                              record(fields({{First, "Cy"}}))},
                                             lines);
    EXPECT_EQ(list, "\"Ann Lee\" <ann@x.org>\r\nbob@x.org\r\n");
    EXPECT_EQ(lines, 2);
    email_list_text({record(fields({{First, "Cy"}}))}, lines);
    EXPECT_EQ(lines, 0);

    const std::string text = plain_text({record(fields({{City, "Springfield "}, {Home, "555"}}), false),
                                         record(fields({{First, "Ann"}, {Web, "x.org"}}), true)});
    EXPECT_EQ(text, "Springfield\r\nHome: 555\r\n\r\n-----\r\n\r\nAnn\r\nWeb: x.org\r\n");
}

TEST(AddressExport, DefaultExtensions) {
    EXPECT_EQ(with_default_extension("Addresses", ".vcf"), "Addresses.vcf");
    EXPECT_EQ(with_default_extension("list.csv", ".csv"), "list.csv");
    EXPECT_EQ(with_default_extension("my.backup.longext", ".txt"), "my.backup.longext.txt");
    EXPECT_EQ(with_default_extension("x.abcde", ".txt"), "x.abcde");
}

// ---- CSV import ----------------------------------------------------------------------------------

class AddressImport : public test::DomoraTest {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        status_log_set_path(path("status.log"));
    }
};

TEST_F(AddressImport, CsvFieldsFollowTheQuotingRules) {
    EXPECT_EQ(split_csv_line("  a , \"b, c\" ,d  "), (std::vector<std::string>{"a", "b, c", "d"}));
    EXPECT_EQ(split_csv_line("\"say \"\"hi\"\"\"x,"), (std::vector<std::string>{"say \"hi\"", ""}));
    EXPECT_EQ(split_csv_line(""), (std::vector<std::string>{""}));
    EXPECT_EQ(split_csv_line("\"unclosed, still"), (std::vector<std::string>{"unclosed, still"}));
    EXPECT_EQ(csv_lines("a,\"two\r\nlines\"\r\nb\nc\r"), (std::vector<std::string>{"a,\"two\r\nlines\"", "b", "c"}));
    EXPECT_EQ(split_csv_line(csv_lines("a,\"two\r\nlines\"")[0])[1], "two, lines");
}

TEST_F(AddressImport, AutoMapFollowsTheKeywordTable) {
    const std::vector<std::string> header = {"E-mail Address", "Mailing Address", "First", "Surname Last", "Business Phone",
                                             "Company", "Home Street", "Mobile", "Postal Code", "Web Page", "Misc 2"};
    const FieldMapping map = auto_map(header, "the line");
    EXPECT_EQ(map[Email], 1);
    EXPECT_EQ(map[Address1], 2) << "Mailing Address is an address, not an e-mail";
    EXPECT_EQ(map[Address2], 0) << "Home Street names no address";
    EXPECT_EQ(map[First], 3);
    EXPECT_EQ(map[Last], 4);
    EXPECT_EQ(map[Company], 6) << "a column naming a phone is not the company";
    EXPECT_EQ(map[Work], 5);
    EXPECT_EQ(map[Home], 5) << "still unmatched: the first phone column";
    EXPECT_EQ(map[Cell], 8);
    EXPECT_EQ(map[Zip], 9);
    EXPECT_EQ(map[Web], 10);
    EXPECT_EQ(map[Misc2], 11);
    EXPECT_EQ(map[Misc1], 0);
    EXPECT_EQ(log_lines(path("status.log"))[0], "Field Mapping:  11 - the line");
}

TEST_F(AddressImport, OurOwnCsvComesBackWhole) {
    const AddressFields all = fields({{First, "Ann"}, {Last, "O\"Neil"}, {Company, "A, B & C"}, {Address1, "1 Main"}, {Address2, "Apt 2"},
                                      {City, "Troy"}, {State, "NY"}, {Zip, "12180"}, {Country, "USA"}, {Home, "1"}, {Work, "2"},
                                      {Cell, "3"}, {Email, "a@b.c"}, {Web, "x.org"}, {Misc1, "m1"}, {Misc2, "m2"}, {Misc3, "m3"}});
    const std::vector<std::string> lines = csv_lines(import_text(csv_text({record(all)})));
    ASSERT_EQ(lines.size(), 2u);
    const std::vector<std::string> header = split_csv_line(lines[0]);
    EXPECT_TRUE(is_header_line(header));
    const FieldMapping map = auto_map(header, lines[0]);
    EXPECT_EQ(mapped_record(split_csv_line(lines[1]), map), all);
}

// ---- vCard import --------------------------------------------------------------------------------

TEST_F(AddressImport, OurOwnVcardComesBackWhole) {
    AddressFields all = fields({{First, "Ren\xE9"}, {Last, "Lee"}, {Company, "A, B; C"}, {Address1, "1 Main"}, {Address2, "Apt 2"},
                                      {City, "Troy"}, {State, "NY"}, {Zip, "12180"}, {Country, "USA"}, {Home, "555-1"}, {Work, "555-2"},
                                      {Cell, "555-3"}, {Email, "a@b.c"}, {Web, "http://x.org"}, {Misc1, "m1"}, {Misc2, "m2"}, {Misc3, "m3"}});
    all[Misc2] = std::string(120, 'm') + "\\ \xE9";  // folded, with a backslash
    // As a file holds it: UTF-8.
    const std::vector<AddressFields> cards = parse_vcards(import_text(vcard_file({record(all)}, kStamp)));
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0], all) << "the two address lines and the three notes stay apart";
}

TEST_F(AddressImport, PropertyRules) {
    const std::string card =
        "BEGIN:VCARD\r\n"
        "N:Lee;Ann;Marie\r\n"
        "item1.EMAIL;TYPE=INTERNET:first@x.org\r\n"
        "EMAIL;TYPE=X400:x400@x.org\r\n"
        "EMAIL;TYPE=INTERNET,PREF:pref@x.org\r\n"
        "TEL;TYPE=WORK,VOICE:+1-518-555-0100\r\n"
        "TEL;TYPE=FAX:555-9999\r\n"
        "TEL:555 0100\r\n"
        "ADR;TYPE=WORK:;;1 Work St;Albany;NY;12207;USA\r\n"
        "ADR;TYPE=HOME:PO Box 7;Rear;2 Home Rd;Troy;NY;12180;USA\r\n"
        "NOTE:Call at 10:30\\nor \\\"later\\\"\r\n"
        "BDAY:1980-02-03\r\n"
        "URL:http\\://one.example\r\n"
        "END:VCARD\r\n";
    const std::vector<AddressFields> cards = parse_vcards(card);
    ASSERT_EQ(cards.size(), 1u);
    const AddressFields& f = cards[0];
    EXPECT_EQ(f[Last], "Lee");
    EXPECT_EQ(f[First], "Ann Marie");
    EXPECT_EQ(f[Email], "pref@x.org");
    EXPECT_EQ(f[Work], "518-555-0100");
    EXPECT_EQ(f[Home], "555 0100") << "an untyped number fills Home Phone";
    EXPECT_EQ(f[Address1], "2 Home Rd") << "the HOME address wins";
    EXPECT_EQ(f[Address2], "PO Box 7 Rear");
    EXPECT_EQ(f[City], "Troy");
    EXPECT_EQ(f[Misc1], "Call at 10:30") << "each line of a note is a line of its own";
    EXPECT_EQ(f[Misc2], "or \"later\"") << "\\\" is a quote";
    EXPECT_EQ(f[Misc3], "Birthdate: 1980-02-03");
    EXPECT_EQ(f[Web], "http://one.example");
    EXPECT_EQ(log_lines(path("status.log"))[0], "BEGIN:VCARD");
}

TEST_F(AddressImport, EncodingsFoldingAndQuotedPrintable) {
    std::string real16 = "\xFF\xFE";
    for (char32_t c : std::u32string(U"BEGIN:VCARD\r\nN:M\u00FCller;J\u20AC\r\nEND:VCARD\r\n")) {
        real16 += static_cast<char>(c & 0xFF);
        real16 += static_cast<char>(c >> 8);
    }
    std::vector<AddressFields> cards = parse_vcards(import_text(real16));
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0][Last], "M\xFCller");
    EXPECT_EQ(cards[0][First], "J\x80");

    const std::string folded =
        "\xEF\xBB\xBF" "BEGIN:VCARD\r\nFN:Greg\r\nNOTE:A long\r\n  note\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=C3=91o=\r\n=C3=B1o;Pe=\r\ndro;;;\r\n"
        "ADR;ENCODING=QUOTED-PRINTABLE:;;1 Main=0D=0AUnit 4;City;;;\r\nEND:VCARD\r\n";
    cards = parse_vcards(import_text(folded));
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0][Misc1], "A long note");
    EXPECT_EQ(cards[0][Last], "\xD1o\xF1o");
    EXPECT_EQ(cards[0][First], "Pedro");
    EXPECT_EQ(cards[0][Address1], "1 Main") << "a street over two lines fills both address fields";
    EXPECT_EQ(cards[0][Address2], "Unit 4");
}

TEST_F(AddressImport, LongFoldedLinesAndManyLineBreaksReadAsShortOnesDo) {
    // The encoding is named before the ':' however many folds that takes,
    // even when a fold splits the word.
    std::string card = "BEGIN:VCARD\r\nN:Lee;Ann\r\nNOTE";
    for (int i = 0; i < 2000; ++i) card += "\r\n ;X-P=y";
    card += "\r\n ;ENCODING=QUOTED-\r\n PRINTABLE:one=\r\ntwo=0D=0Athree\r\nEND:VCARD\r\n";
    std::vector<AddressFields> cards = parse_vcards(card);
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0][Misc1], "onetwo") << "the soft line break joins the next line";
    EXPECT_EQ(cards[0][Misc2], "three");

    // After the ':' the word is only text, and a '=' at the end no soft break.
    cards = parse_vcards("BEGIN:VCARD\r\nN:Lee;Ann\r\nNOTE:QUOTED-PRINTABLE=\r\nTEL:555\r\nEND:VCARD\r\n");
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0][Misc1], "QUOTED-PRINTABLE=");
    EXPECT_EQ(cards[0][Home], "555");

    // CR, LF and CR LF each end a line, in any mix, and the last line needs none.
    cards = parse_vcards("BEGIN:VCARD\rN:Lee;Ann\nTEL:1\r\r\nEMAIL:a@b.org\n\rFN:x\r\n yz\rEND:VCARD");
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0][Last], "Lee");
    EXPECT_EQ(cards[0][Home], "1");
    EXPECT_EQ(cards[0][Email], "a@b.org");

    // Every kind of line break in a quoted CSV value becomes ", ".
    std::string value = "\"";
    std::string joined;
    for (int i = 0; i < 3000; ++i) {
        value += std::string("x") + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
        joined += "x, ";
    }
    value += "end\",next";
    EXPECT_EQ(split_csv_line(value), (std::vector<std::string>{joined + "end", "next"}));
}

TEST_F(AddressImport, ValuesAreCutToFitARecord) {
    AddressFields f;
    for (std::string& v : f) v = std::string(400, 'v');
    fit_to_record(f);
    std::size_t total = 18;
    for (const std::string& v : f) {
        EXPECT_LE(v.size(), 280u);
        total += v.size() + 1;
    }
    EXPECT_LE(total, 4096u);
    AddressFields zero;
    zero[0] = std::string("a\0b", 3);
    fit_to_record(zero);
    EXPECT_EQ(zero[0], "a b") << "a zero byte would end the value in the file";
}

TEST_F(AddressImport, ATooLongRecordLosesItsNotesAndAddressBeforeAnyName) {
    AddressFields f;
    for (std::string& v : f) v = std::string(300, 'v');
    f[First] = std::string(300, 'f');
    f[Last] = std::string(300, 'l');
    f[Company] = std::string(300, 'c');
    fit_to_record(f);
    std::size_t total = 18;
    for (const std::string& v : f) total += v.size() + 1;
    EXPECT_LE(total + 16, 4096u) << "room is left for a \" (n)\" after First";
    EXPECT_EQ(f[First].size(), 280u);
    EXPECT_EQ(f[Last].size(), 280u);
    EXPECT_EQ(f[Company].size(), 280u);
    EXPECT_EQ(f[Misc3], "");
    EXPECT_EQ(f[Misc2], "");
    EXPECT_EQ(f[Misc1].size(), 125u) << "cut only as far as needed";
    for (int kept : {Address1, Address2, City, Home, Work, Cell, Email, Web}) EXPECT_EQ(f[static_cast<std::size_t>(kept)].size(), 280u) << kept;
}

TEST_F(AddressImport, TypedNumbersWinOverUntypedOnes) {
    const std::vector<AddressFields> cards = parse_vcards(
        "BEGIN:VCARD\r\nN:Lee;Ann\r\nTEL:555-0001\r\nTEL;TYPE=VOICE:555-0002\r\nTEL;TYPE=HOME:555-0003\r\n"
        "TEL;TYPE=MSG:555-0004\r\nTEL;TYPE=WORK:555-0005\r\nTEL;TYPE=WORK:555-0006\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nN:Moss;Cy\r\nTEL;TYPE=HOME:555-0007\r\nTEL;PREF:555-0008\r\nEND:VCARD\r\n");
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[0][Home], "555-0003") << "the number typed HOME, not the untyped one before it";
    EXPECT_EQ(cards[0][Work], "555-0005") << "the first of two typed numbers";
    EXPECT_EQ(cards[1][Home], "555-0007") << "an untyped number never replaces a typed one";
}

TEST_F(AddressImport, CsvQuotingFollowsRfc4180AndTheHeadersSeparator) {
    // A doubled quote right before a line break inside a quoted field.
    const std::vector<std::string> lines = csv_lines("a,\"say \"\"hi\"\"\r\nthere\",b\r\nc,d\r\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(split_csv_line(lines[0]), (std::vector<std::string>{"a", "say \"hi\", there", "b"}));
    EXPECT_EQ(detect_separator("\"a,b\";c;d\r\n1,2,3,4,5\r\n"), ';') << "commas inside quotes and on later lines do not count";
    EXPECT_EQ(detect_separator("a\tb\tc,d\r\n"), '\t');
    EXPECT_EQ(detect_separator("name only\r\n"), ',');
    EXPECT_EQ(split_csv_line("\"M\xFCller, Schmidt\";x; y ", ';'), (std::vector<std::string>{"M\xFCller, Schmidt", "x", "y"}));
}

TEST_F(AddressImport, LineZeroIsAHeaderWhenAnyColumnIsRecognised) {
    EXPECT_TRUE(is_header_line({"First Name", "Last Name", "E-mail"}));
    EXPECT_TRUE(is_header_line({"Name", "Phone"}));
    EXPECT_TRUE(is_header_line({"Given Name", "Family Name"})) << "a known exporter's header";
    EXPECT_FALSE(is_header_line({"Ann", "Lee", "ann@example.org", "12 Main St"}));
    EXPECT_FALSE(is_header_line({"Ann", "Lee", "ann.homes@mail.example"})) << "an e-mail address is data";
}

TEST_F(AddressImport, Vcard4TypingGroupsAndTelAddresses) {
    const std::vector<AddressFields> cards = parse_vcards(import_text(corpus("import/vcard4_phone_and_groups.vcf")));
    ASSERT_EQ(cards.size(), 1u);
    const AddressFields& f = cards[0];
    EXPECT_EQ(f[First], "Mar\xED" "a");
    EXPECT_EQ(f[Last], "L\xF3pez");
    EXPECT_EQ(f[Home], "555 0142") << "item1.TEL typed home replaces the untyped tel: number";
    EXPECT_EQ(f[Work], "555-0199 x102");
    EXPECT_EQ(f[Cell], "555-0177");
    EXPECT_EQ(f[Email], "maria@home.example") << "PREF=1 wins";
    EXPECT_EQ(f[Address1], "Calle Mayor 3") << "a ':' inside a quoted parameter does not end the parameters";
    EXPECT_EQ(f[City], "Madrid");
    EXPECT_EQ(f[Zip], "28013");
    EXPECT_EQ(f[Misc1], "Says \"hola\" first");
}

TEST_F(AddressImport, AFileWithoutAHeaderStartsWithItsFirstRecord) {
    const std::vector<std::string> lines = csv_lines(corpus("import/no_header.csv"));
    EXPECT_FALSE(is_header_line(split_csv_line(lines[0])));
    EXPECT_TRUE(is_header_line(split_csv_line(csv_lines(corpus("import/simple_header.csv"))[0])));
}

TEST_F(AddressImport, KnownExportersAreMappedByTheirColumnNames) {
    auto header_of = [](const char* name) {
        const std::string text = import_text(corpus(name));
        return split_csv_line(csv_lines(text, detect_separator(text))[0], detect_separator(text));
    };
    auto column = [](const std::vector<std::string>& header, int c) { return c > 0 ? header[static_cast<std::size_t>(c - 1)] : std::string(); };
    struct Expect {
        const char* file;
        int field;
        const char* column;
    };
    const Expect expected[] = {
        {"interop/csv/google.csv", First, "First Name"},
        {"interop/csv/google.csv", Company, "Organization Name"},
        {"interop/csv/google.csv", Email, "E-mail 1 - Value"},
        {"interop/csv/google.csv", Address1, "Address 1 - Street"},
        {"interop/csv/google.csv", State, "Address 1 - Region"},
        {"interop/csv/google.csv", Home, "Phone 1 - Value"},
        {"interop/csv/google.csv", Web, "Website 1 - Value"},
        {"import/google_older.csv", First, "Given Name"},
        {"import/google_older.csv", Last, "Family Name"},
        {"import/google_older.csv", Company, "Organization 1 - Name"},
        {"interop/csv/outlook.csv", Address1, "Home Street"},
        {"interop/csv/outlook.csv", Zip, "Home Postal Code"},
        {"interop/csv/outlook.csv", Work, "Business Phone"},
        {"interop/csv/outlook.csv", Misc1, "Notes"},
        {"interop/csv/thunderbird.csv", Email, "Primary Email"},
        {"interop/csv/thunderbird.csv", Cell, "Mobile Number"},
        {"interop/csv/thunderbird.csv", Company, "Organization"},
    };
    for (const Expect& e : expected) {
        const std::vector<std::string> header = header_of(e.file);
        EXPECT_EQ(column(header, auto_map(header, "")[static_cast<std::size_t>(e.field)]), e.column) << e.file << " field " << e.field;
    }
}

// ---- files from other programs ---------------------------------------------------------------------

TEST_F(AddressImport, VcardsFromOtherProgramsKeepNamesPhonesMailAndAddresses) {
    struct Expect {
        const char* file;
        std::size_t card;
        int field;
        const char* value;
    };
    const Expect expected[] = {
        {"vcard/gmail-single.vcf", 0, Last, "Dartmouth"},
        {"vcard/gmail-single.vcf", 0, Email, "gdartmouth@hotmail.com"},
        {"vcard/gmail-single.vcf", 0, Cell, "555 555 1111"},
        {"vcard/gmail-single.vcf", 0, Home, "555 555 2222"},
        {"vcard/gmail-single.vcf", 0, Address1, "123 Home St"},
        {"vcard/gmail-single.vcf", 0, Address2, "Home City, HM 12345"},
        {"vcard/gmail-single.vcf", 0, Misc1, "Birthdate: 1960-09-10"},
        {"vcard/gmail-single.vcf", 0, Misc2, "This is GMail's note field."},
        {"vcard/gmail-single.vcf", 0, Misc3, "It should be added as a NOTE type., ACustomField: CustomField"},
        {"vcard/gmail-single.vcf", 0, Web, "http://TheProfile.com"},
        {"vcard/rfc6350-example.vcf", 0, First, "Simon"},
        {"vcard/rfc6350-example.vcf", 0, Work, "418-656-9254 x102"},
        {"vcard/rfc6350-example.vcf", 0, Email, "simon.perreault@viagenie.ca"},
        {"vcard/rfc6350-example.vcf", 0, Address1, "2875 Laurier"},
        {"vcard/rfc6350-example.vcf", 0, City, "Quebec"},
        {"vcard/rfc6350-example.vcf", 0, Web, "http://nomis80.org"},
        {"vcard/outlook-2007.vcf", 0, Last, "Angstadt"},
        {"vcard/outlook-2007.vcf", 0, Work, "(111) 555-1111"},
        {"vcard/outlook-2007.vcf", 0, Home, "(111) 555-2222"},
        {"vcard/outlook-2007.vcf", 0, Cell, "(111) 555-4444"},
        {"vcard/outlook-2007.vcf", 0, Email, "mike.angstadt@gmail.com"},
        {"vcard/outlook-2007.vcf", 0, Address1, "222 Broadway"},
        {"vcard/John_Doe_IPHONE.vcf", 0, Cell, "905-555-1234"},
        {"vcard/John_Doe_IPHONE.vcf", 0, Email, "john.doe@ibm.com"},
        {"vcard/John_Doe_IPHONE.vcf", 0, Address1, "Silicon Alley 5,"},
        {"vcard/John_Doe_ANDROID.vcf", 0, Email, "john.doe@company.com"},
        {"vcard/John_Doe_ANDROID.vcf", 2, Last, "\xD1 \xD1 \xD1 \xD1"},
    };
    for (const Expect& e : expected) {
        const std::vector<AddressFields> cards = parse_vcards(import_text(corpus(e.file)));
        ASSERT_GT(cards.size(), e.card) << e.file;
        EXPECT_EQ(cards[e.card][static_cast<std::size_t>(e.field)], e.value) << e.file << " field " << e.field;
    }
    // Every card of every file gives a record with a name, a company or an address.
    for (const auto& entry : std::filesystem::directory_iterator(DOMORA_CORPUS_DIR "/vcard")) {
        if (entry.path().extension() != ".vcf") continue;
        const std::vector<AddressFields> cards = parse_vcards(import_text(whole_file(entry.path())));
        EXPECT_FALSE(cards.empty()) << entry.path();
        for (const AddressFields& f : cards) {
            EXPECT_FALSE(f[First].empty() && f[Last].empty() && f[Company].empty() && f[Email].empty()) << entry.path();
        }
    }
}

TEST_F(AddressImport, CsvFilesFromMailProgramsMapTheirNames) {
    for (const char* name : {"csv/outlook.csv", "csv/google.csv", "csv/thunderbird.csv"}) {
        const std::vector<std::string> lines = csv_lines(import_text(corpus(name)));
        ASSERT_GE(lines.size(), 2u) << name;
        const std::vector<std::string> header = split_csv_line(lines[0]);
        EXPECT_TRUE(is_header_line(header)) << name;
        const FieldMapping map = auto_map(header, lines[0]);
        EXPECT_GT(map[First], 0) << name;
        EXPECT_GT(map[Last], 0) << name;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            if (trim(lines[i]).empty()) continue;
            EXPECT_EQ(split_csv_line(lines[i]).size(), header.size()) << name << " line " << i;
        }
    }
}

}  // namespace
}  // namespace domora

namespace domora {
namespace {

// ---- the Import and Export buttons ------------------------------------------------------------------

class Transfer : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        std::filesystem::create_directories(path("app"));
        set_app_paths(path("app/domora"), path("app/"), "");
        status_log_set_path(path("app/status.log"));
        address_store() = AddressStore{};
        ASSERT_TRUE(address_store().load());
    }
    // Where a button of a dialog is: the dialog is shown once with nothing to
    // do, so it ends at once and leaves its widgets behind.
    template <typename Show>
    WidgetRecord button_of(int id, Show show) {
        os.script.clear();
        show();
        main_window().quit_requested = false;
        const int index = FindWidget(id);
        EXPECT_GE(index, 0) << id;
        return index >= 0 ? widgets()[static_cast<std::size_t>(index)] : WidgetRecord{};
    }
    WidgetRecord import_choice_button(int i) {
        return button_of(kFirstButtonId + i, [] {
            int b = 0, c = 0;
            ShowChoice("Import Addresses", "Business Card Format (vcard/vcf)|Comma Separated Values (csv)", "File|Clipboard|Cancel", b, c);
        });
    }
    void click(const WidgetRecord& w) { os.push_click((w.x1 + w.x2) / 2, (w.y1 + w.y2) / 2); }
    bool drawn(const std::string& text) const {
        for (const auto& t : os.drawn_texts) {
            if (t.text == text) return true;
        }
        return false;
    }
    std::vector<std::string> firsts() {
        std::vector<std::string> out;
        AddressStore& store = address_store();
        for (int p = 0; p < store.count(); ++p) out.push_back(store.record_at(store.item(p)).fields[0]);
        return out;
    }
};

TEST_F(Transfer, AnEmptyClipboardSaysSoAndThatNoFileWasSelected) {
    const WidgetRecord clipboard = import_choice_button(1);
    click(clipboard);
    os.push_key(kKeyReturn);  // "No text on the clipboard!"
    os.push_key(kKeyReturn);  // "No File Selected"
    import_addresses(address_store());
    EXPECT_TRUE(drawn("No text on the clipboard!"));
    EXPECT_TRUE(drawn("No File Selected"));
    EXPECT_EQ(address_store().count(), 0);
}

TEST_F(Transfer, AnEmptyClipboardOpensTheHelpPageTheUpdateServerNames) {
    test::LoopbackServer server({test::LoopbackServer::reply(
        "HTTP/1.0 200 OK\r\n\r\nnews_date=\"2024-03-05\";webroot=\"https://help.example/Copy Contacts\"")});
    os.environment["DOMORA_UPDATE_HOST"] = server.address();
    os.environment["XDG_DATA_HOME"] = path("share");
    os.environment["PATH"] = "/opt/fake/bin";
    std::filesystem::create_directories(path("share/applications"));
    write(path("share/applications/fakefox.desktop"), "[Desktop Entry]\nExec=/opt/fake/bin/fakefox %u\n");
    os.program_answers["xdg-settings"] = {true, "fakefox.desktop\n"};
    os.fake_programs = {"/opt/fake/bin/fakefox"};
    start_update_check();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!update_check_done() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    const WidgetRecord clipboard = import_choice_button(1);
    click(clipboard);
    os.push_key(kKeyReturn);  // "No text on the clipboard!"
    os.push_key(kKeyReturn);  // "No File Selected"
    import_addresses(address_store());
    stop_update_check();
    ASSERT_EQ(os.started_programs.size(), 1u);
    EXPECT_EQ(os.started_programs[0][1], "https://help.example/Copy%20Contacts");
    EXPECT_TRUE(drawn("No File Selected"));
}

TEST_F(Transfer, VcardsFromTheClipboardAreAddedSortedAndTheLastOneSelected) {
    os.clipboard = "BEGIN:VCARD\r\nN:Zeta;Zed\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:Able;Ann\r\nEND:VCARD\r\n";
    const WidgetRecord clipboard = import_choice_button(1);
    click(clipboard);
    import_addresses(address_store());
    EXPECT_EQ(firsts(), (std::vector<std::string>{"Ann", "Zed"}));
    EXPECT_EQ(address_store().current(), 0) << "the last card read is current";
    EXPECT_EQ(mark(address_store(), 0, kSelectedBit), 1);
    EXPECT_EQ(mark(address_store(), 1, kSelectedBit), 0);
    EXPECT_TRUE(std::filesystem::exists(path("app/address10.dat")));
    EXPECT_FALSE(std::filesystem::exists(path("app/Temp.dat")));

    main_window().quit_requested = false;
    click(clipboard);
    import_addresses(address_store());
    EXPECT_EQ(firsts(), (std::vector<std::string>{"Ann", "Ann (2)", "Zed", "Zed (2)"})) << "the same cards again get new names";
    const std::string log = read(path("app/status.log"));
    EXPECT_NE(log.find("Clipboard To File:  72\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\r\nFirst: Ann\r\nLast: Able\r\n"), std::string::npos);
}

TEST_F(Transfer, CsvGoesThroughTheMappingFormAndCountsSkippedLines) {
    os.clipboard = "First Name,Last Name,E-mail Address,Mailing Address\r\n"
                   "Ann,Lee,ann@x.org,1 Main St\r\n"
                   "Bob,Stone,bob@x.org,2 Oak Rd,extra\r\n"
                   "\"Cy, Jr.\",Moss,cy@x.org,\"3 Elm St\"\r\n";
    const WidgetRecord clipboard = import_choice_button(1);
    os.push_key(kKeyDown);  // the CSV option
    click(clipboard);
    os.push_key(kKeyReturn);  // OK on the mapping form
    os.push_key(kKeyReturn);  // the skipped-lines message
    import_addresses(address_store());
    EXPECT_TRUE(drawn("Select CSV entries that best match Domora data fields."));
    EXPECT_TRUE(drawn("1 records were skipped"));
    ASSERT_EQ(address_store().count(), 2);
    const AddressRecord cy = address_store().record_at(address_store().item(1));
    EXPECT_EQ(cy.fields[0], "Cy, Jr.");
    EXPECT_EQ(cy.fields[kFieldEmail], "cy@x.org");
    EXPECT_EQ(cy.fields[kFieldAddress1], "3 Elm St");
}

TEST_F(Transfer, CsvFilesFromOtherProgramsFillTheRightFields) {
    // The records a file gives when the mapping form is confirmed as it opens, in file order.
    auto imported = [this](const std::string& name) {
        address_store() = AddressStore{};
        main_window().quit_requested = false;
        os.script.clear();
        os.push_key(kKeyReturn);  // OK on the mapping form
        const std::string file = path("in.csv");
        write(file, corpus(name));
        std::int32_t last_id = 0;
        EXPECT_TRUE(import_csv_file(address_store(), file, last_id)) << name;
        EXPECT_FALSE(drawn("due to inconsistent field counts.")) << name;
        std::vector<AddressFields> out;
        for (int p = 0; p < address_store().count(); ++p) out.push_back(address_store().record_at(address_store().item(p)).fields);
        return out;
    };
    struct Expect {
        int field;
        const char* value;
    };
    auto check = [](const AddressFields& f, std::initializer_list<Expect> expected, const char* who) {
        for (const Expect& e : expected) EXPECT_EQ(f[static_cast<std::size_t>(e.field)], e.value) << who << " field " << e.field;
    };

    std::vector<AddressFields> got = imported("interop/csv/google.csv");
    ASSERT_EQ(got.size(), 3u);
    check(got[0], {{First, "Aiko"}, {Last, "Tanaka"}, {Company, "Blue Finch Design"}, {Email, "aiko@bluefinch.example"},
                   {Cell, "+1 415-555-0187"}, {Home, ""}, {Address1, "77 Mission St"}, {City, "San Francisco"}, {State, "CA"},
                   {Zip, "94105"}, {Country, "US"}}, "Aiko");
    check(got[1], {{First, "S\xF8ren"}, {Home, "+45 33 12 34 56"}, {Misc1, "Met at the \"Nordic\" conference, 2019"}}, "Soren");
    check(got[2], {{First, "Lee"}, {Last, "Ann"}, {Email, "lee.ann@example.com"}}, "Lee");

    got = imported("import/google_older.csv");
    ASSERT_EQ(got.size(), 1u);
    check(got[0], {{First, "Wen"}, {Last, "Li"}, {Company, "Li Imports"}, {Email, "wen.li@example.cn"}, {Home, ""},
                   {Work, "555-0111"}, {Cell, "555-0122"}, {Address1, "8 Garden Lane"}, {Address2, "Unit 2"}, {City, "Oakville"},
                   {State, "ON"}, {Zip, "L6J 1A1"}, {Country, "Canada"}, {Web, "http://wenli.example"}, {Misc1, "Tea on Fridays"}},
          "Wen");

    got = imported("interop/csv/outlook.csv");
    ASSERT_EQ(got.size(), 3u);
    check(got[0], {{First, "Margaret"}, {Company, "Okafor & Sons, Ltd."}, {Address1, "12 Harbour Road"}, {City, "Portsmouth"},
                   {State, "Hampshire"}, {Zip, "PO1 3AX"}, {Country, "United Kingdom"}, {Work, "+44 23 9283 1000"},
                   {Cell, "+44 7700 900123"}, {Email, "margaret@okafor.example"}, {Web, "www.okafor.example"},
                   {Misc1, "Prefers calls after 10am"}},
          "Margaret: the business address stands in for the empty home one");
    check(got[1], {{First, "Jos\xE9"}, {Last, "M\xFCller"}, {Address1, "Hauptstra\xDF" "e 5"}, {City, "K\xF6ln"}, {Zip, "50667"},
                   {Country, "Germany"}, {Home, "0221 555 0199"}, {Misc1, "Says \"hello\" to everyone"}},
          "Jose");
    check(got[2], {{First, ""}, {Company, "Harbour Dental Clinic"}, {Address1, "400 Main St"}, {Address2, "Suite 210"},
                   {City, "Springfield"}, {Zip, "62701"}, {Work, "(217) 555-0142"}, {Web, "https://harbourdental.example/"}},
          "the clinic");

    got = imported("interop/csv/thunderbird.csv");
    ASSERT_EQ(got.size(), 2u);
    check(got[0], {{First, "Priya"}, {Company, "Raman Textiles"}, {Work, "+91 80 5555 0101"}, {Cell, "+91 98450 55501"},
                   {Address1, "14 Lake View Road"}, {Address2, "Flat 3B"}, {City, "Bengaluru"}, {Zip, "560001"},
                   {Email, "priya.raman@example.in"}, {Web, "http://ramantextiles.example"}},
          "Priya");
    check(got[1], {{Last, "O'Brien"}, {Home, "555-0100"}, {Address1, "9 Elm Court"}, {City, "Dublin"}, {Country, "Ireland"}}, "Tom");

    got = imported("import/quote_then_line_break.csv");
    ASSERT_EQ(got.size(), 2u) << "a doubled quote before a line break does not end the field";
    check(got[0], {{Company, "Lee \"Ann\" Designs, and Prints"}, {Email, "ann@example.org"}}, "Ann");

    got = imported("import/excel_semicolons.csv");
    ASSERT_EQ(got.size(), 2u);
    check(got[0], {{First, "Hans"}, {Company, "M\xFCller, Schmidt & Co"}, {Address1, "Hauptstra\xDF" "e 5"}, {City, "K\xF6ln"},
                   {Zip, "50667"}, {Email, "hans@example.de"}},
          "Hans");
    check(got[1], {{First, "Anna"}, {Company, ""}, {City, "Wien"}}, "Anna");

    got = imported("import/tabs.tsv");
    ASSERT_EQ(got.size(), 1u);
    check(got[0], {{First, "Ann"}, {Company, "Lee, Moss & Co"}, {Cell, "555-0101"}}, "Ann");

    got = imported("import/simple_header.csv");
    ASSERT_EQ(got.size(), 2u) << "the header line is no contact";
    check(got[0], {{First, "Ann"}, {Last, "Lee"}, {Email, "ann@example.org"}}, "Ann");
}

TEST_F(Transfer, TheMappingFormWantsANameOrCompany) {
    os.clipboard = "First,Last,Company\r\nAnn,Lee,Acme\r\n";
    const WidgetRecord clipboard = import_choice_button(1);
    os.push_key(kKeyDown);
    click(clipboard);
    os.push_char('r');        // Reset
    os.push_char('o');        // OK: nothing is mapped
    os.push_key(kKeyReturn);  // the message
    os.push_char('c');        // Cancel
    import_addresses(address_store());
    EXPECT_TRUE(drawn("You must select a name or company for importing"));
    EXPECT_EQ(address_store().count(), 0);
}

TEST_F(Transfer, ExportToAFileAddsTheExtensionAndRemembersTheFolder) {
    std::filesystem::create_directories(path("out"));
    ASSERT_TRUE(std::filesystem::exists(path("out")));
    AddressValues ann;
    ann[0] = "Ann";
    ann[1] = "Lee";
    (void)address_store().append_record(1, kSelectedMark, ann);
    settings().export_path = path("out/");
    const WidgetRecord file = button_of(kFirstButtonId, [] {
        int b = 0, c = 0;
        ShowChoice("Export Selected Addresses", "Business Card (vCard)|Comma Separated Text (CSV)|Email Address List|Plain Text",
                   "File|Clipboard|Cancel", b, c);
    });
    const WidgetRecord ok = button_of(750, [this] {
        std::string f = path("out/"), n;
        int r = 0;
        BrowseForFile("Export Addresses", f, n, r);
    });
    os.push_key(kKeyDown);  // CSV
    click(file);
    os.push_key(kKeyEnd);
    for (int i = 0; i < 20; ++i) os.push_key(kKeyBack);
    os.push_text("friends");
    click(ok);
    export_addresses(address_store());
    const std::string written = read(path("out/friends.csv"));
    EXPECT_EQ(written.substr(written.find("\r\n") + 2, 12), "\"Ann\",\"Lee\",");
    EXPECT_EQ(settings().export_path, path("out/"));
    EXPECT_TRUE(drawn("1 address exported to")) << "the export says what it did";
    EXPECT_TRUE(drawn(path("out/friends.csv")));

    // To the clipboard: how many went there.
    main_window().quit_requested = false;  // the message above closed with the script
    AddressValues bo;
    bo[0] = "Bo";
    (void)address_store().append_record(2, kSelectedMark, bo);
    const WidgetRecord clipboard = button_of(kFirstButtonId + 1, [] {
        int b = 0, c = 0;
        ShowChoice("Export Selected Addresses", "Business Card (vCard)|Comma Separated Text (CSV)|Email Address List|Plain Text",
                   "File|Clipboard|Cancel", b, c);
    });
    os.drawn_texts.clear();
    click(clipboard);
    export_addresses(address_store());
    EXPECT_EQ(os.clipboard.find("BEGIN:VCARD"), 0u);
    EXPECT_TRUE(drawn("2 addresses copied to the clipboard"));
}

}  // namespace
}  // namespace domora
