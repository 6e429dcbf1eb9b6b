// The simulator's state file: what the devices were told comes back byte for byte, a restarting
// device is kept as it will come back, and a file that is not a state file is refused with its line.
#include "devsim/StateFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vst::devsim;

namespace {

DeviceState state(uint8_t last, std::string name)
{
    DeviceState s;
    s.mac = {0x02, 0, 0, 0, 0, last};
    s.network.address = 0xC0A80000u + last;
    s.name = std::move(name);
    return s;
}

}  // namespace

TEST(StateFile, EverythingToldComesBackAsItWas)
{
    std::vector<DeviceState> states = {state(1, "Kesselhaus"), state(2, ""), state(3, " Halle 3 "),
                                       state(4, "a\\b\x01\xE4\x7F\xFF"), state(5, "\\x41")};
    states[0].serialNumber = 12345678;
    states[0].appVersion = 1.05;
    states[0].network = {DhcpMode::Client, 0x0A14FFFEu, 0xFFFF0000u, 0x0A140001u, 0x08080808u, 0x01010101u};
    states[0].configuration.userLines = {"TYPE=ENG;NAME=AIN1", " lead and trail ", "C:\\pfad\\x41"};
    states[0].configuration.processLines = {"Prozess = 1", "\xE4\xF6\xFC"};
    states[1].appVersion = 1.0512;
    states[2].network.dhcp = DhcpMode::Server;
    states[3].appVersion = 20500;  // another kind: in 1/10000
    const std::string text = formatState(states);
    std::string error;
    const auto back = parseState(text, &error);
    ASSERT_TRUE(back) << error << "\n" << text;
    EXPECT_EQ(*back, states);
    // The file is plain ASCII text: every other byte is written as an escape.
    for (char c : text) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << static_cast<int>(c);
    EXPECT_NE(text.find("name = \\x20Halle 3\\x20\n"), std::string::npos) << text;
    EXPECT_NE(text.find("serial = none\n"), std::string::npos);
}

TEST(StateFile, RestartingDeviceIsKeptAsItWillComeBack)
{
    Device device;
    device.mac = {0x02, 0, 0, 0, 0, 9};
    device.network.address = 0xC0A80065u;
    device.name = "Lager";
    device.serialNumber = 4711;
    device.appVersion = 1.04;
    device.configuration.userLines = {"x"};
    device.password = "geheim";
    EXPECT_EQ(stateOf(device).network.address, 0xC0A80065u);
    EXPECT_EQ(stateOf(device).appVersion, 1.04);
    device.restarting = true;
    device.pendingNetwork = NetworkSettings{DhcpMode::Off, 0xC0A80096u, 0xFFFFFF00u, 0, 0, 0};
    device.pendingAppVersion = 1.06;
    const DeviceState s = stateOf(device);
    EXPECT_EQ(s.network.address, 0xC0A80096u);
    EXPECT_EQ(s.appVersion, 1.06);
    EXPECT_EQ(s.name, "Lager");
    EXPECT_EQ(s.serialNumber, 4711u);
    EXPECT_EQ(s.configuration.userLines, std::vector<std::string>{"x"});
}

// Devices of the fleet with a kept state take it; the others, and what a device cannot be told
// (its password, its faults), stay as the fleet says; states of devices not in the fleet are ignored.
TEST(StateFile, AppliesToTheDevicesOfTheSameMacOnly)
{
    std::vector<Device> devices(2);
    devices[0].mac = {0x02, 0, 0, 0, 0, 1};
    devices[0].name = "Alt";
    devices[0].password = "geheim";
    devices[0].faults.silent = true;
    devices[1].mac = {0x02, 0, 0, 0, 0, 2};
    devices[1].name = "Bleibt";
    DeviceState kept = state(1, "Neu");
    kept.serialNumber = 99;
    kept.appVersion = 1.06;
    kept.configuration.processLines = {"p"};
    EXPECT_EQ(applyState(devices, {kept, state(7, "Fremd")}), 1u);
    EXPECT_EQ(devices[0].name, "Neu");
    EXPECT_EQ(devices[0].network.address, kept.network.address);
    EXPECT_EQ(devices[0].serialNumber, 99u);
    EXPECT_EQ(devices[0].appVersion, 1.06);
    EXPECT_EQ(devices[0].configuration.processLines, std::vector<std::string>{"p"});
    EXPECT_EQ(devices[0].password, "geheim");
    EXPECT_TRUE(devices[0].faults.silent);
    EXPECT_EQ(devices[1].name, "Bleibt");
}

TEST(StateFile, RefusesWhatIsNotAStateFileWithItsLine)
{
    const std::string device = "[device]\nmac = 02:00:00:00:00:01\naddress = 192.168.0.1\nmask = 255.255.255.0\n";
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"[fleet]\n", "line 1: unknown section [fleet] (only [device])"},
        {"mac = 02:00:00:00:00:01\n", "line 1: key outside a [device] section"},
        {device + "colour = red\n", "line 5: unknown key 'colour'"},
        {device + "name = \\q\n", "line 5: bad escape in the name"},
        {device + "name = \\x4\n", "line 5: bad escape in the name"},
        {device + "name = 0123456789abcdef\n", "line 5: name is longer than 15 characters"},
        {device + "serial = -1\n", "line 5: serial must be a number or 'none'"},
        {device + "app = nan\n", "line 5: app must be a version like 1.05"},
        {device + "config_line = " + std::string(249, 'x') + "\n", "line 5: config_line is longer than 248 characters"},
        {device + "mask = 255.0.0.0\n", "line 5: key 'mask' given twice"},
        {"[device]\nmac = 02:00:00:00:00:01\naddress = 192.168.0.1\n", "line 3: device at line 1 has no mask"},
        {device + device, "MAC address 02:00:00:00:00:01 is kept twice"},
        {device + "just words\n", "line 5: expected key = value"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parseState(c.text, &error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
    EXPECT_TRUE(parseState(device + "# a comment\n\n"));
    EXPECT_TRUE(parseState(""));
}
