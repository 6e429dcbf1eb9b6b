#include "app/SerialLog.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

#include "app/CApp.h"
#include "app/Format.h"
#include "app/OperatorPrompt.h"
#include "app/Texts.h"
#include "platform/CodePage.h"
#include "platform/FileLock.h"
#include "platform/FileSystem.h"
#include "platform/ManualClock.h"
#include "support/ScriptedPrompt.h"
#include "support/TempDir.h"

using namespace vst::app;
using vst::platform::ManualClock;
using vst::platform::ScopedClock;
using vst::test::ScriptedPrompt;
using vst::test::TempDir;

namespace {
std::string cp(const char* utf8) { return vst::platform::utf8ToCp1252(utf8); }
}  // namespace

namespace {

struct SerialLogFixture : ::testing::Test {
    ManualClock clock;
    ScopedClock useClock{clock};
    TempDir dir;
    SerialLog log{dir.str(), false, "AB"};

    void SetUp() override
    {
        clock.setLocalTime({2024, 5, 6, 7, 8, 9});
        dir.write("SNR.LOG", "");
    }
    void TearDown() override { CApp::instance().setTextIdOffset(0); }

    static std::string line(const std::string& when, const std::string& sign, const std::string& text)
    {
        return when + " " + sign + " " + text + "\n";
    }
};

}  // namespace

TEST_F(SerialLogFixture, LinesHaveTheFixedFormat)
{
    EXPECT_TRUE(log.logSerialAssigned(42));
    EXPECT_TRUE(log.logSerialConfirmation(42, true));
    EXPECT_TRUE(log.logSerialConfirmation(43, false));
    EXPECT_EQ(dir.read("SNR.LOG"),
              "06.05.2024 07:08:09 AB 00000042\n"
              "06.05.2024 07:08:09 AB #SNR FOUND 00000042\n"
              "06.05.2024 07:08:09 AB #SNR NOT FOUND 00000043\n");
}

TEST_F(SerialLogFixture, NoLogOptionAndMissingFolder)
{
    SerialLog off(dir.str(), true, "AB");
    EXPECT_FALSE(off.logSerialAssigned(1));
    EXPECT_EQ(dir.read("SNR.LOG"), "");
    SerialLog nowhere(dir.file("missing"), false, "AB");
    EXPECT_FALSE(nowhere.logSerialAssigned(1));
    // A missing log stays missing: appends never create it.
    std::filesystem::remove(dir.path() / "SNR.LOG");
    EXPECT_FALSE(log.logSerialAssigned(7));
    EXPECT_FALSE(log.logSerialConfirmation(7, true));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "SNR.LOG"));
}

TEST_F(SerialLogFixture, UsedOnlyWhenFollowedByFoundLine)
{
    dir.write("SNR.LOG", line("01.02.2023 10:11:12", "XY", "00000042") +
                             line("01.02.2023 10:12:00", "XY", "#SNR NOT FOUND 00000042") +
                             line("02.02.2023 08:00:00", "CD", "00000043") + "short line\n" +
                             line("02.02.2023 08:01:00", "CD", "#SNR FOUND 00000999"));
    EXPECT_EQ(log.findSerialUse(42).message, "");
    // A FOUND line counts for the number just before it, whatever number it carries itself.
    EXPECT_EQ(log.findSerialUse(43).message,
              formatText(textAt(36000), "00000043", "02.02.2023", "08:00:00", "CD"));
    // And for its own number, with its own date, time and sign when that number has no line.
    EXPECT_EQ(log.findSerialUse(999).message,
              formatText(textAt(36000), "00000999", "02.02.2023", "08:01:00", "CD"));
    EXPECT_EQ(log.findSerialUse(44).message, "");
}

TEST_F(SerialLogFixture, FirstConfirmedUseIsReportedInTheCurrentLanguage)
{
    dir.write("SNR.LOG", line("01.01.2020 01:01:01", "AA", "00000005") + line("01.01.2020 01:01:02", "AA", "#SNR FOUND 00000005") +
                             line("03.03.2023 03:03:03", "BB", "00000005") + line("03.03.2023 03:03:04", "BB", "#SNR FOUND 00000005"));
    CApp::instance().setTextIdOffset(kEnglishOffset);
    EXPECT_EQ(log.findSerialUse(5).message, "The serial number 00000005 was used at 01.01.2020 on 01:01:01 by AA already!");
}

TEST_F(SerialLogFixture, CrLfLineEndsReadLikeLf)
{
    dir.write("SNR.LOG", "01.01.2020 01:01:01 AA 00000005\r\n01.01.2020 01:01:02 AA #SNR FOUND 00000005\r\n");
    EXPECT_EQ(log.findSerialUse(5).message, formatText(textAt(36000), "00000005", "01.01.2020", "01:01:01", "AA"));
}

TEST_F(SerialLogFixture, PairSplitAcrossBlockBoundary)
{
    const std::string numberLine = line("01.01.2020 01:01:01", "AA", "00000077");
    // Filler lines so that the number's line straddles the end of the first block.
    std::string text;
    const std::string filler = line("01.01.2020 00:00:00", "ZZ", "00000001");
    while (text.size() + filler.size() < SerialLog::kBlockSize - numberLine.size() / 2) text += filler;
    text += std::string(SerialLog::kBlockSize - numberLine.size() / 2 - text.size() - 1, 'x') + "\n";
    ASSERT_LT(text.size(), SerialLog::kBlockSize);
    ASSERT_GT(text.size() + numberLine.size(), SerialLog::kBlockSize);
    text += numberLine + line("01.01.2020 01:01:02", "AA", "#SNR FOUND 00000077");
    dir.write("SNR.LOG", text);
    EXPECT_EQ(log.findSerialUse(77).message, formatText(textAt(36000), "00000077", "01.01.2020", "01:01:01", "AA"));

    // The flag carries from the end of one block into the next: the FOUND line starts a block.
    std::string exact(SerialLog::kBlockSize - numberLine.size() - 1, 'y');
    exact += "\n" + numberLine + line("01.01.2020 01:01:02", "AA", "#SNR FOUND 00000077");
    dir.write("SNR.LOG", exact);
    EXPECT_NE(log.findSerialUse(77).message, "");
}

TEST_F(SerialLogFixture, OverlongLineDoesNotEndTheLookUp)
{
    const std::string longLine = "01.01.2020 01:01:01 QQ " + std::string(3 * SerialLog::kBlockSize, 'n') + "\n";
    dir.write("SNR.LOG", longLine + line("02.02.2022 02:02:02", "AA", "00000012") +
                             line("02.02.2022 02:02:03", "AA", "#SNR FOUND 00000012"));
    EXPECT_EQ(log.findSerialUse(12).message, formatText(textAt(36000), "00000012", "02.02.2022", "02:02:02", "AA"));

    // An over-long FOUND line still confirms the number before it.
    dir.write("SNR.LOG", line("02.02.2022 02:02:02", "AA", "00000012") + "02.02.2022 02:02:03 AA #SNR FOUND 00000012" +
                             std::string(SerialLog::kBlockSize, ' ') + "\n");
    EXPECT_NE(log.findSerialUse(12).message, "");
}

TEST_F(SerialLogFixture, LastLineWithoutLineEndStillCounts)
{
    dir.write("SNR.LOG", line("02.02.2022 02:02:02", "AA", "00000012") + "02.02.2022 02:02:03 AA #SNR FOUND 00000012");
    EXPECT_NE(log.findSerialUse(12).message, "");
}

TEST_F(SerialLogFixture, NoLogOptionMeansFreeButAMissingLogIsUnreadable)
{
    dir.write("SNR.LOG", line("02.02.2022 02:02:02", "AA", "00000012") + line("02.02.2022 02:02:03", "AA", "#SNR FOUND 00000012"));
    const SerialUse off = SerialLog(dir.str(), true, "AB").findSerialUse(12);
    EXPECT_TRUE(off.readable);
    EXPECT_FALSE(off.used());
    EXPECT_FALSE(SerialLog(dir.file("elsewhere"), false, "AB").findSerialUse(12).readable);
    std::filesystem::remove(dir.path() / "SNR.LOG");
    std::filesystem::create_directory(dir.path() / "SNR.LOG");
    EXPECT_FALSE(log.findSerialUse(12).readable);
}

namespace {

struct Release : SerialLogFixture {
    ScriptedPrompt prompt;
    std::string used;
    std::string before;

    void SetUp() override
    {
        SerialLogFixture::SetUp();
        before = line("02.02.2022 02:02:02", "AA", "00000012") + line("02.02.2022 02:02:03", "AA", "#SNR FOUND 00000012");
        dir.write("SNR.LOG", before);
        used = formatText(textAt(36000), "00000012", "02.02.2022", "02:02:02", "AA");
    }
    std::string logged(std::initializer_list<std::string> texts)
    {
        std::string out = before;
        for (const auto& t : texts) out += line("06.05.2024 07:08:09", "AB", t);
        return out;
    }
};

}  // namespace

TEST_F(Release, FreeNumberNeedsNoQuestion)
{
    EXPECT_TRUE(log.releaseSerialNumber(13, prompt));
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(dir.read("SNR.LOG"), before);
}

TEST_F(Release, NumberAboveRangeIsRefusedSilently)
{
    EXPECT_FALSE(log.releaseSerialNumber(100000000, prompt));
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(dir.read("SNR.LOG"), before);
}

TEST_F(Release, OperatorSaysNo)
{
    prompt.answers = {kIdNo};
    EXPECT_FALSE(log.releaseSerialNumber(12, prompt));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, used + " Wollen Sie die Seriennummer trotzdem setzen?");
    EXPECT_EQ(prompt.shown[0].style, 0x134u);
    EXPECT_EQ(prompt.passwordDialogs, 0);
    EXPECT_EQ(dir.read("SNR.LOG"), logged({used, "KEINE Freigabe"}));
}

TEST_F(Release, RightPasswordReleases)
{
    prompt.answers = {kIdYes};
    prompt.passwords = {std::string("40317")};
    EXPECT_TRUE(log.releaseSerialNumber(12, prompt));
    EXPECT_EQ(dir.read("SNR.LOG"), logged({used, cp("Freigabe erwünscht"), "Passwort OK => Freigabe"}));
}

TEST_F(Release, WrongPasswordIsExactCompare)
{
    prompt.answers = {kIdYes};
    prompt.passwords = {std::string("40317 ")};
    EXPECT_FALSE(log.releaseSerialNumber(12, prompt));
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[1].text, "Das eingegebene Passwort ist falsch!");
    EXPECT_EQ(prompt.shown[1].style, 0x30u);
    EXPECT_EQ(dir.read("SNR.LOG"), logged({used, cp("Freigabe erwünscht"), "KEINE Freigabe"}));
}

TEST_F(Release, CancelledPasswordDialogRefusesWithoutMessage)
{
    prompt.answers = {kIdYes};
    prompt.passwords = {std::nullopt};
    EXPECT_FALSE(log.releaseSerialNumber(12, prompt));
    EXPECT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(dir.read("SNR.LOG"), logged({used, cp("Freigabe erwünscht"), "KEINE Freigabe"}));
}

TEST_F(Release, EnglishTextsInTheLog)
{
    CApp::instance().setTextIdOffset(kEnglishOffset);
    prompt.answers = {kIdYes};
    prompt.passwords = {std::string("40317")};
    EXPECT_TRUE(log.releaseSerialNumber(12, prompt));
    const std::string englishUsed = formatText(textAt(46000), "00000012", "02.02.2022", "02:02:02", "AA");
    EXPECT_EQ(dir.read("SNR.LOG"), logged({englishUsed, "release desired", "password OK => release"}));
}

// Logs that several stations, old and new, may write; each case names whether number 12 is used
// and, if so, the date, time and sign of the use that the message reports.
TEST_F(SerialLogFixture, WhenANumberCountsAsUsed)
{
    struct Case {
        const char* what;
        std::string log;
        const char* when;  // nullptr: free
        const char* sign;
    };
    const char *at1 = "01.01.2020 01:01:01", *at2 = "02.02.2021 02:02:02", *at3 = "03.03.2022 03:03:03";
    const Case cases[] = {
        {"a sign with a blank", line(at1, "A B", "00000012") + line(at2, "A B", "#SNR FOUND 00000012"), at1, "A B"},
        {"a sign with a blank, refused by the device",
         line(at1, "A B", "00000012") + line(at2, "A B", "#SNR NOT FOUND 00000012"), nullptr, ""},
        {"another station's lines between number and confirmation",
         line(at1, "AA", "00000012") + line(at2, "BB", "00000013") + line(at2, "BB", "#SNR NOT FOUND 00000013") +
             line(at3, "AA", "#SNR FOUND 00000012"),
         at1, "AA"},
        {"a confirmation without the number's line", line(at2, "BB", "00000077") + line(at3, "CC", "#SNR FOUND 00000012"),
         at3, "CC"},
        {"the last assigned line before the confirmation",
         line(at1, "AA", "00000012") + line(at1, "AA", "#SNR NOT FOUND 00000012") + line(at2, "BB", "00000012") +
             line(at3, "BB", "#SNR FOUND 00000012"),
         at2, "BB"},
        {"handed out, not yet confirmed", line(at1, "AA", "00000012") + line(at2, "BB", "00000013"), at1, "AA"},
        {"not-found answer of its own number after other lines",
         line(at1, "AA", "00000012") + line(at2, "BB", "00000013") + line(at3, "AA", "#SNR NOT FOUND 00000012"), nullptr,
         ""},
        {"other numbers' confirmations only",
         line(at1, "AA", "00000012") + line(at1, "AA", "#SNR NOT FOUND 00000012") + line(at2, "BB", "00000013") +
             line(at3, "BB", "#SNR FOUND 00000013"),
         nullptr, ""},
        {"the number inside a release text", line(at1, "AA", "Freigabe 00000012 erwünscht"), nullptr, ""},
    };
    for (const auto& c : cases) {
        dir.write("SNR.LOG", c.log);
        const SerialUse use = log.findSerialUse(12);
        EXPECT_TRUE(use.readable) << c.what;
        const std::string expected =
            c.when ? formatText(textAt(36000), "00000012", std::string(c.when).substr(0, 10).c_str(),
                                std::string(c.when).substr(11).c_str(), c.sign)
                   : std::string();
        EXPECT_EQ(use.message, expected) << c.what;
    }
}

TEST(OperatorSign, TrimmedWhereItEntersAndRefusedWithInnerBlanks)
{
    const struct {
        const char* raw;
        const char* trimmed;
        bool valid;
    } cases[] = {
        {"AB", "AB", true},      {"AB ", "AB", true},       {" AB\r", "AB", true}, {"\tAB\t", "AB", true},
        {"", "", true},          {"A B", "A B", false},     {"A\tB", "A\tB", false}, {"A\xA0" "B", "A\xA0" "B", false},
        {"A\x01" "B", "A\x01" "B", false}, {"M\xFC" "L", "M\xFC" "L", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trimOperatorSign(c.raw), c.trimmed) << c.raw;
        EXPECT_EQ(isValidOperatorSign(trimOperatorSign(c.raw)), c.valid) << c.raw;
    }
}

TEST_F(Release, AssignFreeNumberAppendsItsLineWithoutQuestion)
{
    EXPECT_TRUE(log.assignSerialNumber(13, prompt));
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(dir.read("SNR.LOG"), logged({"00000013"}));
    // The number's line now holds it for every other station until it is answered.
    EXPECT_TRUE(log.findSerialUse(13).used());
    EXPECT_FALSE(SerialLog(dir.str(), true, "AB").assignSerialNumber(100000000, prompt));
}

TEST_F(Release, AssignReleasedNumberLooksUpAgainAndAppends)
{
    prompt.answers = {kIdYes};
    prompt.passwords = {std::string("40317")};
    EXPECT_TRUE(log.assignSerialNumber(12, prompt));
    EXPECT_EQ(dir.read("SNR.LOG"), logged({used, cp("Freigabe erwünscht"), "Passwort OK => Freigabe", "00000012"}));
    prompt.answers = {kIdNo};
    EXPECT_FALSE(log.assignSerialNumber(12, prompt));
}

TEST_F(Release, MissingOrUnreadableLogRefusesWith30040)
{
    std::filesystem::remove(dir.path() / "SNR.LOG");
    EXPECT_FALSE(log.assignSerialNumber(13, prompt));
    EXPECT_FALSE(log.releaseSerialNumber(13, prompt));
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].text, textAt(30040));
    EXPECT_EQ(prompt.shown[1].text, textAt(30040));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "SNR.LOG"));
    // Without a log by choice the number is given without look-up and without a line.
    EXPECT_TRUE(SerialLog(dir.str(), true, "AB").assignSerialNumber(13, prompt));
    EXPECT_TRUE(SerialLog("", false, "AB").assignSerialNumber(13, prompt));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "SNR.LOG"));
}

TEST_F(Release, LockHeldElsewhereTimesOutWith37201)
{
    vst::platform::FileRegionLock other;
    ASSERT_EQ(other.acquire(dir.path() / "SNR.LOG", 0), vst::platform::FileRegionLock::Result::Locked);
    const uint32_t start = clock.tickCount();
    EXPECT_FALSE(log.assignSerialNumber(13, prompt));
    EXPECT_GE(clock.tickCount() - start, kSerialLogLockTimeoutMs);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, textAt(37201));
    EXPECT_FALSE(log.appendSerialLogLine("x"));
    // A confirmation is not lost to a hold that outlasts the time-out.
    EXPECT_TRUE(log.logSerialConfirmation(13, true));
    EXPECT_EQ(dir.read("SNR.LOG"), logged({"#SNR FOUND 00000013"}));
    other.release();
    EXPECT_TRUE(log.assignSerialNumber(14, prompt));
}

namespace {

// Every lock attempt of the test fails with a system error, as on a file system without locks.
struct LockFailure {
    explicit LockFailure(std::optional<int> error) { vst::platform::FileRegionLock::failLocksForTesting(error); }
    ~LockFailure() { vst::platform::FileRegionLock::failLocksForTesting(std::nullopt); }
};

std::string systemText(int error) { return cp(std::generic_category().message(error).c_str()); }

}  // namespace

// Only a missing log is reported as missing (30040). A log that cannot be opened for writing, or
// whose lock fails for another reason, is refused with 37400 naming the log and the system's
// reason; on a file system without locks 37400 is a warning, and the number goes in without it.
TEST_F(Release, LockFailuresAreToldApart)
{
    struct Case {
        const char* name;
        bool logIsFolder;   // SNR.LOG is a folder: it exists but cannot be opened for writing
        bool logMissing;
        std::optional<int> lockError;
        bool assigned;
        int reason;  // the system error 37400 names; 0: 30040
    };
    const Case cases[] = {
        {"missing log", false, true, std::nullopt, false, 0},
        {"log is a folder", true, false, std::nullopt, false, EISDIR},
        {"no locks (ENOLCK)", false, false, ENOLCK, true, ENOLCK},
        {"no locks (EOPNOTSUPP)", false, false, EOPNOTSUPP, true, EOPNOTSUPP},
        {"other lock error", false, false, EIO, false, EIO},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(dir.path() / "SNR.LOG");
        if (c.logIsFolder) std::filesystem::create_directory(dir.path() / "SNR.LOG");
        else if (!c.logMissing) dir.write("SNR.LOG", before);
        LockFailure failure(c.lockError);
        ScriptedPrompt asked;
        EXPECT_EQ(log.assignSerialNumber(13, asked), c.assigned);
        ASSERT_EQ(asked.shown.size(), 1u);
        const std::string expected =
            c.reason == 0 ? textAt(30040) : formatText(textAt(37400), log.path().c_str(), systemText(c.reason).c_str());
        EXPECT_EQ(asked.shown[0].text, expected);
        EXPECT_EQ(asked.shown[0].style, kMbIconExclamation);
        if (c.logIsFolder) EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "SNR.LOG"));
        else if (c.logMissing) EXPECT_FALSE(std::filesystem::exists(dir.path() / "SNR.LOG"));
        else EXPECT_EQ(dir.read("SNR.LOG"), c.assigned ? logged({"00000013"}) : before);
    }
}

// Without locks, a used number goes through the whole release dialogue: the warning comes once,
// every line of the dialogue and the assigned line are written without the lock.
TEST_F(Release, LogWithoutLocksWarnsOnceThroughTheRelease)
{
    LockFailure failure(ENOLCK);
    prompt.answers = {kIdOk, kIdYes};
    prompt.passwords = {std::string("40317")};
    EXPECT_TRUE(log.assignSerialNumber(12, prompt));
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].text, formatText(textAt(37400), log.path().c_str(), systemText(ENOLCK).c_str()));
    EXPECT_EQ(dir.read("SNR.LOG"), logged({used, cp("Freigabe erwünscht"), "Passwort OK => Freigabe", "00000012"}));
    EXPECT_TRUE(log.logSerialConfirmation(12, false));
    EXPECT_EQ(dir.read("SNR.LOG"), logged({used, cp("Freigabe erwünscht"), "Passwort OK => Freigabe", "00000012",
                                           "#SNR NOT FOUND 00000012"}));
}

namespace {

// Answers yes and the right password, and checks at each question that nobody holds the lock.
struct LockCheckingPrompt : ScriptedPrompt {
    std::filesystem::path logFile;
    int heldDuringQuestion = 0;
    void check()
    {
        vst::platform::FileRegionLock probe;
        if (probe.acquire(logFile, 0) != vst::platform::FileRegionLock::Result::Locked) ++heldDuringQuestion;
    }
    int messageBox(const std::string& text, uint32_t style) override
    {
        check();
        return ScriptedPrompt::messageBox(text, style);
    }
    std::optional<std::string> askPassword() override
    {
        check();
        return ScriptedPrompt::askPassword();
    }
};

}  // namespace

TEST_F(Release, LockIsNotHeldWhileTheOperatorIsAsked)
{
    LockCheckingPrompt asking;
    asking.logFile = dir.path() / "SNR.LOG";
    asking.answers = {kIdYes};
    asking.passwords = {std::string("40317")};
    EXPECT_TRUE(log.assignSerialNumber(12, asking));
    EXPECT_EQ(asking.passwordDialogs, 1);
    EXPECT_EQ(asking.heldDuringQuestion, 0);
}

TEST(FileRegionLock, ExcludesOtherHoldersAndSurvivesOtherDescriptorsClosing)
{
    ManualClock clock;
    ScopedClock useClock{clock};
    TempDir dir;
    using vst::platform::FileRegionLock;
    EXPECT_EQ(FileRegionLock().acquire(dir.path() / "missing", 0), FileRegionLock::Result::CannotOpen);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
    dir.write("log", "");
    FileRegionLock first;
    ASSERT_EQ(first.acquire(dir.path() / "log", 0), FileRegionLock::Result::Locked);
    // Another descriptor of the same file, opened and closed in this process, leaves the lock be.
    { std::ifstream reader(dir.path() / "log"); }
    EXPECT_EQ(vst::platform::readFileBytes(dir.path() / "log"), std::string());
    FileRegionLock second;
    EXPECT_EQ(second.acquire(dir.path() / "log", 100), FileRegionLock::Result::Busy);
    EXPECT_TRUE(first.append("a\n"));
    first.release();
    EXPECT_EQ(second.acquire(dir.path() / "log", 0), FileRegionLock::Result::Locked);
    EXPECT_TRUE(second.append("b\n"));
    EXPECT_EQ(dir.read("log"), "a\nb\n");
}

namespace {

// Never releases a used number.
struct RefusingPrompt : vst::app::OperatorPrompt {
    int messageBox(const std::string&, uint32_t) override { return kIdNo; }
    std::optional<std::string> askPassword() override { return std::nullopt; }
};

}  // namespace

TEST(SerialAssignment, TwoProcessesNeverGetTheSameNumber)
{
    // Stations that start together and try the same numbers in the same order meet on many
    // numbers. Without the lock a number went to both stations in about one round of four, so
    // several rounds make a missing lock show in most runs (it is a race: not in every run).
    constexpr int kRounds = 4;
    constexpr int kStations = 2;
    constexpr uint32_t kNumbers = 300;
    for (int round = 0; round < kRounds; ++round) {
        TempDir dir;
        dir.write("SNR.LOG", "");
        // The stations wait until the parent closes the pipe.
        int start[2];
        ASSERT_EQ(::pipe(start), 0);
        pid_t children[kStations];
        for (int k = 0; k < kStations; ++k) {
            children[k] = ::fork();
            ASSERT_GE(children[k], 0);
            if (children[k] == 0) {
                ::close(start[1]);
                char byte;
                (void)::read(start[0], &byte, 1);
                // Each station tries every number in turn and writes down the ones it got.
                const SerialLog station(dir.str(), false, "P" + std::to_string(k));
                RefusingPrompt no;
                std::string got;
                for (uint32_t n = 1; n <= kNumbers; ++n) {
                    if (station.assignSerialNumber(n, no)) got += std::to_string(n) + "\n";
                }
                const bool ok = vst::platform::replaceFile(dir.path() / ("got" + std::to_string(k)), got);
                ::_exit(ok ? 0 : 1);
            }
        }
        ::close(start[0]);
        ::close(start[1]);
        for (pid_t child : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        std::map<uint32_t, int> holders;
        for (int k = 0; k < kStations; ++k) {
            std::istringstream in(dir.read("got" + std::to_string(k)));
            for (uint32_t n; in >> n;) ++holders[n];
        }
        ASSERT_EQ(holders.size(), kNumbers) << "round " << round;
        for (const auto& [number, count] : holders) ASSERT_EQ(count, 1) << "number " << number << ", round " << round;
    }
}
