#include "platform/FileSystem.h"
#include "platform/FileLock.h"
#include "platform/Host.h"
#include "platform/ManualClock.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/TempDir.h"

using namespace vst::platform;
using vst::test::TempDir;

TEST(FileSystem, PathParts)
{
    EXPECT_EQ(fileNamePart("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(fileNamePart("c.txt"), "c.txt");
    EXPECT_EQ(fileNamePart("/a/"), "");
#ifdef _WIN32
    EXPECT_EQ(joinPath("C:\\a", "b"), "C:\\a\\b");
    EXPECT_EQ(fileNamePart("C:\\a/b\\c.txt"), "c.txt");  // both separators count on Windows
#else
    EXPECT_EQ(joinPath("/a", "b"), "/a/b");
    EXPECT_EQ(fileNamePart("a\\b.txt"), "a\\b.txt");
#endif
}

TEST(FileSystem, Windows1252NamesReachTheDisk)
{
    TempDir dir;
    const std::string name = joinPath(dir.str(), "Ger\xE4t.txt");
    ASSERT_TRUE(replaceFile(osPath(name), "x"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / std::filesystem::path(u8"Gerät.txt")));
    auto entries = listDirectory(dir.str());
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ((*entries)[0].name, "Ger\xE4t.txt");
    EXPECT_FALSE((*entries)[0].isDirectory);
}

TEST(FileSystem, MoveNeverOverwrites)
{
    TempDir dir;
    dir.write("a", "A");
    dir.write("b", "B");
    EXPECT_FALSE(moveFile(dir.file("a"), dir.file("b")));
    EXPECT_EQ(dir.read("b"), "B");
    EXPECT_TRUE(moveFile(dir.file("a"), dir.file("c")));
    EXPECT_EQ(dir.read("c"), "A");
    EXPECT_FALSE(moveFile(dir.file("a"), dir.file("d")));
}

TEST(FileSystem, CreateDirectoryAcceptsExisting)
{
    TempDir dir;
    EXPECT_TRUE(createDirectory(dir.file("x")));
    EXPECT_TRUE(createDirectory(dir.file("x")));
    EXPECT_FALSE(createDirectory(dir.file("missing/y")));
    EXPECT_TRUE(isDirectory(dir.file("x")));
    EXPECT_FALSE(canOpenForReading(dir.file("x")));
}

TEST(FileSystem, ReadErrorsAreNoShorterFile)
{
    // Reading this file fails at once (its first page is not mapped): that is an error, not an
    // empty file.
    EXPECT_FALSE(readFileBytes("/proc/self/mem"));
    EXPECT_FALSE(readFileBytes("/"));
    EXPECT_FALSE(listDirectory("/no/such/folder"));
}

// The temporary file of a replacement must fit the file-name limit even when the target's name
// uses all of it.
TEST(FileSystem, ReplaceWorksForNamesAtTheLengthLimit)
{
    TempDir dir;
    const std::string name(255, 'n');
    EXPECT_TRUE(replaceFile(dir.path() / name, "first"));
    EXPECT_TRUE(replaceFile(dir.path() / name, "second"));
    EXPECT_EQ(dir.read(name), "second");
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1u);
}

// Temporary names tell host and process; only names of that exact shape have an owner.
TEST(DurableFiles, TemporaryNamesAndTheirOwners)
{
    EXPECT_EQ(fileNameHost("pc-07_a"), "pc-07_a");
    EXPECT_EQ(fileNameHost("Pr\xFC" "f platz.lan"), "Pr_f_platz_lan");
    EXPECT_EQ(fileNameHost(""), "_");

    const std::string prefix = temporaryFilePrefix();
    const auto own = temporaryFileOwner(prefix + "abc123.tmp");
    ASSERT_TRUE(own);
    EXPECT_EQ(own->host, fileNameHost(hostName()).substr(0, 63));
    EXPECT_EQ(own->pid, processId());

    struct Case {
        const char* name;
        bool owned;
        const char* host;
        uint32_t pid;
    };
    const Case cases[] = {
        {".vst-pc-07-4711-aZ09xy.tmp", true, "pc-07", 4711},  // a '-' inside the host
        {".vst-a-1-abcdef.tmp", true, "a", 1},
        {".vst-XXXXXX.tmp", false, "", 0},                   // the older name without owner
        {".vst--4711-abcdef.tmp", false, "", 0},             // no host
        {".vst-pc-47a1-abcdef.tmp", false, "", 0},           // no number
        {".vst-pc-4711-abcde.tmp", false, "", 0},            // five letters
        {".vst-pc-99999999999-abcdef.tmp", false, "", 0},    // past 32 bits
        {".vst-pc-4711-abcdef.bak", false, "", 0},
        {"Endtest.log", false, "", 0},
    };
    for (const auto& c : cases) {
        const auto owner = temporaryFileOwner(c.name);
        ASSERT_EQ(owner.has_value(), c.owned) << c.name;
        if (!owner) continue;
        EXPECT_EQ(owner->host, c.host) << c.name;
        EXPECT_EQ(owner->pid, c.pid) << c.name;
    }
}

TEST(DurableFiles, LeftoverRule)
{
    struct Case {
        const char* host;
        bool running;
        int64_t age;
        bool removable;
    };
    const Case cases[] = {
        {"me", false, 0, true},       // own host, process gone
        {"me", true, 60, false},      // own host, still being written
        {"me", true, 3601, true},     // own host, older than an hour: the id was used again
        {"other", false, 0, false},   // another station's: never
        {"other", true, 99999, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mayRemoveLeftover({c.host, 42}, "me", c.running, c.age), c.removable)
            << c.host << " " << c.running << " " << c.age;
    }
    EXPECT_TRUE(processRunning(processId()));
    EXPECT_FALSE(processRunning(0));
    EXPECT_FALSE(processRunning(2147483000u));
}

// A replacement in a folder removes this host's leftovers of processes that are gone, and keeps
// every other station's, the running ones' and files that only look similar.
TEST(DurableFiles, ReplaceRemovesOnlyOwnDeadLeftovers)
{
    TempDir dir;
    const std::string host = fileNameHost(hostName()).substr(0, 63);
    const std::string dead = ".vst-" + host + "-2147483000-abcdef.tmp";
    const std::string running = temporaryFilePrefix() + "qwerty.tmp";
    const std::string oldRunning = temporaryFilePrefix() + "oldold.tmp";
    const std::string other = ".vst-" + host + "x-2147483000-abcdef.tmp";
    const std::string unowned = ".vst-AbC123.tmp";
    for (const auto& name : {dead, running, oldRunning, other, unowned}) dir.write(name, "partial");
    std::filesystem::last_write_time(dir.path() / oldRunning,
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));

    ASSERT_TRUE(replaceFile(dir.path() / "Endtest.log", "record"));
    EXPECT_EQ(dir.read("Endtest.log"), "record");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / dead));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / oldRunning));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / running));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / other));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / unowned));
}

// Whole lines: a last line torn by a writer that died half-way is cut off before the new lines
// (however long it is, and also when the file holds nothing else); a missing file is created only
// when asked; the plain appends add the bytes as they are.
TEST(DurableFiles, AppendLinesCutsATornLastLine)
{
    TempDir dir;
    const auto file = dir.path() / "journal.jsonl";
    EXPECT_FALSE(appendLines(file, "a\n", false));
    EXPECT_FALSE(std::filesystem::exists(file));
    ASSERT_TRUE(appendLines(file, "a\n", true));
    ASSERT_TRUE(appendLines(file, "b\n", true));
    EXPECT_EQ(dir.read("journal.jsonl"), "a\nb\n");
    ASSERT_TRUE(appendFile(file, "{\"torn"));
    ASSERT_TRUE(appendLines(file, "c\n", false));
    EXPECT_EQ(dir.read("journal.jsonl"), "a\nb\nc\n");
    ASSERT_TRUE(appendFile(file, std::string(200000, 'x')));
    ASSERT_TRUE(appendLines(file, "d\n", false));
    EXPECT_EQ(dir.read("journal.jsonl"), "a\nb\nc\nd\n");
    dir.write("only-torn.jsonl", std::string(70000, 'y'));
    ASSERT_TRUE(appendLines(dir.path() / "only-torn.jsonl", "e\n", false));
    EXPECT_EQ(dir.read("only-torn.jsonl"), "e\n");

    ASSERT_TRUE(appendExistingFile(file, "x"));
    EXPECT_FALSE(appendExistingFile(dir.path() / "missing", "x"));
    EXPECT_EQ(dir.read("journal.jsonl"), "a\nb\nc\nd\nx");
    EXPECT_TRUE(syncFolder(dir.path()));
    EXPECT_FALSE(appendLines(dir.path() / "no" / "such.jsonl", "a\n", true));
}

// Another holder of the lock: the append waits, and fails (nothing written) when the lock is kept
// past the time-out.
TEST(DurableFiles, AppendLinesWaitsForTheLock)
{
    TempDir dir;
    const auto file = dir.path() / "journal.jsonl";
    dir.write("journal.jsonl", "a\n");
    vst::platform::ManualClock clock;
    vst::platform::ScopedClock scoped(clock);
    FileRegionLock holder;
    ASSERT_EQ(holder.acquire(file, 1000), FileRegionLock::Result::Locked);
    EXPECT_FALSE(appendLines(file, "b\n", false));
    holder.release();
    EXPECT_TRUE(appendLines(file, "b\n", false));
    EXPECT_EQ(dir.read("journal.jsonl"), "a\nb\n");
}

// Under the log's lock: a log torn inside a line when the lock is taken gets an LF before the
// first new bytes; the holder's own appends are never split (two writes make one line).
TEST(DurableFiles, LockedAppendAfterATornLineStartsOnItsOwnLine)
{
    TempDir dir;
    dir.write("SNR.LOG", "09.12.2026 15:41:08 KT 0000");
    for (const char* expected : {"09.12.2026 15:41:08 KT 0000\nA begin end\n",
                                 "09.12.2026 15:41:08 KT 0000\nA begin end\nA begin end\n"}) {
        FileRegionLock lock;
        ASSERT_EQ(lock.acquire(dir.path() / "SNR.LOG", 1000), FileRegionLock::Result::Locked);
        ASSERT_TRUE(lock.append("A begin "));
        ASSERT_TRUE(lock.append("end\n"));
        lock.release();
        EXPECT_EQ(dir.read("SNR.LOG"), expected);
    }
}
