// The four UDP commands against simulated devices in the test network.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/Texts.h"
#include "net/Limits.h"
#include "ops/Search.h"
#include "ops/UdpCommands.h"
#include "support/RecordingChannel.h"
#include "support/TempDir.h"
#include "Testbed.h"

using namespace vst;
using ops::StatusMessage;

namespace {

class UdpCommands : public test::Testbed {
protected:
    test::RecordingChannel window;
    test::TempDir dir;

    net::DeviceRecord* findDevice(devsim::Device device) { return findSingleDevice(window, std::move(device)); }

    ops::UdpCommandParams params(net::DeviceRecord* device, const std::string& password = "")
    {
        return test::deviceParams<ops::UdpCommandParams>(window, device, password);
    }

    // A backup or restore of the device with the file `name` in the test's folder.
    ops::UdpCommandParams fileParams(net::DeviceRecord* device, const std::string& name)
    {
        auto p = params(device);
        p.filePath.assign(dir.file(name));
        return p;
    }

    // Restores the device from the file `name` in the test's folder, written with `content`.
    bool restoreFrom(net::DeviceRecord* device, const std::string& name, const std::string& content)
    {
        dir.write(name, content);
        auto p = fileParams(device, name);
        return ops::restoreConfiguration(p);
    }

    // The result the operation showed (the last message box).
    std::string result() const
    {
        const auto shown = window.texts(StatusMessage::ShowMessage);
        return shown.empty() ? std::string() : shown.back();
    }
    int32_t resultStyle() const
    {
        int32_t style = -1;
        for (const auto& c : window.calls()) {
            if (c.message == StatusMessage::ShowMessage) style = c.value;
        }
        return style;
    }

    devsim::Device simulated() { return simulator->device(0); }
};

}  // namespace

TEST_F(UdpCommands, RenameChangesTheNameWithoutRestart)
{
    net::DeviceRecord* device = findDevice(test::simulatedDevice("192.168.0.101", 1, "Alt"));
    ASSERT_NE(device, nullptr);
    device->name.assign("Neu");
    device->nameModified = true;
    auto p = params(device);
    EXPECT_TRUE(ops::sendDeviceName(p));
    EXPECT_EQ(result(), app::textAt(35223));
    EXPECT_EQ(resultStyle(), 64);
    EXPECT_EQ(simulated().name, "Neu");
    ASSERT_EQ(window.devices().count(), 1);
    EXPECT_EQ(window.devices().current(), window.devices().at(0));
    EXPECT_EQ(window.devices().at(0)->name.str(), "Neu");
    EXPECT_FALSE(window.devices().at(0)->nameModified);
    const std::vector<std::string> steps = window.texts(StatusMessage::SetStep);
    EXPECT_EQ(std::count(steps.begin(), steps.end(), app::textAt(35111)), 0) << "no restart wait for a name";
}

TEST_F(UdpCommands, NetworkConfigurationIntoForeignSubnetIsFoundByLimitedBroadcast)
{
    net::DeviceRecord* device = findDevice(test::simulatedDevice("192.168.0.101", 1, "Umzug"));
    ASSERT_NE(device, nullptr);
    addDeviceAddress("172.16.5.5/16", "vst1");
    net::editNetworkSettings(*device, 0, net::toNetworkOrder(0xAC100505), net::toNetworkOrder(0xFFFF0000),
                             net::toNetworkOrder(0xAC100001), 0, 0);
    auto p = params(device);
    const uint32_t start = platform::clock().tickCount();
    EXPECT_TRUE(ops::sendNetworkConfiguration(p)) << result();
    EXPECT_GE(platform::clock().tickCount() - start, ops::kRestartWaitMs);
    EXPECT_EQ(result(), app::textAt(35222));
    EXPECT_EQ(devsim::formatIpv4(simulated().network.address), "172.16.5.5");
    ASSERT_EQ(window.devices().count(), 1);
    EXPECT_EQ(net::addressText(window.devices().at(0)->address), "172.16.5.5");
    EXPECT_FALSE(window.devices().at(0)->networkModified);
    // The steps after the search that found the device.
    const auto all = window.texts(StatusMessage::SetStep);
    const std::vector<std::string> expected = {app::textAt(35105), app::textAt(35107), app::textAt(35108),
                                               app::textAt(35111), app::textAt(35114), app::textAt(35106), ""};
    ASSERT_GE(all.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(all.end() - static_cast<long>(expected.size()), all.end()), expected);
    EXPECT_EQ(window.waits(), (std::vector<std::pair<std::string, int>>{{app::textAt(35111), 15}}));
}

TEST_F(UdpCommands, WrongPasswordChangesNothing)
{
    auto d = test::simulatedDevice("192.168.0.101", 1, "Geschuetzt");
    d.password = "richtig";
    net::DeviceRecord* device = findDevice(d);
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(device->passwordRequired);
    device->name.assign("Anders");
    auto p = params(device, "falsch");
    EXPECT_FALSE(ops::sendDeviceName(p));
    EXPECT_EQ(result(), app::textAt(35208));
    EXPECT_EQ(resultStyle(), 48);
    EXPECT_EQ(simulated().name, "Geschuetzt");

    auto right = params(device, "richtig");
    EXPECT_TRUE(ops::sendDeviceName(right));
    EXPECT_EQ(simulated().name, "Anders");
}

TEST_F(UdpCommands, SilentDeviceGivesNoResponse)
{
    net::DeviceRecord* device = findDevice(test::simulatedDevice("192.168.0.101", 1, "Stumm"));
    ASSERT_NE(device, nullptr);
    simulator->update(0, [](devsim::Device& d) { d.faults.silent = true; });
    auto p = params(device);
    EXPECT_FALSE(ops::sendDeviceName(p));
    EXPECT_EQ(result(), app::textAt(35202));
}

TEST_F(UdpCommands, DeviceAnsweringWithAnotherMacIsNotFoundAgain)
{
    auto d = test::simulatedDevice("192.168.0.101", 1, "Falsch");
    net::DeviceRecord* device = findDevice(d);
    ASSERT_NE(device, nullptr);
    simulator->update(0, [](devsim::Device& dev) { dev.faults.foreignMac = devsim::Mac{2, 0, 0, 0, 0, 0x99}; });
    auto p = params(device);
    EXPECT_FALSE(ops::sendDeviceName(p));
    EXPECT_EQ(result(), app::textAt(35204));
}

TEST_F(UdpCommands, BackupAndRestoreRoundTrip)
{
    auto d = test::simulatedDevice("192.168.0.101", 1, "Sicher");
    d.configuration.userLines = {"[User]", "Sprache=0", "Ort=Halle \xE4"};
    d.configuration.processLines = {"#PCN 1", "#PCS 2"};
    net::DeviceRecord* device = findDevice(d);
    ASSERT_NE(device, nullptr);

    auto backup = fileParams(device, "config-processlist.bak");
    EXPECT_TRUE(ops::backupConfiguration(backup)) << result();
    EXPECT_EQ(result(), app::textAt(35225));
    EXPECT_EQ(dir.read("config-processlist.bak"), "[User]\nSprache=0\nOrt=Halle \xE4\n\n#PCN 1\n#PCS 2\n");

    EXPECT_TRUE(restoreFrom(window.devices().at(0), "new.bak", "[User]\nSprache=1\n\n#PCN 7\n")) << result();
    EXPECT_EQ(result(), app::textAt(35227));
    EXPECT_EQ(simulated().configuration.userLines, (std::vector<std::string>{"[User]", "Sprache=1"}));
    EXPECT_EQ(simulated().configuration.processLines, (std::vector<std::string>{"#PCN 7"}));
    // "Sende Prozessliste" is shown as a text of its own when the switch goes out.
    const auto texts = window.texts(StatusMessage::SetStepText);
    EXPECT_EQ(texts, std::vector<std::string>{app::textAt(35120)});
}

TEST_F(UdpCommands, FailedBackupKeepsTheEarlierFile)
{
    net::DeviceRecord* device = findDevice(test::simulatedDevice("192.168.0.101", 1, "Halb"));
    ASSERT_NE(device, nullptr);
    dir.write("keep.bak", "earlier backup\n");
    simulator->update(0, [](devsim::Device& dev) { dev.faults.silent = true; });
    auto p = fileParams(device, "keep.bak");
    EXPECT_FALSE(ops::backupConfiguration(p));
    EXPECT_EQ(result(), app::textAt(35202));
    EXPECT_EQ(dir.read("keep.bak"), "earlier backup\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    p.filePath.assign(dir.file("missing-folder/x.bak"));
    EXPECT_FALSE(ops::backupConfiguration(p));
    EXPECT_EQ(result(), app::textAt(35224));
    EXPECT_EQ(resultStyle(), 16);
}

TEST_F(UdpCommands, RestoreRefusesUnusableFiles)
{
    net::DeviceRecord* device = findDevice(test::simulatedDevice("192.168.0.101", 1, "Datei"));
    ASSERT_NE(device, nullptr);
    auto p = fileParams(device, "missing.bak");
    EXPECT_FALSE(ops::restoreConfiguration(p));
    EXPECT_EQ(result(), app::textAt(35226));
    dir.write("long.bak", std::string(300, 'x') + "\n");
    p.filePath.assign(dir.file("long.bak"));
    EXPECT_FALSE(ops::restoreConfiguration(p));
    EXPECT_EQ(result(), app::textAt(35226));
    EXPECT_EQ(simulator->statistics().datagramsReceived, 1u) << "only the search reached the device";
}

TEST_F(UdpCommands, BackupChunkWithoutTerminatorStaysInItsField)
{
    auto d = test::simulatedDevice("192.168.0.101", 1, "OhneNul");
    d.configuration.userLines = {"a"};
    d.faults.set(devsim::Malformation::BackupWithoutNul);
    net::DeviceRecord* device = findDevice(d);
    ASSERT_NE(device, nullptr);
    auto p = fileParams(device, "b.bak");
    ops::backupConfiguration(p);
    const std::string content = dir.read("b.bak");
    EXPECT_LE(content.size(), 300u);
}

TEST_F(UdpCommands, DuplicatedAnswersDoNotCorruptBackupOrRestore)
{
    auto d = test::simulatedDevice("192.168.0.101", 1, "Doppelt");
    d.configuration.userLines = {"[User]", "Sprache=0"};
    d.configuration.processLines = {"#PCN 1", "#PCS 2"};
    d.faults.duplicateAnswers = true;
    d.faults.restoreStrict = true;
    net::DeviceRecord* device = findDevice(d);
    ASSERT_NE(device, nullptr);

    auto backup = fileParams(device, "b.bak");
    EXPECT_TRUE(ops::backupConfiguration(backup)) << result();
    EXPECT_EQ(dir.read("b.bak"), "[User]\nSprache=0\n\n#PCN 1\n#PCS 2\n");

    // A file with CR LF line ends and trailing empty lines: the switch goes out, no CR and no
    // empty final chunk reach the device (restore-strict would refuse them).
    EXPECT_TRUE(restoreFrom(window.devices().at(0), "crlf.bak", "[User]\r\nSprache=1\r\n\r\n#PCN 7\r\n\r\n")) << result();
    EXPECT_EQ(result(), app::textAt(35227));
    EXPECT_EQ(simulated().configuration.userLines, (std::vector<std::string>{"[User]", "Sprache=1"}));
    EXPECT_EQ(simulated().configuration.processLines, (std::vector<std::string>{"#PCN 7"}));
}

TEST_F(UdpCommands, RestoreRefusesEmptyUnreadableAndNulFilesBeforeSending)
{
    net::DeviceRecord* device = findDevice(test::simulatedDevice("192.168.0.101", 1, "Leer"));
    ASSERT_NE(device, nullptr);
    const auto before = simulated().configuration;
    dir.write("empty.bak", "");
    dir.write("nul.bak", std::string("[User]\nA=1\0B\n", 13));
    for (const std::string& file : {dir.file("empty.bak"), dir.file("nul.bak"), std::string("/proc/self/mem")}) {
        auto p = params(device);
        p.filePath.assign(file);
        EXPECT_FALSE(ops::restoreConfiguration(p)) << file;
        EXPECT_EQ(result(), app::textAt(35226)) << file;
        EXPECT_EQ(resultStyle(), 16) << file;
    }
    EXPECT_EQ(simulator->statistics().datagramsReceived, 1u) << "only the search reached the device";
    EXPECT_EQ(simulated().configuration, before);
}

TEST_F(UdpCommands, BackupThatNeverEndsStopsAndKeepsTheEarlierFile)
{
    auto d = test::simulatedDevice("192.168.0.101", 1, "Endlos");
    d.configuration.userLines = {"[User]", std::string(200, 'u')};
    d.faults.backupEndless = true;
    net::DeviceRecord* device = findDevice(d);
    ASSERT_NE(device, nullptr);
    dir.write("keep.bak", "earlier backup\n");
    auto p = fileParams(device, "keep.bak");
    EXPECT_FALSE(ops::backupConfiguration(p));
    EXPECT_EQ(result(), app::textAt(35202));
    EXPECT_EQ(dir.read("keep.bak"), "earlier backup\n");
    // Chunks of about 100 bytes: the 20 000-chunk limit ends it, 2 MB in.
    EXPECT_LE(simulator->statistics().datagramsReceived, 1u + net::kMaxBackupChunks + 1);
    EXPECT_GE(simulator->statistics().datagramsReceived, 1u + net::kMaxBackupChunks);
}

// The service backup takes only a backup with configuration: a device that sends none (its first
// answer already ends the backup) gets 37403, no file, and an earlier file of that name stays.
// The workflows' backup takes the same answers as they are.
TEST_F(UdpCommands, ServiceBackupRefusesAnEmptyConfiguration)
{
    struct Case {
        const char* name;
        devsim::Configuration configuration;
        bool serviceSaves;
        std::string file;  // what a saved backup holds
    };
    const Case cases[] = {
        {"nothing", {}, false, ""},
        {"process list only", {{}, {"#PCN 1"}}, true, "\n#PCN 1\n"},
        {"user configuration only", {{"[User]"}, {}}, true, "[User]\n"},
    };
    net::DeviceRecord* device = findDevice(test::simulatedDevice("192.168.0.101", 1, "Leer"));
    ASSERT_NE(device, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        simulator->update(0, [&](devsim::Device& d) { d.configuration = c.configuration; });
        dir.write("service.bak", "earlier backup\n");
        auto service = params(window.devices().at(0));
        service.filePath.assign(dir.file("service.bak"));
        EXPECT_EQ(ops::serviceBackup(service), c.serviceSaves);
        EXPECT_EQ(result(), app::textAt(c.serviceSaves ? 35225 : 37403));
        EXPECT_EQ(resultStyle(), c.serviceSaves ? 64 : 48);
        EXPECT_EQ(dir.read("service.bak"), c.serviceSaves ? c.file : "earlier backup\n");

        auto workflow = params(window.devices().at(0));
        workflow.filePath.assign(dir.file("workflow.bak"));
        EXPECT_TRUE(ops::backupConfiguration(workflow));
        EXPECT_EQ(result(), app::textAt(35225));
        EXPECT_EQ(dir.read("workflow.bak"), c.file);
    }
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}
