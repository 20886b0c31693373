// The password file: its plaintext image, the key made from the master
// password, the fall-back to the default password, records and junk, and
// the sizes and modes of what is written.
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <string>
#include <vector>

#include "app/files.h"
#include "app/messages.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "passwords/aes/aes.h"
#include "passwords/password_record.h"
#include "passwords/password_store.h"
#include "other_program.h"
#include "support.h"

namespace domora {
namespace {

using Bytes = std::string;

std::string data_file(const std::string& name) {
    return std::string(DOMORA_TEST_DATA_DIR "/") + name;
}

Bytes u32(std::uint32_t v) {
    Bytes out(4, '\0');
    for (int i = 0; i < 4; ++i) out[static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
    return out;
}

Bytes record(std::int32_t id, int format, const std::vector<std::string>& fields, int kept = 0) {
    Bytes body;
    for (const std::string& f : fields) body += f + '\0';
    return u32(static_cast<std::uint32_t>(14 + body.size())) + "MSRI" + u32(static_cast<std::uint32_t>(id)) +
           static_cast<char>(format) + static_cast<char>(kept) + body;
}

std::vector<std::string> lines(const std::string& title, std::vector<std::string> rest) {
    rest.insert(rest.begin(), title);
    rest.resize(16);
    return rest;
}

Bytes header(const std::string& master) {
    Bytes h(1, static_cast<char>(master.size()));
    h += master;
    h.resize(256, '\0');
    return h;
}

Bytes padded(Bytes image) {
    image.resize((image.size() + 15) / 16 * 16, '\0');
    return image;
}

Bytes cipher(Bytes image, const std::string& password, bool encrypt) {
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

class PasswordStoreTest : public test::DomoraTest {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        app_paths().password_file = path("password10.dat");
        status_log_set_path(path("status.log"));
        reset_password_store();
    }
    void TearDown() override {
        reset_password_store();
        DomoraTest::TearDown();
    }
    void store_file(const Bytes& plain, const std::string& password) {
        write(app_paths().password_file, cipher(padded(plain), password, true));
    }
    Bytes file_plaintext(const std::string& password) { return cipher(read(app_paths().password_file), password, false); }
    std::vector<std::string> log() { return log_lines(path("status.log")); }
    static std::vector<std::string> titles() {
        std::vector<std::string> out;
        for (int row = 0; row < view_count(); ++row) out.push_back(read_entry(view_record(row)).title);
        return out;
    }
    static bool log_mentions(const std::vector<std::string>& lines_, const std::string& secret) {
        for (const std::string& line : lines_) {
            if (line.find(secret) != std::string::npos) return true;
        }
        return false;
    }
};

// ---- reading ------------------------------------------------------------------------------------

TEST_F(PasswordStoreTest, AFileWrittenElsewhereOpensWithItsRecordsInBothFormats) {
    // Made with the openssl command line, not with this program's cipher.
    write(app_paths().password_file, read(data_file("password_sesame.dat")));
    set_master_password("open sesame");
    LoadPasswords();
    ASSERT_TRUE(IsUnlocked());
    EXPECT_EQ(log().at(0), "Decrypted with Users Password");
    EXPECT_EQ(log().at(1), "Password Buffer Size:  480");
    ASSERT_EQ(view_count(), 2) << "the deleted record and the junk are not shown";

    const PasswordEntry old = read_entry(view_record(0));
    EXPECT_EQ(old.id, 7);
    EXPECT_EQ(old.title, "Old Bank");
    ASSERT_EQ(old.lines.size(), 4u) << "empty values are left out";
    EXPECT_EQ(old.lines[0].name, "User Name:");
    EXPECT_EQ(old.lines[0].value, "jsmith");
    EXPECT_EQ(old.lines[1].name, "Password:");
    EXPECT_EQ(old.lines[2].name, "URL:");
    EXPECT_EQ(old.lines[2].value, "www.oldbank.example");
    EXPECT_EQ(old.lines[3].name, "Note 1:");

    const PasswordEntry mail = read_entry(view_record(1));
    EXPECT_EQ(mail.title, "Mail");
    ASSERT_EQ(mail.lines.size(), 3u);
    EXPECT_EQ(mail.lines[0].name, "Login:");
    EXPECT_EQ(mail.lines[0].value, "jo@mail.example");
    EXPECT_EQ(mail.lines[1].name, "Server:");
    EXPECT_EQ(mail.lines[1].value, "imap.mail.example") << "split at the first colon, both sides trimmed";
    EXPECT_EQ(mail.lines[2].name, "");
    EXPECT_EQ(mail.lines[2].value, "no colon here");
    EXPECT_EQ(NewPasswordId(), 10) << "deleted records do not count";
}

TEST_F(PasswordStoreTest, DamagedFramesAreSkippedLikeJunkWithoutReadingPastTheImage) {
    Bytes image = header("pw");
    image += u32(0) + "MSRI" + u32(1) + '\x02' + '\0';        // length 0: would never move on
    image += u32(13) + "MSRI" + u32(2) + '\x02' + '\0';       // shorter than a header
    const Bytes kept = record(3, 2, lines("Kept", {"a: b"}));
    const Bytes also_kept = record(5, 2, lines("Also kept", {}));
    image += kept;
    image += u32(100000) + "MSRI" + u32(4) + '\x02' + '\0';   // runs past the image
    image += also_kept;
    image += Bytes("\x20\0\0\0MSR", 7);                       // a frame cut off by the end
    store_file(image, "pw");
    set_master_password("pw");
    LoadPasswords();
    ASSERT_TRUE(IsUnlocked());
    EXPECT_EQ(titles(), (std::vector<std::string>{"Kept", "Also kept"}));
    EXPECT_EQ(password_store().used_length, 256 + kept.size() + also_kept.size())
        << "the junk is left out as the file is opened, the whole records packed behind the header";
    EXPECT_EQ(password_store().view, (std::vector<std::uint32_t>{256, static_cast<std::uint32_t>(256 + kept.size())}));

    // A record that ends exactly where the image ends is whole.
    const Bytes tight = header("pw") + record(6, 2, lines("Ex", {}));
    ASSERT_EQ(tight.size(), 288u);
    store_file(tight, "pw");
    LoadPasswords();
    EXPECT_EQ(titles(), (std::vector<std::string>{"Ex"}));
}

TEST_F(PasswordStoreTest, ShortMissingAndUnreadableFilesAreToldApart) {
    LoadPasswords();
    EXPECT_TRUE(IsFirstUse()) << "no file";
    EXPECT_FALSE(IsUnlocked());
    EXPECT_EQ(password_store().image.size(), 0u);

    write(app_paths().password_file, "");
    LoadPasswords();
    EXPECT_TRUE(IsFirstUse()) << "an empty file holds no record";

    std::filesystem::remove(app_paths().password_file);
    std::filesystem::create_directory(app_paths().password_file);
    LoadPasswords();
    EXPECT_FALSE(IsFirstUse()) << "a file that cannot be read must not be written over as new";
    EXPECT_FALSE(password_store().read_error.empty());
}

TEST_F(PasswordStoreTest, AFrameRunningJustPastTheEndNeverSwallowsLaterRecords) {
    // Behind the header: a frame whose length runs two bytes past the end, then "Ann Bank".
    write(app_paths().password_file, read(data_file("password_stale_frame.dat")));
    set_master_password("stale frame");
    LoadPasswords();
    ASSERT_TRUE(IsUnlocked());
    ASSERT_EQ(titles(), (std::vector<std::string>{"Ann Bank"}));

    // Bob's record grows the image past the damaged length.
    AppendPassword(NewPasswordId(), lines("Bob Mail", {"User: bob"}));
    ParsePasswords();
    EXPECT_EQ(titles(), (std::vector<std::string>{"Ann Bank", "Bob Mail"}));
    ASSERT_TRUE(SavePasswords());
    LoadPasswords();
    ASSERT_TRUE(IsUnlocked());
    EXPECT_EQ(titles(), (std::vector<std::string>{"Ann Bank", "Bob Mail"}));
    EXPECT_EQ(record_id(view_record(0)), 1);
    EXPECT_EQ(record_id(view_record(1)), 2);
}

TEST_F(PasswordStoreTest, AFileCutShortOrNotWholeBlocksIsDamagedAndNeverWrittenOver) {
    for (const char* name : {"password_cut_short.dat", "password_ragged.dat"}) {
        SCOPED_TRACE(name);
        const Bytes damaged = read(data_file(name));
        write(app_paths().password_file, damaged);
        set_master_password("open sesame");
        LoadPasswords();
        EXPECT_EQ(password_store().damaged_size, damaged.size());
        EXPECT_FALSE(IsUnlocked());
        EXPECT_FALSE(IsFirstUse()) << "never offered as a first use";
        set_master_password("new master");
        EXPECT_FALSE(SavePasswords());
        EXPECT_EQ(read(app_paths().password_file), damaged) << "left untouched";
        EXPECT_EQ(log().at(0), "Password File Damaged:  " + std::to_string(damaged.size()));
        std::filesystem::remove(path("status.log"));
    }
}

// The VmFlags of the mapping that holds address, from /proc/self/smaps.
std::string mapping_flags(const void* address) {
    std::ifstream smaps("/proc/self/smaps");
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        unsigned long long from = 0, to = 0;
        if (std::sscanf(line.c_str(), "%llx-%llx ", &from, &to) == 2) {
            inside = at >= from && at < to;
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            return line;
        }
    }
    return {};
}

TEST_F(PasswordStoreTest, TheImageAndTheMasterPasswordStayOutOfCoreDumpsAndSwap) {
    store_file(header("pw") + record(1, 2, lines("Bank", {"PIN: 1234"})), "pw");
    set_master_password("pw");
    LoadPasswords();
    ASSERT_TRUE(IsUnlocked());
    const std::string image_flags = mapping_flags(password_store().image.data());
    const std::string master_flags = mapping_flags(master_password().data());
    EXPECT_NE(image_flags.find(" dd"), std::string::npos) << image_flags;
    EXPECT_NE(master_flags.find(" dd"), std::string::npos) << master_flags;
#if defined(__SANITIZE_ADDRESS__)
    const bool can_lock = false;  // AddressSanitizer makes mlock do nothing
#else
    const bool can_lock = true;
#endif
    rlimit limit{};
    if (can_lock && ::getrlimit(RLIMIT_MEMLOCK, &limit) == 0 &&
        (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= (1u << 20))) {
        EXPECT_NE(image_flags.find(" lo"), std::string::npos) << "locked where the limit allows: " << image_flags;
        EXPECT_NE(master_flags.find(" lo"), std::string::npos) << master_flags;
    }
}

// ---- the master password --------------------------------------------------------------------------

TEST_F(PasswordStoreTest, TheKeyIsThePasswordPaddedWithBlanksOrCutToThirtyTwoBytes) {
    const auto short_key = master_key("abc");
    EXPECT_EQ(std::string(short_key.begin(), short_key.end()), "abc" + std::string(29, ' '));
    const std::string exact(32, 'k');
    const auto exact_key = master_key(exact);
    EXPECT_EQ(std::string(exact_key.begin(), exact_key.end()), exact);
    const auto long_key = master_key(exact + "tail");
    EXPECT_EQ(std::string(long_key.begin(), long_key.end()), exact);

    // The file is the plaintext under exactly that key.
    set_master_password("abc");
    LoadPasswords();
    ASSERT_TRUE(SavePasswords());
    EXPECT_EQ(cipher(read(app_paths().password_file), "abc", false), header("abc"));
}

TEST_F(PasswordStoreTest, AMasterPasswordNeverSetIsAnEmptyKeyAndOpensNothing) {
    // Before anything is typed the master password has no memory behind it at
    // all; the sanitizer build aborted when that view was copied into a key.
    const SecretText never_set;
    ASSERT_EQ(never_set.view().data(), nullptr);
    const auto key = master_key(never_set.view());
    EXPECT_EQ(std::string(key.begin(), key.end()), std::string(32, ' '));
    store_file(header("Quoll") + record(1, 2, lines("Bank", {})), "Quoll");
    EXPECT_TRUE(open_standard_file(app_paths().password_file, never_set.view()).empty());

    SecretText copy;
    copy.assign(never_set.view());
    EXPECT_EQ(copy.view(), "");
    set_master_password(never_set.view());
    EXPECT_EQ(master_password(), "");
}

TEST_F(PasswordStoreTest, AWrongPasswordFallsBackToTheDefaultOneWithoutLoggingEither) {
    store_file(header("Quoll") + record(1, 2, lines("Bank", {})), "Quoll");
    set_master_password("wrong guess");
    LoadPasswords();
    EXPECT_TRUE(IsUnlocked());
    EXPECT_EQ(master_password(), "Quoll");
    std::vector<std::string> lines_ = log();
    EXPECT_EQ(lines_.at(0), "User Password Failed: ");
    EXPECT_EQ(lines_.at(1), "Decrypted with Quoll Password");

    std::filesystem::remove(path("status.log"));
    store_file(header("right one") + record(1, 2, lines("Bank", {})), "right one");
    set_master_password("wrong guess");
    LoadPasswords();
    EXPECT_FALSE(IsUnlocked());
    EXPECT_EQ(master_password(), "");
    lines_ = log();
    ASSERT_GE(lines_.size(), 3u);
    EXPECT_EQ(lines_[0], "User Password Failed: ");
    EXPECT_EQ(lines_[1], "Quoll Password Failed: ");
    EXPECT_EQ(lines_[2], "Decryption Failed: ");
    EXPECT_FALSE(log_mentions(lines_, "wrong guess"));
    EXPECT_FALSE(log_mentions(lines_, "Quoll Password Failed: Quoll"));
    EXPECT_EQ(password_store().used_length, 256u) << "not first use: the file is there, just locked";
}

TEST_F(PasswordStoreTest, AnEmptyMasterPasswordNeverUnlocksNorSaves) {
    // Whatever key opens it, an image whose length byte is 0 must not pass for "no password".
    store_file(header("") + record(1, 2, lines("Bank", {})), "");
    LoadPasswords();
    EXPECT_FALSE(IsUnlocked());
    const Bytes before = read(app_paths().password_file);
    EXPECT_FALSE(SavePasswords());
    EXPECT_EQ(read(app_paths().password_file), before);
}

// ---- writing ----------------------------------------------------------------------------------------

TEST_F(PasswordStoreTest, StoredSizesRoundUpToWholeBlocks) {
    set_master_password("pw");
    LoadPasswords();
    ASSERT_TRUE(SavePasswords());
    EXPECT_EQ(read(app_paths().password_file).size(), 256u) << "an empty store is one header of 16 blocks";
    EXPECT_EQ(mode_of(app_paths().password_file), 0600u);
    LoadPasswords();
    EXPECT_TRUE(IsUnlocked());
    EXPECT_FALSE(IsFirstUse());

    password_store().used_length = 257;
    password_store().image.resize(257, 0);
    ASSERT_TRUE(SavePasswords());
    EXPECT_EQ(read(app_paths().password_file).size(), 272u);
    LoadPasswords();
    password_store().used_length = 256;
    ASSERT_TRUE(SavePasswords());
    EXPECT_EQ(read(app_paths().password_file).size(), 256u);
}

TEST_F(PasswordStoreTest, AppendedRecordsAreBuiltAsTheFormatSays) {
    set_master_password("pw");
    LoadPasswords();
    ASSERT_TRUE(SavePasswords());
    LoadPasswords();
    std::vector<std::string> fields(16, std::string(250, 'v'));
    fields[0] = std::string(300, 'T');          // longer than a form allows
    fields[1] = std::string("cut\0here", 8);    // a zero byte would end the field early
    AppendPassword(NewPasswordId(), fields, 9);
    ASSERT_TRUE(SavePasswords());
    LoadPasswords();
    ASSERT_EQ(view_count(), 1);
    const RecordBytes r = view_record(0);
    EXPECT_EQ(r.size(), 14u + 251u + 4u + 14u * 251u);
    EXPECT_EQ(record_id(r), 1);
    EXPECT_EQ(record_format(r), 2);
    EXPECT_EQ(r[13], 9);
    const std::vector<std::string> stored = record_fields(r);
    ASSERT_EQ(stored.size(), 16u);
    EXPECT_EQ(stored[0], std::string(250, 'T'));
    EXPECT_EQ(stored[1], "cut");

    std::fill(fields.begin(), fields.end(), std::string(250, 'w'));
    AppendPassword(2, fields);
    EXPECT_EQ(view_count(), 1) << "the view is rebuilt by a parse";
    ParsePasswords();
    ASSERT_EQ(view_count(), 2);
    EXPECT_EQ(view_record(1).size(), 4030u) << "the largest record a form can make";
}

TEST_F(PasswordStoreTest, IdsFollowTheLargestAndReuseTheSmallestFreeOneAfterOverflow) {
    store_file(header("pw") + record(4, 2, lines("a", {})) + record(11, 2, lines("b", {})), "pw");
    set_master_password("pw");
    LoadPasswords();
    EXPECT_EQ(NewPasswordId(), 12);
    store_file(header("pw") + record(INT32_MAX, 2, lines("a", {})) + record(1, 2, lines("b", {})) +
                   record(2, 2, lines("c", {})),
               "pw");
    LoadPasswords();
    EXPECT_EQ(NewPasswordId(), 3);
    store_file(header("pw"), "pw");
    LoadPasswords();
    EXPECT_EQ(NewPasswordId(), 1);
}

TEST_F(PasswordStoreTest, CompactingDropsDeletedRecordsAndLeavesZeroPadding) {
    const Bytes bank = record(1, 2, lines("Bank", {"pin: 1234"}));
    const Bytes mail = record(2, 2, lines("Mail", {"secret: abcdefghijkl"}));
    store_file(header("pw") + bank + "junk" + mail, "pw");
    set_master_password("pw");
    LoadPasswords();
    MarkPasswordDeleted(password_store().view[1]);
    ASSERT_TRUE(CompactPasswords());
    EXPECT_EQ(titles(), (std::vector<std::string>{"Bank"}));
    const Bytes plain = file_plaintext("pw");
    EXPECT_EQ(plain, padded(header("pw") + bank)) << "no trace of the deleted record in the padding";

    MarkPasswordDeleted(password_store().view[0]);
    ASSERT_TRUE(CompactPasswords());
    EXPECT_EQ(view_count(), 0);
    EXPECT_EQ(read(app_paths().password_file).size(), 256u);
    reset_password_store();
    set_master_password("pw");
    LoadPasswords();
    EXPECT_TRUE(IsUnlocked()) << "the empty file still opens with the same password";
}

TEST_F(PasswordStoreTest, AFailedWriteKeepsTheOldFileAndIsReported) {
    store_file(header("pw") + record(1, 2, lines("Bank", {})), "pw");
    const Bytes before = read(app_paths().password_file);
    set_master_password("pw");
    LoadPasswords();
    AppendPassword(2, lines("Mail", {}));
    os.fail_writes("password10", 100);
    const Result<void> saved = CompactPasswords();
    EXPECT_FALSE(saved);
    EXPECT_EQ(read(app_paths().password_file), before);
    EXPECT_TRUE(IsUnlocked()) << "loaded again from the old file";
    EXPECT_EQ(titles(), (std::vector<std::string>{"Bank"}));
    EXPECT_FALSE(CompactPasswords()) << "a locked store is never written";
}

// ---- another program's writes ------------------------------------------------------------------------------

class OtherProgram : public PasswordStoreTest {
protected:
    void SetUp() override {
        PasswordStoreTest::SetUp();
        set_message_handler(nullptr);  // messages land in os.message_boxes
        os.now = UtcTime{2026, 12, 9, 10, 20, 30};
        store_file(header("pw") + bank + mail, "pw");
        set_master_password("pw");
        LoadPasswords();
        ASSERT_TRUE(IsUnlocked());
    }
    // What the other program writes: the file as it read it, changed.
    void other_program_writes(const Bytes& records, const std::string& password = "pw") {
        test::replace_file(app_paths().password_file, cipher(padded(header(password) + records), password, true));
    }
    static std::uint32_t offset_of(std::int32_t id) {
        for (const std::uint32_t offset : password_store().view) {
            if (record_id(password_record(offset)) == id) return offset;
        }
        ADD_FAILURE() << "no record " << id;
        return 0;
    }
    static void edit(std::int32_t id, const std::vector<std::string>& fields) {
        MarkPasswordDeleted(offset_of(id));
        AppendPassword(id, fields);
    }
    // "Title id" of the live records of the store (loaded from the file after a save), in file order.
    static std::vector<std::string> entries() {
        std::vector<std::string> out;
        for (int row = 0; row < view_count(); ++row) {
            const PasswordEntry entry = read_entry(view_record(row));
            out.push_back(entry.title + " " + std::to_string(entry.id));
        }
        return out;
    }
    // "Title id" of the live records of a copy kept beside the file.
    static std::vector<std::string> entries_of(const std::string& file) {
        std::vector<std::string> out;
        for (const SecureBytes& r : live_records(open_standard_file(file, "pw"))) {
            const PasswordEntry entry = read_entry(RecordBytes(r.data(), r.size()));
            out.push_back(entry.title + " " + std::to_string(entry.id));
        }
        return out;
    }
    std::vector<std::string> told() const { return test::messages_told(os); }
    std::string copy_name() const { return path("password10 2026-12-09 10-20-30.dat"); }

    const Bytes bank = record(1, 2, lines("Bank", {"PIN: 1234"}));
    const Bytes mail = record(2, 2, lines("Mail", {}));
    const Bytes club = record(3, 2, lines("Club", {}));
};

TEST_F(OtherProgram, AnAddGoesIntoTheNewFileUnderAFreeIdWhenTheFileGaveItsIdAway) {
    AppendPassword(NewPasswordId(), lines("Shop", {}));
    other_program_writes(bank + mail + club);
    ASSERT_TRUE(CompactPasswords());
    EXPECT_EQ(entries(), (std::vector<std::string>{"Bank 1", "Mail 2", "Club 3", "Shop 4"}));
    EXPECT_TRUE(told().empty());
    const std::vector<std::string> lines_ = log();
    EXPECT_NE(std::find(lines_.begin(), lines_.end(), "Password File Changed By Another Program: " + app_paths().password_file),
              lines_.end());
}

TEST_F(OtherProgram, AnEditAndADeleteApplyToTheRecordsWithTheirIdsInTheNewFile) {
    edit(2, lines("Webmail", {}));
    MarkPasswordDeleted(offset_of(1));
    other_program_writes(bank + mail + club);
    ASSERT_TRUE(CompactPasswords());
    EXPECT_EQ(entries(), (std::vector<std::string>{"Club 3", "Webmail 2"}));
    EXPECT_TRUE(told().empty());
    EXPECT_FALSE(file_exists(copy_name()));
}

TEST_F(OtherProgram, AnEditOfARecordTheOtherProgramRemovedIsKeptInADatedCopy) {
    edit(2, lines("Webmail", {}));
    other_program_writes(bank + club);
    ASSERT_TRUE(CompactPasswords());
    EXPECT_EQ(entries(), (std::vector<std::string>{"Bank 1", "Club 3"}));
    EXPECT_EQ(told(), (std::vector<std::string>{"Another program changed the file|" + app_paths().password_file +
                                                    "|Your changes that could not be carried over are kept in|" +
                                                    copy_name()}));
    EXPECT_EQ(entries_of(copy_name()), (std::vector<std::string>{"Bank 1", "Webmail 2"}))
        << "the user's version, sealed with the same password";
    EXPECT_EQ(mode_of(copy_name()), 0600u);
}

TEST_F(OtherProgram, TheOtherProgramsVersionOfARecordBothChangedIsKeptInADatedCopy) {
    edit(2, lines("Webmail", {}));
    other_program_writes(bank + record(2, 2, lines("Mail", {"User: ann"})));
    ASSERT_TRUE(CompactPasswords());
    EXPECT_EQ(entries(), (std::vector<std::string>{"Bank 1", "Webmail 2"})) << "the user's edit wins by id";
    EXPECT_EQ(told(), (std::vector<std::string>{"Another program changed the file|" + app_paths().password_file +
                                                    "|Its version of records you changed too is kept in|" + copy_name()}));
    ASSERT_EQ(entries_of(copy_name()), (std::vector<std::string>{"Bank 1", "Mail 2"}));
    const SecureBytes kept = live_records(open_standard_file(copy_name(), "pw"))[1];
    EXPECT_EQ(record_fields(RecordBytes(kept.data(), kept.size())).at(1), "User: ann");
}

TEST_F(OtherProgram, AFileThatNoLongerOpensWithTheMasterPasswordIsNeverWrittenOver) {
    AppendPassword(NewPasswordId(), lines("Shop", {}));
    other_program_writes(bank, "other");
    const Bytes theirs = read(app_paths().password_file);
    const Result<void> saved = SavePasswords();
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error().message, "another program changed the password file and it does not open with this master password");
    EXPECT_EQ(read(app_paths().password_file), theirs);
    EXPECT_EQ(entries_of(copy_name()), (std::vector<std::string>{"Bank 1", "Mail 2", "Shop 3"}));
    EXPECT_EQ(entries(), (std::vector<std::string>{"Bank 1", "Mail 2", "Shop 3"})) << "the session goes on with the user's records";
}

// ---- values ------------------------------------------------------------------------------------------

TEST(PasswordValues, EmailAndWebValuesAreToldFromText) {
    EXPECT_EQ(classify_value("jo@example.com"), ValueKind::kEmail);
    EXPECT_EQ(classify_value("JO@EXAMPLE.COM"), ValueKind::kEmail);
    EXPECT_EQ(classify_value("@example.com"), ValueKind::kText) << "nothing before the at sign";
    EXPECT_EQ(classify_value("jo@.com"), ValueKind::kText) << "the dot right after the at sign";
    EXPECT_EQ(classify_value("jo@example."), ValueKind::kText) << "the only dot is the last character";
    EXPECT_EQ(classify_value("www.example.com"), ValueKind::kWeb);
    EXPECT_EQ(classify_value("www."), ValueKind::kText);
    EXPECT_EQ(classify_value("HTTPS://example.com"), ValueKind::kWeb);
    EXPECT_EQ(classify_value("http://localhost"), ValueKind::kText) << "no dot";
    EXPECT_EQ(classify_value("httpexample.com"), ValueKind::kText) << "no colon";
    EXPECT_EQ(classify_value("hunter2"), ValueKind::kText);
}

TEST(PasswordValues, LoneLineEndsBecomeCrLfOnTheClipboard) {
    EXPECT_EQ(clipboard_line_ends("a\rb\nc\r\nd"), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(clipboard_line_ends("\n\r"), "\r\n\r\n");
}

TEST(PasswordValues, SortKeysJoinTheTitleAndThreeFieldsInUpperCase) {
    const Bytes r = record(1, 2, lines(" bank", {"b", "", "c", "d"}));
    EXPECT_EQ(sort_key(RecordBytes(reinterpret_cast<const unsigned char*>(r.data()), r.size())), "BANK B  C");
}

}  // namespace
}  // namespace domora
