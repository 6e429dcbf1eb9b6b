#include "ops/UdpCommands.h"

#include <gtest/gtest.h>

#include "app/NetworkCards.h"
#include "ops/DeviceColumns.h"
#include "ops/DeviceList.h"
#include "ops/InputChecks.h"
#include "ops/Refind.h"

using namespace vst;
using namespace vst::ops;

namespace {

std::string modes(const std::vector<RestoreChunk>& chunks)
{
    std::string out;
    for (const auto& c : chunks) out += c.mode;
    return out;
}

}  // namespace

TEST(RestoreChunks, UserConfigurationSwitchAndProcessList)
{
    std::vector<RestoreChunk> c;
    ASSERT_TRUE(splitRestoreFile("u1\nu2\n\np1\np2\n", c));
    EXPECT_EQ(modes(c), "RCSCF");
    EXPECT_EQ(c[0].text, "u1");
    EXPECT_EQ(c[2].text, "");
    EXPECT_EQ(c[4].text, "p2");
    // Positions: 20 + 40 * (offset after the line feed) / size, only for non-empty lines.
    EXPECT_EQ(c[0].position, 20 + 40 * 3 / 13);  // 13 bytes in all
    EXPECT_EQ(c[2].position, -1);
    EXPECT_EQ(c[4].position, 60);
}

TEST(RestoreChunks, EdgesOfTheFile)
{
    struct Case {
        std::string file;
        bool usable;
        std::string modes;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"only\n", true, "F", {"only"}},
        {"a\nb", true, "RF", {"a", "b"}},  // last line without line feed
        {"a\nb\n", true, "RF", {"a", "b"}},  // no empty line: no switch
        {"\np\n", true, "SF", {"", "p"}},  // no user configuration
        // CR LF line ends: the CR before each LF is dropped, so the empty line still switches.
        {"u1\r\nu2\r\n\r\np1\r\n", true, "RCSF", {"u1", "u2", "", "p1"}},
        // A CR anywhere else is sent as it is.
        {"a\rb\r\r\nc\r", true, "RF", {"a\rb\r", "c\r"}},
        // Empty lines at the end carry nothing: never an empty final chunk.
        {"u\n\n", true, "F", {"u"}},
        {"u\n\np\n\n\r\n", true, "RSF", {"u", "", "p"}},
        // Nothing to send, or a NUL that would cut a line: refused.
        {"", false, "", {}},
        {"\n\r\n\n", false, "", {}},
        {std::string("a\nb\0c\n", 7), false, "", {}},
        {std::string(249, 'x') + "\n", true, "F", {std::string(249, 'x')}},
        {"a\n" + std::string(250, 'x') + "\n", false, "", {}},
    };
    for (const auto& c : cases) {
        std::vector<RestoreChunk> chunks;
        EXPECT_EQ(splitRestoreFile(c.file, chunks), c.usable) << c.file;
        if (!c.usable) continue;
        EXPECT_EQ(modes(chunks), c.modes) << c.file;
        std::vector<std::string> texts;
        for (const auto& chunk : chunks) texts.push_back(chunk.text);
        EXPECT_EQ(texts, c.texts) << c.file;
    }
}

TEST(DeviceColumns, VersionRule)
{
    EXPECT_EQ(versionText(1.05f), "1.05");
    EXPECT_EQ(versionText(1.0512f), "1.05 B12");
    EXPECT_EQ(versionText(1.0503f), "1.05 B03");
    EXPECT_EQ(versionText(0.0f), "0.00");
    EXPECT_EQ(versionText(12.5f), "12.50");
}

TEST(DeviceColumns, SerialColumnByKind)
{
    net::DeviceRecord r;
    r.serialNumber = 42;
    for (int kind : {0, 2, 3}) {
        r.productKind = kind;
        EXPECT_EQ(deviceColumnText(r, kColumnSerial), "00000042");
    }
    r.productKind = 1;
    EXPECT_EQ(deviceColumnText(r, kColumnSerial), "-");
    EXPECT_EQ(deviceColumnText(r, kColumnBootloaderVersion), "-");
    r.productKind = 0;
    r.serialNumber = net::kNoSerialNumber;
    EXPECT_EQ(deviceColumnText(r, kColumnSerial), "N/A");
    r.address = net::toNetworkOrder(0x0A000102);
    EXPECT_EQ(deviceColumnText(r, kColumnAddress), "10.0.1.2");
}

TEST(DeviceListRules, DuplicatesReplaceAndCurrent)
{
    DeviceList list;
    auto make = [](uint8_t last, const char* name) {
        auto r = std::make_unique<net::DeviceRecord>();
        r->mac = {0, 0, 0, 0, 0, last};
        r->name.assign(name);
        return r;
    };
    EXPECT_NE(list.add(make(1, "a")), nullptr);
    EXPECT_EQ(list.add(make(1, "dup")), nullptr);
    net::DeviceRecord* b = list.add(make(2, "b"));
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.at(0)->name.str(), "a");
    list.setCurrent(b);
    net::DeviceRecord* b2 = list.replace(make(2, "b2"));
    EXPECT_EQ(list.current(), b2);
    EXPECT_EQ(list.at(1)->name.str(), "b2");
    EXPECT_EQ(list.count(), 2);
    // A record of a device that is not listed is appended.
    list.replace(make(3, "c"));
    EXPECT_EQ(list.count(), 3);
    list.remove(*b2);
    EXPECT_EQ(list.current(), nullptr);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(list.at(5), nullptr);
    net::DeviceRecord stranger;
    list.setCurrent(&stranger);
    EXPECT_EQ(list.current(), nullptr);
}

TEST(CommandTargets, SubnetBroadcastOrLimitedBroadcast)
{
    app::NetworkCard card;
    card.addresses = {{0xC0A80001, 0xFFFFFF00}, {0x0A000001, 0xFF000000}};
    net::DeviceRecord r;
    r.card = &card;
    r.address = r.previousAddress = net::toNetworkOrder(0xC0A80065);
    r.mask = r.previousMask = net::toNetworkOrder(0xFFFFFF00);
    EXPECT_EQ(commandTarget(r, false), 0xC0A80065u);
    EXPECT_EQ(commandTarget(r, true), 0xC0A800FFu);
    net::editNetworkSettings(r, 0, net::toNetworkOrder(0xAC100005), net::toNetworkOrder(0xFFFF0000), 0, 0, 0);
    EXPECT_EQ(commandTarget(r, false), 0xC0A80065u);  // still sent to where the device is now
    EXPECT_EQ(newAddressTarget(r, false), 0xFFFFFFFFu);  // its new subnet is on no card
    net::editNetworkSettings(r, 0, net::toNetworkOrder(0x0A010203), net::toNetworkOrder(0xFFFF0000), 0, 0, 0);
    EXPECT_EQ(newAddressTarget(r, true), 0x0A01FFFFu);
    r.card = nullptr;
    EXPECT_EQ(commandTarget(r, false), 0xFFFFFFFFu);
}

TEST(NetworkInputChecks, OrderAndFourParts)
{
    NetworkValues v{};
    NetworkInput in{1, "192.168.0.5", "255.255.255.0", "0.0.0.0", "0.0.0.0", "0.0.0.0"};
    EXPECT_EQ(checkNetworkInput(in, v), std::nullopt);
    EXPECT_EQ(v.address, 0xC0A80005u);
    in.address = "0.0.0.0";
    EXPECT_EQ(checkNetworkInput(in, v), app::TextId{30413});
    in.address = "192.168.0";
    EXPECT_EQ(checkNetworkInput(in, v), app::TextId{30413});
    in.address = "192.168.0.5";
    in.mask = "255.255.255.256";
    EXPECT_EQ(checkNetworkInput(in, v), app::TextId{30414});
    in.mask = "255.0.0.0";
    in.dns2 = "1.1.1.";
    EXPECT_EQ(checkNetworkInput(in, v), app::TextId{30417});
    in.gateway = "x";
    EXPECT_EQ(checkNetworkInput(in, v), app::TextId{30415});
    EXPECT_EQ(parseFourPartAddress("1.2.3.4 "), std::nullopt);
    EXPECT_EQ(parseFourPartAddress("001.002.003.004"), 0x01020304u);
    EXPECT_EQ(parseFourPartAddress("1.2.3.0004"), std::nullopt);
}
