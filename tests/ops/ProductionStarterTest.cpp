// The production starters without a device on the network: refusals, questions, folders and
// set-asides, and the folder-number check shared by the dialogs and the console.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/Records.h"
#include "app/Texts.h"
#include "ops/InputChecks.h"
#include "ops/Production.h"
#include "platform/ManualClock.h"
#include "support/ScriptedPrompt.h"
#include "support/TempDir.h"

using namespace vst;

namespace {

class Host : public ops::StarterHost {
public:
    test::ScriptedPrompt operatorPrompt;
    std::optional<std::string> configuration;  // the assistant's answer
    std::optional<std::string> number = "R1";
    std::optional<uint32_t> serial;  // the serial-number dialog's answer
    net::DeviceRecord* device = nullptr;
    int assistants = 0;
    int started = 0;
    std::vector<uint32_t> notSet;  // numbers given back to the serial-number log

    app::OperatorPrompt& prompt() override { return operatorPrompt; }
    std::optional<std::string> configurationAssistant(const std::string&, bool) override
    {
        ++assistants;
        return configuration;
    }
    std::optional<std::string> repairNumber() override { return number; }
    bool enterSerialNumber() override
    {
        if (!serial) return false;
        device->serialNumber = *serial;
        device->serialModified = true;
        return true;
    }
    void serialNumberNotSet(uint32_t serial) override { notSet.push_back(serial); }
    void startWorkflow(std::function<void(ops::WorkerChannel&)>, ops::WorkerEnd) override { ++started; }

    std::vector<std::string> shown() const
    {
        std::vector<std::string> out;
        for (const auto& s : operatorPrompt.shown) out.push_back(s.text);
        return out;
    }
};

std::string text(int id) { return app::loadText(static_cast<app::TextId>(id)); }

struct ProductionStarters : ::testing::Test {
    platform::ManualClock clock;
    platform::ScopedClock useClock{clock};
    test::TempDir dir;
    Host host;
    net::DeviceRecord device;
    ops::ProductionSettings settings;

    void SetUp() override
    {
        clock.setLocalTime({2026, 12, 9, 3, 4, 5});
        device.serialNumber = 42;
        host.device = &device;
        settings.root = dir.str();
    }
    std::string deviceDir() const { return app::deviceFolder(dir.str(), 42); }
    std::string repairDir() const { return app::repairFolder(dir.str(), 42, "R1"); }
};

}  // namespace

TEST(FolderNumber, RefusesWhatCannotNameAFolder)
{
    const std::vector<std::pair<std::string, std::optional<app::TextId>>> cases = {
        {"R-17", std::nullopt}, {"2024 A", std::nullopt}, {"", 31211}, {"a/b", 37050}, {"a\\b", 37050},
        {"a:b", 37050},        {"a*", 37050},          {"a?", 37050}, {"\"a", 37050}, {"<a>", 37050},
        {"a|b", 37050},        {"a\tb", 37050},        {"a.", 37050}, {"a ", 37050},  {"a.b", std::nullopt},
    };
    for (const auto& [number, expected] : cases) EXPECT_EQ(ops::checkFolderNumber(number, 31211), expected) << number;
}

TEST_F(ProductionStarters, FinalTestRefusalsAndQuestions)
{
    struct Case {
        const char* name;
        uint32_t serial;
        bool charge, log, config;
        std::vector<int> answers;              // Yes 6 / No 7 in the order asked
        std::optional<std::string> assistant;  // its answer
        std::vector<int> shown;
        ops::StartOutcome outcome;
    };
    const std::vector<Case> cases = {
        {"no serial", net::kNoSerialNumber, true, false, true, {}, {}, {30048}, ops::StartOutcome::Refused},
        {"serial 0", 0, true, false, true, {}, {}, {30048}, ops::StartOutcome::Refused},
        {"beyond range", 100000000, true, false, true, {}, {}, {30048}, ops::StartOutcome::Refused},
        {"no batch, No", 42, false, false, true, {7}, {}, {30044}, ops::StartOutcome::Cancelled},
        {"old log, No", 42, true, true, true, {7}, {}, {30045}, ops::StartOutcome::Cancelled},
        {"no config, No", 42, true, true, false, {6, 7}, {}, {30045, 30046}, ops::StartOutcome::Cancelled},
        {"assistant cancelled", 42, true, true, false, {6, 6}, {}, {30045, 30046}, ops::StartOutcome::Cancelled},
        {"all Yes", 42, false, true, false, {6, 6, 6}, "CFG", {30044, 30045, 30046}, ops::StartOutcome::Started},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(deviceDir());
        std::filesystem::create_directory(deviceDir());
        if (c.charge) dir.write("SNR_00000042/Charge.txt", "CH-7\n");
        if (c.log) dir.write("SNR_00000042/Endtest.log", "old");
        if (c.config) dir.write("SNR_00000042/config-processlist.bak", "old config");
        host.operatorPrompt = {};
        host.operatorPrompt.answers.assign(c.answers.begin(), c.answers.end());
        host.configuration = c.assistant;
        host.started = 0;
        device.serialNumber = c.serial;
        std::string label;
        settings.showNumber = [&](const std::string& t) { label = t; };
        EXPECT_EQ(ops::startFinalTest(host, &device, settings), c.outcome);
        std::vector<std::string> expected;
        for (int id : c.shown) expected.push_back(text(id));
        EXPECT_EQ(host.shown(), expected);
        EXPECT_EQ(host.started, c.outcome == ops::StartOutcome::Started ? 1 : 0);
        if (c.outcome == ops::StartOutcome::Started) {
            EXPECT_EQ(label, text(30010) + " ???");
            EXPECT_EQ(dir.read("SNR_00000042/Endtest_2026-12-09-03-04-05.log"), "old");
            EXPECT_EQ(dir.read("SNR_00000042/config-processlist.bak"), "CFG");
        } else if (c.log) {
            // A start that ends early leaves the records as they were.
            EXPECT_EQ(dir.read("SNR_00000042/Endtest.log"), "old");
            EXPECT_EQ(app::fileExists(dir.file("SNR_00000042/config-processlist.bak")), c.config);
        }
    }
}

TEST_F(ProductionStarters, RepairStartFoldersSetAsideAndSerialNumber)
{
    // A new repair folder: no question.
    EXPECT_EQ(ops::startRepairStart(host, &device, settings), ops::StartOutcome::Started);
    EXPECT_TRUE(app::directoryExists(repairDir()));
    EXPECT_TRUE(host.shown().empty());

    // An existing one: 30049; No keeps the records, Yes sets them aside in order.
    dir.write("SNR_00000042/REP_R1/Reparatur.log", "log");
    dir.write("SNR_00000042/REP_R1/config-processlist_KD.bak", "kd");
    host.operatorPrompt.answers = {7};
    EXPECT_EQ(ops::startRepairStart(host, &device, settings), ops::StartOutcome::Cancelled);
    EXPECT_EQ(dir.read("SNR_00000042/REP_R1/Reparatur.log"), "log");
    host.operatorPrompt.answers = {6};
    EXPECT_EQ(ops::startRepairStart(host, &device, settings), ops::StartOutcome::Started);
    EXPECT_EQ(dir.read("SNR_00000042/REP_R1/Reparatur_2026-12-09-03-04-05.log"), "log");
    EXPECT_EQ(dir.read("SNR_00000042/REP_R1/config-processlist_KD_2026-12-09-03-04-05.bak"), "kd");

    // A device without a valid number is asked for one; the record keeps its old number until the
    // worker sends the new one, and a cancelled dialog starts nothing.
    for (uint32_t none : {0u, net::kNoSerialNumber, 100000000u}) {
        device.serialNumber = none;
        host.serial.reset();
        EXPECT_EQ(ops::startRepairStart(host, &device, settings), ops::StartOutcome::Cancelled);
        host.serial = 77;
        EXPECT_EQ(ops::startRepairStart(host, &device, settings), ops::StartOutcome::Started);
        EXPECT_EQ(device.serialNumber, none);
        EXPECT_FALSE(device.serialModified);
        EXPECT_TRUE(app::directoryExists(app::repairFolder(dir.str(), 77, "R1")));
        std::filesystem::remove_all(app::deviceFolder(dir.str(), 77));
    }

    // Numbers that cannot name a folder, and a path too long for its field.
    device.serialNumber = 42;
    host.operatorPrompt = {};
    host.number = "R/1";
    EXPECT_EQ(ops::startRepairStart(host, &device, settings), ops::StartOutcome::Refused);
    host.number = "";
    EXPECT_EQ(ops::startRepairStart(host, &device, settings), ops::StartOutcome::Refused);
    host.number = "R1";
    settings.root = dir.str() + "/" + std::string(200, 'x');
    EXPECT_EQ(ops::startRepairStart(host, &device, settings), ops::StartOutcome::Refused);
    EXPECT_EQ(host.shown(), (std::vector<std::string>{text(37050), text(30904), text(30050)}));
    EXPECT_FALSE(app::directoryExists(settings.root));
}

// A number the serial-number dialog entered in the log is given back ("#SNR NOT FOUND") on every
// way out of the start before the worker takes it over, and only then.
TEST_F(ProductionStarters, RepairStartGivesBackAnEnteredNumberItDoesNotHandOver)
{
    struct Case {
        const char* name;
        std::optional<uint32_t> entered;  // the dialog's answer; nullopt: cancelled
        std::function<void()> arrange;
        ops::StartOutcome outcome;
        std::vector<uint32_t> givenBack;
    };
    const std::string root = settings.root;
    const Case cases[] = {
        {"dialog cancelled", std::nullopt, {}, ops::StartOutcome::Cancelled, {}},
        {"started", 77u, {}, ops::StartOutcome::Started, {}},
        {"30049 answered No", 77u,
         [&] {
             std::filesystem::create_directories(app::repairFolder(root, 77, "R1"));
             host.operatorPrompt.answers = {app::kIdNo};
         },
         ops::StartOutcome::Cancelled, {77}},
        {"device folder blocked by a file", 77u, [&] { dir.write("SNR_00000077", "file"); },
         ops::StartOutcome::Refused, {77}},
        {"repair folder blocked by a file", 77u,
         [&] {
             std::filesystem::create_directories(app::deviceFolder(root, 77));
             dir.write("SNR_00000077/REP_R1", "file");
         },
         ops::StartOutcome::Refused, {77}},
        {"path too long", 77u, [&] { settings.root = root + "/" + std::string(200, 'x'); },
         ops::StartOutcome::Refused, {77}},
        {"number outside the range", 0u, {}, ops::StartOutcome::Refused, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(app::deviceFolder(root, 77));
        std::filesystem::remove_all(app::deviceFolder(root, 0));
        settings.root = root;
        host.operatorPrompt = {};
        host.notSet.clear();
        host.serial = c.entered;
        device.serialNumber = net::kNoSerialNumber;
        device.serialModified = false;
        if (c.arrange) c.arrange();
        const int startedBefore = host.started;
        EXPECT_EQ(ops::startRepairStart(host, &device, settings), c.outcome);
        EXPECT_EQ(host.started - startedBefore, c.outcome == ops::StartOutcome::Started ? 1 : 0);
        EXPECT_EQ(host.notSet, c.givenBack);
    }
}

TEST_F(ProductionStarters, RepairEndQuestions)
{
    struct Case {
        const char* name;
        uint32_t serial;
        std::string log;  // "": none
        bool test, customer;
        std::vector<int> answers;
        std::vector<int> shown;
        ops::StartOutcome outcome;
    };
    const std::string startOnly = "Reparaturstart:\r\n  - Bearbeiter: TS\r\n";
    const std::vector<Case> cases = {
        {"no serial", 0, "", true, true, {}, {30055}, ops::StartOutcome::Refused},
        {"no repair", 42, "-", true, true, {}, {30054}, ops::StartOutcome::Refused},
        {"started only", 42, startOnly, true, true, {}, {}, ops::StartOutcome::Started},
        {"ended in German, No", 42, startOnly + "\r\n\r\nReparaturende:\r\n", true, true, {7}, {30051},
         ops::StartOutcome::Cancelled},
        {"ended in English, No", 42, startOnly + "\r\n\r\nrepair end:\r\n", true, true, {7}, {30051},
         ops::StartOutcome::Cancelled},
        {"no test configuration, No", 42, startOnly, false, true, {7}, {30052}, ops::StartOutcome::Cancelled},
        {"no test configuration, assistant cancelled", 42, startOnly, false, true, {6}, {30052},
         ops::StartOutcome::Cancelled},
        {"no customer configuration, No", 42, startOnly, true, false, {7}, {30053}, ops::StartOutcome::Cancelled},
        {"no customer configuration, Yes", 42, startOnly, true, false, {6}, {30053}, ops::StartOutcome::Started},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(deviceDir());
        if (c.log != "-") {
            std::filesystem::create_directories(repairDir());
            if (!c.log.empty()) dir.write("SNR_00000042/REP_R1/Reparatur.log", c.log);
            if (c.test) dir.write("SNR_00000042/REP_R1/config-processlist_DEF.bak", "def");
            if (c.customer) dir.write("SNR_00000042/REP_R1/config-processlist_KD.bak", "kd");
        }
        host.operatorPrompt = {};
        host.operatorPrompt.answers.assign(c.answers.begin(), c.answers.end());
        host.configuration.reset();
        host.started = 0;
        device.serialNumber = c.serial;
        EXPECT_EQ(ops::startRepairEnd(host, &device, settings), c.outcome);
        std::vector<std::string> expected;
        for (int id : c.shown) expected.push_back(text(id));
        EXPECT_EQ(host.shown(), expected);
        EXPECT_EQ(host.started, c.outcome == ops::StartOutcome::Started ? 1 : 0);
    }
}
