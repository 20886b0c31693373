#include <string>
#include <vector>

#include "addresses/address_list.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "support.h"

namespace domora {
namespace {

struct Person {
    std::string first, last, company, city;
    std::uint8_t marks = 0;
    bool live = true;
};

class List : public test::DomoraTest {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        main_window() = MainWindowState{};
        app_paths().address_file = path("address10.dat");
        status_log_set_path(path("status.log"));
    }
    // Writes the people as the address file (ids from 1) and loads it.
    void load(const std::vector<Person>& people) {
        std::string file;
        std::int32_t id = 1;
        for (const Person& p : people) {
            AddressValues v;
            v[kFieldFirst] = p.first;
            v[kFieldLast] = p.last;
            v[kFieldCompany] = p.company;
            v[kFieldCity] = p.city;
            file += build_address_record(id++, p.live, p.marks, v);
        }
        write(path("address10.dat"), file);
        ASSERT_TRUE(store.load().ok());
    }
    void load_count(int n) {
        std::vector<Person> people;
        for (int i = 0; i < n; ++i) people.push_back(Person{"P" + std::to_string(i), "L" + std::string(1, char('A' + i))});
        load(people);
    }
    std::vector<std::string> shown() const {
        std::vector<std::string> out;
        for (int i = 0; i < store.count(); ++i) {
            const AddressRecord r = store.record_at(store.item(i));
            out.push_back(r.fields[kFieldLast] + "/" + r.fields[kFieldFirst] + "/" + r.fields[kFieldCompany]);
        }
        return out;
    }
    std::vector<int> selected() const {
        std::vector<int> out;
        for (int i = 0; i < store.count(); ++i) {
            if (mark(store, i, kSelectedBit)) out.push_back(i);
        }
        return out;
    }
    AddressStore store;
};

// ---- sort --------------------------------------------------------------------------------------

TEST_F(List, SortKeysIgnoreCaseAndPutPrefixesFirst) {
    load({{"Bob", "lee"}, {"Zoe", "Adams"}, {"Ann", "Lee"}, {"", "", "  Acme  "}, {"", "Lee"}, {"Zed", ""}});
    ASSERT_TRUE(sort_addresses(store).ok());
    EXPECT_EQ(shown(), (std::vector<std::string>{"//  Acme  ", "Adams/Zoe/", "Lee//", "Lee/Ann/", "lee/Bob/", "/Zed/"}));
    EXPECT_EQ(address_sort_key("Ann", "Lee", ""), "LEE ANN");
    EXPECT_EQ(address_sort_key("", "", " Acme "), "ACME");
}

TEST_F(List, SortComparesWindows1252LettersAsUnsignedBytes) {
    // É (0xC9) and é (0xE9) are one letter upper-cased, and both sort after every ASCII letter.
    load({{"", "\xE9mile"}, {"", "Zola"}, {"", "\xC9mile"}, {"", "Eve"}, {"", "\xE6on"}});
    ASSERT_TRUE(sort_addresses(store).ok());
    EXPECT_EQ(shown(), (std::vector<std::string>{"Eve//", "Zola//", "\xE6on//", "\xE9mile//", "\xC9mile//"}))
        << "equal keys keep their file order";
}

TEST_F(List, SortDropsDeletedRecordsAndJunkAndRewritesTheFile) {
    load({{"Ann", "Lee"}, {"Bob", "Stone", "", "", 0, false}, {"Cy", "Adams"}});
    const std::string before = read(path("address10.dat"));
    write(path("address10.dat"), "junk" + before);
    ASSERT_TRUE(store.load().ok());
    const std::uint32_t bob = store.length_at(static_cast<std::uint32_t>(store.next_frame(store.item(0) + 1)));
    ASSERT_TRUE(sort_addresses(store).ok());
    EXPECT_EQ(shown(), (std::vector<std::string>{"Adams/Cy/", "Lee/Ann/"}));
    EXPECT_EQ(store.size(), before.size() - bob);
    EXPECT_EQ(read(path("address10.dat")), store.image());
    EXPECT_EQ(log_lines(path("status.log")).back(), "Load Addresses - Address Datasize:  " + std::to_string(store.size()));
}

TEST_F(List, SortingNothingOnlyTellsTheUser) {
    load({});
    EXPECT_FALSE(sort_addresses(store).ok());
    ASSERT_EQ(os.message_boxes.size(), 1u);
    EXPECT_EQ(os.message_boxes[0].text, "No Addresses To Sort?");
    EXPECT_EQ(read(path("address10.dat")), "");
}

TEST_F(List, ASortThatCannotBeSavedKeepsItsWorkAndSaysSo) {
    load({{"Bob", "Stone"}, {"Ann", "Adams"}});
    store.append_record(3, 0, AddressValues{"Cy", "Moss"});
    const std::string before = read(path("address10.dat"));
    os.fail_renames();
    EXPECT_FALSE(sort_addresses(store).ok());
    EXPECT_EQ(read(path("address10.dat")), before) << "the old file stays whole";
    EXPECT_EQ(shown(), (std::vector<std::string>{"Adams/Ann/", "Moss/Cy/", "Stone/Bob/"})) << "the new record is not lost";
    ASSERT_EQ(os.message_boxes.size(), 1u);
    EXPECT_EQ(os.message_boxes[0].text.rfind("Unable to save the address file", 0), 0u);
}

// ---- find ----------------------------------------------------------------------------------------

TEST_F(List, FindCombinesResultsFourWays) {
    load({{"John", "Smith"}, {"Ann", "Brown", "", "Smithfield"}, {"John", "Smith Jr"}, {"Zed", "Jones", "Acme"},
          {"Old", "Smith", "", "", 0, false}, {"Sue", "Lee"}});
    EXPECT_TRUE(apply_find(store, "  smith ", kFindNew));
    EXPECT_EQ(store.mode(), kModeSearch);
    EXPECT_EQ(shown(), (std::vector<std::string>{"Smith/John/", "Brown/Ann/", "Smith Jr/John/"}));
    EXPECT_EQ(store.current(), 0);
    EXPECT_EQ(selected(), (std::vector<int>{0}));

    EXPECT_TRUE(apply_find(store, "JOHN", kFindNarrow));
    EXPECT_EQ(shown(), (std::vector<std::string>{"Smith/John/", "Smith Jr/John/"}));
    EXPECT_TRUE(apply_find(store, "jr", kFindExclude));
    EXPECT_EQ(shown(), (std::vector<std::string>{"Smith/John/"}));
    EXPECT_TRUE(apply_find(store, "acme", kFindWiden));
    EXPECT_EQ(shown(), (std::vector<std::string>{"Smith/John/", "Jones/Zed/Acme"}));

    // The marks are saved, and the deleted record was left alone.
    AddressStore again;
    ASSERT_TRUE(again.load().ok());
    std::vector<int> marked;
    for (std::size_t at = again.next_frame(0); at != std::string::npos; at = again.next_frame(at + again.length_at(static_cast<std::uint32_t>(at)))) {
        if (again.marks_at(static_cast<std::uint32_t>(at)) & kSearchMark) marked.push_back(again.id_at(static_cast<std::uint32_t>(at)));
    }
    EXPECT_EQ(marked, (std::vector<int>{1, 4}));
}

TEST_F(List, FindNeverMatchesAcrossFieldsAndIgnoresEmptyTexts) {
    load({{"Ann", "Lee"}, {"Ann Lee", ""}});
    EXPECT_TRUE(apply_find(store, "ann lee", kFindNew));
    EXPECT_EQ(shown(), (std::vector<std::string>{"/Ann Lee/"}));
    EXPECT_TRUE(apply_find(store, "nomatch", kFindNew));
    EXPECT_EQ(store.count(), 0) << "an empty result, still in search mode";
    EXPECT_EQ(store.mode(), kModeSearch);

    set_address_mode(store, kModeAll);
    const std::string file = read(path("address10.dat"));
    EXPECT_FALSE(apply_find(store, "   ", kFindNew));
    EXPECT_FALSE(apply_find(store, "ann", kFindCancel));
    EXPECT_EQ(store.mode(), kModeAll);
    EXPECT_EQ(read(path("address10.dat")), file);
}

// ---- modes, the current record and marks -----------------------------------------------------------

TEST_F(List, ModesCurrentRecordAndMarks) {
    load({{"A", "A", "", "", kSearchMark}, {"B", "B", "", "", kSelectedMark}, {"C", "C", "", "", kSearchMark | kSelectedMark},
          {"D", "D", "", "", kSelectedMark, false}});
    store.set_current(2);
    set_address_mode(store, kModeSearch);
    EXPECT_EQ(shown(), (std::vector<std::string>{"A/A/", "C/C/"}));
    EXPECT_EQ(selected(), (std::vector<int>{0}));
    EXPECT_EQ(store.marks_at(store.next_frame(0) + 3 * store.length_at(0)) & kSelectedMark, 0)
        << "marks of hidden and deleted records are cleared too";

    set_current_by_id(store, 3);
    EXPECT_EQ(store.current(), 1);
    set_current_by_id(store, 2);  // not in this view
    EXPECT_EQ(store.current(), 1);
    set_current_by_id(store, -1);
    EXPECT_EQ(store.current(), 0);

    EXPECT_EQ(mark(store, 5, kSelectedBit), 0);
    set_mark(store, -1, kSelectedBit, true);  // ignored
    set_mark(store, 1, kSearchBit, false);
    EXPECT_EQ(mark(store, 1, kSearchBit), 0);
    EXPECT_FALSE(all_selected(store));
    toggle_select_all(store);
    EXPECT_TRUE(all_selected(store));
    toggle_select_all(store);
    EXPECT_EQ(selected(), std::vector<int>{});

    ensure_selection(store);
    EXPECT_EQ(selected(), (std::vector<int>{0})) << "nothing selected: the current record is";
    store.set_current(1);
    ensure_selection(store);
    EXPECT_EQ(selected(), (std::vector<int>{0})) << "a selection is left as it is";

    load({});
    EXPECT_FALSE(all_selected(store));
    toggle_select_all(store);
    step_current(store, 1, false, false);
    jump_current(store, true, true, false);
    EXPECT_EQ(store.current(), 1) << "an empty list has nothing to move to";
}

// ---- selection by keys ---------------------------------------------------------------------------------

TEST_F(List, ArrowKeysWithShiftExtendAndWithoutSelectOnlyTheNewRow) {
    load_count(10);
    store.set_current(2);
    select_only(store, 2);
    for (int i = 0; i < 3; ++i) step_current(store, 1, true, false);
    EXPECT_EQ(selected(), (std::vector<int>{2, 3, 4, 5}));
    step_current(store, 1, false, false);
    EXPECT_EQ(store.current(), 6);
    EXPECT_EQ(selected(), (std::vector<int>{6}));

    step_current(store, -1, false, true);  // Ctrl: the marks stay
    EXPECT_EQ(store.current(), 5);
    EXPECT_EQ(selected(), (std::vector<int>{6}));
    step_current(store, -4, true, false);  // a page with Shift marks everything passed
    EXPECT_EQ(selected(), (std::vector<int>{1, 2, 3, 4, 5, 6}));
    step_current(store, -4, false, false);
    EXPECT_EQ(store.current(), 0) << "kept within the list";
    step_current(store, 40, false, false);
    EXPECT_EQ(store.current(), 9);
    EXPECT_EQ(selected(), (std::vector<int>{9}));

    jump_current(store, false, true, false);
    EXPECT_EQ(selected().size(), 10u) << "Shift+Home marks back to the top";
    jump_current(store, true, false, false);
    EXPECT_EQ(selected(), (std::vector<int>{9}));
    jump_current(store, false, false, true);
    EXPECT_EQ(store.current(), 0);
    EXPECT_EQ(selected(), (std::vector<int>{9}));
    toggle_current_mark(store);
    toggle_current_mark(store);
    toggle_current_mark(store);
    EXPECT_EQ(selected(), (std::vector<int>{0, 9}));
}

// The count of selected records is kept by the changes rather than found by
// a walk; here every step is checked against a walk over the whole image,
// deleted and hidden records included, which a plain key clears as well.
TEST_F(List, TheSelectedCountFollowsEveryChangeAndAPlainKeyStillClearsHiddenMarks) {
    std::vector<Person> people;
    for (int i = 0; i < 8; ++i) people.push_back(Person{"P" + std::to_string(i), "L" + std::string(1, char('A' + i))});
    people[3].marks = kSelectedMark;                // selected in the file
    people[5].marks = kSelectedMark;                // and a deleted one, never shown
    people[5].live = false;
    people[6].marks = kSelectedMark | kSearchMark;  // and one only the search results show
    load(people);
    const auto walked = [&] {
        std::size_t n = 0;
        store.each_frame([&](std::uint32_t offset) {
            n += (store.marks_at(offset) & kSelectedMark) != 0 ? 1 : 0;
            return true;
        });
        return n;
    };
    EXPECT_EQ(store.selected_count(), 3u);
    ensure_selection(store);
    EXPECT_EQ(walked(), 3u) << "a selection in the file is kept for Export and Print";

    store.set_current(0);
    step_current(store, 1, false, false);
    EXPECT_EQ(walked(), 1u) << "the hidden and deleted marks went too";
    EXPECT_EQ(store.selected_count(), 1u);
    for (int i = 0; i < 3; ++i) step_current(store, 2, false, false);
    EXPECT_EQ(selected(), (std::vector<int>{6}));
    EXPECT_EQ(store.selected_count(), walked());

    // Two selected, the later one unselected again: the earlier is the one left, and the next key clears it.
    store.set_current(1);
    toggle_current_mark(store);
    toggle_current_mark(store);
    EXPECT_EQ(selected(), (std::vector<int>{6}));
    step_current(store, 1, false, false);
    EXPECT_EQ(selected(), (std::vector<int>{2}));
    EXPECT_EQ(store.selected_count(), 1u);
    EXPECT_FALSE(all_selected(store));
    toggle_select_all(store);
    EXPECT_TRUE(all_selected(store));
    EXPECT_EQ(store.selected_count(), walked());

    // An add comes in selected, the sort moves records: still counted right.
    const std::int32_t id = store.new_record_id();
    AddressValues v;
    v[kFieldFirst] = "New";
    v[kFieldLast] = "LB";
    (void)store.append_record(id, kSelectedMark, v);
    ASSERT_TRUE(sort_addresses(store).ok());
    set_current_to_added(store, id);
    EXPECT_EQ(store.selected_count(), walked());
    select_only(store, store.current());
    EXPECT_EQ(walked(), 1u);
    EXPECT_EQ(store.record_at(store.item(selected().at(0))).id, id);
    clear_marks(store, kSelectedBit);
    EXPECT_EQ(walked(), 0u);
    EXPECT_EQ(store.selected_count(), 0u);
    ensure_selection(store);
    EXPECT_EQ(selected(), (std::vector<int>{store.current()}));
}

// ---- selection by mouse ------------------------------------------------------------------------------------

TEST_F(List, APlainPressSelectsOneRowAndASecondPressOnItAsksForEdit) {
    load_count(6);
    store.set_current(0);
    select_only(store, 0);
    ListPress press(store, 1, false, false);
    EXPECT_TRUE(press.follow(store, 3));
    EXPECT_FALSE(press.follow(store, 3)) << "the same row again changes nothing";
    EXPECT_TRUE(press.follow(store, 4));
    EXPECT_EQ(store.current(), 4);
    EXPECT_EQ(selected(), (std::vector<int>{4}));
    EXPECT_FALSE(press.wants_edit()) << "it started elsewhere";

    ListPress again(store, 1, false, false);
    again.follow(store, 4);
    EXPECT_TRUE(again.wants_edit()) << "a second press on the current row";
    ListPress dragged(store, 1, false, false);
    dragged.follow(store, 4);
    dragged.follow(store, 5);
    dragged.follow(store, 4);
    EXPECT_FALSE(dragged.wants_edit()) << "it moved to another row";
    ListPress right(store, 2, false, false);
    right.follow(store, 1);
    EXPECT_TRUE(right.wants_edit());
    ListPress nowhere(store, 2, false, false);
    EXPECT_FALSE(nowhere.follow(store, 6));
    EXPECT_FALSE(nowhere.wants_edit()) << "below the last row is not a record";
}

TEST_F(List, RangePressesInTheCheckColumnAndWithShift) {
    load_count(8);
    store.set_current(1);
    select_only(store, 1);
    ListPress column(store, 1, false, true);
    column.follow(store, 3);  // unselected: the drag selects
    column.follow(store, 4);
    column.follow(store, 5);
    EXPECT_EQ(selected(), (std::vector<int>{1, 3, 4, 5}));
    column.follow(store, 4);
    EXPECT_EQ(selected(), (std::vector<int>{1, 3, 4, 5})) << "marks outside the span stay";
    EXPECT_FALSE(column.wants_edit());

    ListPress off(store, 1, false, true);
    off.follow(store, 4);  // selected: the drag clears
    off.follow(store, 3);
    EXPECT_EQ(selected(), (std::vector<int>{1, 5}));

    store.set_current(6);
    ListPress shift(store, 1, true, false);
    shift.follow(store, 2);
    EXPECT_EQ(selected(), (std::vector<int>{1, 2, 3, 4, 5, 6})) << "from the current row, set";
    EXPECT_EQ(store.current(), 2);
    EXPECT_FALSE(shift.wants_edit());
}

}  // namespace
}  // namespace domora
