// The strong password file: its header read with every limit, sealing and
// opening, the key derived once per unlock, first use, the conversions both
// ways with failures and kills at any moment, and backup and restore of
// whichever store exists.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/backup.h"
#include "app/files.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "passwords/aes/aes.h"
#include "passwords/key_cost.h"
#include "passwords/password_conversion.h"
#include "passwords/password_store.h"
#include "passwords/strong_file.h"
#include "other_program.h"
#include "password_fixtures.h"
#include "support.h"

namespace domora {
namespace {

namespace fs = std::filesystem;
using Bytes = std::string;

using test::tiny_cost;

Bytes data_file(const std::string& name) {
    std::ifstream in(std::string(DOMORA_TEST_DATA_DIR "/") + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes u32(std::uint32_t v) {
    Bytes out(4, '\0');
    for (int i = 0; i < 4; ++i) out[static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
    return out;
}

void put_u32(Bytes& bytes, std::size_t at, std::uint32_t v) { bytes.replace(at, 4, u32(v)); }

struct RecordingWait : KeyWait {
    std::vector<std::string> titles;
    void run(const std::string& title, int, const std::function<void()>& work) override {
        titles.push_back(title);
        work();
    }
};

class StrongStore : public test::DomoraTest {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        test::use_password_files(dir());
        set_key_wait(&waits);
    }
    void TearDown() override {
        set_key_wait(nullptr);
        test::forget_password_files();
        DomoraTest::TearDown();
    }
    std::string strong() const { return app_paths().strong_password_file; }
    std::string standard() const { return app_paths().password_file; }
    std::vector<std::string> log() { return log_lines(path("status.log")); }
    static std::vector<std::string> titles() {
        std::vector<std::string> out;
        for (int row = 0; row < view_count(); ++row) out.push_back(read_entry(view_record(row)).title);
        return out;
    }
    static std::vector<Bytes> shown() {
        std::vector<Bytes> out;
        for (int row = 0; row < view_count(); ++row) {
            const RecordBytes r = view_record(row);
            out.emplace_back(reinterpret_cast<const char*>(r.data()), r.size());
        }
        return out;
    }
    void open(const std::string& master) {
        set_master_password(master);
        LoadPasswords();
        ASSERT_TRUE(IsUnlocked());
    }
    // A strong store of a few records, saved and open.
    void make_store(const std::string& master, int records = 3) {
        LoadPasswords();
        set_master_password(master);
        for (int i = 1; i <= records; ++i) {
            std::vector<std::string> fields(kPasswordFieldCount);
            fields[0] = "Record " + std::to_string(i);
            fields[1] = "Password: pw" + std::to_string(i);
            AppendPassword(i, fields);
        }
        ASSERT_TRUE(SavePasswords());
        open(master);
    }
    RecordingWait waits;
};

// ---- the header --------------------------------------------------------------------------------

TEST_F(StrongStore, AFileWrittenByAnotherProgramOpensWithItsRecords) {
    // Written by PyNaCl (tests/check_strong_file.py), not by this program.
    write(strong(), data_file("password20_sesame.dat"));
    open("open sesame");
    EXPECT_EQ(titles(), (std::vector<std::string>{"Bank", "Caf\xe9"}));
    EXPECT_EQ(read_entry(view_record(0)).lines.at(1).value, "s3cret");
    EXPECT_EQ(password_store().file_cost, tiny_cost());
    EXPECT_EQ(waits.titles, (std::vector<std::string>{"Unlocking Passwords"}));
    EXPECT_EQ(log().at(0), "Decrypted with Users Password");
}

TEST_F(StrongStore, HeadersOutsideTheirLimitsAreDamagedAndNeverWrittenOver) {
    const Bytes good = data_file("password20_sesame.dat");
    struct Case {
        const char* what;
        std::function<void(Bytes&)> spoil;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"cut short", [](Bytes& b) { b = data_file("password20_cut_short.dat"); }, "it is 200 bytes long where its header says 452"},
        {"cut inside the header", [](Bytes& b) { b.resize(60); }, "it is 60 bytes long, shorter than its header"},
        {"one byte more", [](Bytes& b) { b += '\0'; }, "it is 453 bytes long where its header says 452"},
        {"no magic", [](Bytes& b) { b[0] = 'd'; }, "it does not start like a password file"},
        {"a newer version", [](Bytes& b) { b[8] = 2; }, "it is of format version 2, which this version cannot read"},
        {"another derivation", [](Bytes& b) { b[10] = 1; }, "its key derivation 1 is unknown"},
        {"4 GiB and a KiB", [](Bytes& b) { put_u32(b, 12, kMaxKdfMemoryKib + 1); }, "asks for 4194305 KiB of memory"},
        {"all the memory there is", [](Bytes& b) { put_u32(b, 12, 0xFFFFFFFF); }, "asks for 4294967295 KiB of memory"},
        {"under 8 MiB", [](Bytes& b) { put_u32(b, 12, kMinKdfMemoryKib - 1); }, "asks for 8191 KiB of memory"},
        {"no passes", [](Bytes& b) { put_u32(b, 16, 0); }, "asks for 0 passes"},
        {"65 passes", [](Bytes& b) { put_u32(b, 16, 65); }, "asks for 65 passes"},
        {"two lanes", [](Bytes& b) { put_u32(b, 20, 2); }, "asks for 2 lanes"},
        {"an image not of whole blocks", [](Bytes& b) { put_u32(b, 64, 360); }, "its image length 360 is impossible"},
        {"an image shorter than a header", [](Bytes& b) { put_u32(b, 64, 240); }, "its image length 240 is impossible"},
        {"an image past the end", [](Bytes& b) { put_u32(b, 64, 0xFFFFFFF0); }, "its image length 4294967280 is impossible"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes file = good;
        c.spoil(file);
        write(strong(), file);
        reset_password_store();
        set_master_password("open sesame");
        LoadPasswords();
        EXPECT_NE(password_store().damage.find(c.reason), std::string::npos) << password_store().damage;
        EXPECT_FALSE(IsUnlocked());
        EXPECT_FALSE(IsFirstUse()) << "a damaged file is never offered as a new one";
        EXPECT_FALSE(SavePasswords());
        EXPECT_EQ(read(strong()), file);
        EXPECT_TRUE(waits.titles.empty()) << "no key is derived for a header that cannot be read";
    }
}

TEST_F(StrongStore, AWrongPasswordOrAFlippedByteOpensNothingAndWritesNothing) {
    const Bytes good = data_file("password20_sesame.dat");
    // The sealed image, the tag, and header fields the seal covers.
    for (std::size_t at : {std::size_t{68 + 10}, good.size() - 1, std::size_t{30}, std::size_t{50}, std::size_t{16}}) {
        SCOPED_TRACE(at);
        Bytes file = good;
        file[at] = static_cast<char>(file[at] ^ 0x20);
        write(strong(), file);
        reset_password_store();
        set_master_password("open sesame");
        LoadPasswords();
        EXPECT_FALSE(IsUnlocked());
        EXPECT_TRUE(password_store().damage.empty()) << "authentication says only that the key does not fit";
        EXPECT_EQ(master_password(), "") << "asked again, as after a wrong password";
        EXPECT_FALSE(IsFirstUse());
        EXPECT_FALSE(SavePasswords());
        EXPECT_EQ(read(strong()), file);
    }
    write(strong(), good);
    reset_password_store();
    set_master_password(kDefaultMasterPassword);
    LoadPasswords();
    EXPECT_FALSE(IsUnlocked());
    const std::vector<std::string> lines = log();
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end() - 1),
              (std::vector<std::string>{"User Password Failed: ", "Decryption Failed: "}));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Quoll Password Failed: "), 0)
        << "no second try with the default password: each costs a second";

    // Locked, the store holds nothing and is still no new store.
    reset_password_store();
    LoadPasswords();
    EXPECT_TRUE(password_store().image.empty());
    EXPECT_FALSE(IsFirstUse());
    EXPECT_TRUE(password_store().strong);
}

// ---- first use and the key ---------------------------------------------------------------------

TEST_F(StrongStore, FirstUseMakesAStrongFileAndTheKeyIsDerivedOncePerUnlock) {
    LoadPasswords();
    ASSERT_TRUE(IsFirstUse());
    make_store("first master", 2);
    EXPECT_FALSE(fs::exists(standard()));
    EXPECT_EQ(mode_of(strong()), 0600u);
    EXPECT_EQ(waits.titles, (std::vector<std::string>{"Protecting Passwords"})) << "made once, then opened with the held key";
    const Bytes first = read(strong());
    const StrongHeader h1 = read_strong_header(first).value();
    EXPECT_EQ(h1.cost, tiny_cost());

    // Every change saves and loads: no derivation, a fresh nonce, the same salt.
    std::vector<std::string> fields(kPasswordFieldCount);
    fields[0] = "Third";
    AppendPassword(NewPasswordId(), fields);
    ASSERT_TRUE(CompactPasswords());
    EXPECT_EQ(waits.titles.size(), 1u);
    const StrongHeader h2 = read_strong_header(read(strong())).value();
    EXPECT_EQ(h2.salt, h1.salt);
    EXPECT_NE(h2.nonce, h1.nonce);
    EXPECT_EQ(titles().size(), 3u);

    // A new master password brings a new salt and keeps the cost.
    set_master_password("second master");
    ASSERT_TRUE(SavePasswords());
    LoadPasswords();
    ASSERT_TRUE(IsUnlocked());
    const StrongHeader h3 = read_strong_header(read(strong())).value();
    EXPECT_NE(h3.salt, h1.salt);
    EXPECT_EQ(h3.cost, h1.cost);
    EXPECT_EQ(waits.titles.size(), 2u);

    // Locked and opened again: one derivation; the old password opens nothing.
    reset_password_store();
    set_master_password("first master");
    LoadPasswords();
    EXPECT_FALSE(IsUnlocked());
    open("second master");
    EXPECT_EQ(titles().size(), 3u);
    EXPECT_EQ(waits.titles.size(), 4u);
    for (const std::string& line : log()) EXPECT_EQ(line.find("master"), std::string::npos) << line;
}

TEST_F(StrongStore, AnEmptyPasswordIsDerivedWithoutANullPointer) {
    SecureBytes key(kStrongKeySize, 0);
    StrongSalt salt{};
    ASSERT_TRUE(derive_strong_key(std::string_view(), tiny_cost(), salt, key.data()));
    SecureBytes again(kStrongKeySize, 0);
    ASSERT_TRUE(derive_strong_key("", tiny_cost(), salt, again.data()));
    EXPECT_EQ(key, again);
}

TEST(KeyCost, MemoryComesFirstThenPassesWithinTheLimits) {
    // A machine where time grows with memory and passes, a little faster than in proportion with memory.
    const auto machine = [](double ms_at_64_mib_3_passes) {
        return [=](const KdfCost& c) {
            const double memory = c.memory_kib / 65536.0;
            return ms_at_64_mib_3_passes * memory * (1.0 + 0.25 * (memory - 1)) * c.passes / 3.0;
        };
    };
    // The machine the figures came from: 95 ms at 64 MiB and 3 passes.
    KdfCost c = choose_cost(machine(95));
    EXPECT_EQ(c.memory_kib, kMostChosenMemoryKib);
    EXPECT_GE(c.passes, 4u);
    EXPECT_NEAR(machine(95)(c), 1000, 250);
    // Three times slower: less memory, then passes to fill the second.
    c = choose_cost(machine(285));
    EXPECT_EQ(c.memory_kib, 128u * 1024);
    EXPECT_GE(c.passes, 3u);
    EXPECT_LE(machine(285)(c), 1250);
    // Very slow: never below 64 MiB and 3 passes, however long that takes.
    EXPECT_EQ(choose_cost(machine(4000)), (KdfCost{kLeastChosenMemoryKib, kLeastChosenPasses, 1}));
    // Very fast: 256 MiB and at most the passes a reader accepts.
    c = choose_cost(machine(0.5));
    EXPECT_EQ(c.memory_kib, kMostChosenMemoryKib);
    EXPECT_EQ(c.passes, kMaxKdfPasses);
    // At most two timings: 64 MiB, and the memory chosen.
    int timings = 0;
    (void)choose_cost([&](const KdfCost& k) {
        ++timings;
        return machine(95)(k);
    });
    EXPECT_EQ(timings, 2);
}

// ---- conversions -------------------------------------------------------------------------------

TEST_F(StrongStore, ConvertingBothWaysKeepsEveryRecordAndLeavesOneFile) {
    // Made with the openssl command line: both record formats, a deleted record and junk.
    write(standard(), data_file("password_sesame.dat"));
    set_master_password("open sesame");
    LoadPasswords();
    ASSERT_TRUE(IsUnlocked());
    ASSERT_FALSE(password_store().strong);
    EXPECT_STREQ(password_protection_name(), "Standard");
    const std::vector<Bytes> before = shown();
    ASSERT_EQ(before.size(), 2u);

    ASSERT_TRUE(convert_to_strong());
    EXPECT_TRUE(IsUnlocked());
    EXPECT_TRUE(password_store().strong);
    EXPECT_EQ(shown(), before);
    EXPECT_FALSE(fs::exists(standard()));
    EXPECT_EQ(mode_of(strong()), 0600u);
    EXPECT_STREQ(password_protection_name(), "Strong");
    EXPECT_EQ(waits.titles.front(), "Protecting Passwords") << "a cost of its own, measured as the file is made";

    ASSERT_TRUE(convert_to_standard());
    EXPECT_TRUE(IsUnlocked());
    EXPECT_FALSE(password_store().strong);
    EXPECT_EQ(shown(), before);
    EXPECT_FALSE(fs::exists(strong()));
    EXPECT_TRUE(password_store().key.empty()) << "the key goes with the strong file";
    // The standard file is the format as it always was.
    const SecureBytes image = open_standard_file(standard(), "open sesame");
    ASSERT_FALSE(image.empty());
    EXPECT_EQ(live_records(image).size(), 2u);
    EXPECT_STREQ(password_protection_name(), "Standard");

    // Neither needs a store that is not open.
    reset_password_store();
    EXPECT_FALSE(convert_to_strong());
    EXPECT_FALSE(convert_to_standard());
}

TEST_F(StrongStore, AConversionThatCannotWriteLeavesTheOldStoreWhole) {
    make_store("pw", 4);
    const std::vector<Bytes> records = shown();
    const Bytes strong_file = read(strong());
    os.fail_writes("password10.dat", 100);
    EXPECT_FALSE(convert_to_standard());
    os.clear_faults();
    EXPECT_EQ(read(strong()), strong_file);
    EXPECT_FALSE(file_exists(standard())) << "nor a temporary file beside it";
    EXPECT_FALSE(file_exists(standard() + ".tmp-*"));
    EXPECT_TRUE(IsUnlocked());
    EXPECT_EQ(shown(), records);

    ASSERT_TRUE(convert_to_standard());
    const Bytes standard_file = read(standard());
    for (int fault = 0; fault < 2; ++fault) {
        SCOPED_TRACE(fault);
        if (fault == 0) os.fail_writes("password20.dat", 10);
        if (fault == 1) os.fail_renames();
        EXPECT_FALSE(convert_to_strong());
        os.clear_faults();
        EXPECT_EQ(read(standard()), standard_file);
        EXPECT_FALSE(file_exists(strong()));
        EXPECT_FALSE(file_exists(strong() + ".tmp-*"));
        EXPECT_TRUE(IsUnlocked());
        EXPECT_FALSE(password_store().strong);
        EXPECT_EQ(shown(), records);
    }
}

TEST_F(StrongStore, AStandardFileLeftBesideTheStrongOneGoesOnlyWhenItHoldsTheSameRecords) {
    make_store("pw", 2);
    // What a conversion stopped after its new file leaves: both, alike.
    ASSERT_TRUE(convert_to_standard());
    const Bytes standard_file = read(standard());
    ASSERT_TRUE(convert_to_strong());
    write(standard(), standard_file);
    reset_password_store();
    open("pw");
    EXPECT_FALSE(fs::exists(standard()));
    EXPECT_EQ(log().at(log().size() - 2), "Older Password File Removed: the same records as the strong file");

    // One with other records (an old copy put back by hand) is never lost.
    std::vector<std::string> fields(kPasswordFieldCount);
    fields[0] = "Added later";
    AppendPassword(NewPasswordId(), fields);
    ASSERT_TRUE(CompactPasswords());
    write(standard(), standard_file);
    reset_password_store();
    open("pw");
    EXPECT_EQ(read(standard()), standard_file);
    EXPECT_EQ(titles().size(), 3u) << "the strong file is the store";
}

// Both conversions over and over in a child that is killed at a random
// moment: whatever is left opens, whole, with every record.
TEST_F(StrongStore, AKillDuringEitherConversionLeavesOneWholeStore) {
    make_store("pw", 12);
    const std::vector<Bytes> records = shown();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(convert_to_standard());
    ASSERT_TRUE(convert_to_strong());
    const auto both = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
    const auto window = static_cast<unsigned>(std::max<long>(2000, 3 * both.count()));
    std::mt19937 random(20261209);
    int both_left = 0, strong_left = 0, standard_left = 0;
    for (int round = 0; round < 40; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) {
                (void)(password_store().strong ? convert_to_standard() : convert_to_strong());
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % window));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        const bool has_strong = fs::exists(strong()), has_standard = fs::exists(standard());
        ASSERT_TRUE(has_strong || has_standard) << "round " << round << ": no store at all";
        if (has_strong && has_standard) {
            ++both_left;
            const SecureBytes old = open_standard_file(standard(), "pw");
            ASSERT_FALSE(old.empty()) << "round " << round;
            ASSERT_EQ(live_records(old).size(), records.size()) << "round " << round << ": two stores that differ";
        }
        remove_stale_temp_files(strong());
        remove_stale_temp_files(standard());
        reset_password_store();
        set_master_password("pw");
        LoadPasswords();
        ASSERT_TRUE(IsUnlocked()) << "round " << round;
        ASSERT_EQ(shown(), records) << "round " << round;
        ASSERT_FALSE(fs::exists(strong()) && fs::exists(standard())) << "round " << round << ": the leftover stays";
        (password_store().strong ? strong_left : standard_left)++;
    }
    // The kills land in both directions.
    EXPECT_GT(strong_left, 0);
    EXPECT_GT(standard_left, 0);
    RecordProperty("rounds_with_both_files", both_left);
}

// ---- another program's writes -----------------------------------------------------------------

TEST_F(StrongStore, ChangesAreCarriedOverToAStrongFileAnotherProgramWroteUnderItsOwnSalt) {
    make_store("pw", 2);
    const Bytes before = read(strong());
    // The other program's version: a third record, sealed under a salt of its own.
    std::vector<std::string> fields(kPasswordFieldCount);
    fields[0] = "Record 3";
    AppendPassword(3, fields);
    ASSERT_TRUE(SavePasswords());
    const Bytes theirs = read(strong());
    write(strong(), before);
    open("pw");
    ASSERT_EQ(titles(), (std::vector<std::string>{"Record 1", "Record 2"}));

    fields[0] = "Record 2 edited";
    MarkPasswordDeleted(password_store().view.at(1));
    AppendPassword(2, fields);
    fields[0] = "Record 4";
    AppendPassword(NewPasswordId(), fields);
    test::replace_file(strong(), theirs);
    ASSERT_TRUE(CompactPasswords());
    EXPECT_EQ(titles(), (std::vector<std::string>{"Record 1", "Record 3", "Record 2 edited", "Record 4"}));
    EXPECT_FALSE(file_exists(standard()));
}

// ---- backup and restore ------------------------------------------------------------------------

struct NoProgress : CopyProgress {
    void step(int, int) override {}
};

TEST_F(StrongStore, BackupHoldsTheStoreInUseAndRestoreBringsBackOnlyIt) {
    fs::create_directories(path("usb/Domora"));
    const std::string backup = path("usb/Domora/");
    NoProgress progress;
    write(backup + "password10.dat", "an older backup's standard file");
    make_store("pw", 2);
    const Bytes strong_file = read(strong());
    CopyOutcome out = back_up_files(backup, progress);
    EXPECT_TRUE(out.ok());
    EXPECT_EQ(read(backup + "password20.dat"), strong_file);
    EXPECT_FALSE(fs::exists(backup + "password10.dat")) << "a backup holds one store";

    // Restoring it over a standard store brings the strong one back alone.
    ASSERT_TRUE(convert_to_standard());
    out = restore_files(backup, progress);
    EXPECT_TRUE(out.ok());
    EXPECT_EQ(read(strong()), strong_file);
    EXPECT_FALSE(fs::exists(standard()));

    // And a standard backup over a strong store.
    fs::create_directories(path("old/Domora"));
    write(path("old/Domora/password10.dat"), data_file("password_sesame.dat"));
    out = restore_files(path("old/Domora/"), progress);
    EXPECT_TRUE(out.ok());
    EXPECT_FALSE(fs::exists(strong()));
    EXPECT_EQ(read(standard()), data_file("password_sesame.dat"));

    // A restore that cannot copy the store keeps the current one, whichever it is.
    os.fail_writes("password20.dat", 10);
    out = restore_files(backup, progress);
    os.clear_faults();
    EXPECT_FALSE(out.ok());
    EXPECT_EQ(read(standard()), data_file("password_sesame.dat"));
    EXPECT_FALSE(fs::exists(strong()));
}

}  // namespace
}  // namespace domora
