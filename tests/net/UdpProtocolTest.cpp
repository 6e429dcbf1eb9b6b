#include "net/UdpProtocol.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vst::net;

namespace {

std::vector<uint8_t> bytes(std::initializer_list<int> list)
{
    std::vector<uint8_t> out;
    for (int b : list) out.push_back(static_cast<uint8_t>(b));
    return out;
}

// A search answer as a device sends it.
std::vector<uint8_t> answer(uint16_t word, uint8_t status, uint32_t version, uint32_t boot)
{
    std::vector<uint8_t> a(67, 0);
    std::memcpy(a.data(), "KW_VtL", 6);
    a[6] = word & 0xFF;
    a[7] = word >> 8;
    a[8] = 67;
    a[10] = status;
    std::memcpy(a.data() + 11, &version, 4);
    std::memcpy(a.data() + 15, &boot, 4);
    const uint32_t serial = 12345678;
    std::memcpy(a.data() + 19, &serial, 4);
    std::memcpy(a.data() + 23, "Kessel 3", 8);
    a[39] = 1;
    const uint8_t addr[20] = {192, 168, 0, 101, 255, 255, 255, 0, 192, 168, 0, 1, 8, 8, 8, 8, 1, 1, 1, 1};
    std::memcpy(a.data() + 40, addr, sizeof addr);
    const uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::memcpy(a.data() + 60, mac, 6);
    a[66] = 1;
    return a;
}

uint32_t floatBits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

}  // namespace

TEST(UdpFraming, SearchRequestBytes)
{
    EXPECT_EQ(buildSearchRequest(kAllDevices),
              bytes({'K', 'W', '_', 'V', 't', 'L', '?', 'S', 16, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    const Mac m{1, 2, 3, 4, 5, 6};
    const auto filtered = buildSearchRequest(m);
    EXPECT_EQ(std::vector<uint8_t>(filtered.begin() + 10, filtered.end()), bytes({1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(kWordSearch, 0x533F);
    EXPECT_EQ(kWordSetNetwork, 0x493D);
    EXPECT_EQ(kWordRestoreAnswer, 0x5221);
}

TEST(UdpFraming, SetNetworkCommandLayout)
{
    DeviceRecord r;
    r.mac = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    r.dhcpServer = true;
    r.address = toNetworkOrder(0x0A000102);
    r.mask = toNetworkOrder(0xFFFF0000);
    r.gateway = toNetworkOrder(0x0A000001);
    r.dns1 = toNetworkOrder(0x08080808);
    r.dns2 = toNetworkOrder(0x01010101);
    const auto d = buildSetNetwork(r, Password("geheim"));
    ASSERT_EQ(d.size(), 87u);
    EXPECT_EQ(d[6], '=');
    EXPECT_EQ(d[7], 'I');
    EXPECT_EQ(d[8], 87);
    EXPECT_EQ(d[9], 0);
    EXPECT_EQ(std::vector<uint8_t>(d.begin() + 10, d.begin() + 16), bytes({0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.data() + 16)), "geheim");
    for (size_t i = 22; i < 66; ++i) EXPECT_EQ(d[i], 0) << i;
    EXPECT_EQ(d[66], 2);
    EXPECT_EQ(std::vector<uint8_t>(d.begin() + 67, d.end()),
              bytes({10, 0, 1, 2, 255, 255, 0, 0, 10, 0, 0, 1, 8, 8, 8, 8, 1, 1, 1, 1}));
    r.dhcpServer = false;
    EXPECT_EQ(buildSetNetwork(r, Password())[66], 0);
    r.dhcpClient = true;
    r.dhcpServer = true;
    EXPECT_EQ(buildSetNetwork(r, Password())[66], 1);
}

TEST(UdpFraming, NameBackupAndRestoreCommands)
{
    DeviceRecord r;
    r.name.assign("Halle 7");
    const auto name = buildSetName(r, Password());
    ASSERT_EQ(name.size(), 82u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(name.data() + 66)), "Halle 7");
    EXPECT_EQ(name[81], 0);

    const auto backup = buildBackupRequest(r.mac, Password(), 'R');
    ASSERT_EQ(backup.size(), 67u);
    EXPECT_EQ(backup[66], 'R');

    const auto chunk = buildRestoreChunk(r.mac, Password(), 'C', "Zeile");
    ASSERT_EQ(chunk.size(), 68u + 5);
    EXPECT_EQ(chunk[8], 73);
    EXPECT_EQ(chunk[66], 'C');
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(chunk.data() + 67)), "Zeile");
    EXPECT_EQ(chunk.back(), 0);

    // The password field holds at most 49 characters and a terminator.
    const auto longPw = buildBackupRequest(r.mac, Password(std::string(80, 'p')), 'C');
    EXPECT_EQ(longPw[16 + 48], 'p');
    EXPECT_EQ(longPw[16 + 49], 0);
    // A restore text never exceeds the chunk field.
    EXPECT_EQ(buildRestoreChunk(r.mac, Password(), 'C', std::string(400, 'x')).size(), 68u + kRestoreTextMax);
}

TEST(UdpAnswers, Kind0AnswerFillsTheRecord)
{
    const auto a = answer(kSearchAnswerWords[0], 1, floatBits(1.05f), floatBits(2.5f));
    DeviceRecord r;
    r.rowStatus = 3;
    fillRecordFromAnswer(a.data(), 0, r);
    EXPECT_EQ(r.productKind, 0);
    EXPECT_FLOAT_EQ(r.appVersion, 1.05f);
    EXPECT_FLOAT_EQ(r.bootloaderVersion, 2.5f);
    EXPECT_EQ(r.serialNumber, 12345678u);
    EXPECT_EQ(r.name.str(), "Kessel 3");
    EXPECT_TRUE(r.dhcpClient);
    EXPECT_FALSE(r.dhcpServer);
    EXPECT_EQ(addressText(r.address), "192.168.0.101");
    EXPECT_EQ(r.previousAddress, r.address);
    EXPECT_EQ(addressText(r.mask), "255.255.255.0");
    EXPECT_EQ(r.previousMask, r.mask);
    EXPECT_EQ(addressText(r.gateway), "192.168.0.1");
    EXPECT_EQ(addressText(r.dns2), "1.1.1.1");
    EXPECT_EQ(macText(r.mac), "00:1A:2B:3C:4D:5E");
    EXPECT_TRUE(r.passwordRequired);
    EXPECT_EQ(r.rowStatus, 0);
    EXPECT_FALSE(r.networkModified);
}

TEST(UdpAnswers, OtherKindsCarryScaledVersionsAndNoBootloader)
{
    for (int kind = 1; kind < 6; ++kind) {
        const auto a = answer(kSearchAnswerWords[kind], 1, 10500, 0xFFFFFFFF);
        EXPECT_EQ(productKindForWord(kSearchAnswerWords[kind]), kind);
        DeviceRecord r;
        fillRecordFromAnswer(a.data(), kind, r);
        EXPECT_EQ(r.productKind, kind);
        EXPECT_FLOAT_EQ(r.appVersion, 1.05f);
        EXPECT_EQ(r.bootloaderVersion, 0.0f);
    }
    EXPECT_EQ(productKindForWord(commandWord('U', 'S')), 1);
    EXPECT_EQ(productKindForWord(kWordSearch), -1);
    EXPECT_EQ(productKindForWord(commandWord('#', 'I')), -1);
}

TEST(UdpAnswers, NameFieldWithoutTerminatorStaysInItsField)
{
    auto a = answer(kSearchAnswerWords[0], 1, 0, 0);
    std::memset(a.data() + 23, 'N', 16);
    DeviceRecord r;
    fillRecordFromAnswer(a.data(), 0, r);
    EXPECT_EQ(r.name.str(), std::string(15, 'N'));
    a[66] = 2;
    fillRecordFromAnswer(a.data(), 0, r);
    EXPECT_FALSE(r.passwordRequired);
}

TEST(DeviceRecordText, MacParsing)
{
    Mac m{};
    EXPECT_TRUE(parseMac("00:1a:2B:3c:4D:5e", m));
    EXPECT_EQ(macText(m), "00:1A:2B:3C:4D:5E");
    EXPECT_TRUE(parseMac("00-1A-2B-3C-4D-5F", m));
    for (const char* bad : {"", "00:1A:2B:3C:4D", "00:1A:2B:3C:4D:5G", "001A2B3C4D5E", "00:1A:2B:3C:4D:5E:"}) {
        EXPECT_FALSE(parseMac(bad, m)) << bad;
    }
}

TEST(DeviceRecordText, EditingNetworkSettingsKeepsThePreviousAddress)
{
    DeviceRecord r;
    r.address = r.previousAddress = toNetworkOrder(0xC0A80065);
    r.mask = r.previousMask = toNetworkOrder(0xFFFFFF00);
    editNetworkSettings(r, 2, toNetworkOrder(0x0A000005), toNetworkOrder(0xFF000000), 0, 0, 0);
    EXPECT_TRUE(r.networkModified);
    EXPECT_TRUE(r.dhcpServer);
    EXPECT_FALSE(r.dhcpClient);
    EXPECT_EQ(addressText(r.previousAddress), "192.168.0.101");
    EXPECT_EQ(addressText(r.previousMask), "255.255.255.0");
    EXPECT_EQ(addressText(r.address), "10.0.0.5");
}
