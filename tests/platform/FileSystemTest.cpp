#include "platform/FileSystem.h"

#include <gtest/gtest.h>

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
