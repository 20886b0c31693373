#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "addresses/address_screen.h"
#include "addresses/address_screen_parts.h"
#include "app/files.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "ui/popups.h"
#include "other_program.h"
#include "ui_fixture.h"

namespace domora {
namespace {

struct Person {
    std::string first, last, company;
    std::uint8_t marks = 0;
    std::string email, web;
};

AddressRecord record_of(const std::vector<std::string>& values) {
    AddressRecord r;
    for (std::size_t i = 0; i < values.size(); ++i) r.fields[i] = values[i];
    return r;
}

// The screen runs against the headless window: the script is queued, and
// the run ends when it is used up (the window closes).
class Screen : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        app_paths().address_file = path("address10.dat");
        status_log_set_path(path("status.log"));
        address_store() = AddressStore{};
        address_list_state() = ListState{};
        ::mkdir(path("bin").c_str(), 0700);
        write(path("browser"), "#!/bin/sh\n");
        ::chmod(path("browser").c_str(), 0755);
        os.environment["BROWSER"] = path("browser");
        os.environment["PATH"] = path("bin");
    }
    void people(const std::vector<Person>& list) {
        std::string file;
        std::int32_t id = 1;
        for (const Person& p : list) {
            AddressValues v;
            v[kFieldFirst] = p.first;
            v[kFieldLast] = p.last;
            v[kFieldCompany] = p.company;
            v[kFieldEmail] = p.email;
            v[kFieldWebSite] = p.web;
            file += build_address_record(id++, true, p.marks, v);
        }
        write(path("address10.dat"), file);
    }
    void many(int n) {
        std::vector<Person> list;
        for (int i = 0; i < n; ++i) list.push_back(Person{"P", "L" + std::to_string(1000 + i)});
        people(list);
    }
    void run() {
        main_window().quit_requested = false;
        main_window().current_screen = kScreenAddresses;
        input() = InputState{};
        address_screen();
    }
    // Runs the screen without input and keeps where its widgets are.
    void lay_out() {
        run();
        m_layout.clear();
        for (const WidgetRecord& w : widgets()) {
            if (w.id == kEndMarker) break;
            if (w.id != 0) m_layout[w.id] = w;
        }
    }
    const WidgetRecord& at(int id) { return m_layout.at(id); }
    int row_y(int row) {
        const ListState& list = address_list_state();
        return at(kIdAddressList).y1 + row * list.row_height - list.scroll_offset + list.row_height / 2;
    }
    int text_x() { return at(kIdAddressList).x1 + 80; }
    int check_x() { return at(kIdAddressList).x1 + 10; }
    void shift_click(int x, int y) {
        os.push_mouse_move(x, y);
        Event down;
        down.kind = EventKind::ButtonDown;
        down.x = x;
        down.y = y;
        down.button = 1;
        down.shift = true;
        os.push_event(down);
        os.push_wait(10);
        os.push_button_up(x, y);
        os.push_wait(60);
    }
    // A typed mnemonic keeps its button pressed for a moment, pumping events;
    // a mouse move on the background gives it something harmless to take.
    void mnemonic(char c) {
        os.push_char(c);
        os.push_wait(40);
        os.push_mouse_move(5, main_window().client_height - 5);
    }
    // Enter from this field to the last saves the form.
    void save_from(int field) {
        for (int i = field; i < kAddressFieldCount; ++i) os.push_key(kKeyReturn);
    }
    std::vector<std::string> shown() {
        const AddressStore& store = address_store();
        std::vector<std::string> out;
        for (int i = 0; i < store.count(); ++i) {
            const AddressRecord r = store.record_at(store.item(i));
            out.push_back(r.fields[kFieldLast] + "/" + r.fields[kFieldFirst] + "/" + r.fields[kFieldCompany]);
        }
        return out;
    }
    std::vector<int> selected() {
        std::vector<int> out;
        for (int i = 0; i < address_store().count(); ++i) {
            if (mark(address_store(), i, kSelectedBit)) out.push_back(i);
        }
        return out;
    }
    bool drawn(const std::string& text) const {
        return std::any_of(os.drawn_texts.begin(), os.drawn_texts.end(),
                           [&](const HeadlessPlatform::DrawnText& t) { return t.text == text; });
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const auto& box : os.message_boxes) out.push_back(box.text);
        return out;
    }
    std::map<int, WidgetRecord> m_layout;
};

// ---- what the screen shows -----------------------------------------------------------------------

TEST_F(Screen, TheButtonsSwitchesAndListAreLaidOut) {
    people({{"Ann", "Lee", "", 0, "ann@example.com", "www.annlee.com"}, {"Bob", "Stone"}, {"", "", "Acme"}});
    lay_out();
    const struct {
        int id;
        const char* caption;
        int mnemonic;
        std::uint32_t colour;
    } buttons[] = {{kIdFind, "Find", 1, rgb(0, 138, 0)},       {kIdPrint, "Print", 1, rgb(0, 138, 0)},
                   {kIdMap, "Map", 1, rgb(0, 138, 0)},         {kIdAdd, "Add", 1, rgb(33, 135, 169)},
                   {kIdEdit, "Edit", 1, rgb(33, 135, 169)},    {kIdDelete, "Delete", 1, rgb(33, 135, 169)},
                   {kIdImport, "Import", 1, rgb(160, 0, 160)}, {kIdExport, "Export", 2, rgb(160, 0, 160)}};
    int last_top = 0;
    for (const auto& b : buttons) {
        const WidgetRecord& w = at(b.id);
        EXPECT_EQ(w.kind, kKindButton);
        EXPECT_EQ(w.text, b.caption);
        EXPECT_EQ(w.mnemonic, b.mnemonic) << b.caption;
        EXPECT_EQ(w.colour2, b.colour) << b.caption << ": the face shows the group";
        EXPECT_EQ(w.colour1, rgb(255, 255, 255)) << b.caption;
        EXPECT_GT(w.y1, last_top) << b.caption << " comes after the one before";
        last_top = w.y1;
    }
    EXPECT_EQ(at(kIdAddressList).kind, kKindAddressList);
    EXPECT_EQ(at(kIdSelectAll).kind, kKindCheckBox);
    EXPECT_EQ(at(kIdSelectAll).checked, 0);
    EXPECT_TRUE(drawn("3 records")) << "the count under the active switch";
    EXPECT_TRUE(drawn("Current Address"));
    EXPECT_TRUE(drawn("Acme")) << "a company alone shows in the first column";
    EXPECT_EQ(at(kIdEmailLink).text, "ann@example.com");
    EXPECT_EQ(at(kIdWebLink).text, "www.annlee.com");
    EXPECT_EQ(at(kIdWebLink).kind, kKindLink);
}

TEST_F(Screen, RowsAndDetailLinesFollowWhatTheRecordHolds) {
    using Columns = std::pair<std::string, std::string>;
    EXPECT_EQ(address_row_columns(record_of({"Ann", "Lee"})), Columns("Lee", "Ann"));
    EXPECT_EQ(address_row_columns(record_of({"Ann", "Lee", "Acme"})), Columns("Lee", "Ann, Acme"));
    EXPECT_EQ(address_row_columns(record_of({"", "Lee", "Acme"})), Columns("Lee", ", Acme"));
    EXPECT_EQ(address_row_columns(record_of({"Ann", "", "Acme"})), Columns("Ann", "Acme"));
    EXPECT_EQ(address_row_columns(record_of({"", "", "Acme"})), Columns("Acme", ""));

    const std::vector<DetailLine> lines = address_detail_lines(
        record_of({" Ann", "", "Acme", "1 Main St", "", "", "IL", "62701", "USA", "555-1", "", "555-3", "a@b.c", "", "", "m2"}));
    std::vector<std::string> texts;
    for (const DetailLine& l : lines) texts.push_back((l.kind == DetailLine::Email ? "mail:" : "") + l.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"Ann", "Acme", "1 Main St", ", IL 62701", "USA", "mail:a@b.c",
                                               "Home Phone: 555-1", "Cell Phone: 555-3", "m2"}));
    EXPECT_TRUE(address_detail_lines(record_of({"", "", "", "", "", "", "", "62701"})).empty())
        << "a zip code alone makes no city line";
}

TEST_F(Screen, EnteringClearsOldSelectionsAndSelectsTheCurrentRecord) {
    people({{"A", "A", "", kSelectedMark}, {"B", "B", "", kSelectedMark}, {"C", "C"}});
    address_store().set_current(2);
    run();
    EXPECT_EQ(address_store().current(), 2);
    EXPECT_EQ(selected(), (std::vector<int>{2}));
    address_store().set_current(9);
    run();
    EXPECT_EQ(address_store().current(), 2) << "brought within the list";
}

// ---- add, edit, delete ------------------------------------------------------------------------------

TEST_F(Screen, AddWithOnlyACompanyIsSavedSortedAndCurrent) {
    people({{"Ann", "Lee"}, {"Bob", "Stone"}});
    mnemonic('a');
    os.push_key(kKeyTab);
    os.push_key(kKeyTab);
    os.push_text("Zenith");
    save_from(2);
    run();
    EXPECT_EQ(shown(), (std::vector<std::string>{"Lee/Ann/", "Stone/Bob/", "//Zenith"}));
    EXPECT_EQ(address_store().current(), 2);
    EXPECT_EQ(selected(), (std::vector<int>{2}));
    const std::string file = read(path("address10.dat"));
    EXPECT_EQ(file.size(), address_store().size());
    AddressValues v;
    v[kFieldCompany] = "Zenith";
    EXPECT_EQ(file.substr(file.size() - 41), build_address_record(3, true, kSelectedMark, v)) << "a fresh id, selected";
}

TEST_F(Screen, ANameOfBlanksIsRefusedAndTheFormComesBack) {
    mnemonic('a');
    os.push_text(" ");
    os.push_key(kKeyTab);
    os.push_key(kKeyTab);
    os.push_text("  ");
    save_from(2);
    run();
    EXPECT_EQ(messages(), (std::vector<std::string>{"Every record must have a name or company"}));
    EXPECT_GE(std::count_if(os.drawn_texts.begin(), os.drawn_texts.end(),
                            [](const HeadlessPlatform::DrawnText& t) { return t.text == "Add Address"; }),
              2)
        << "the form is shown again";
    EXPECT_EQ(field_text(0), " ") << "with what was typed";
    EXPECT_FALSE(file_exists(path("address10.dat")));
}

TEST_F(Screen, AddingWhileSearchResultsShowSwitchesToAllWithTheNewRecordAloneSelected) {
    people({{"Ann", "Lee", "", kSearchMark}, {"Bob", "Stone"}, {"Cy", "Moss", "", kSearchMark}});
    address_store().set_mode_value(kModeSearch);
    mnemonic('A');
    os.push_text("Ann");
    os.push_key(kKeyTab);
    os.push_text("Lee");
    save_from(1);
    run();
    EXPECT_EQ(address_store().mode(), kModeAll);
    EXPECT_EQ(shown(), (std::vector<std::string>{"Lee/Ann/", "Lee/Ann (2)/", "Moss/Cy/", "Stone/Bob/"}));
    EXPECT_EQ(address_store().current(), 1);
    EXPECT_EQ(selected(), (std::vector<int>{1}));
    EXPECT_EQ(field_text(0), "Ann (2)") << "the changed name goes back to the caller";
}

TEST_F(Screen, EditKeepsTheIdAndFollowsTheRecordToItsNewPlace) {
    people({{"Ann", "Adams"}, {"Bob", "Brown"}, {"Cy", "Clark"}});
    os.push_key(kKeyReturn);  // edit the current record, Adams
    os.push_key(kKeyTab);
    os.push_key(kKeyEscape);  // empties Last
    os.push_text("Zimmer");
    save_from(1);
    run();
    EXPECT_EQ(shown(), (std::vector<std::string>{"Brown/Bob/", "Clark/Cy/", "Zimmer/Ann/"}));
    EXPECT_EQ(address_store().current(), 2);
    EXPECT_EQ(address_store().id_at(address_store().item(2)), 1);
    EXPECT_EQ(address_store().size(), read(path("address10.dat")).size()) << "the old version is gone from the file";
}

TEST_F(Screen, EditingKeepsImportedValuesLongerThanTheFormShows) {
    AddressValues v;
    v[kFieldFirst] = "Ann";
    v[kFieldLast] = "Lee";
    v[kFieldMisc1] = std::string(150, 'm');  // wider than the form's 100
    v[kFieldMisc2] = std::string(400, 'n');  // longer than any field holds
    write(path("address10.dat"), build_address_record(1, true, 0, v));
    os.push_key(kKeyReturn);
    os.push_key(kKeyTab);
    os.push_text("s");  // Lee -> Lees
    save_from(1);
    run();
    const AddressRecord saved = address_store().record_at(address_store().item(0));
    EXPECT_EQ(saved.fields[kFieldLast], "Lees");
    EXPECT_EQ(saved.fields[kFieldMisc1], v[kFieldMisc1]);
    EXPECT_EQ(saved.fields[kFieldMisc2], v[kFieldMisc2]);
}

TEST_F(Screen, EditWithoutARecordSaysSo) {
    os.push_char('e');
    run();
    people({{"Ann", "Lee"}});
    address_store().set_mode_value(kModeSearch);  // and nothing carries the search mark
    os.push_char('e');
    run();
    EXPECT_EQ(messages(), (std::vector<std::string>{"There are no addresses to edit", "No Record Selected"}));
}

TEST_F(Screen, DeletingThreeSelectedRecordsLeavesTheNextOneCurrent) {
    people({{"A", "A"}, {"B", "B"}, {"C", "C"}, {"D", "D"}, {"E", "E"}, {"F", "F"}});
    lay_out();
    for (int row : {0, 1, 3, 4}) os.push_click(check_x(), row_y(row));  // the first unticks the current record
    os.push_key(kKeyDelete);
    os.push_char('o');  // "OK"
    run();
    EXPECT_EQ(shown(), (std::vector<std::string>{"A/A/", "C/C/", "F/F/"}));
    EXPECT_EQ(address_store().current(), 1);
    EXPECT_EQ(selected(), (std::vector<int>{1}));
    EXPECT_EQ(read(path("address10.dat")).size(), address_store().size());
    const std::vector<std::string> log = log_lines(path("status.log"));
    const auto begin = std::find(log.begin(), log.end(), "Begin Sort");
    ASSERT_NE(begin, log.end());
    const std::vector<std::string> tail(log.end() - 2, log.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"List Records:  3", "Adjust Current Record"}));
}

TEST_F(Screen, DeleteAsksFirstAndCancelKeepsEverything) {
    people({{"A", "A"}, {"B", "B"}});
    const std::string file = read(path("address10.dat"));
    os.push_key(kKeyDelete);
    os.push_key(kKeyReturn);  // the safe answer is the default
    mnemonic('d');
    os.push_char('c');
    run();
    EXPECT_EQ(read(path("address10.dat")), file);
    EXPECT_EQ(address_store().count(), 2);
    address_store() = AddressStore{};
    write(path("address10.dat"), "");
    mnemonic('d');
    run();
    EXPECT_EQ(messages(), (std::vector<std::string>{"There are no addresses to delete"}));
}

// ---- selection with the mouse and the keys -------------------------------------------------------------

TEST_F(Screen, PressesSelectAndASecondPressOnTheCurrentRowEdits) {
    many(8);
    lay_out();
    os.push_click(text_x(), row_y(2));
    shift_click(text_x(), row_y(4));
    run();
    EXPECT_EQ(address_store().current(), 4);
    EXPECT_EQ(selected(), (std::vector<int>{2, 3, 4}));
    EXPECT_FALSE(drawn("Edit Address"));

    os.drawn_texts.clear();
    os.push_click(text_x(), row_y(4));  // already current
    run();
    EXPECT_TRUE(drawn("Edit Address"));
    EXPECT_EQ(selected(), (std::vector<int>{4}));

    os.drawn_texts.clear();
    os.push_click(text_x(), row_y(6), 2);
    run();
    EXPECT_EQ(address_store().current(), 6);
    EXPECT_TRUE(drawn("Edit Address")) << "a right press edits at once";

    os.drawn_texts.clear();
    os.push_mouse_move(text_x(), row_y(1));
    os.push_button_down(text_x(), row_y(1));
    os.push_mouse_move(text_x(), row_y(3));
    os.push_button_up(text_x(), row_y(3));
    os.push_wait(60);
    run();
    EXPECT_EQ(address_store().current(), 3) << "the drag follows the pointer";
    EXPECT_EQ(selected(), (std::vector<int>{3}));
    EXPECT_FALSE(drawn("Edit Address"));
}

TEST_F(Screen, KeysMoveSelectAndScroll) {
    many(60);
    lay_out();
    const ListState& list = address_list_state();
    const int page = list.view_height / list.row_height;
    os.push_key(kKeyEnd);
    os.push_key(kKeyPageUp);
    os.push_key(kKeyUp, true);
    run();
    EXPECT_EQ(address_store().current(), 59 - page - 1);
    EXPECT_EQ(selected(), (std::vector<int>{59 - page - 1, 59 - page}));
    EXPECT_EQ(list.scroll_offset, list.current_item * list.row_height) << "scrolled just enough to show it";

    os.push_key(kKeyHome, true);
    run();
    EXPECT_EQ(selected().size(), static_cast<std::size_t>(59 - page)) << "entering again left only the current one";
    EXPECT_EQ(list.scroll_offset, 0);

    os.push_key('A', false, true);  // Ctrl+A: all, then none
    run();
    EXPECT_EQ(selected().size(), 60u);
    os.push_key('A', false, true);
    os.push_key('A', false, true);
    os.push_key(kKeySpace);
    run();
    EXPECT_EQ(selected(), (std::vector<int>{0}));

    os.push_mouse_move(text_x(), row_y(3));
    os.push_wheel(-120);
    os.push_wheel(-120);
    run();
    EXPECT_EQ(list.scroll_offset, 2 * (list.scroll_step * 3 / 2)) << "three lines a notch, half a row each";
    EXPECT_EQ(address_store().current(), 0) << "the wheel only scrolls";

    os.push_mouse_move(at(kIdScrollDown).x1 + 5, at(kIdScrollDown).y1 + 5);
    os.push_button_down(at(kIdScrollDown).x1 + 5, at(kIdScrollDown).y1 + 5);
    os.push_wait(800);  // held: one row, then a row every 100 ms after 350 ms
    os.push_button_up(at(kIdScrollDown).x1 + 5, at(kIdScrollDown).y1 + 5);
    os.push_wait(60);
    run();
    EXPECT_GE(list.scroll_offset, 2 * list.row_height) << "a row at once, more while held (entering scrolled back to the top)";
}

TEST_F(Screen, TabAndTheSwitchesChangeTheDisplayMode) {
    people({{"Ann", "Lee", "", kSearchMark}, {"Bob", "Stone"}});
    lay_out();
    os.push_key(kKeyTab);
    run();
    EXPECT_EQ(address_store().mode(), kModeSearch);
    EXPECT_EQ(address_store().count(), 1);
    EXPECT_TRUE(drawn("1 records"));
    const WidgetRecord all = at(kIdShowAll);
    os.push_click(all.x1 + 5, all.y1 + 5);
    run();
    EXPECT_EQ(address_store().mode(), kModeAll);
    EXPECT_EQ(selected(), (std::vector<int>{0}));
}

TEST_F(Screen, FindShowsTheResultsWithTheirCount) {
    people({{"Ann", "Lee"}, {"Bob", "Stone"}, {"Cy", "Leeds"}});
    mnemonic('f');
    os.push_text("lee");
    os.push_key(kKeyReturn);
    run();
    EXPECT_EQ(address_store().mode(), kModeSearch);
    EXPECT_EQ(shown(), (std::vector<std::string>{"Lee/Ann/", "Leeds/Cy/"}));
    EXPECT_TRUE(drawn("2 records"));
}

TEST_F(Screen, ExportAndPrintActOnTheCurrentRecordWhenNothingIsSelected) {
    people({{"Ann", "Lee"}, {"Bob", "Stone"}});
    os.push_key(kKeySpace);  // unticks the only selected record
    os.push_char('x');
    run();
    EXPECT_EQ(selected(), (std::vector<int>{0}));
    EXPECT_TRUE(drawn("Export Selected Addresses")) << "the export asks for the format";
}

// ---- e-mail and web site ----------------------------------------------------------------------------------

TEST_F(Screen, TheLinksAndTheirKeysStartMailAndTheBrowser) {
    people({{"Ann", "Lee", "", 0, "ann@example.com", "www.annlee.com"}});
    lay_out();
    os.push_char('s');
    run();
    EXPECT_EQ(messages(), (std::vector<std::string>{"Domora was unable to open your email program."}))
        << "no mail program";

    write(path("bin/xdg-email"), "#!/bin/sh\n");
    ::chmod(path("bin/xdg-email").c_str(), 0755);
    const WidgetRecord mail = at(kIdEmailLink);
    os.push_click(mail.x1 + 3, mail.y1 + 3);
    os.push_char('W');
    run();
    ASSERT_EQ(os.started_programs.size(), 2u);
    EXPECT_EQ(os.started_programs[0].back(), "ann@example.com");
    EXPECT_EQ(os.started_programs[1], (std::vector<std::string>{path("browser"), "www.annlee.com"}));
    EXPECT_EQ(messages().size(), 1u);
}

// ---- a file that cannot be read ------------------------------------------------------------------------------

TEST_F(Screen, AnUnreadableFileIsReportedAndNeverOverwritten) {
    ASSERT_EQ(::mkdir(path("address10.dat").c_str(), 0700), 0);
    mnemonic('a');
    os.push_text("Ann");
    save_from(0);
    run();
    ASSERT_GE(messages().size(), 2u);
    EXPECT_EQ(messages()[0].rfind("Unable to read the address file", 0), 0u);
    EXPECT_EQ(messages().back().rfind("Unable to save the address file", 0), 0u);
    struct stat st {};
    ASSERT_EQ(::stat(path("address10.dat").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

// ---- another program's writes -----------------------------------------------------------------------------

TEST_F(Screen, EnteringTheScreenShowsWhatAnotherProgramWroteMeanwhile) {
    people({{"Ann", "Lee"}, {"Bob", "Stone"}});
    run();
    ASSERT_EQ(shown(), (std::vector<std::string>{"Lee/Ann/", "Stone/Bob/"}));
    AddressValues cara;
    cara[kFieldFirst] = "Cara";
    cara[kFieldLast] = "Diaz";
    test::replace_file(path("address10.dat"), read(path("address10.dat")) + build_address_record(3, true, 0, cara));
    run();
    EXPECT_EQ(shown(), (std::vector<std::string>{"Lee/Ann/", "Stone/Bob/", "Diaz/Cara/"}));
    EXPECT_TRUE(messages().empty());
}

}  // namespace
}  // namespace domora
