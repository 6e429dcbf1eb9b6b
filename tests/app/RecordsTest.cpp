#include "app/Records.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "platform/ManualClock.h"
#include "support/TempDir.h"

using namespace vst::app;
using vst::platform::ManualClock;
using vst::platform::ScopedClock;
using vst::test::TempDir;

namespace {

struct Records : ::testing::Test {
    ManualClock clock;
    ScopedClock useClock{clock};
    TempDir dir;
};

}  // namespace

TEST_F(Records, TimeStampedNameInsertsStampBeforeLastDot)
{
    clock.setLocalTime({2021, 3, 8, 14, 5, 9});
    EXPECT_EQ(timeStampedName("/r/SNR_00000042/Endtest.log"), "/r/SNR_00000042/Endtest_2021-03-08-14-05-09.log");
    EXPECT_EQ(timeStampedName("a.b.c"), "a.b_2021-03-08-14-05-09.c");
    // The last dot of the whole path counts, even inside a folder name.
    EXPECT_EQ(timeStampedName("/r/v1.2/Endtest"), "/r/v1_2021-03-08-14-05-09.2/Endtest");
    EXPECT_EQ(timeStampedName("/r/Endtest"), "");
}

TEST_F(Records, DateTimeText)
{
    clock.setLocalTime({2024, 12, 1, 7, 0, 59});
    EXPECT_EQ(currentDateTimeText(), "01.12.2024 07:00:59");
}

TEST_F(Records, ReadTextFileNormalisesLineEnds)
{
    dir.write("a.txt", "one\r\ntwo\nthree");
    EXPECT_EQ(readTextFile(dir.file("a.txt")), "one\ntwo\nthree\n");
    dir.write("cr.txt", "x\ry\r");
    EXPECT_EQ(readTextFile(dir.file("cr.txt")), "x\ry\r\n");
    dir.write("empty.txt", "");
    EXPECT_EQ(readTextFile(dir.file("empty.txt")), "");
    EXPECT_EQ(readTextFile(dir.file("missing.txt")), "");
    EXPECT_EQ(readTextFile(dir.str()), "");
}

TEST_F(Records, WriteReplacesWholeFileAndAppendAppends)
{
    const std::string f = dir.file("Endtest.log");
    EXPECT_TRUE(writeTextFile(f, "first\r\n", false));
    EXPECT_TRUE(writeTextFile(f, "new", false));
    EXPECT_EQ(dir.read("Endtest.log"), "new");
    EXPECT_TRUE(appendTextFile(f, "\r\nmore"));
    EXPECT_EQ(dir.read("Endtest.log"), "new\r\nmore");
    EXPECT_TRUE(fileContainsText(f, "more"));
    EXPECT_FALSE(fileContainsText(f, "first"));
    // No temporary files are left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_F(Records, FailedReplaceLeavesOldFileIntact)
{
    const std::string f = dir.file("Reparatur.log");
    ASSERT_TRUE(writeTextFile(f, "keep me", false));
    // A folder that cannot be written to: the replacement fails and the record stays.
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const bool writable = ::access(dir.str().c_str(), W_OK) == 0;  // root ignores permissions
    const bool ok = writeTextFile(f, "lost?", false);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
    if (!writable) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(dir.read("Reparatur.log"), "keep me");
    }
    EXPECT_FALSE(writeTextFile(dir.file("no-such-folder/x.log"), "x", false));
    EXPECT_FALSE(appendTextFile(dir.file("no-such-folder/x.log"), "x"));
}

TEST_F(Records, SettingAsideMovesExistingFilesOnly)
{
    clock.setLocalTime({2021, 3, 8, 14, 5, 9});
    dir.write("Reparatur.log", "log");
    dir.write("config-processlist_KD.bak", "kd");
    setRecordsAside(dir.str(), {kRepairLogName, kDefaultConfigurationName, kCustomerConfigurationName});
    EXPECT_FALSE(fileExists(dir.file("Reparatur.log")));
    EXPECT_EQ(dir.read("Reparatur_2021-03-08-14-05-09.log"), "log");
    EXPECT_EQ(dir.read("config-processlist_KD_2021-03-08-14-05-09.bak"), "kd");
    EXPECT_FALSE(fileExists(dir.file("config-processlist_DEF_2021-03-08-14-05-09.bak")));

    // Further set-asides in the same second never overwrite the first one: they take "_2", "_3".
    for (const char* content : {"second", "third"}) {
        dir.write("Reparatur.log", content);
        EXPECT_TRUE(setRecordsAside(dir.str(), {kRepairLogName}));
    }
    EXPECT_EQ(dir.read("Reparatur_2021-03-08-14-05-09.log"), "log");
    EXPECT_EQ(dir.read("Reparatur_2021-03-08-14-05-09_2.log"), "second");
    EXPECT_EQ(dir.read("Reparatur_2021-03-08-14-05-09_3.log"), "third");
    EXPECT_FALSE(fileExists(dir.file("Reparatur.log")));
    // A missing record is nothing to move.
    EXPECT_TRUE(setRecordAside(dir.file("Endtest.log")));
}

TEST_F(Records, FirmwareFileNames)
{
    float v = 0;
    EXPECT_TRUE(firmwareVersionFromFileName("/fw/VestrolanV123.hex", v));
    EXPECT_FLOAT_EQ(v, 1.23f);
    EXPECT_TRUE(firmwareVersionFromFileName("VestrolanV000.hex", v));
    EXPECT_FLOAT_EQ(v, 0.0f);
    for (const char* bad : {"vestrolanV105.hex", "VestrolanV1050.hex", "VestrolanV10.hex", "VestrolanV1a5.hex",
                            "VestrolanV105.HEX", "VestrolanV105_hex", "/fw/VestrolanV105.hex/"}) {
        EXPECT_FALSE(firmwareVersionFromFileName(bad, v)) << bad;
    }
}

TEST_F(Records, NewestFirmwareFile)
{
    for (const char* name : {"VestrolanV104.hex", "VestrolanV105.hex", "VestrolanV1050.hex", "vestrolanV199.hex",
                             "VestrolanV000.hex", "notes.txt"}) {
        dir.write(name, "x");
    }
    std::filesystem::create_directory(dir.path() / "VestrolanV300.hex");  // a folder never qualifies
    EXPECT_EQ(newestFirmwareFile(dir.str()), dir.file("VestrolanV105.hex"));

    TempDir onlyZero;
    onlyZero.write("VestrolanV000.hex", "x");
    EXPECT_EQ(newestFirmwareFile(onlyZero.str()), "");
    EXPECT_EQ(newestFirmwareFile(dir.file("missing")), "");
}

TEST_F(Records, RecordFolderNames)
{
    EXPECT_EQ(deviceFolder("/r", 42), "/r/SNR_00000042");
    EXPECT_EQ(repairFolder("/r", 42, "R-17"), "/r/SNR_00000042/REP_R-17");
    EXPECT_EQ(enduranceRunFolder("/r", "CHRG_", "2024-7"), "/r/_Dauerlauf/CHRG_2024-7");
}
