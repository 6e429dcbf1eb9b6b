// The endpoint against a scripted peer on the loopback address: only unicast, nothing leaves
// the machine.
#include "net/UdpEndpoint.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>

#include "app/NetworkCards.h"
#include "platform/UdpSocket.h"

using namespace vst::net;

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

struct Endpoint : ::testing::Test {
    vst::app::NetworkCard card;
    vst::platform::UdpSocket device;  // plays the device
    UdpEndpoint endpoint;
    uint32_t stationAddress = 0;
    uint16_t stationPort = 0;

    void SetUp() override
    {
        card.description = "lo";
        card.addresses = {{kLoopback, 0xFF000000}};
        ASSERT_TRUE(device.open());
        ASSERT_TRUE(device.bind(kLoopback, 0));
        ASSERT_TRUE(endpoint.open(true, &card, kLoopback));
        endpoint.setDevicePort(device.localPort());
        // The station speaks first; the device learns where to answer.
        ASSERT_TRUE(endpoint.sendSearch(nullptr));
        uint8_t buf[64];
        std::optional<vst::platform::UdpSocket::Received> got;
        for (int i = 0; i < 1000 && !got; ++i) {
            got = device.receive(buf, sizeof buf);
            if (!got) usleep(1000);
        }
        ASSERT_TRUE(got);
        EXPECT_EQ(got->size, 16u);
        EXPECT_EQ(std::memcmp(buf, "KW_VtL?S\x10\0\xFF\xFF\xFF\xFF\xFF\xFF", 16), 0);
        stationAddress = got->source;
        stationPort = got->sourcePort;
    }

    void reply(const std::vector<uint8_t>& datagram)
    {
        ASSERT_TRUE(device.sendTo(stationAddress, stationPort, datagram.data(), datagram.size()));
    }

    // Waits until the next datagram is ready to be read by the endpoint.
    void settle() { usleep(20000); }

    static std::vector<uint8_t> answer(uint16_t word, size_t size, uint16_t lengthField, uint8_t status = 1)
    {
        std::vector<uint8_t> a(size, 0);
        std::memcpy(a.data(), "KW_VtL", std::min<size_t>(6, size));
        if (size > 7) {
            a[6] = word & 0xFF;
            a[7] = word >> 8;
        }
        if (size > 9) {
            a[8] = lengthField & 0xFF;
            a[9] = lengthField >> 8;
        }
        if (size > 10) a[10] = status;
        if (size > 65) a[60] = 0x42;
        return a;
    }
};

}  // namespace

TEST_F(Endpoint, ReadsWellFormedAnswerAndRemembersSource)
{
    reply(answer(kSearchAnswerWords[0], 67, 67));
    settle();
    std::unique_ptr<DeviceRecord> r;
    ASSERT_EQ(endpoint.readSearchAnswer(false, &r), SearchAnswerResult::RecordBuilt);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->mac[0], 0x42);
    EXPECT_EQ(r->card, &card);
    EXPECT_EQ(endpoint.lastSource(), kLoopback);
    EXPECT_EQ(endpoint.readSearchAnswer(false, &r), SearchAnswerResult::NothingWaiting);
    EXPECT_EQ(endpoint.readSearchAnswer(false, nullptr), SearchAnswerResult::NoPlace);
}

TEST_F(Endpoint, StatusZeroWrongWordAndKindFilter)
{
    std::unique_ptr<DeviceRecord> r;
    reply(answer(kSearchAnswerWords[0], 67, 67, 0));
    reply(answer(commandWord('#', 'I'), 67, 67));
    reply(answer(kSearchAnswerWords[1], 67, 67));
    reply(answer(kSearchAnswerWords[1], 67, 67));
    settle();
    EXPECT_EQ(endpoint.readSearchAnswer(false, &r), SearchAnswerResult::StatusZero);
    EXPECT_EQ(endpoint.readSearchAnswer(false, &r), SearchAnswerResult::NotAnAnswer);
    EXPECT_EQ(endpoint.readSearchAnswer(true, &r), SearchAnswerResult::NotAnAnswer);
    EXPECT_EQ(endpoint.readSearchAnswer(false, &r), SearchAnswerResult::RecordBuilt);
    EXPECT_EQ(r->productKind, 1);
}

TEST_F(Endpoint, MalformedDatagramsAreDroppedNotLeftBlocking)
{
    // Length field beyond the datagram, beyond the receive buffer, below the header, a datagram
    // shorter than the header, an answer too short to describe a device, an oversized datagram.
    reply(answer(kSearchAnswerWords[0], 67, 200));
    reply(answer(kSearchAnswerWords[0], 400, 400));
    reply(answer(kSearchAnswerWords[0], 67, 3));
    reply(answer(kSearchAnswerWords[0], 7, 7));
    reply(answer(kSearchAnswerWords[0], 40, 40));
    reply(answer(kSearchAnswerWords[0], 1000, 67));  // read up to its length field
    reply(answer(kSearchAnswerWords[0], 67, 67));
    settle();
    std::unique_ptr<DeviceRecord> r;
    EXPECT_EQ(endpoint.readSearchAnswer(false, &r), SearchAnswerResult::NotAnAnswer);  // the 40-byte one
    EXPECT_EQ(endpoint.readSearchAnswer(false, &r), SearchAnswerResult::RecordBuilt);  // 1000 bytes, length 67
    EXPECT_EQ(endpoint.readSearchAnswer(false, &r), SearchAnswerResult::RecordBuilt);
    EXPECT_EQ(endpoint.readSearchAnswer(false, &r), SearchAnswerResult::NothingWaiting);
}

TEST_F(Endpoint, OpenTwiceFailsAndSendNeedsWholeLength)
{
    EXPECT_FALSE(endpoint.open(true, &card, kLoopback));
    std::vector<uint8_t> claimsMore = buildSearchRequest(kAllDevices);
    claimsMore[8] = 40;
    EXPECT_FALSE(endpoint.send(claimsMore));
    endpoint.close();
    EXPECT_FALSE(endpoint.sendSearch(nullptr));
    EXPECT_FALSE(endpoint.bind(&card, kLoopback));
    UdpEndpoint other;
    EXPECT_FALSE(other.open(true, nullptr, kLoopback));
    EXPECT_FALSE(other.isOpen());
}

TEST_F(Endpoint, StaleDatagramsAreDroppedBeforeASendAndOtherSendersIgnored)
{
    // An answer left over from before the request is not taken as the answer to it.
    reply(answer(kSearchAnswerWords[0], 67, 67));
    reply(answer(kSearchAnswerWords[0], 67, 67));
    settle();
    ASSERT_TRUE(endpoint.sendSearch(nullptr));
    std::unique_ptr<DeviceRecord> record;
    EXPECT_EQ(endpoint.readSearchAnswer(false, &record), SearchAnswerResult::NothingWaiting);

    // Restricted to one address, a datagram from another sender is dropped.
    vst::platform::UdpSocket other;
    ASSERT_TRUE(other.open());
    ASSERT_TRUE(other.bind(0x7F000002, 0));
    const auto datagram = answer(kSearchAnswerWords[0], 67, 67);
    endpoint.acceptOnlyFrom(kLoopback);
    ASSERT_TRUE(other.sendTo(stationAddress, stationPort, datagram.data(), datagram.size()));
    reply(answer(kSearchAnswerWords[1], 67, 67));
    settle();
    ASSERT_EQ(endpoint.readSearchAnswer(false, &record), SearchAnswerResult::RecordBuilt);
    EXPECT_EQ(record->productKind, 1) << "the other sender's answer was skipped";
    EXPECT_EQ(endpoint.lastSource(), kLoopback);
    EXPECT_TRUE(endpoint.targetIsUnicast());
    UdpEndpoint broadcast;
    ASSERT_TRUE(broadcast.open(true, &card, 0x7FFFFFFF));
    EXPECT_FALSE(broadcast.targetIsUnicast());
}
