// The function tests, the calibration, the SD-card cleanup and the workflow frame against
// simulated devices in the test network.
#include <gtest/gtest.h>

#include "app/CApp.h"
#include "app/Texts.h"
#include "config/CalibrationRequest.h"
#include "ops/FunctionTests.h"
#include "ops/LogWindow.h"
#include "ops/Workflow.h"
#include "platform/WlanDouble.h"
#include "support/RecordingChannel.h"
#include "Testbed.h"

using namespace vst;
using ops::StatusMessage;

namespace {

std::string text(int id) { return app::textAt(static_cast<unsigned>(id)); }

// A window that also answers the calibration dialog and counts the requests it got.
class CalibratingChannel : public test::RecordingChannel {
public:
    bool confirm = true;
    std::vector<config::CalibrationRequest> requests;
    std::vector<uint32_t> requestTicks;
    bool calibrate(config::CalibrationRequest& request) override
    {
        requests.push_back(request);
        requestTicks.push_back(platform::clock().tickCount());
        if (!confirm) return false;
        request.primary = 100.5;
        request.secondary = 5;
        request.voltage = 230;
        request.current = 16.25;
        return true;
    }
};

class FunctionTests : public test::Testbed {
protected:
    CalibratingChannel window;
    ops::LogWindow log;

    void SetUp() override
    {
        Testbed::SetUp();
        if (IsSkipped()) return;
        setTimeScale(50);
    }

    net::DeviceRecord* device(std::function<void(devsim::Device&)> configure = {})
    {
        auto d = test::simulatedDevice("192.168.0.101", 1, "Prüfling");
        d.password = "730";
        if (configure) configure(d);
        return findSingleDevice(window, std::move(d));
    }

    template <typename Params>
    Params block(net::DeviceRecord* record)
    {
        Params p;
        p.channel = &window;
        p.device = record;
        p.password.assign("730");
        p.log = &log;
        return p;
    }

    // The log lines that begin with "      * ", without that prefix and the line end.
    std::vector<std::string> items() const
    {
        std::vector<std::string> out;
        const std::string all = log.text();
        for (size_t at = 0; (at = all.find("      * ", at)) != std::string::npos;) {
            const size_t end = all.find("\r\n", at);
            out.push_back(all.substr(at + 8, end - at - 8));
            at = end;
        }
        return out;
    }
};

}  // namespace

// Every finding alone and all of them together, in the order of the verdict.
TEST_F(FunctionTests, CpuTestVerdict)
{
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> devInfo, sysInfo;
        std::string i2cState;
        std::vector<int> findings;
    };
    const std::vector<Case> cases = {
        {"healthy", {}, {}, "OK", {}},
        {"clock", {{"extrtc", "RTC steht"}}, {}, "OK", {35255}},
        {"application", {{"appstate", "Boot-Modus"}}, {}, "OK", {35256}},
        {"sensors", {{"apperrors", "Sensoren defekt"}}, {}, "OK", {35257}},
        {"process", {{"spstate", "angehalten"}}, {}, "OK", {35258}},
        {"i2c", {}, {}, "ERROR", {35259}},
        {"sd", {}, {{"sdstatus", "SD-Karte nicht gefunden"}}, "OK", {35260}},
        {"all",
         {{"extrtc", "RTC steht"}, {"appstate", "Boot"}, {"apperrors", "Sensoren defekt"}, {"spstate", "halt"}},
         {{"sdstatus", "fehlt"}},
         "ERROR",
         {35255, 35256, 35257, 35258, 35259, 35260}},
    };
    addDeviceAddress("192.168.0.101/24");
    std::vector<devsim::Device> devices;
    for (size_t i = 0; i < cases.size(); ++i) {
        auto d = test::simulatedDevice("192.168.0.101", static_cast<uint8_t>(i + 1), cases[i].name);
        d.network.address = devsim::parseIpv4("192.168.0." + std::to_string(101 + i)).value();
        if (i > 0) addDeviceAddress("192.168.0." + std::to_string(101 + i) + "/24");
        for (const auto& [k, v] : cases[i].devInfo) d.web.devInfo.push_back({k, v});
        for (const auto& [k, v] : cases[i].sysInfo) d.web.sysInfo.push_back({k, v});
        d.web.i2cState = cases[i].i2cState;
        devices.push_back(d);
    }
    startSimulator(devices);
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        net::DeviceRecord record;
        record.card = card0;
        record.address = net::toNetworkOrder(0xC0A80065u + static_cast<uint32_t>(i));
        record.previousAddress = record.address;
        record.mac = devices[i].mac;
        log.truncateLogToMark();
        auto p = block<ops::CpuTestParams>(&record);
        p.testI2c = true;
        ASSERT_TRUE(ops::runCpuTest(p));
        std::vector<int> found(p.findings.begin(), p.findings.end());
        EXPECT_EQ(found, cases[i].findings);
        EXPECT_EQ(p.passed, cases[i].findings.empty());
        EXPECT_EQ(p.lastResult, cases[i].findings.empty() ? 35253 : 35254);
        std::vector<std::string> expected;
        for (int id : cases[i].findings) expected.push_back(text(id));
        EXPECT_EQ(items(), expected);
    }
}

TEST_F(FunctionTests, CpuTestWithoutSystemInformationHasNoVerdict)
{
    auto* record = device([](devsim::Device& d) { d.web.breakOffPaths = {"/xml/system/sysinfo.xml"}; });
    auto p = block<ops::CpuTestParams>(record);
    EXPECT_FALSE(ops::runCpuTest(p));
    EXPECT_TRUE(p.findings.empty());
    EXPECT_FALSE(p.passed);
    EXPECT_EQ(p.lastResult, 35206);  // closed without an answer
}

TEST_F(FunctionTests, CpuTestWithoutWlanServiceFindsTheWlanFailure)
{
    auto* record = device();
    auto p = block<ops::CpuTestParams>(record);
    p.ssid.assign(ops::kDeviceWlanName);
    ASSERT_TRUE(ops::runCpuTest(p));
    EXPECT_EQ(std::vector<app::TextId>{35261}, p.findings);
    EXPECT_NE(log.text().find("  - MSG: " + text(35248) + "\r\n"), std::string::npos);
}

// Mode 0 only, NEED 2, the follow-up skipped, mode 1 after the confirmation, ERROR lines, and a
// NEED line from mode 1 that must not start another run.
TEST_F(FunctionTests, ProcessListTest)
{
    struct Case {
        const char* name;
        std::vector<std::string> mode0, mode1;
        bool skip;
        std::vector<uint32_t> modes;
        bool passed;
        int notices;  // 35262 shown
    };
    const std::vector<Case> cases = {
        {"mode 0 only", {"Teste Eingänge"}, {}, false, {0}, true, 0},
        {"NEED 2", {"NEED => MODE=2"}, {}, false, {0}, true, 0},
        {"skipped follow-up", {"NEED => MODE=1"}, {"x"}, true, {0}, true, 0},
        {"follow-up", {"NEED => MODE=1"}, {"Strom ok"}, false, {0, 1}, true, 1},
        {"error in mode 1", {"NEED => MODE=1"}, {"ERROR => AIN1: kein Strom"}, false, {0, 1}, false, 1},
        {"NEED from mode 1", {"NEED => MODE=1"}, {"NEED => MODE=1"}, false, {0, 1}, true, 1},
        {"error in mode 0", {"ERROR => AIN2"}, {}, false, {0}, false, 0},
    };
    auto* record = device();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        simulator->update(0, [&](devsim::Device& d) {
            d.web.processTestLines.clear();
            for (const auto& l : c.mode0) d.web.processTestLines[0].push_back(l);
            for (const auto& l : c.mode1) d.web.processTestLines[1].push_back(l);
            d.webState.processTestModes.clear();
        });
        const int before = window.count(StatusMessage::ShowMessage);
        auto p = block<ops::ProcessTestParams>(record);
        p.skipFollowUp = c.skip;
        ASSERT_TRUE(ops::runProcessListTest(p));
        EXPECT_EQ(p.passed, c.passed);
        EXPECT_EQ(p.lastResult, c.passed ? 35263 : 35264);
        EXPECT_EQ(simulator->device(0).webState.processTestModes, c.modes);
        EXPECT_EQ(window.count(StatusMessage::ShowMessage) - before, c.notices);
    }
    EXPECT_EQ(window.texts(StatusMessage::ShowMessage).back(), text(35262));
}

TEST_F(FunctionTests, CalibrationSendsEveryEnergyItemThirtySecondsApart)
{
    auto* record = device([](devsim::Device& d) {
        d.web.calibrationItems = {"ENG;AIN1;3;1,0.5,2.0", "XYZ;AIN2;4;1", "ENG;AIN5;5;1,2"};
    });
    auto p = block<ops::DeviceStepParams>(record);
    ASSERT_TRUE(ops::runCalibration(p));
    EXPECT_EQ(p.lastResult, 35246);
    const auto steps = simulator->device(0).webState.calibrationSteps;
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].type, "ENG");
    EXPECT_EQ(steps[0].index, "3");
    EXPECT_EQ(steps[0].data, "100.500;5.000;230.000;16.250");
    EXPECT_EQ(steps[1].index, "5");
    ASSERT_EQ(window.requests.size(), 2u);
    EXPECT_EQ(window.requests[0].secondaryIsCurrent, 1);
    EXPECT_EQ(window.requests[1].secondaryIsCurrent, 0);  // only two data fields
    EXPECT_NE(log.text().find(text(35244)), std::string::npos);
    // The second item is handled more than 30 s of protocol time after the first step.
    EXPECT_GT(window.requestTicks[1] - window.requestTicks[0], ops::kCalibrationStepWaitMs);
}

TEST_F(FunctionTests, CalibrationFailures)
{
    struct Case {
        const char* name;
        std::string answer;
        bool confirm;
        int result;
    };
    const std::vector<Case> cases = {
        {"answer NOT OK", "NOT OK", true, 35247},
        {"answer ERROR", "ERROR", true, 35247},
        {"dialog cancelled", "OK", false, 35247},
    };
    auto* record = device([](devsim::Device& d) { d.web.calibrationItems = {"ENG;AIN1;3;1,0.5,2.0"}; });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        simulator->update(0, [&](devsim::Device& d) { d.web.calibrationAnswer = c.answer; });
        window.confirm = c.confirm;
        auto p = block<ops::DeviceStepParams>(record);
        EXPECT_FALSE(ops::runCalibration(p));
        EXPECT_EQ(p.lastResult, c.result);
    }
    EXPECT_NE(log.text().find(text(35245)), std::string::npos);
    EXPECT_NE(log.text().find(text(35243)), std::string::npos);
}

TEST_F(FunctionTests, SdCleanupStopsAtTheFailedThirdDelete)
{
    auto* record = device([](devsim::Device& d) { d.web.sdDeleteBreakOff = "processlist.akt"; });
    auto p = block<ops::DeviceStepParams>(record);
    EXPECT_FALSE(ops::cleanSdCard(p));
    EXPECT_EQ(simulator->device(0).webState.deleteRequests,
              (std::vector<std::string>{"config.akt", "config.ini", "processlist.akt"}));
    EXPECT_EQ(p.lastResult, 35206);  // closed without an answer
    EXPECT_EQ(log.text().find(text(35265)), std::string::npos);

    // The workflow step tells the operator to clean the card by hand.
    ops::cleanSdCardStep(&window, &log, record, p.password);
    EXPECT_EQ(window.texts(StatusMessage::ShowMessage).back(), text(35404));
    const int shown = window.count(StatusMessage::ShowMessage);
    ops::cleanSdCardStep(&window, &log, record, net::Password());  // no password: nothing happens
    EXPECT_EQ(window.count(StatusMessage::ShowMessage), shown);
}

// The WLAN join through the test network's stand-in: each fault with its result text and the
// finding, and the success path in which the search over the joined card finds the WLAN MAC.
TEST_F(FunctionTests, CpuTestWlanJoinThroughTheDouble)
{
    struct Case {
        const char* mode;
        int result;  // 0: joined and found
    };
    const std::vector<Case> cases = {
        {"join", 0},
        {"no-interface", 35248},
        {"connect-refused", 35249},
        {"never-connected", 35250},
        {"dropped", 35251},
    };
    auto* record = device([](devsim::Device& d) { d.wlan = true; });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        ::setenv(platform::kWlanDoubleVariable, c.mode, 1);
        log.truncateLogToMark();
        auto p = block<ops::CpuTestParams>(record);
        p.ssid.assign(ops::kDeviceWlanName);
        ASSERT_TRUE(ops::runCpuTest(p));
        const std::string all = log.text();
        if (c.result == 0) {
            EXPECT_TRUE(p.passed) << all;
            EXPECT_TRUE(p.findings.empty());
        } else {
            EXPECT_EQ(p.findings, std::vector<app::TextId>{35261});
            EXPECT_NE(all.find("  - MSG: " + text(c.result) + "\r\n"), std::string::npos) << all;
        }
    }
    ::unsetenv(platform::kWlanDoubleVariable);
    EXPECT_FALSE(deviceIp("link show vstw1")) << "the joined link is gone again";
}
