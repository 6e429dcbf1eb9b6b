#include "app/SerialLog.h"

#include <gtest/gtest.h>

#include "app/CApp.h"
#include "app/Format.h"
#include "app/OperatorPrompt.h"
#include "app/Texts.h"
#include "platform/CodePage.h"
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
    // A missing log file is created again by the first append.
    std::filesystem::remove(dir.path() / "SNR.LOG");
    EXPECT_TRUE(log.logSerialAssigned(7));
    EXPECT_EQ(dir.read("SNR.LOG"), "06.05.2024 07:08:09 AB 00000007\n");
}

TEST_F(SerialLogFixture, UsedOnlyWhenFollowedByFoundLine)
{
    dir.write("SNR.LOG", line("01.02.2023 10:11:12", "XY", "00000042") +
                             line("01.02.2023 10:12:00", "XY", "#SNR NOT FOUND 00000042") +
                             line("02.02.2023 08:00:00", "CD", "00000043") + "short line\n" +
                             line("02.02.2023 08:01:00", "CD", "#SNR FOUND 00000999"));
    EXPECT_EQ(log.findSerialUse(42), "");
    // A FOUND line counts for the number just before it, whatever number it carries itself.
    EXPECT_EQ(log.findSerialUse(43),
              formatText(textAt(36000), "00000043", "02.02.2023", "08:00:00", "CD"));
    EXPECT_EQ(log.findSerialUse(999), "");
}

TEST_F(SerialLogFixture, FirstConfirmedUseIsReportedInTheCurrentLanguage)
{
    dir.write("SNR.LOG", line("01.01.2020 01:01:01", "AA", "00000005") + line("01.01.2020 01:01:02", "AA", "#SNR FOUND 00000005") +
                             line("03.03.2023 03:03:03", "BB", "00000005") + line("03.03.2023 03:03:04", "BB", "#SNR FOUND 00000005"));
    CApp::instance().setTextIdOffset(kEnglishOffset);
    EXPECT_EQ(log.findSerialUse(5), "The serial number 00000005 was used at 01.01.2020 on 01:01:01 by AA already!");
}

TEST_F(SerialLogFixture, SignWithoutBlankAndOtherTextsClearTheFlag)
{
    // The number's line has no blank after the sign: the flag is cleared.
    dir.write("SNR.LOG", "01.01.2020 01:01:01 LONGSIGNWITHOUTTEXT\n" + line("01.01.2020 01:01:02", "AA", "#SNR FOUND 00000005"));
    EXPECT_EQ(log.findSerialUse(5), "");
    dir.write("SNR.LOG", line("01.01.2020 01:01:01", "AA", "00000005") + line("01.01.2020 01:01:01", "AA", "Freigabe erwünscht") +
                             line("01.01.2020 01:01:02", "AA", "#SNR FOUND 00000005"));
    EXPECT_EQ(log.findSerialUse(5), "");
    // CR LF line ends from another writer are read like LF.
    dir.write("SNR.LOG", "01.01.2020 01:01:01 AA 00000005\r\n01.01.2020 01:01:02 AA #SNR FOUND 00000005\r\n");
    EXPECT_NE(log.findSerialUse(5), "");
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
    EXPECT_EQ(log.findSerialUse(77), formatText(textAt(36000), "00000077", "01.01.2020", "01:01:01", "AA"));

    // The flag carries from the end of one block into the next: the FOUND line starts a block.
    std::string exact(SerialLog::kBlockSize - numberLine.size() - 1, 'y');
    exact += "\n" + numberLine + line("01.01.2020 01:01:02", "AA", "#SNR FOUND 00000077");
    dir.write("SNR.LOG", exact);
    EXPECT_NE(log.findSerialUse(77), "");
}

TEST_F(SerialLogFixture, OverlongLineDoesNotEndTheLookUp)
{
    const std::string longLine = "01.01.2020 01:01:01 QQ " + std::string(3 * SerialLog::kBlockSize, 'n') + "\n";
    dir.write("SNR.LOG", longLine + line("02.02.2022 02:02:02", "AA", "00000012") +
                             line("02.02.2022 02:02:03", "AA", "#SNR FOUND 00000012"));
    EXPECT_EQ(log.findSerialUse(12), formatText(textAt(36000), "00000012", "02.02.2022", "02:02:02", "AA"));

    // An over-long FOUND line still confirms the number before it.
    dir.write("SNR.LOG", line("02.02.2022 02:02:02", "AA", "00000012") + "02.02.2022 02:02:03 AA #SNR FOUND 00000012" +
                             std::string(SerialLog::kBlockSize, ' ') + "\n");
    EXPECT_NE(log.findSerialUse(12), "");
}

TEST_F(SerialLogFixture, LastLineWithoutLineEndStillCounts)
{
    dir.write("SNR.LOG", line("02.02.2022 02:02:02", "AA", "00000012") + "02.02.2022 02:02:03 AA #SNR FOUND 00000012");
    EXPECT_NE(log.findSerialUse(12), "");
}

TEST_F(SerialLogFixture, MissingLogOrNoLogOptionMeansFree)
{
    dir.write("SNR.LOG", line("02.02.2022 02:02:02", "AA", "00000012") + line("02.02.2022 02:02:03", "AA", "#SNR FOUND 00000012"));
    EXPECT_EQ(SerialLog(dir.str(), true, "AB").findSerialUse(12), "");
    EXPECT_EQ(SerialLog(dir.file("elsewhere"), false, "AB").findSerialUse(12), "");
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
