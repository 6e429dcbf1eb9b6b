// The endurance run's worker against simulated devices, timed on the protocol clock: the spacing
// of the test passes, and a stop by the operator in the middle of the preparation.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "app/Format.h"
#include "app/Texts.h"
#include "ops/Endurance.h"
#include "ops/LogWindow.h"
#include "support/FirmwareFile.h"
#include "support/TempDir.h"
#include "Testbed.h"

using namespace vst;
namespace fs = std::filesystem;

namespace {

// The window of a run: the stop button's flag, a log, and hooks on notices and headings.
class RunWindow : public test::RecordingChannel {
public:
    std::atomic<bool> active{true};
    std::function<void(const std::string&)> onNotice;
    std::function<void(const std::string&)> onHeading;
    ops::LogWindow log;

    bool enduranceActive() override { return active; }
    int showMessage(const ops::TextWithValue& m) override
    {
        if (onNotice) onNotice(m.text);
        return RecordingChannel::showMessage(m);
    }
    void setHeading(const ops::TextWithValue& h) override
    {
        RecordingChannel::setHeading(h);
        if (onHeading) onHeading(h.text);
    }
    ops::LogWindow* createLogWindow() override { return &log; }
    bool releaseSerialNumber(uint32_t) override { return true; }
};

class EnduranceRun : public test::Testbed {
protected:
    test::TempDir dir;
    RunWindow window;
    ops::EnduranceParams params;
    ops::EnduranceOutcome outcome;

    // `count` devices at 192.168.0.141 and up, each connected when the run asks for it.
    void prepare(int count)
    {
        setTimeScale(20);
        fs::create_directories(dir.path() / "run");
        fs::create_directories(dir.path() / "private");
        dir.write("run/config-processlist.bak", "Name=Dauerlauf\n\nP1=Zaehler\n");
        dir.write("VestrolanV106.hex", test::firmwareImage("1.06"));
        std::vector<devsim::Device> devices;
        for (int n = 1; n <= count; ++n) {
            auto d = test::simulatedDevice("192.168.0.14" + std::to_string(n), static_cast<uint8_t>(0x40 + n), "D");
            d.password = "730";
            d.serialNumber = 0xFFFFFFFFu;
            d.restartMs = 20;
            devices.push_back(d);
            addDeviceAddress("192.168.0.20" + std::to_string(n) + "/24");
        }
        startSimulator(devices);
        window.onNotice = [this](const std::string& text) {
            for (int n = 1; n <= 9; ++n) {
                if (text == app::formatText(app::loadText(35407), n)) {
                    addDeviceAddress("192.168.0.14" + std::to_string(n) + "/24");
                }
            }
        };
        params.channel = &window;
        params.deviceCount = static_cast<uint32_t>(count);
        params.number.assign("B1");
        params.runFolder.assign(dir.file("run"));
        params.root = dir.str();
        params.card = card0;
        params.password.assign("730");
        params.target = 0xC0A800C9;  // 192.168.0.201
        for (int n = 1; n <= count; ++n) params.serials.push_back(static_cast<uint32_t>(n * 100));
        params.firmwarePath.assign(dir.file("VestrolanV106.hex"));
        params.privateFolder = dir.file("private");
    }

    std::vector<uint32_t> headingTicks(const std::string& heading) const
    {
        std::vector<uint32_t> ticks;
        for (const auto& c : window.calls()) {
            if (c.message == ops::StatusMessage::SetHeading && c.text == heading) ticks.push_back(c.tick);
        }
        return ticks;
    }
    static std::string step(app::TextId id, int n) { return app::formatText("%s #%d", app::loadText(id).c_str(), n); }
};

}  // namespace

// However short the tests are, a pass starts no earlier than 30 s after the one before it; the
// pass limit ends the run like the stop button, before a further wait. The devices get the run
// configuration as it was when the run started, even when the run folder's file changes meanwhile,
// and a record folder that cannot be made is logged without failing its device.
TEST_F(EnduranceRun, PassesAreThirtySecondsApart)
{
    prepare(2);
    params.passLimit = 2;
    const std::string original = dir.read("run/config-processlist.bak");
    window.onHeading = [this](const std::string& text) {
        if (text == step(35305, 1)) dir.write("run/config-processlist.bak", "Name=Fremd\n\nP9=Andere\n");
    };
    dir.write("SNR_00000200", "a file where the folder would go");
    ops::runEnduranceRun(params, outcome);
    EXPECT_TRUE(outcome.allPassed());
    EXPECT_EQ(outcome.passes, 2);
    const auto first = headingTicks(step(35313, 1));
    ASSERT_EQ(first.size(), 2u);
    for (size_t i = 1; i < first.size(); ++i) EXPECT_GE(first[i] - first[i - 1], ops::kPassSpacingMs) << i;
    EXPECT_EQ(headingTicks(step(35313, 2)).size(), 2u);
    EXPECT_TRUE(fs::is_empty(dir.file("private"))) << "the private copy goes at the end";
    EXPECT_EQ(window.devices().at(0)->rowStatus, 2);
    EXPECT_EQ(simulator->device(1).configuration.userLines, std::vector<std::string>{"Name=Dauerlauf"});
    EXPECT_EQ(dir.read("SNR_00000100/config-processlist.bak"), original);
    EXPECT_NE(window.log.text().find("  - MSG: " + app::loadText(35224)), std::string::npos);
}

// A stop while device 2 gets its address: that step still finishes, device 3 is not configured;
// no device completed a pass, so none is reported as passed or turns green.
TEST_F(EnduranceRun, StopDuringNetworkStep)
{
    prepare(3);
    window.onHeading = [this](const std::string& text) {
        if (text == step(35306, 2)) window.active = false;
    };
    ops::runEnduranceRun(params, outcome);
    EXPECT_FALSE(outcome.aborted);
    EXPECT_EQ(outcome.failed, std::vector<bool>(3, false));
    EXPECT_EQ(outcome.completed, std::vector<bool>(3, false));
    EXPECT_EQ(simulator->device(1).network.address, devsim::parseIpv4("192.168.0.202").value());
    EXPECT_EQ(simulator->device(2).network.address, devsim::parseIpv4("192.168.0.143").value());
    // The summary after its date: no passes, and every device "has not completed the long run".
    const std::string summary = app::loadText(36025);
    std::string expected = app::formatText(summary.substr(summary.find("%s") + 2), 0);
    for (int n = 1; n <= 3; ++n) expected += app::formatText(app::loadText(ops::kNotCompletedText), n);
    const std::string log = window.log.text();
    ASSERT_GE(log.size(), expected.size());
    EXPECT_EQ(log.substr(log.size() - expected.size()), expected);
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(headingTicks(step(35315, n)).size(), 1u) << "every found device gets its cleanup";
        EXPECT_EQ(window.devices().at(n - 1)->rowStatus, 1) << n;
    }
}

// A device that answers its serial number with success but keeps its own is found again with the
// wrong number (35220): that re-find replaced its record in the list. The device fails at the
// serial-number step, its current row turns red, its SD card is still cleaned through its current
// record, and the other device goes on.
TEST_F(EnduranceRun, DeviceKeepingItsOwnSerialNumberFailsRed)
{
    prepare(2);
    params.passLimit = 1;
    simulator->update(0, [](devsim::Device& d) { d.web.serialKept = true; });
    ops::runEnduranceRun(params, outcome);
    EXPECT_FALSE(outcome.aborted);
    EXPECT_EQ(outcome.failed, (std::vector<bool>{true, false}));
    EXPECT_EQ(outcome.completed, (std::vector<bool>{false, true}));
    ASSERT_EQ(window.devices().count(), 2);
    EXPECT_EQ(window.devices().at(0)->rowStatus, 3);
    EXPECT_EQ(window.devices().at(1)->rowStatus, 2);
    const std::string log = window.log.text();
    EXPECT_NE(log.find(app::loadText(35220)), std::string::npos) << log;
    const std::string failed = app::formatText(app::loadText(36027), 1, "", app::loadText(35308).c_str());
    const std::string failedTail = failed.substr(failed.find("\""));
    EXPECT_NE(outcome.summary.find(failedTail), std::string::npos) << outcome.summary;
    EXPECT_EQ(headingTicks(step(35315, 1)).size(), 1u);
    EXPECT_FALSE(simulator->device(0).webState.deleteRequests.empty()) << "the cleanup reached the device";
    EXPECT_EQ(simulator->device(0).serialNumber, devsim::kNoSerialNumber);
    EXPECT_FALSE(fs::exists(dir.file("SNR_00000100"))) << "no records for a number the device does not carry";
    EXPECT_TRUE(fs::exists(dir.file("SNR_00000200/Charge.txt")));
}
