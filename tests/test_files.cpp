#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "app/files.h"
#include "app/status_log.h"
#include "support.h"
#include "test_env.h"

namespace domora {
namespace {

class Files : public test::DomoraTest {};

// ---- handles --------------------------------------------------------------------------

TEST_F(Files, ModesTruncateAppendReadAndUpdate) {
    const std::string f = path("f.dat");
    write(f, "old contents");

    FileHandle h = file_open("o", f);
    ASSERT_NE(h, kInvalidHandle);
    file_write_text(h, "one", true);
    file_close(h);
    EXPECT_EQ(read(f), "one\r\n");

    h = file_open("a", f);
    file_write_text(h, "two", false);
    file_close(h);
    EXPECT_EQ(read(f), "one\r\ntwo");

    h = file_open("u", f);
    file_seek(h, 5);
    file_write(h, "TW", 0, 2);
    EXPECT_EQ(file_tell(h), 7);
    EXPECT_EQ(file_size(h), 8);
    EXPECT_EQ(file_tell(h), 7) << "file_size must not move the position";
    file_close(h);
    EXPECT_EQ(read(f), "one\r\nTWo");

    h = file_open("i", f);
    std::string buffer = "xx";
    EXPECT_EQ(file_read(h, buffer, 2, 3), 3);
    EXPECT_EQ(buffer, "xxone");
    file_close(h);
}

TEST_F(Files, ReadModeCreatesAMissingFileAndUnknownModesTouchNothing) {
    const std::string missing = path("missing.dat");
    EXPECT_EQ(file_open("x", missing), kInvalidHandle);
    EXPECT_EQ(file_open("", missing), kInvalidHandle);
    EXPECT_FALSE(file_exists(missing));

    const FileHandle h = file_open("i", missing);
    ASSERT_NE(h, kInvalidHandle);
    file_close(h);
    EXPECT_TRUE(file_exists(missing));
    EXPECT_EQ(read(missing), "");
}

TEST_F(Files, ZeroOrNegativeCountsAndBadHandlesDoNothing) {
    const std::string f = path("f.dat");
    const FileHandle h = file_open("o", f);
    EXPECT_EQ(file_write(h, "abc", 0, 0), 0);
    EXPECT_EQ(file_write(h, "abc", 0, -4), 0);
    EXPECT_EQ(file_write(h, "abc", 1, 99), 2) << "never reads past the buffer";
    file_close(h);
    EXPECT_EQ(read(f), "bc");

    std::string buffer;
    EXPECT_EQ(file_read(kInvalidHandle, buffer, 0, 10), 0);
    EXPECT_EQ(file_tell(kInvalidHandle), 0);
    EXPECT_EQ(file_size(kInvalidHandle), 0);
    file_close(kInvalidHandle);
}

// ---- names --------------------------------------------------------------------------------

TEST_F(Files, ExistsFindsFilesFoldersAndWildcardMatches) {
    write(path("address10.dat"), "x");
    EXPECT_TRUE(file_exists(path("address10.dat")));
    EXPECT_TRUE(file_exists(dir()));
    EXPECT_TRUE(file_exists(path("*.dat")));
    EXPECT_TRUE(file_exists(path("addr?ss10.*")));
    EXPECT_FALSE(file_exists(path("*.txt")));
    EXPECT_FALSE(file_exists(path("nothing")));
    EXPECT_FALSE(file_exists(""));
    EXPECT_TRUE(folder_exists(dir()));
    EXPECT_FALSE(folder_exists(path("address10.dat")));
}

TEST_F(Files, MakeFolderCreatesOneLevelOwnerOnly) {
    make_folder(path("new/file.dat"));
    EXPECT_TRUE(folder_exists(path("new")));
    EXPECT_EQ(mode_of(path("new")) & 0077, 0u);
    make_folder(path("a/b/file.dat"));
    EXPECT_FALSE(folder_exists(path("a/b"))) << "one level only";
}

TEST_F(Files, CanCreateFileTestsAndCleansUp) {
    EXPECT_EQ(can_create_file(path("probe.dat")), 0);
    EXPECT_FALSE(file_exists(path("probe.dat")));
    EXPECT_EQ(can_create_file(path("no/such/folder/probe.dat")), 1);
}

TEST_F(Files, ClearReadOnlyAddsOwnerWriteAndKeepsTheRest) {
    const std::string f = path("setup313.dat");
    write(f, "x");
    ::chmod(f.c_str(), 0444);
    clear_read_only(f);
    EXPECT_EQ(mode_of(f), 0644u);
    clear_read_only(path("missing"));  // no effect, no crash
}

// ---- atomic writes -----------------------------------------------------------------------

TEST_F(Files, AtomicWriteCreatesOwnerOnlyAndReplacesWhole) {
    const std::string f = path("address10.dat");
    ASSERT_TRUE(write_file_atomic(f, "first version, longer than the second"));
    EXPECT_EQ(mode_of(f), 0600u);
    ASSERT_TRUE(write_file_atomic(f, "second"));
    EXPECT_EQ(read(f), "second");
    ASSERT_TRUE(write_file_atomic(f, ""));
    EXPECT_EQ(read(f), "");
    std::vector<std::string> names;
    os.list_folder(dir(), names);
    EXPECT_EQ(names.size(), 1u) << "no temporary file is left behind";
}

TEST_F(Files, PiecesSmallAndLargeGoOutWholeAndInOrder) {
    // Small ones gather, large ones go as they are, a run of small ones fills the gathering past its size.
    std::vector<std::string> pieces;
    for (const std::size_t size : {std::size_t{10}, std::size_t{64 * 1024}, std::size_t{3}, std::size_t{300 * 1024}, std::size_t{64 * 1024 - 1},
                                   std::size_t{64 * 1024 - 1}, std::size_t{64 * 1024 - 1}, std::size_t{64 * 1024 - 1}, std::size_t{64 * 1024 - 1},
                                   std::size_t{1}}) {
        pieces.push_back(std::string(size, static_cast<char>('a' + pieces.size())));
    }
    std::string whole;
    for (const std::string& p : pieces) whole += p;
    std::size_t next = 0;
    const std::string f = path("address10.dat");
    ASSERT_TRUE(write_file_atomic(f, [&]() { return next < pieces.size() ? std::string_view(pieces[next++]) : std::string_view(); }));
    EXPECT_EQ(read(f), whole);
}

// A scratch file replaces the old one whole as a flushed save does, but
// never waits for the disk; a failure still leaves the old file.
TEST_F(Files, AScratchFileIsReplacedWholeWithoutWaitingForTheDisk) {
    const std::string f = path("Temp.dat");
    ASSERT_TRUE(write_scratch_file(f, "a longer first text"));
    os.fsync_calls = 0;
    ASSERT_TRUE(write_scratch_file(f, "second"));
    EXPECT_EQ(read(f), "second");
    EXPECT_EQ(mode_of(f), 0600u);
    EXPECT_EQ(os.fsync_calls, 0);
    std::vector<std::string> names;
    os.list_folder(dir(), names);
    EXPECT_EQ(names.size(), 1u) << "no temporary file is left behind";
    os.fail_writes("Temp.dat", 2);
    EXPECT_FALSE(write_scratch_file(f, "third, which does not fit"));
    os.clear_faults();
    EXPECT_EQ(read(f), "second");
}

TEST_F(Files, AtomicWriteOverAReadOnlyFileSucceeds) {
    const std::string f = path("vehicle11.dat");
    write(f, "old");
    ::chmod(f.c_str(), 0400);
    ASSERT_TRUE(write_file_atomic(f, "new"));
    EXPECT_EQ(read(f), "new");
}

struct Fault {
    const char* name;
    void (*inject)(HeadlessPlatform&);
    const char* reason;
};

class AtomicWriteFaults : public test::DomoraTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(AtomicWriteFaults, LeaveTheOldFileWholeAndAreReported) {
    const std::string f = path("password10.dat");
    status_log_set_path(path("status.log"));
    write(f, "the old file");
    GetParam().inject(os);

    const Result<void> result = write_file_atomic(f, std::string(100000, 'n'));
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().message, GetParam().reason);
    EXPECT_EQ(read(f), "the old file");
    std::vector<std::string> names;
    os.list_folder(dir(), names);
    EXPECT_EQ(names.size(), 2u) << "only the data file and the log remain";
    const auto lines = log_lines(path("status.log"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "File Save Failed: " + f + " - " + GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, AtomicWriteFaults,
    ::testing::Values(
        Fault{"DiskFull", [](HeadlessPlatform& p) { p.fail_writes("password10", 4096); },
              "write: No space left on device"},
        Fault{"SilentShortWrite", [](HeadlessPlatform& p) { p.short_writes("password10", 10); },
              "write: No space left on device"},
        Fault{"FlushFails", [](HeadlessPlatform& p) { p.fail_fsync(EIO); }, "flush: Input/output error"},
        Fault{"RenameFails", [](HeadlessPlatform& p) { p.fail_renames(EXDEV); }, "rename: Invalid cross-device link"}),
    [](const ::testing::TestParamInfo<Fault>& fault) { return std::string(fault.param.name); });

// ---- saves that keep the replaced version ---------------------------------------------------

class ReusingSaves : public test::DomoraTest {
protected:
    std::vector<std::string> names() {
        std::vector<std::string> out;
        os.list_folder(dir(), out);
        std::sort(out.begin(), out.end());
        return out;
    }
    // The one kept version beside the file, "" when there is none.
    std::string spare() {
        std::string found;
        for (const std::string& name : names()) {
            if (name.rfind("address10.dat.tmp-", 0) == 0) {
                EXPECT_TRUE(found.empty()) << "a second kept file: " << name;
                found = path(name);
            }
        }
        return found;
    }
    // Whether the file system the tests run on can exchange two names; where
    // it cannot, saves rename and keep nothing, which the fallback test covers.
    bool can_exchange() {
        write(path("exchange.a"), "a");
        write(path("exchange.b"), "b");
        const bool done = ::renameat2(AT_FDCWD, path("exchange.a").c_str(), AT_FDCWD, path("exchange.b").c_str(), RENAME_EXCHANGE) == 0;
        ::unlink(path("exchange.a").c_str());
        ::unlink(path("exchange.b").c_str());
        return done;
    }
    static ino_t inode_of(const std::string& file) {
        struct stat st {};
        return ::stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
    }
    std::string f;
    void SetUp() override {
        DomoraTest::SetUp();
        f = path("address10.dat");
    }
};

TEST_F(ReusingSaves, KeepTheReplacedVersionAndWriteOverItNextTime) {
    DOMORA_NEEDS(can_exchange(), "a file system that can exchange two names");
    write(f, "from before this run");
    ::chmod(f.c_str(), 0644);
    const std::string versions[] = {"one, the longest version of them all", "two", "three, longer than two", ""};
    ino_t kept_before = 0;
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(write_file_atomic_reusing(f, versions[i]));
        EXPECT_EQ(read(f), versions[i]);
        EXPECT_EQ(mode_of(f), 0600u) << "as a new file would have";
        const std::string kept = spare();
        ASSERT_FALSE(kept.empty());
        EXPECT_EQ(read(kept), i == 0 ? "from before this run" : versions[i - 1]);
        // The version from before the run was readable by others; under the
        // temporary name it is not, from the first save on.
        EXPECT_EQ(mode_of(kept), 0600u);
        // From the second save on, the file written is the one the save before kept.
        if (i >= 1) {
            EXPECT_EQ(inode_of(f), kept_before);
        }
        kept_before = inode_of(kept);
    }
    discard_spare_files();
    EXPECT_EQ(names(), std::vector<std::string>{"address10.dat"});
}

TEST_F(ReusingSaves, NeverWriteIntoAFileAnotherNameLinksTo) {
    write(f, "the user's own copy");
    ::chmod(f.c_str(), 0600);
    ASSERT_EQ(::link(f.c_str(), path("kept by hand.dat").c_str()), 0);
    for (const char* version : {"one", "two", "three", "four"}) {
        ASSERT_TRUE(write_file_atomic_reusing(f, version));
        EXPECT_EQ(read(f), version);
        EXPECT_EQ(read(path("kept by hand.dat")), "the user's own copy");
    }
}

TEST_F(ReusingSaves, FallBackToARenameWhereTheFileSystemCannotExchange) {
    write(f, "old");
    os.refuse_exchanges(EINVAL);
    ASSERT_TRUE(write_file_atomic_reusing(f, "new"));
    EXPECT_EQ(read(f), "new");
    EXPECT_EQ(names(), std::vector<std::string>{"address10.dat"});
    // Where there is no file yet there is nothing to exchange with either.
    os.clear_faults();
    ASSERT_TRUE(write_file_atomic_reusing(path("address10.dat.new"), "first"));
    EXPECT_EQ(read(path("address10.dat.new")), "first");
}

TEST_F(ReusingSaves, AFailedSaveOverTheKeptFileLeavesTheFileWholeAndStartsAfresh) {
    DOMORA_NEEDS(can_exchange(), "a file system that can exchange two names");
    status_log_set_path(path("status.log"));
    for (const char* version : {"one", "two"}) ASSERT_TRUE(write_file_atomic_reusing(f, version));
    const std::string kept = spare();
    ASSERT_FALSE(kept.empty());
    os.fail_writes("address10", 4096);
    EXPECT_FALSE(write_file_atomic_reusing(f, std::string(100000, 'x')));
    EXPECT_EQ(read(f), "two");
    EXPECT_EQ(spare(), "") << "the half-written kept file is gone";
    os.clear_faults();
    // Removed behind the program's back, the kept file is simply made anew.
    ASSERT_TRUE(write_file_atomic_reusing(f, "three"));
    ASSERT_EQ(::unlink(spare().c_str()), 0);
    ASSERT_TRUE(write_file_atomic_reusing(f, "four"));
    EXPECT_EQ(read(f), "four");
    EXPECT_EQ(read(spare()), "three");
}

// A large book gets the file its next save writes made while a form is open.
TEST_F(ReusingSaves, APreparedFileTakesTheFirstSaveAndOnlyALargeFileGetsOne) {
    DOMORA_NEEDS(can_exchange(), "a file system that can exchange two names");
    const std::string big(17 << 20, 'b');
    write(f, big);
    ::chmod(f.c_str(), 0600);
    prepare_spare_file(f);
    prepare_spare_file(f);  // once is enough
    ASSERT_TRUE(write_file_atomic_reusing(f, "new"));
    EXPECT_EQ(read(f), "new");
    EXPECT_EQ(mode_of(f), 0600u);
    EXPECT_EQ(os.created_files.size(), 1u) << "the save wrote over the prepared file instead of making one";
    EXPECT_EQ(read(spare()), big) << "the replaced version is kept as usual";
    // With a version kept already, and for a small file, nothing is made.
    prepare_spare_file(f);
    write(path("vehicle11.dat"), "small");
    prepare_spare_file(path("vehicle11.dat"));
    discard_spare_files();
    EXPECT_EQ(os.created_files.size(), 1u);
    EXPECT_EQ(names(), (std::vector<std::string>{"address10.dat", "vehicle11.dat"}));
}

TEST_F(ReusingSaves, APreparationThatFailsCostsTheSaveNothing) {
    write(f, std::string(17 << 20, 'b'));
    // The disk fills after a few kilobytes: enough for the save, not for the preparation.
    os.fail_writes(".tmp-", 4096);
    prepare_spare_file(f);
    // The save waits for the preparation, finds it failed and makes its own file.
    ASSERT_TRUE(write_file_atomic_reusing(f, "new"));
    EXPECT_EQ(read(f), "new");
    EXPECT_EQ(os.created_files.size(), 2u);
    os.clear_faults();
    discard_spare_files();
    EXPECT_EQ(names(), std::vector<std::string>{"address10.dat"}) << "the half-made file is gone";

    // Shutting down while one is being made leaves nothing behind either.
    write(f, std::string(17 << 20, 'b'));
    prepare_spare_file(f);
    discard_spare_files();
    EXPECT_EQ(names(), std::vector<std::string>{"address10.dat"});
}

TEST_F(Files, AtomicWriteIntoAMissingFolderFails) {
    EXPECT_FALSE(write_file_atomic(path("gone/address10.dat"), "x"));
}

TEST_F(Files, StaleTemporaryFilesOfANamedFileAreRemoved) {
    write(path("address10.dat"), "keep");
    write(path("address10.dat.tmp-123-0"), "stale");
    write(path("vehicle11.dat.tmp-123-0"), "another file's");
    remove_stale_temp_files(path("address10.dat"));
    EXPECT_TRUE(file_exists(path("address10.dat")));
    EXPECT_FALSE(file_exists(path("address10.dat.tmp-123-0")));
    EXPECT_TRUE(file_exists(path("vehicle11.dat.tmp-123-0")));
}

TEST_F(Files, CopyNeverOverwrites) {
    write(path("from"), "new");
    write(path("to"), "existing");
    ASSERT_TRUE(copy_file_no_overwrite(path("from"), path("to")));
    EXPECT_EQ(read(path("to")), "existing");
    ASSERT_TRUE(copy_file_no_overwrite(path("from"), path("fresh")));
    EXPECT_EQ(read(path("fresh")), "new");
    EXPECT_FALSE(copy_file_no_overwrite(path("nothing"), path("other")));
}

// ---- a save killed half way ---------------------------------------------------------------

// A generation's image: every byte derives from the generation number, and the
// length differs per generation, so a mix or a cut of two images is detected.
std::string image_of(std::uint32_t generation) {
    std::string data(1024 * 1024 + generation % 4096, '\0');
    std::uint32_t x = generation * 2654435761u + 1;
    for (std::size_t i = 4; i < data.size(); ++i) {
        x = x * 1103515245u + 12345u;
        data[i] = static_cast<char>(x >> 24);
    }
    for (int i = 0; i < 4; ++i) data[static_cast<std::size_t>(i)] = static_cast<char>(generation >> (8 * i));
    return data;
}

class KilledSaves : public test::DomoraTest, public ::testing::WithParamInterface<bool> {};

// Both ways of saving: into a new file each time, and over the version kept from the save before.
TEST_P(KilledSaves, LeaveTheOldFileOrTheNewOneWhole) {
    const auto write_file_atomic = [](const std::string& file, std::string_view data) {
        return GetParam() ? write_file_atomic_reusing(file, data) : domora::write_file_atomic(file, data);
    };
    const std::string f = path("vehicle11.dat");
    // Kills land anywhere within a few saves' time, however fast this disk is.
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(write_file_atomic(f, image_of(0)));
    const auto one_save = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started) / 3;
    const auto window = static_cast<unsigned>(std::max<long>(1000, 4 * one_save.count()));
    std::mt19937 random(20261207);
    std::uint32_t previous = 0;
    int rounds_with_progress = 0;
    int rounds_killed_mid_save = 0;
    for (int round = 0; round < 30; ++round) {
        const std::uint32_t first = previous + 1;
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (std::uint32_t g = first;; ++g) (void)write_file_atomic(f, image_of(g));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % window));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        const std::string now = read(f);
        ASSERT_GE(now.size(), 4u) << "round " << round;
        std::uint32_t generation = 0;
        for (int i = 0; i < 4; ++i) generation |= static_cast<std::uint32_t>(static_cast<unsigned char>(now[static_cast<std::size_t>(i)])) << (8 * i);
        ASSERT_TRUE(now == image_of(generation)) << "round " << round << ": the file is not a whole image";
        ASSERT_TRUE(generation == previous || generation >= first) << "round " << round;
        if (generation != previous) ++rounds_with_progress;
        previous = generation;
        if (file_exists(f + ".tmp-*")) ++rounds_killed_mid_save;
        remove_stale_temp_files(f);
    }
    // The kills must land both between saves and in the middle of them.
    EXPECT_GT(rounds_with_progress, 0);
    EXPECT_GT(rounds_killed_mid_save, 0);
    discard_spare_files();
}

INSTANTIATE_TEST_SUITE_P(Saves, KilledSaves, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& reusing) { return std::string(reusing.param ? "OverTheKeptVersion" : "IntoANewFile"); });

}  // namespace
}  // namespace domora
