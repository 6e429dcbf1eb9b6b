// The programmer tool run against our stand-in: the phrases, the command line, silence, hangs,
// large outputs, a missing or unusable tool; and the stock update's temporary file.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "app/Format.h"
#include "ops/LogWindow.h"
#include "ops/Programming.h"
#include "ops/StockUpdate.h"
#include "platform/Clock.h"
#include "platform/ScaledClock.h"
#include "support/RecordingChannel.h"
#include "support/TempDir.h"

using namespace vst;
using ops::ProgrammerResult;

namespace {

class Programmer : public ::testing::Test {
protected:
    test::TempDir tool;
    ops::ProgrammerSettings settings;

    void SetUp() override
    {
        std::filesystem::copy_file(VST_IPE_STANDIN, tool.file("ipecmd.exe"));
        settings.toolFolder.assign(tool.str());
        settings.programmerType.assign(ops::kProgrammerType);
        settings.part.assign(ops::kProgrammerPart);
        settings.imagePath.assign("/srv/fw dir/VestrolanV123.hex");
    }
    void TearDown() override { platform::setClock(nullptr); }

    ProgrammerResult run(const std::string& conf, const std::vector<std::string>& action = {"-E"})
    {
        tool.write("ipe-standin.conf", conf);
        return ops::runProgrammer(settings, action);
    }
};

}  // namespace

TEST(ProgrammerPhrases, FirstPhraseInTableOrderWinsAcrossPieces)
{
    struct Case {
        std::vector<std::string> pieces;
        ProgrammerResult expected;
    };
    const std::vector<Case> cases = {
        {{"Operation Succeeded\n"}, ProgrammerResult::Succeeded},
        {{"Programmer not found"}, ProgrammerResult::NoProgrammer},
        {{"Connection error"}, ProgrammerResult::ConnectionError},
        {{"Target device was not found"}, ProgrammerResult::NoTarget},
        {{"IPECMD Version 6.0\n"}, ProgrammerResult::Unknown},
        {{}, ProgrammerResult::Unknown},
        {{"Connection error\n", "Operation Succeeded"}, ProgrammerResult::Succeeded},
        {{"Target device was not found, Programmer not found"}, ProgrammerResult::NoProgrammer},
        {{"...Operation Suc", "ceeded"}, ProgrammerResult::Succeeded},
        {{"Target device ", "w", "as not fo", "und"}, ProgrammerResult::NoTarget},
        {{"Operation", " ", "Failed"}, ProgrammerResult::Unknown},
    };
    for (const auto& c : cases) {
        ops::ProgrammerPhraseScanner scanner;
        for (const auto& p : c.pieces) scanner.feed(p);
        EXPECT_EQ(scanner.result(), c.expected) << (c.pieces.empty() ? "" : c.pieces[0]);
    }
}

TEST_F(Programmer, CommandLineArgumentForArgumentInTheToolFolder)
{
    ASSERT_EQ(run("", {"-F" + settings.imagePath.str(), "-M"}), ProgrammerResult::Succeeded);
    ASSERT_EQ(run("", {"-E"}), ProgrammerResult::Succeeded);
    const std::string exe = tool.file("ipecmd.exe");
    const std::string dir = std::filesystem::canonical(tool.path()).string();
    EXPECT_EQ(tool.read("ipe-calls.txt"),
              "call\ncwd\t" + dir + "\narg\t" + exe + "\narg\t-OL\narg\t-TPPK3\narg\t-P32MZ2048ECG100\n"
              "arg\t-F/srv/fw dir/VestrolanV123.hex\narg\t-M\nend\n"
              "call\ncwd\t" + dir + "\narg\t" + exe + "\narg\t-OL\narg\t-TPPK3\narg\t-P32MZ2048ECG100\narg\t-E\nend\n");
}

TEST_F(Programmer, OutcomeOfEachOutput)
{
    struct Case {
        const char* conf;
        ProgrammerResult expected;
    };
    const std::vector<Case> cases = {
        {"erase = Operation Succeeded", ProgrammerResult::Succeeded},
        {"erase = Programmer not found", ProgrammerResult::NoProgrammer},
        {"erase = Connection error", ProgrammerResult::ConnectionError},
        {"erase = Target device was not found", ProgrammerResult::NoTarget},
        {"erase = Connection error\\nOperation Succeeded", ProgrammerResult::Succeeded},
        {"erase = Done.", ProgrammerResult::Unknown},
        {"erase-mode = silent", ProgrammerResult::Unknown},
        {"erase-mode = banner", ProgrammerResult::Unknown},
        // 3 MiB before the phrase: it is found although only 1 MiB of text is kept.
        {"megabytes = 3", ProgrammerResult::Succeeded},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.conf), c.expected) << c.conf;
}

TEST_F(Programmer, HangingToolIsKilledAfterItsTime)
{
    platform::ScaledClock fast(2000);  // ten minutes in 0.3 s
    platform::setClock(&fast);
    EXPECT_EQ(run("erase-mode = hang"), ProgrammerResult::Unknown);
}

// The limit is the one set (the stored setting or the console's option), not a fixed ten minutes;
// the log names it before the unknown-error text, and only a run that was stopped says so.
TEST_F(Programmer, TimeLimitIsTheOneSetAndTheLogNamesIt)
{
    platform::ScaledClock fast(200);  // 1 s real is 200 s: the default's 600 s are 3 s
    platform::setClock(&fast);
    const struct {
        const char* conf;
        uint32_t seconds;
        bool stopped;
    } cases[] = {
        {"erase-mode = hang", 60, true},
        {"erase-mode = hang", 600, true},
        {"program-mode = hang", 90, true},
        {"erase = Connection error", 86400, false},  // a tool that answers in time is not stopped
    };
    for (const auto& c : cases) {
        tool.write("ipe-standin.conf", c.conf);
        settings.timeoutSeconds = c.seconds;
        ops::LogWindow log;
        settings.log = &log;
        test::RecordingChannel window;
        const uint32_t begin = platform::clock().tickCount();
        EXPECT_FALSE(ops::programBoard(window, settings)) << c.conf;
        const uint32_t elapsed = platform::clock().tickCount() - begin;
        const std::string limit = app::formatText(app::loadText(37402), static_cast<int>(c.seconds));
        const std::string text = log.text();
        if (c.stopped) {
            EXPECT_GE(elapsed, c.seconds * 1000) << c.conf;
            // Well before the next limit of the table: the 600 s default did not apply.
            if (c.seconds < 600) {
                EXPECT_LT(elapsed, 600u * 1000) << c.conf;
            }
            const size_t at = text.find(limit);
            ASSERT_NE(at, std::string::npos) << text;
            EXPECT_NE(text.find(app::loadText(35241), at + limit.size()), std::string::npos) << text;
        } else {
            EXPECT_EQ(text.find(app::loadText(37402).substr(0, 20)), std::string::npos) << text;
            EXPECT_NE(text.find(app::loadText(35238)), std::string::npos) << text;
        }
    }
}

TEST_F(Programmer, MissingOrUnusableTool)
{
    std::filesystem::remove(tool.file("ipecmd.exe"));
    EXPECT_EQ(run(""), ProgrammerResult::NoTool);
    EXPECT_EQ(ops::programmerResultText(ProgrammerResult::NoTool), 35240u);
    tool.write("ipecmd.exe", "not a program");
    ::chmod(tool.file("ipecmd.exe").c_str(), 0644);
    EXPECT_EQ(run(""), ProgrammerResult::Unknown);
    EXPECT_EQ(ops::programmerResultText(ProgrammerResult::Unknown), 35241u);
}

TEST(StockTemporaryFile, UniqueExclusiveAndShort)
{
    test::TempDir snr;
    const std::string a = ops::createStockTemporaryFile(snr.str());
    const std::string b = ops::createStockTemporaryFile(snr.str());
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind(snr.str() + "/config-processlist_TMP_", 0), 0u);
    EXPECT_TRUE(std::filesystem::exists(a));
    EXPECT_TRUE(ops::createStockTemporaryFile(std::string(250, 'x')).empty());
}

TEST(StockSerial, NoneOutsideTheValidRange)
{
    for (uint32_t s : {0u, 100000000u, 0xFFFFFFFFu}) EXPECT_FALSE(ops::hasSerialNumber(s)) << s;
    for (uint32_t s : {1u, 99999999u}) EXPECT_TRUE(ops::hasSerialNumber(s)) << s;
}
