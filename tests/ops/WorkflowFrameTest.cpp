// The workflow frame without a device: the closing sequence and its end messages, the record
// texts, numbers in every locale, and recognising a text by its id.
#include <gtest/gtest.h>

#include <clocale>
#include <thread>

#include "app/CApp.h"
#include "app/Texts.h"
#include "ops/FunctionTests.h"
#include "ops/LogWindow.h"
#include "ops/Worker.h"
#include "ops/Workflow.h"
#include "support/RecordingChannel.h"

using namespace vst;
using ops::StatusMessage;

namespace {

// A log window the "operator" closes a little after closing was allowed.
class OperatorLog : public ops::LogWindow {
public:
    std::atomic<bool> allowed{false};
    std::atomic<bool> closed{false};
    void allowClose() override { allowed = true; }
    bool closedByOperator() const override { return closed; }
};

struct WorkflowBlock {
    ops::WorkerChannel* channel = nullptr;
    ops::LogWindow* log = nullptr;
};

bool workflow(WorkflowBlock& b)
{
    b.log->appendLog("work\r\n");
    ops::finishWorkflow(*b.channel, b.log);
    return true;
}

}  // namespace

TEST(WorkflowFrame, ClosingSequenceWaitsForTheOperatorThenSendsTheEndMessages)
{
    for (const auto end : {ops::WorkerEnd::Finished, ops::WorkerEnd::FinishedThenSearchEnded}) {
        test::RecordingChannel window;
        OperatorLog log;
        auto block = std::make_unique<WorkflowBlock>();
        block->channel = &window;
        block->log = &log;
        bool threadEnded = false;
        std::thread worker = ops::startWorker(workflow, std::move(block), end, [&] { threadEnded = true; });
        while (!log.allowed) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(window.count(StatusMessage::DestroyLogWindow), 0);  // still waiting for the operator
        log.closed = true;
        worker.join();
        EXPECT_TRUE(threadEnded);

        std::vector<std::pair<StatusMessage, std::string>> calls;
        for (const auto& c : window.calls()) calls.emplace_back(c.message, c.text);
        std::vector<std::pair<StatusMessage, std::string>> expected = {
            {StatusMessage::SetHeading, app::loadText(35318)},
            {StatusMessage::DestroyLogWindow, ""},
            {StatusMessage::SetHeading, ""},
            {StatusMessage::OperationFinished, ""},
        };
        if (end == ops::WorkerEnd::FinishedThenSearchEnded) expected.emplace_back(StatusMessage::SearchEnded, "");
        EXPECT_EQ(calls, expected);
    }
}

TEST(WorkflowFrame, ConsoleStyleLogCountsAsClosedOnceClosingIsAllowed)
{
    ops::LogWindow log;
    EXPECT_FALSE(log.closedByOperator());
    log.allowClose();
    EXPECT_TRUE(log.closedByOperator());
}

TEST(WorkflowFrame, NumbersKeepTheirDecimalPointInAGermanLocale)
{
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    // The setup script generates this locale; without it the check below would prove nothing.
#ifdef _WIN32
    const char* german = "German_Germany.1252";
#else
    const char* german = "de_DE.UTF-8";
#endif
    ASSERT_NE(std::setlocale(LC_NUMERIC, german), nullptr) << "locale " << german << " is not installed";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    EXPECT_STREQ(probe, "1,5");  // the locale really uses a comma
    EXPECT_EQ(ops::calibrationData(100.5, 5, 230, 16.25), "100.500;5.000;230.000;16.250");
    net::DeviceRecord device;
    device.mac = {0x02, 0x00, 0xAB, 0x00, 0x00, 0x01};
    device.appVersion = 1.05f;
    device.bootloaderVersion = 2.0f;
    app::CApp::instance().setTextIdOffset(app::kGermanOffset);
    EXPECT_EQ(ops::deviceFoundText(device),
              "  => Ger\xE4t gefunden:\r\n      * MAC-Adresse: 02:00:AB:00:00:01\r\n      * App-Version: 1.0500\r\n"
              "      * Bootloader-Version: 2.0000\r\n");
    std::setlocale(LC_NUMERIC, before.c_str());
}

TEST(WorkflowFrame, RecordHeaderPutsTheHeadingIntoItsText)
{
    app::CApp::instance().setTextIdOffset(app::kEnglishOffset);
    EXPECT_EQ(ops::recordHeader(36031, 36032, "AB", "???", 12345678, "09.12.2026 10:00:00"),
              "final test:\r\n  - editor: AB\r\n  - batch number: ???\r\n  - device: 12345678\r\n"
              "  - date: 09.12.2026 10:00:00\r\n");
    app::CApp::instance().setTextIdOffset(app::kGermanOffset);
}

TEST(WorkflowFrame, TextsAreRecognisedByTheirTemplate)
{
    struct Case {
        const char* format;
        const char* text;
        bool matches;
        std::vector<std::string> values;
    };
    const std::vector<Case> cases = {
        {"Bitte schlie\xDF" "en Sie nun das Ger\xE4t %d an!", "Bitte schlie\xDF" "en Sie nun das Ger\xE4t 12 an!", true, {"12"}},
        {"Ger\xE4t %d hat %08d", "Ger\xE4t 3 hat 00000100", true, {"3", "00000100"}},
        {"Ger\xE4t %d an!", "Ger\xE4t x an!", false, {}},
        {"Die Seriennummer %s wurde am %10.10s um %8.8s von %s verwendet!",
         "Die Seriennummer 00000001 wurde am 01.02.2026 um 10:00:00 von A B verwendet!", true,
         {"00000001", "01.02.2026", "10:00:00", "A B"}},
        {"100%% fertig", "100% fertig", true, {}},
        {"Kein Platzhalter", "Kein Platzhalter!", false, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> values;
        EXPECT_EQ(app::matchesTemplate(c.format, c.text, &values), c.matches) << c.text;
        if (c.matches) {
            EXPECT_EQ(values, c.values) << c.text;
        }
    }
    app::CApp::instance().setTextIdOffset(app::kGermanOffset);
    EXPECT_TRUE(app::textMatches(35407, app::formatText(app::loadText(35407), 4)));
    EXPECT_FALSE(app::textMatches(35406, app::formatText(app::loadText(35407), 4)));
}
