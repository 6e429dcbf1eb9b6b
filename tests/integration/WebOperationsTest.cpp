// Firmware update, serial number and clock against simulated devices in the test network.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/CApp.h"
#include "app/Texts.h"
#include "net/DeviceWebSession.h"
#include "ops/Search.h"
#include "ops/WebOperations.h"
#include "support/FirmwareFile.h"
#include "support/RecordingChannel.h"
#include "support/TempDir.h"
#include "Testbed.h"

using namespace vst;
using ops::StatusMessage;

namespace {

class WebOperations : public test::Testbed {
protected:
    test::RecordingChannel window;
    test::TempDir dir;

    void TearDown() override
    {
        app::CApp::instance().setSettings({});
        Testbed::TearDown();
    }

    net::DeviceRecord* findDevice(devsim::Device device) { return findSingleDevice(window, std::move(device)); }

    std::string result() const
    {
        const auto shown = window.texts(StatusMessage::ShowMessage);
        return shown.empty() ? std::string() : shown.back();
    }

    std::vector<std::string> stepsAfterSearch() const
    {
        std::vector<std::string> steps;
        bool searchOver = false;
        for (const auto& c : window.calls()) {
            if (c.message == StatusMessage::OperationFinished) searchOver = true;
            if (searchOver && c.message == StatusMessage::SetStep && !c.text.empty()) steps.push_back(c.text);
        }
        return steps;
    }

    static std::vector<std::string> texts(std::initializer_list<int> ids)
    {
        std::vector<std::string> out;
        for (int id : ids) out.push_back(app::textAt(static_cast<unsigned>(id)));
        return out;
    }

    ops::UpdateParams update(net::DeviceRecord* device, const std::string& file, const std::string& password = "")
    {
        auto p = test::deviceParams<ops::UpdateParams>(window, device, password);
        p.firmwarePath.assign(file);
        return p;
    }
    // An empty serial-number log in the test's folder, the one the station writes to.
    void useEmptySerialLog()
    {
        dir.write("SNR.LOG", "");
        app::AppSettings settings;
        settings.serialNumberPath = dir.str();
        app::CApp::instance().setSettings(settings);
    }
    ops::SerialParams serial(net::DeviceRecord* device, const std::string& password = "")
    {
        return test::deviceParams<ops::SerialParams>(window, device, password);
    }
};

}  // namespace

TEST_F(WebOperations, FirmwareUpdateWaitsForTheRestartAndFindsTheNewVersion)
{
    setTimeScale(40);
    auto d = test::simulatedDevice("192.168.0.101", 1, "Update");
    d.password = "geheim";
    net::DeviceRecord* device = findDevice(d);
    ASSERT_NE(device, nullptr);
    dir.write("VestrolanV106.hex", test::firmwareImage("1.06", 200));
    auto p = update(device, dir.file("VestrolanV106.hex"), "geheim");
    const uint32_t start = platform::clock().tickCount();
    EXPECT_TRUE(ops::updateFirmware(p)) << result();
    EXPECT_GT(platform::clock().tickCount() - start, ops::kRebootWaitMs);
    EXPECT_EQ(result(), app::textAt(35212));
    EXPECT_EQ(stepsAfterSearch(), texts({35105, 35112, 35115, 35110, 35111, 35114, 35106}));
    // The restart's wait is announced for a countdown; the log does not show it.
    EXPECT_EQ(window.waits(), (std::vector<std::pair<std::string, int>>{{app::textAt(35111), 45}}));
    ASSERT_EQ(window.devices().count(), 1);
    EXPECT_FLOAT_EQ(window.devices().at(0)->appVersion, 1.06f);
    EXPECT_EQ(window.devices().current(), window.devices().at(0));
    EXPECT_EQ(simulator->device(0).webState.reboots, 1u);
    // The progress bar ran from 30 to 50 during the upload.
    int highest = 0;
    for (const auto& c : window.calls()) {
        if (c.message == StatusMessage::SetStepPosition && c.value <= 50) highest = std::max(highest, c.value);
    }
    EXPECT_EQ(highest, 50);
}

TEST_F(WebOperations, RefusedUploadIsReportedAndLoggedOut)
{
    auto d = test::simulatedDevice("192.168.0.101", 1, "Kaputt");
    net::DeviceRecord* device = findDevice(d);
    ASSERT_NE(device, nullptr);
    dir.write("VestrolanV106.hex", "this is no firmware\r\n");
    auto p = update(device, dir.file("VestrolanV106.hex"));
    EXPECT_FALSE(ops::updateFirmware(p));
    EXPECT_EQ(window.texts(StatusMessage::ShowMessage), std::vector<std::string>{app::textAt(35214)});
    EXPECT_EQ(stepsAfterSearch(), texts({35105, 35112, 35115, 35113, 35106}));
    EXPECT_EQ(simulator->device(0).webState.logouts, 1u);
    EXPECT_EQ(simulator->device(0).webState.reboots, 0u);

    // Each forced device refusal has its own text.
    const std::pair<int, int> refusals[] = {{-2, 35215}, {-3, 35216}, {-4, 35217}, {-5, 35218}};
    dir.write("VestrolanV107.hex", test::firmwareImage("1.07", 4));
    for (const auto& [state, text] : refusals) {
        simulator->update(0, [state = state](devsim::Device& dev) { dev.web.updateState = state; });
        auto again = update(window.devices().at(0), dir.file("VestrolanV107.hex"));
        EXPECT_FALSE(ops::updateFirmware(again));
        EXPECT_EQ(result(), app::textAt(static_cast<unsigned>(text)));
    }
}

TEST_F(WebOperations, UpdateFailuresBeforeTheUpload)
{
    auto d = test::simulatedDevice("192.168.0.101", 1, "Gesperrt");
    d.password = "richtig";
    net::DeviceRecord* device = findDevice(d);
    ASSERT_NE(device, nullptr);
    auto missing = update(device, dir.file("VestrolanV199.hex"), "richtig");
    EXPECT_FALSE(ops::updateFirmware(missing));
    EXPECT_EQ(result(), app::textAt(35211));
    dir.write("VestrolanV106.hex", test::firmwareImage("1.06", 2));
    auto wrong = update(device, dir.file("VestrolanV106.hex"), "falsch");
    EXPECT_FALSE(ops::updateFirmware(wrong));
    EXPECT_EQ(result(), app::textAt(35208));
    simulator->update(0, [](devsim::Device& dev) { dev.web.maxLogins = 0; });
    auto full = update(device, dir.file("VestrolanV106.hex"), "richtig");
    EXPECT_FALSE(ops::updateFirmware(full));
    EXPECT_EQ(result(), app::textAt(35209));
}

TEST_F(WebOperations, SerialNumberIsSetFoundAgainAndLogged)
{
    useEmptySerialLog();
    net::DeviceRecord* device = findDevice(test::simulatedDevice("192.168.0.101", 1, "Nummer"));
    ASSERT_NE(device, nullptr);
    device->serialNumber = 4711;
    device->serialModified = true;
    auto p = serial(device);
    EXPECT_TRUE(ops::setSerialNumber(p)) << result();
    EXPECT_EQ(result(), app::textAt(35219));
    EXPECT_EQ(simulator->device(0).serialNumber, 4711u);
    EXPECT_EQ(window.devices().at(0)->serialNumber, 4711u);
    EXPECT_FALSE(window.devices().at(0)->serialModified);
    EXPECT_NE(dir.read("SNR.LOG").find(" TS #SNR FOUND 00004711\n"), std::string::npos) << dir.read("SNR.LOG");

    // A number the device refuses: reported, logged out, not searched, logged as not found.
    simulator->update(0, [](devsim::Device& dev) { dev.web.serialState = -1; });
    window.devices().at(0)->serialNumber = 4712;
    auto refused = serial(window.devices().at(0));
    EXPECT_FALSE(ops::setSerialNumber(refused));
    EXPECT_EQ(result(), app::textAt(35221));
    EXPECT_NE(dir.read("SNR.LOG").find(" TS #SNR NOT FOUND 00004712\n"), std::string::npos);
    EXPECT_EQ(simulator->device(0).serialNumber, 4711u);
}

TEST_F(WebOperations, AcceptedNumberIsLoggedFoundEvenWhenTheDeviceIsNotSeenAgain)
{
    useEmptySerialLog();
    net::DeviceRecord* device = findDevice(test::simulatedDevice("192.168.0.101", 1, "Stumm"));
    ASSERT_NE(device, nullptr);
    // The device takes the number over the web, but its answers to the re-find are lost (they
    // carry another MAC, so the station never sees its device in them).
    simulator->update(0, [](devsim::Device& dev) { dev.faults.foreignMac = devsim::Mac{2, 0, 0, 0, 0x99, 0x99}; });
    device->serialNumber = 4713;
    device->serialModified = true;
    auto p = serial(device);
    EXPECT_FALSE(ops::setSerialNumber(p));
    EXPECT_EQ(result(), app::textAt(35204));
    EXPECT_EQ(simulator->device(0).serialNumber, 4713u);
    // Three searches, each announced, before the device counts as not found again.
    const auto steps = stepsAfterSearch();
    EXPECT_EQ(std::count(steps.begin(), steps.end(), app::textAt(35114)), 3) << ::testing::PrintToString(steps);
    const std::string log = dir.read("SNR.LOG");
    EXPECT_NE(log.find(" TS #SNR FOUND 00004713\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("NOT FOUND"), std::string::npos) << log;
}

TEST_F(WebOperations, ClockIsSetFromThisPc)
{
    net::DeviceRecord* device = findDevice(test::simulatedDevice("192.168.0.101", 1, "Uhr"));
    ASSERT_NE(device, nullptr);
    auto p = serial(device);
    EXPECT_TRUE(ops::setClock(p)) << result();
    EXPECT_EQ(result(), app::textAt(35233));
    EXPECT_EQ(stepsAfterSearch(), texts({35112, 35123, 35113, 35106}));
    const auto form = simulator->device(0).webState.dateTime;
    ASSERT_TRUE(form);
    EXPECT_TRUE(form->accepted);
    EXPECT_EQ(form->body.rfind("mdte=1&mdt=", 0), 0u);
    const auto zone = platform::currentTimeZone();
    EXPECT_NEAR(static_cast<double>(form->localTime), static_cast<double>(zone.utcSeconds - 60 * zone.biasMinutes), 120);

    simulator->update(0, [](devsim::Device& dev) { dev.web.dateTimeState = -2; });
    auto rtc = serial(window.devices().at(0));
    EXPECT_FALSE(ops::setClock(rtc));
    EXPECT_EQ(result(), app::textAt(35235));
}

TEST_F(WebOperations, HostileWebAnswersEndWithinTheirLimits)
{
    auto d = test::simulatedDevice("192.168.0.101", 1, "Feind");
    net::DeviceRecord* device = findDevice(d);
    ASSERT_NE(device, nullptr);
    // Answers that end at once run at 20 times real speed, so that the station's 30 s limits
    // still last 1.5 s of real time on a loaded machine; those that end by a time limit run at
    // 400 times, so that the five-minute wait for a first byte passes in under a second.
    struct Case {
        const char* fault;
        int text;
        double pace;
    };
    const Case faults[] = {
        {"web-no-answer", 35205, 400},          {"web-close-on-accept", 35206, 20},
        {"web-long-header", 35205, 20},         {"web-absolute-location", 35206, 20},
        {"web-lowercase-location", 35206, 20},  {"web-long-cookie", 35206, 20},
        // A login answer that trickles one byte every 29 s, or a stream that lasts 300 s: both end
        // 120 s after their first byte.
        {"web-trickle=29000", 35205, 400},      {"web-stream=/login.htm, web-stream-lines=300", 35205, 400},
    };
    for (const auto& [fault, text, pace] : faults) {
        setTimeScale(pace);
        auto parsed = devsim::parseFaults(fault);
        ASSERT_TRUE(parsed) << fault;
        // Logins that the station could not read leave sessions behind on the device.
        simulator->update(0, [&](devsim::Device& dev) {
            dev.faults = *parsed;
            dev.webState.sessions.clear();
        });
        auto p = serial(window.devices().at(0));
        EXPECT_FALSE(ops::setClock(p)) << fault;
        EXPECT_EQ(result(), app::textAt(static_cast<unsigned>(text))) << fault;
    }
}

TEST_F(WebOperations, LineStreamsOutlastTheAnswerLimitWhileLinesCome)
{
    // 40 times real speed: 200 s of answer in 5 s, and the station's 30 s limits still 750 ms of
    // real time, which a loaded machine's scheduling of the simulator does not reach.
    setTimeScale(40);
    auto d = test::simulatedDevice("192.168.0.101", 1, "Strom");
    net::DeviceRecord* device = findDevice(d);
    ASSERT_NE(device, nullptr);
    // 200 lines, one every 1 s, each trickled byte by byte: 200 s of answer.
    simulator->update(0, [](devsim::Device& dev) {
        dev.faults = *devsim::parseFaults(
            "web-stream=/cgi/protect/calibration-info.cgi, web-stream-lines=200, web-stream-ms=1000, web-split");
    });
    net::DeviceWebSession session(*window.devices().at(0));
    session.beginLogin("");
    int r = -1;
    while ((r = session.pollLogin().code()) < 0) platform::clock().sleep(1);
    ASSERT_EQ(r, 0);
    std::string line;
    std::vector<std::string> lines;
    session.beginReadCalibrationInfoLine(1, &line);
    const uint32_t start = platform::clock().tickCount();
    while ((r = session.pollReadCalibrationInfoLine().code()) < 0) {
        if (!line.empty()) lines.push_back(line);
        platform::clock().sleep(1);
    }
    EXPECT_EQ(r, 0);
    EXPECT_GE(platform::clock().tickCount() - start, 190000u);
    ASSERT_EQ(lines.size(), 200u);
    EXPECT_EQ(lines.back(), "stream line 200\r\n");
}
