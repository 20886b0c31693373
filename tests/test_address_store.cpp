#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "addresses/address_records.h"
#include "addresses/address_store.h"
#include "app/files.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "other_program.h"
#include "support.h"

namespace domora {
namespace {

std::string fixture(const std::string& name) {
    std::ifstream in(std::string(DOMORA_TEST_DATA_DIR "/") + name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

AddressValues values(std::initializer_list<std::string> given) {
    AddressValues v;
    std::size_t i = 0;
    for (const std::string& s : given) v[i++] = s;
    return v;
}

class Store : public test::DomoraTest {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        main_window() = MainWindowState{};
        app_paths().address_file = path("address10.dat");
        status_log_set_path(path("status.log"));
    }
    std::vector<std::string> log() { return log_lines(path("status.log")); }
    std::vector<std::string> firsts() {
        std::vector<std::string> out;
        for (int i = 0; i < store.count(); ++i) out.push_back(store.record_at(store.item(i)).fields[kFieldFirst]);
        return out;
    }
    AddressStore store;
};

// ---- reading -----------------------------------------------------------------------------------

TEST_F(Store, LoadShowsLiveRecordsAndLogsTheWholeSize) {
    const std::string file = fixture("address_live_and_deleted.dat");
    write(path("address10.dat"), file);
    ASSERT_TRUE(store.load().ok());
    ASSERT_EQ(store.count(), 1);
    const AddressRecord ann = store.record_at(store.item(0));
    EXPECT_EQ(ann.id, 3);
    EXPECT_TRUE(ann.live);
    EXPECT_EQ(ann.fields[kFieldFirst], "Ann");
    EXPECT_EQ(ann.fields[kFieldLast], "Lee");
    EXPECT_EQ(store.size(), file.size()) << "the deleted record stays in the image";
    const std::vector<std::string> expected = {"Address Mode:  0 - Total Addresses:  1",
                                               "Load Addresses - Address Datasize:  " + std::to_string(file.size())};
    EXPECT_EQ(log(), expected);
}

TEST_F(Store, AMissingOrEmptyFileIsAnEmptyBook) {
    EXPECT_TRUE(store.load().ok());
    EXPECT_EQ(store.count(), 0);
    EXPECT_EQ(log().back(), "Load Addresses - Address Datasize:  0");
    write(path("address10.dat"), "");
    EXPECT_TRUE(store.load().ok());
    EXPECT_EQ(store.count(), 0);
    EXPECT_FALSE(store.read_failed());
}

TEST_F(Store, JunkAndDamagedFramesAreSkippedByteByByte) {
    write(path("address10.dat"), fixture("address_junk_front.dat"));
    ASSERT_TRUE(store.load().ok());
    ASSERT_EQ(store.count(), 1);
    EXPECT_EQ(store.item(0), 0u) << "the ten junk bytes in front are left out of the image";
    EXPECT_EQ(store.size(), fixture("address_junk_front.dat").size() - 10);
    EXPECT_EQ(log().back(), "Load Addresses - Address Datasize:  51") << "the size of the file as read";
    EXPECT_EQ(store.record_at(store.item(0)).fields[kFieldLast], "Lee");

    // A frame of length 0, one below 18 and one running past the end: none
    // stops the walk or is read as a record, and the good ones around them load.
    write(path("address10.dat"), fixture("address_damaged_frames.dat"));
    ASSERT_TRUE(store.load().ok());
    ASSERT_EQ(store.count(), 2);
    EXPECT_EQ(store.id_at(store.item(0)), 5);
    EXPECT_EQ(store.id_at(store.item(1)), 6);
    EXPECT_EQ(store.record_at(store.item(1)).fields[kFieldFirst], "Bob");
    EXPECT_EQ(store.next_frame(store.item(1) + 1), std::string::npos);

    // Only junk, and images too short for a header.
    for (const std::string& junk : {std::string("MSRI"), std::string("\x12\0\0\0MSRI", 8), std::string(300, 'M')}) {
        write(path("address10.dat"), junk);
        ASSERT_TRUE(store.load().ok());
        EXPECT_EQ(store.count(), 0);
    }
}

TEST_F(Store, AnyDamageLeavesOnlyWholeFramesInTheView) {
    // Pieces of good records, stray magic with random lengths, and noise, shuffled together.
    std::mt19937 random(11);
    const std::string good = build_address_record(1, true, 0, values({"Ann", "Lee", "Acme"}));
    for (int round = 0; round < 200; ++round) {
        std::string image;
        const int parts = 1 + static_cast<int>(random() % 12);
        for (int p = 0; p < parts; ++p) {
            switch (random() % 4) {
                case 0: image += good; break;
                case 1: image += good.substr(0, random() % good.size()); break;
                case 2: {
                    const std::uint32_t length = random() % 80;
                    image += std::string(reinterpret_cast<const char*>(&length), 4) + "MSRI";
                    break;
                }
                default: image += std::string(random() % 30, static_cast<char>(random() % 256)); break;
            }
        }
        write(path("address10.dat"), image);
        ASSERT_TRUE(store.load().ok());
        for (int i = 0; i < store.count(); ++i) {
            const std::uint32_t at = store.item(i);
            ASSERT_GE(store.length_at(at), kAddressRecordHeaderSize);
            ASSERT_LE(at + store.length_at(at), store.size());
            ASSERT_EQ(store.image().compare(at + 4, 4, "MSRI"), 0);
            const AddressRecord r = store.record_at(at);
            std::size_t bytes = kAddressRecordHeaderSize;
            for (const std::string& f : r.fields) bytes += f.size();
            ASSERT_LE(bytes, store.length_at(at)) << "fields come from inside the record";
        }
        // Whatever the damage, an append keeps every record that was shown.
        const int shown = store.count();
        store.append_record(store.new_record_id(), 0, values({"Zed", "Last"}));
        ASSERT_EQ(store.count(), shown + 1);
        ASSERT_TRUE(store.write().ok());
        ASSERT_TRUE(store.load().ok());
        ASSERT_EQ(store.count(), shown + 1) << "round " << round;
        ASSERT_EQ(store.record_at(store.item(shown)).fields[kFieldFirst], "Zed");
    }
}

TEST_F(Store, AFrameRunningJustPastTheEndNeverSwallowsLaterRecords) {
    // A frame header whose length runs two bytes past the end, then Ann Lee.
    write(path("address10.dat"), fixture("address_stale_frame.dat"));
    ASSERT_TRUE(store.load().ok());
    ASSERT_EQ(firsts(), (std::vector<std::string>{"Ann"}));
    EXPECT_EQ(store.size(), 41u) << "only Ann's frame is kept";
    EXPECT_EQ(log().front(), "Address Junk Dropped:  18");

    // Adding Bob grows the image past the damaged length; he must still be there after a restart.
    store.append_record(store.new_record_id(), 0, values({"Bob", "Roe"}));
    EXPECT_EQ(firsts(), (std::vector<std::string>{"Ann", "Bob"}));
    ASSERT_TRUE(store.write().ok());
    AddressStore restarted;
    ASSERT_TRUE(restarted.load().ok());
    ASSERT_EQ(restarted.count(), 2);
    const AddressRecord ann = restarted.record_at(restarted.item(0));
    const AddressRecord bob = restarted.record_at(restarted.item(1));
    EXPECT_EQ(ann.id, 1);
    EXPECT_EQ(ann.fields[kFieldFirst], "Ann");
    EXPECT_EQ(bob.id, 2);
    EXPECT_EQ(bob.fields[kFieldFirst], "Bob");
    EXPECT_EQ(bob.fields[kFieldLast], "Roe");
}

TEST_F(Store, FieldsAreReadOnlyWithinTheirRecord) {
    write(path("address10.dat"), fixture("address_short_fields.dat"));
    ASSERT_TRUE(store.load().ok());
    ASSERT_EQ(store.count(), 3);
    const AddressRecord none = store.record_at(store.item(0));
    EXPECT_EQ(none.id, 9);
    EXPECT_TRUE(std::all_of(none.fields.begin(), none.fields.end(), [](const std::string& f) { return f.empty(); }))
        << "a bare header has 17 empty fields, not the next record's";
    const AddressRecord solo = store.record_at(store.item(1));
    EXPECT_EQ(solo.fields[kFieldFirst], "Solo");
    EXPECT_EQ(solo.fields[kFieldLast], "");
    const AddressRecord last = store.record_at(store.item(2));
    EXPECT_EQ(last.fields[kFieldFirst], "Ann");
    EXPECT_EQ(last.fields[kFieldLast], "Lee") << "a value without its zero byte ends with the record";
    EXPECT_EQ(store.field_at(store.item(2), kFieldCompany), "");
}

TEST_F(Store, AFileThatCannotBeReadIsNeverReplaced) {
    ASSERT_EQ(::mkdir(path("address10.dat").c_str(), 0700), 0);  // exists, but reading it fails
    EXPECT_FALSE(store.load().ok());
    EXPECT_TRUE(store.read_failed());
    EXPECT_EQ(store.count(), 0);
    store.append_record(1, 0, values({"Ann", "Lee"}));
    EXPECT_FALSE(store.write().ok());
    struct stat st {};
    ASSERT_EQ(::stat(path("address10.dat").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

// ---- the view and its modes ------------------------------------------------------------------------

TEST_F(Store, SearchModeShowsOnlyMarkedRecords) {
    write(path("address10.dat"), build_address_record(1, true, kSearchMark, values({"Ann"})) +
                                     build_address_record(2, true, 0, values({"Bob"})) +
                                     build_address_record(3, false, kSearchMark, values({"Cy"})) +
                                     build_address_record(4, true, kSearchMark | kSelectedMark, values({"Di"})));
    ASSERT_TRUE(store.load().ok());
    EXPECT_EQ(store.count(), 3);
    store.set_current(2);
    store.set_mode_value(kModeSearch);
    store.rebuild_view();
    EXPECT_EQ(firsts(), (std::vector<std::string>{"Ann", "Di"}));
    EXPECT_EQ(store.current(), 2) << "a rebuild leaves the position alone";
    EXPECT_EQ(log().back(), "Address Mode:  1 - Total Addresses:  2");
    EXPECT_EQ(store.new_record_id(), 5) << "ids come from the view";
}

TEST_F(Store, RecordsAreFoundByIdInAnyOrderAndAnAddPastTheLargestIdTakesTheSmallestFreeOne) {
    write(path("address10.dat"), build_address_record(5, true, 0, values({"Eve"})) + build_address_record(2, true, 0, values({"Bob"})) +
                                     build_address_record(INT32_MAX, true, 0, values({"Max"})) +
                                     build_address_record(3, false, 0, values({"Cy"})) + build_address_record(2, true, 0, values({"Bea"})));
    ASSERT_TRUE(store.load().ok());
    AddressRecordIndex index(store);
    const auto first_of = [&](std::int32_t id) { return index.find(id) ? index.find(id)->fields[kFieldFirst] : std::string("none"); };
    EXPECT_EQ(first_of(5), "Eve");
    EXPECT_EQ(first_of(2), "Bea") << "of two live records with one id, the later stands for it";
    EXPECT_EQ(first_of(3), "none") << "a deleted record is not found";
    EXPECT_EQ(first_of(INT32_MAX), "Max");
    AddressValues stored;
    EXPECT_TRUE(index.edit(5, values({"Eva"}), stored));
    EXPECT_EQ(first_of(5), "Eva");
    EXPECT_TRUE(index.remove(2));
    EXPECT_FALSE(index.remove(2));
    EXPECT_FALSE(index.edit(2, values({"Bo"}), stored));
    // No id above the largest: 1, then the removed 2, then 3 (no live record has it), then 4.
    for (const std::int32_t want : {1, 2, 3, 4}) EXPECT_EQ(index.add(values({"N" + std::to_string(want)}), stored), want);
    for (const std::int32_t id : {1, 2, 3, 4}) EXPECT_EQ(first_of(id), "N" + std::to_string(id));
    EXPECT_EQ(first_of(5), "Eva");
    EXPECT_TRUE(index.changed());
}

// ---- appending -----------------------------------------------------------------------------------------

TEST_F(Store, AppendWritesTheRecordLayoutAndLogsIt) {
    ASSERT_TRUE(store.load().ok());
    const AppendResult added = store.append_record(12, kSelectedMark, values({"Ann", "Lee", "", "1 Main St"}));
    EXPECT_EQ(added.offset, 0u);
    EXPECT_EQ(added.first, "Ann");
    std::string expected("\x32\0\0\0MSRI\x0c\0\0\0\x01\x01\0\0\0\0", 18);
    expected += std::string("Ann\0Lee\0\0" "1 Main St\0", 19) + std::string(13, '\0');
    EXPECT_EQ(store.image(), expected);
    EXPECT_EQ(store.count(), 1);
    EXPECT_EQ(log().back(), "Address Mode:  0 - Total Addresses:  1");
    EXPECT_EQ(log()[log().size() - 2], "Save Address Record:  12 - Old:  0 - New:  50");
    EXPECT_FALSE(file_exists(path("address10.dat"))) << "appending does not write the file";
}

TEST_F(Store, NamesAreMadeUnique) {
    ASSERT_TRUE(store.load().ok());
    EXPECT_EQ(store.append_record(1, 0, values({"Ann", "Lee"})).first, "Ann");
    EXPECT_EQ(store.append_record(2, 0, values({"Ann", "Lee"})).first, "Ann (2)");
    EXPECT_EQ(store.append_record(3, 0, values({"Ann", "Lee"})).first, "Ann (3)");
    EXPECT_EQ(store.append_record(4, 0, values({"ann", "LEE"})).first, "ann (4)") << "letter case is ignored";
    EXPECT_EQ(store.append_record(5, 0, values({"Ann ", "Lee"})).first, "Ann ") << "a blank inside the key counts";
    EXPECT_EQ(store.append_record(6, 0, values({"  Ann", "Lee  "})).first, "  Ann (5)") << "outer blanks do not";
    EXPECT_EQ(store.append_record(7, 0, values({"Ann", "Lee", "Acme"})).first, "Ann");
    EXPECT_EQ(store.append_record(8, 0, values({"", "", "Acme"})).first, "");
    EXPECT_EQ(store.append_record(9, 0, values({"", "", "ACME"})).first, " (2)");
    EXPECT_EQ(store.record_at(store.item(1)).fields[kFieldFirst], "Ann (2)") << "the stored value";

    // A deleted record no longer holds its name; an edit never meets itself.
    store.set_live_at(store.item(0), false);
    EXPECT_EQ(store.append_record(1, 0, values({"Ann", "Lee"})).first, "Ann");
    // Names loaded from the file count as well.
    ASSERT_TRUE(store.write().ok());
    AddressStore again;
    ASSERT_TRUE(again.load().ok());
    EXPECT_EQ(again.append_record(20, 0, values({"Ann", "Lee"})).first, "Ann (6)");
}

TEST_F(Store, ValuesThatWouldOverflowTheBuilderAreCut) {
    ASSERT_TRUE(store.load().ok());
    const AppendResult fits = store.append_record(1, 0, values({"Ann", "Lee", "", "", "", "", "", "", "", "", "", "", "", "",
                                                                std::string(4061 - 6, 'x')}));
    EXPECT_FALSE(fits.cut) << "exactly 4096 bytes still fit";
    EXPECT_EQ(store.length_at(store.item(0)), 4096u);

    AddressValues big = values({"Bob", "Stone", "Acme"});
    big[kFieldMisc1] = std::string(5000, 'x');
    big[kFieldMisc2] = std::string(3000, 'y');
    big[kFieldMisc3] = std::string(50, 'z');
    const AppendResult cut = store.append_record(2, 0, big);
    EXPECT_TRUE(cut.cut);
    const AddressRecord stored = store.record_at(cut.offset);
    EXPECT_LE(store.length_at(cut.offset), 4096u);
    EXPECT_EQ(stored.fields[kFieldLast], "Stone") << "short values stay whole";
    EXPECT_EQ(stored.fields[kFieldMisc3], std::string(50, 'z'));
    EXPECT_EQ(stored.fields[kFieldMisc1].size(), stored.fields[kFieldMisc2].size()) << "the longest are cut evenly";
    EXPECT_EQ(stored.fields[kFieldMisc1].find_first_not_of('x'), std::string::npos);
    const std::vector<std::string> lines = log();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Address Record Cut To Fit:  2"), lines.end());

    // The same oversized record again needs a suffix, and still fits.
    const AppendResult second = store.append_record(3, 0, big);
    EXPECT_EQ(second.first, "Bob (2)");
    EXPECT_LE(store.length_at(second.offset), 4096u);
    EXPECT_EQ(store.next_frame(second.offset + store.length_at(second.offset)), std::string::npos);

    // A zero byte would shift every later field: the value ends there.
    const AppendResult zero = store.append_record(4, 0, values({"Cy", std::string("Lo\0ng", 5), "Co"}));
    EXPECT_EQ(store.record_at(zero.offset).fields[kFieldLast], "Lo");
    EXPECT_EQ(store.record_at(zero.offset).fields[kFieldCompany], "Co");
}

TEST_F(Store, NewIdsFollowTheLargestAndFillGapsOnOverflow) {
    ASSERT_TRUE(store.load().ok());
    EXPECT_EQ(store.new_record_id(), 1);
    store.append_record(3, 0, values({"A"}));
    store.append_record(7, 0, values({"B"}));
    EXPECT_EQ(store.new_record_id(), 8);
    store.append_record(INT_MAX, 0, values({"C"}));
    store.append_record(1, 0, values({"D"}));
    EXPECT_EQ(store.new_record_id(), 2);
    store.append_record(2, 0, values({"E"}));
    EXPECT_EQ(store.new_record_id(), 4);
}

// ---- writing ---------------------------------------------------------------------------------------------

TEST_F(Store, WriteSavesTheImageOwnerOnlyAndAFailureKeepsTheOldFile) {
    ASSERT_TRUE(store.load().ok());
    store.append_record(1, 0, values({"Ann", "Lee"}));
    ASSERT_TRUE(store.write().ok());
    EXPECT_EQ(read(path("address10.dat")), store.image());
    EXPECT_EQ(mode_of(path("address10.dat")), 0600u);

    store.append_record(2, 0, values({"Bob", "Stone"}));
    const std::string before = read(path("address10.dat"));
    os.fail_writes("address10", 10);
    EXPECT_FALSE(store.write().ok());
    EXPECT_EQ(read(path("address10.dat")), before);
}

// ---- another program's writes ------------------------------------------------------------------------

class OtherProgram : public Store {
protected:
    void SetUp() override {
        Store::SetUp();
        set_message_handler(nullptr);  // messages land in os.message_boxes
        os.now = UtcTime{2026, 12, 9, 10, 20, 30};
        write(path("address10.dat"), fixture("address_two_people.dat"));  // Ann Baker (1), Ben Cole (2)
        ASSERT_TRUE(store.load().ok());
    }
    std::uint32_t offset_of(std::int32_t id) {
        for (int i = 0; i < store.count(); ++i) {
            if (store.id_at(store.item(i)) == id) return store.item(i);
        }
        ADD_FAILURE() << "no record " << id;
        return 0;
    }
    void edit(std::int32_t id, const AddressValues& v) {
        const std::uint32_t offset = offset_of(id);
        const std::uint8_t marks = store.marks_at(offset);
        store.set_live_at(offset, false);
        store.append_record(id, marks, v);
    }
    // "Last/First/Company id" of the file's live records, in file order.
    std::vector<std::string> file_people() {
        AddressStore reader;
        EXPECT_TRUE(reader.load().ok());
        std::vector<std::string> out;
        for (int i = 0; i < reader.count(); ++i) {
            const AddressRecord r = reader.record_at(reader.item(i));
            out.push_back(r.fields[kFieldLast] + "/" + r.fields[kFieldFirst] + "/" + r.fields[kFieldCompany] + " " +
                          std::to_string(r.id));
        }
        return out;
    }
    std::vector<std::string> told() const { return test::messages_told(os); }
    std::string copy_name() const { return path("address10 2026-12-09 10-20-30.dat"); }
};

TEST_F(OtherProgram, AnAddGoesIntoTheNewFileUnderAFreeIdWhenTheFileGaveItsIdAway) {
    const std::int32_t id = store.new_record_id();
    ASSERT_EQ(id, 3);
    store.append_record(id, 0, values({"Dan", "Eve"}));
    test::replace_file(path("address10.dat"), fixture("address_other_added.dat"));  // Cara Diaz took id 3
    ASSERT_TRUE(store.write().ok());
    EXPECT_EQ(file_people(), (std::vector<std::string>{"Baker/Ann/ 1", "Cole/Ben/ 2", "Diaz/Cara/ 3", "Eve/Dan/ 4"}));
    EXPECT_EQ(store.renumbered(3), 4);
    EXPECT_EQ(firsts(), (std::vector<std::string>{"Ann", "Ben", "Cara", "Dan"}));
    EXPECT_TRUE(told().empty());
    const std::vector<std::string> lines = log();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Address File Changed By Another Program: " + path("address10.dat")),
              lines.end());
}

TEST_F(OtherProgram, AnEditReplacesTheRecordWithItsIdInTheNewFile) {
    edit(2, values({"Ben", "Cole", "Acme"}));
    test::replace_file(path("address10.dat"), fixture("address_other_added.dat"));
    ASSERT_TRUE(store.write().ok());
    EXPECT_EQ(file_people(), (std::vector<std::string>{"Baker/Ann/ 1", "Diaz/Cara/ 3", "Cole/Ben/Acme 2"}));
    EXPECT_TRUE(told().empty()) << "the other program left Ben as he was";
}

TEST_F(OtherProgram, ADeleteRemovesTheRecordWithItsIdAndNothingWhenItIsGoneAlready) {
    store.set_live_at(offset_of(1), false);
    store.set_live_at(offset_of(2), false);
    test::replace_file(path("address10.dat"), fixture("address_other_removed.dat"));  // Ben is gone there too
    ASSERT_TRUE(store.write().ok());
    EXPECT_EQ(file_people(), (std::vector<std::string>{"Diaz/Cara/ 3"}));
    EXPECT_TRUE(told().empty());
    EXPECT_FALSE(file_exists(copy_name()));
}

TEST_F(OtherProgram, AnEditOfARecordTheOtherProgramRemovedIsKeptInADatedCopy) {
    edit(2, values({"Ben", "Cole", "Acme"}));
    const std::string ours = store.image();
    test::replace_file(path("address10.dat"), fixture("address_other_removed.dat"));
    ASSERT_TRUE(store.write().ok());
    EXPECT_EQ(file_people(), (std::vector<std::string>{"Baker/Ann/ 1", "Diaz/Cara/ 3"}))
        << "the newer book is never written over with the older one";
    EXPECT_EQ(told(), (std::vector<std::string>{"Another program changed the file|" + path("address10.dat") +
                                                    "|Your changes that could not be carried over are kept in|" +
                                                    copy_name()}));
    EXPECT_EQ(read(copy_name()), ours);
    EXPECT_EQ(mode_of(copy_name()), 0600u);
}

TEST_F(OtherProgram, TheOtherProgramsVersionOfARecordBothChangedIsKeptInADatedCopy) {
    // The other program renamed both; the user edited Ben and deleted Ann.
    const std::string theirs = build_address_record(1, true, 0, values({"Ann", "Baker-Lee"})) +
                               build_address_record(2, true, 0, values({"Ben", "Coleman"}));
    edit(2, values({"Ben", "Cole", "Acme"}));
    store.set_live_at(offset_of(1), false);
    test::replace_file(path("address10.dat"), theirs);
    ASSERT_TRUE(store.write().ok());
    EXPECT_EQ(file_people(), (std::vector<std::string>{"Cole/Ben/Acme 2"})) << "the user's change wins by id";
    EXPECT_EQ(told(), (std::vector<std::string>{"Another program changed the file|" + path("address10.dat") +
                                                    "|Its version of records you changed too is kept in|" + copy_name()}));
    EXPECT_EQ(read(copy_name()), theirs);
    EXPECT_EQ(mode_of(copy_name()), 0600u);
}

TEST_F(OtherProgram, AFileMadeUnreadableKeepsTheBookUntilItReadsAgain) {
    edit(2, values({"Ben", "Cole", "Acme"}));
    const std::string ours = store.image();
    ASSERT_EQ(::unlink(path("address10.dat").c_str()), 0);
    ASSERT_EQ(::mkdir(path("address10.dat").c_str(), 0700), 0);
    EXPECT_FALSE(store.write().ok());
    struct stat st {};
    ASSERT_EQ(::stat(path("address10.dat").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(store.image(), ours) << "the book goes on as the user left it";
    EXPECT_EQ(read(copy_name()), ours);
    ASSERT_EQ(told().size(), 1u);
    EXPECT_FALSE(store.write().ok());
    EXPECT_EQ(told().size(), 1u) << "kept once, not at every save";

    ASSERT_EQ(::rmdir(path("address10.dat").c_str()), 0);
    write(path("address10.dat"), fixture("address_other_added.dat"));
    ASSERT_TRUE(store.write().ok());
    EXPECT_EQ(file_people(), (std::vector<std::string>{"Baker/Ann/ 1", "Diaz/Cara/ 3", "Cole/Ben/Acme 2"}));
}

TEST_F(OtherProgram, NoFileASaveLeavesBesideTheBookIsReadableByOthers) {
    ::chmod(path("address10.dat").c_str(), 0644);
    store.append_record(3, 0, values({"Dan", "Eve"}));
    ASSERT_TRUE(store.write().ok());
    int others = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir())) {
        const std::string name = entry.path().filename().string();
        if (name == "status.log") continue;
        EXPECT_EQ(mode_of(entry.path().string()), 0600u) << name;
        if (name != "address10.dat") ++others;
    }
    EXPECT_EQ(others, 1) << "the version the save replaced is kept under a temporary name";
}

}  // namespace
}  // namespace domora
