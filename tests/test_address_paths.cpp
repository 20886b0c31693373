// The quick paths of the address book (names kept across adds, records put
// in place instead of a full sort, the order found ahead while a form is
// open, the image kept instead of read back, a find in place) against the plain rules, worked out here the long way, on
// random books: the same image, file, order, ids, view and log lines after
// any mix of adds, edits, deletes and finds.
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "addresses/address_list.h"
#include "addresses/folded_text.h"
#include "addresses/address_store.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "app/text.h"
#include "support.h"

namespace domora {
namespace {

// ---- the plain rules -------------------------------------------------------------------------------

struct Plain {
    std::vector<AddressRecord> records;  // the image, in file order
    int mode = kModeAll;
    std::vector<std::string> log;
    std::string file;  // as last written
    std::vector<AddressRecord> written;

    std::string image() const {
        std::string out;
        for (const AddressRecord& r : records) out += build_address_record(r.id, r.live, r.marks, r.fields);
        return out;
    }
    std::vector<std::size_t> view() const {
        std::vector<std::size_t> out;
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (records[i].live && (mode == kModeAll || (records[i].marks & kSearchMark) != 0)) out.push_back(i);
        }
        return out;
    }
    void log_view(std::size_t count) {
        log.push_back("Address Mode: " + log_number(mode) + " - Total Addresses: " + log_number(static_cast<std::int64_t>(count)));
    }
    // Tries " (2)", " (3)", ... against every live record, one at a time.
    std::string unique_first(const AddressValues& v) const {
        std::string suffix;
        for (std::int64_t n = 0;;) {
            const std::string key = address_name_key(v[kFieldFirst] + suffix, v[kFieldLast], v[kFieldCompany]);
            bool taken = false;
            for (const AddressRecord& r : records) {
                taken = taken || (r.live && address_name_key(r.fields[kFieldFirst], r.fields[kFieldLast], r.fields[kFieldCompany]) == key);
            }
            if (!taken) return v[kFieldFirst] + suffix;
            n = std::max<std::int64_t>(2, n + 1);
            suffix = " (" + std::to_string(n) + ")";
        }
    }
    void append(std::int32_t id, std::uint8_t marks, AddressValues v, std::size_t stale_view_count) {
        const std::size_t old_size = image().size();
        v[kFieldFirst] = unique_first(v);
        records.push_back(AddressRecord{id, true, marks, v});
        log.push_back("Save Address Record: " + log_number(id) + " - Old: " + log_number(static_cast<std::int64_t>(old_size)) +
                      " - New: " + log_number(static_cast<std::int64_t>(image().size())));
        log_view(stale_view_count + ((mode == kModeAll || (marks & kSearchMark) != 0) ? 1 : 0));
    }
    void sort() {
        std::vector<AddressRecord> live;
        for (const AddressRecord& r : records) {
            if (r.live) live.push_back(r);
        }
        std::stable_sort(live.begin(), live.end(), [](const AddressRecord& a, const AddressRecord& b) {
            return address_sort_key(a.fields[kFieldFirst], a.fields[kFieldLast], a.fields[kFieldCompany]) <
                   address_sort_key(b.fields[kFieldFirst], b.fields[kFieldLast], b.fields[kFieldCompany]);
        });
        records = live;
        file = image();
        written = records;
        log_view(view().size());
        log.push_back("Load Addresses - Address Datasize: " + log_number(static_cast<std::int64_t>(image().size())));
    }
    std::int32_t new_id() const {
        std::int32_t largest = 0;
        for (std::size_t i : view()) largest = std::max(largest, records[i].id);
        return largest + 1;
    }
    void select_only(std::size_t position) {
        for (AddressRecord& r : records) r.marks &= static_cast<std::uint8_t>(~kSelectedMark);
        const auto shown = view();
        if (position < shown.size()) records[shown[position]].marks |= kSelectedMark;
    }
    void find(const std::string& text, int button) {
        const std::string wanted = to_upper(trim(text));
        for (AddressRecord& r : records) {
            if (!r.live) continue;
            std::string area;
            for (const std::string& f : r.fields) area += to_upper(f) + '\0';
            const bool hit = area.find(wanted) != std::string::npos;
            const bool marked = (r.marks & kSearchMark) != 0;
            const bool keep = button == kFindNew ? hit : button == kFindNarrow ? marked && hit : button == kFindWiden ? marked || hit : marked && !hit;
            r.marks = static_cast<std::uint8_t>(keep ? r.marks | kSearchMark : r.marks & ~kSearchMark);
        }
        mode = kModeSearch;
        log_view(view().size());
        file = image();
        written = records;
        select_only(0);
    }
};

// ---- random books ------------------------------------------------------------------------------------

// Few names and many that differ only in case, blanks or a suffix already
// there, so that names collide often and in every way the rule knows.
AddressValues random_values(std::mt19937& random) {
    static const char* const firsts[] = {"Ann", "ann", "Ann (2)", "Ann (3)", "", " ", "Ann ", " Ann", "(2)", "Bob", "Ann (02)", "\xC9mile", "\xE9mile"};
    static const char* const lasts[] = {"Lee", "LEE", "", "Lee (2)", "(3) Lee", " Lee", "Stone", "M\xFCller"};
    static const char* const companies[] = {"", "", "Acme", "acme ", "(2)"};
    AddressValues v;
    v[kFieldFirst] = firsts[random() % std::size(firsts)];
    v[kFieldLast] = lasts[random() % std::size(lasts)];
    v[kFieldCompany] = companies[random() % std::size(companies)];
    v[kFieldCity] = random() % 2 ? "Springfield" : "Smithfield";
    v[kFieldEmail] = "x" + std::to_string(random() % 50) + "@example.org";
    return v;
}

// Names long enough that many keys share their first sixteen bytes and
// differ only after, or not at all but for letter case.
AddressValues long_values(std::mt19937& random) {
    static const char* const lasts[] = {"Vandenberghe-Oosterhout", "VANDENBERGHE-OOSTERHOUT", "Vandenberghe-Oosterhoud",
                                        "Vandenberghe-Oos", "Vandenberghe-Oost", "vandenberghe-oosterhout (2)"};
    static const char* const firsts[] = {"Ann", "ann", "", "Bob", "Maximiliane-Josephine"};
    AddressValues v = random_values(random);
    v[kFieldLast] = lasts[random() % std::size(lasts)];
    v[kFieldFirst] = firsts[random() % std::size(firsts)];
    return v;
}

class Paths : public test::DomoraTest {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        main_window() = MainWindowState{};
        app_paths().address_file = path("address10.dat");
        status_log_set_path(path("status.log"));
    }

    // The store's log lines since the last look.
    std::vector<std::string> new_log_lines() {
        const auto lines = log_lines(path("status.log"));
        std::vector<std::string> fresh(lines.begin() + static_cast<std::ptrdiff_t>(m_seen), lines.end());
        m_seen = lines.size();
        return fresh;
    }

    void expect_same(const char* step, int round) {
        SCOPED_TRACE(std::string(step) + " in round " + std::to_string(round));
        ASSERT_EQ(store.image(), plain.image());
        ASSERT_EQ(read(path("address10.dat")), plain.file);
        const auto shown = plain.view();
        ASSERT_EQ(store.count(), static_cast<int>(shown.size()));
        for (std::size_t i = 0; i < shown.size(); ++i) ASSERT_EQ(store.id_at(store.item(static_cast<int>(i))), plain.records[shown[i]].id);
        ASSERT_EQ(new_log_lines(), plain.log);
        plain.log.clear();
    }

    // What the Add button does once its form is saved.
    void add(const AddressValues& v) {
        store.set_mode_value(kModeAll);
        store.rebuild_view();
        const std::int32_t id = store.new_record_id();
        store.append_record(id, kSelectedMark, v);
        ASSERT_TRUE(sort_addresses(store).ok());
        store.rebuild_view();
        store.set_current(0);
        set_current_to_added(store, id);
        select_only(store, store.current());

        plain.mode = kModeAll;
        plain.log_view(plain.view().size());
        const std::int32_t plain_id = plain.new_id();
        ASSERT_EQ(id, plain_id);
        plain.append(plain_id, kSelectedMark, v, plain.view().size());
        plain.sort();
        plain.log_view(plain.view().size());
        const auto shown = plain.view();
        std::size_t current = 0;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            if (plain.records[shown[i]].id == plain_id) {
                current = i;
                break;
            }
        }
        plain.select_only(current);
        ASSERT_EQ(store.current(), static_cast<int>(current));
    }

    // What the Edit button does, in whichever mode the list is in.
    void edit(std::size_t position, const AddressValues& v) {
        const auto shown = plain.view();
        if (position >= shown.size()) return;
        const std::uint32_t offset = store.item(static_cast<int>(position));
        const AddressRecord old = store.record_at(offset);
        store.set_live_at(offset, false);
        store.append_record(old.id, old.marks, v);
        ASSERT_TRUE(sort_addresses(store).ok());
        store.rebuild_view();

        AddressRecord& was = plain.records[shown[position]];
        ASSERT_EQ(was.id, old.id);
        was.live = false;
        plain.append(old.id, old.marks, v, shown.size());
        plain.sort();
        plain.log_view(plain.view().size());
    }

    // What the Delete button does with the selected records.
    void remove(const std::vector<std::size_t>& positions) {
        const auto shown = plain.view();
        for (std::size_t p : positions) {
            if (p >= shown.size()) continue;
            set_mark(store, static_cast<int>(p), kSelectedBit, true);
            plain.records[shown[p]].marks |= kSelectedMark;
        }
        for (int p = 0; p < store.count(); ++p) {
            if (mark(store, p, kSelectedBit) != 0) store.set_live_at(store.item(p), false);
        }
        for (std::size_t i : shown) {
            if (plain.records[i].marks & kSelectedMark) plain.records[i].live = false;
        }
        if (store.size() == 0) return;
        ASSERT_TRUE(sort_addresses(store).ok());
        plain.sort();
    }

    // An empty book, loaded, in both models.
    void start_empty() {
        store = AddressStore{};
        plain = Plain{};
        write(path("address10.dat"), "");
        ASSERT_TRUE(store.load().ok());
        plain.log_view(0);
        plain.log.push_back("Load Addresses - Address Datasize:  0");
        expect_same("load", 0);
    }

    // Entering the screen again reads the file afresh. Now and then the
    // file is one another program left: out of order, a few records or
    // all of them, with deleted records in it; the next change sorts it.
    void reload(std::mt19937& random) {
        std::vector<AddressRecord> records = plain.written;
        const unsigned how = random() % 4;
        if (how == 1 && records.size() >= 2) {
            const std::size_t at = random() % (records.size() - 1);
            std::swap(records[at], records[at + 1]);
        } else if (how == 2) {
            std::shuffle(records.begin(), records.end(), random);
        }
        if (how != 0 && !records.empty() && random() % 2 == 0) records[random() % records.size()].live = false;
        plain.records = records;
        plain.written = records;
        if (how != 0) write(path("address10.dat"), plain.image());
        ASSERT_TRUE(store.load().ok());
        plain.log_view(plain.view().size());
        plain.log.push_back("Load Addresses - Address Datasize: " + log_number(static_cast<std::int64_t>(plain.image().size())));
        plain.file = plain.image();
    }

    // A book another program wrote, loaded: not in our order, with deleted
    // records and marks in it, and too many records out of place to be put
    // in place one by one.
    void start_from_elsewhere(std::mt19937& random, int count) {
        store = AddressStore{};
        plain = Plain{};
        for (int i = 0; i < count; ++i) {
            const AddressValues v = random() % 2 ? random_values(random) : long_values(random);
            plain.records.push_back(AddressRecord{i + 1, random() % 8 != 0, static_cast<std::uint8_t>(random() % 4), v});
        }
        std::shuffle(plain.records.begin(), plain.records.end(), random);
        plain.written = plain.records;
        plain.file = plain.image();
        write(path("address10.dat"), plain.file);
        ASSERT_TRUE(store.load().ok());
        plain.log_view(plain.view().size());
        plain.log.push_back("Load Addresses - Address Datasize: " + log_number(static_cast<std::int64_t>(plain.file.size())));
        expect_same("load", 0);
    }

    AddressStore store;
    Plain plain;
    std::size_t m_seen = 0;
};

TEST_F(Paths, RandomAddsEditsDeletesAndFindsGiveWhatThePlainRulesGive) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 random(seed);
        start_empty();
        for (int round = 1; round <= 60; ++round) {
            const unsigned what = random() % 10;
            const std::size_t count = plain.view().size();
            // Half the time a form was open first, and the order was found meanwhile.
            if (random() % 2 == 0) store.find_order_ahead();
            if (what < 5 || count == 0) {
                add(random_values(random));
                expect_same("add", round);
            } else if (what < 7) {
                edit(random() % count, random_values(random));
                expect_same("edit", round);
            } else if (what < 8) {
                std::vector<std::size_t> positions;
                for (unsigned n = random() % 3 + 1; n > 0; --n) positions.push_back(random() % count);
                remove(positions);
                expect_same("delete", round);
            } else {
                static const char* const texts[] = {"ann", "LEE", "(2)", "field", "\xE9", "\xC9MILE", "x1", " acme "};
                const int button = static_cast<int>(random() % 4) + kFindNew;
                const std::string text = texts[random() % std::size(texts)];
                ASSERT_TRUE(apply_find(store, text, button));
                plain.find(text, button);
                expect_same("find", round);
            }
            if (random() % 7 == 0) {
                reload(random);
                expect_same("load", round);
            }
        }
    }
}

// The first change to a book from elsewhere sorts all of it: the file and
// the image are what the plain stable sort gives (equal keys in file
// order), and so is every change after.
TEST_F(Paths, ABookFromElsewhereSortsOnItsFirstChangeAsThePlainRulesSay) {
    for (unsigned seed = 31; seed <= 38; ++seed) {
        std::mt19937 random(seed);
        start_from_elsewhere(random, 120 + static_cast<int>(random() % 120));
        for (int round = 1; round <= 6; ++round) {
            const unsigned what = round == 1 ? seed % 3 : random() % 4;
            const std::size_t count = plain.view().size();
            if (seed % 2 == 0 || random() % 2 == 0) store.find_order_ahead();
            if (what == 0) {
                add(random() % 2 ? random_values(random) : long_values(random));
                expect_same("add", round);
            } else if (what == 1) {
                edit(random() % count, long_values(random));
                expect_same("edit", round);
            } else if (what == 2) {
                remove({random() % count, random() % count});
                expect_same("delete", round);
            } else {
                ASSERT_TRUE(apply_find(store, "oost", kFindNew));
                plain.find("oost", kFindNew);
                expect_same("find", round);
            }
        }
    }
}

// When the sorted book cannot be saved the file stays as it was, the user
// is told, and the sorted book with the change stays in memory.
TEST_F(Paths, ABookFromElsewhereThatCannotBeSavedIsSortedInMemoryAndSaysSo) {
    std::mt19937 random(41);
    start_from_elsewhere(random, 200);
    const std::string before = read(path("address10.dat"));
    os.fail_writes("address10.dat", 3000);
    const AddressValues v = long_values(random);
    store.append_record(store.new_record_id(), 0, v);
    plain.append(plain.new_id(), 0, v, plain.view().size());
    EXPECT_FALSE(sort_addresses(store).ok());
    os.clear_faults();
    plain.sort();
    EXPECT_EQ(read(path("address10.dat")), before);
    EXPECT_EQ(store.image(), plain.image());
    ASSERT_EQ(os.message_boxes.size(), 1u);
    EXPECT_EQ(os.message_boxes[0].text.rfind("Unable to save the address file", 0), 0u);
    // The next change saves it all.
    plain.log.clear();
    new_log_lines();
    add(random_values(random));
    expect_same("add", 1);
}

// Single adds look at every name once; a run of appends (an import) goes on
// to learn them and keeps them over later adds, edits and deletes. Both
// ways, and the switch between them, give what the plain rule gives.
TEST_F(Paths, RunsOfAppendsAndSingleAddsNameRecordsAlike) {
    for (unsigned seed = 21; seed <= 26; ++seed) {
        std::mt19937 random(seed);
        start_empty();
        for (int round = 1; round <= 40; ++round) {
            const unsigned what = random() % 6;
            const std::size_t count = plain.view().size();
            if (random() % 3 == 0) store.find_order_ahead();
            if (what < 2 || count == 0) {
                // As an import appends: ids over the view as it is, no marks, one sort at the end.
                for (unsigned n = random() % 12 + 1; n > 0; --n) {
                    const AddressValues v = random_values(random);
                    const std::int32_t id = store.new_record_id();
                    store.append_record(id, 0, v);
                    ASSERT_EQ(id, plain.new_id());
                    plain.append(id, 0, v, plain.view().size());
                }
                ASSERT_TRUE(sort_addresses(store).ok());
                plain.sort();
                expect_same("appends", round);
            } else if (what < 4) {
                add(random_values(random));
                expect_same("add", round);
            } else if (what < 5) {
                edit(random() % count, random_values(random));
                expect_same("edit", round);
            } else {
                remove({random() % count, random() % count});
                expect_same("delete", round);
            }
            if (random() % 9 == 0) {
                reload(random);
                expect_same("load", round);
            }
        }
    }
}

TEST_F(Paths, ManyRecordsWithOneNameTakeTheNextSuffixAndAFreedOneComesBack) {
    AddressValues ann;
    ann[kFieldFirst] = "Ann";
    ann[kFieldLast] = "Lee";
    std::vector<std::uint32_t> offsets;
    for (int i = 0; i < 3000; ++i) {
        const AppendResult added = store.append_record(i + 1, 0, ann);
        ASSERT_EQ(added.first, i == 0 ? "Ann" : "Ann (" + std::to_string(i + 1) + ")");
        offsets.push_back(added.offset);
    }
    // A deleted record frees its name; the smallest free suffix is taken first.
    store.set_live_at(offsets[1499], false);  // Ann (1500)
    store.set_live_at(offsets[6], false);     // Ann (7)
    EXPECT_EQ(store.append_record(4001, 0, ann).first, "Ann (7)");
    EXPECT_EQ(store.append_record(4002, 0, ann).first, "Ann (1500)");
    EXPECT_EQ(store.append_record(4003, 0, ann).first, "Ann (3001)");
    store.set_live_at(offsets[0], false);  // Ann itself
    EXPECT_EQ(store.append_record(4004, 0, ann).first, "Ann");
    // Names that only look like suffixed ones count as what they are.
    AddressValues other;
    other[kFieldFirst] = "(2)";
    other[kFieldLast] = "Moss";
    EXPECT_EQ(store.append_record(5001, 0, other).first, "(2)");
    other[kFieldFirst] = "";
    EXPECT_EQ(store.append_record(5002, 0, other).first, "");
    EXPECT_EQ(store.append_record(5003, 0, other).first, " (3)") << "(2) Moss is taken by the record named (2)";
}

TEST_F(Paths, AnAddPlacesTheRecordWithoutReadingTheFileBack) {
    AddressValues v;
    for (const char* last : {"Stone", "Adams", "Moss"}) {
        v[kFieldLast] = last;
        store.append_record(store.new_record_id(), 0, v);
    }
    ASSERT_TRUE(sort_addresses(store).ok());
    // The file changes behind the program's back; the program keeps what it wrote.
    const std::string written = read(path("address10.dat"));
    write(path("address10.dat"), "");
    v[kFieldLast] = "Brown";
    store.append_record(store.new_record_id(), 0, v);
    ASSERT_TRUE(sort_addresses(store).ok());
    std::vector<std::string> lasts;
    for (int i = 0; i < store.count(); ++i) lasts.push_back(store.record_at(store.item(i)).fields[kFieldLast]);
    EXPECT_EQ(lasts, (std::vector<std::string>{"Adams", "Brown", "Moss", "Stone"}));
    EXPECT_EQ(read(path("address10.dat")), store.image());
    EXPECT_EQ(store.image().size(), written.size() + build_address_record(4, true, 0, v).size());
}

TEST_F(Paths, FindingInPlaceAgreesWithUpperCasingACopy) {
    // Random bytes from a small alphabet of letters in both cases, accented
    // ones and zero bytes, at every length around the sixteen-byte blocks.
    static const char alphabet[] = {'a', 'A', 's', 'S', '\xE9', '\xC9', '\xFF', '\x9F', '\x9A', '\x8A', '\xDF', ' ', '\0', '(', '2'};
    std::mt19937 random(11);
    const auto random_text = [&](std::size_t length) {
        std::string out;
        for (std::size_t i = 0; i < length; ++i) out += alphabet[random() % sizeof alphabet];
        return out;
    };
    for (int round = 0; round < 20000; ++round) {
        const std::string haystack = random_text(random() % 70);
        std::string wanted = to_upper(random_text(random() % 3 + 1));
        if (wanted.find('\0') != std::string::npos) continue;
        const bool expected = to_upper(haystack).find(wanted) != std::string::npos;
        ASSERT_EQ(FoldedText(wanted).in(haystack), expected) << round;
    }
}

}  // namespace
}  // namespace domora
