#include "app/NetworkCards.h"

#include <gtest/gtest.h>

#include "platform/NetworkAdapters.h"

using namespace vst::app;
using namespace vst::platform;

namespace {

class FixedAdapters : public AdapterSource {
public:
    std::optional<std::vector<AdapterInfo>> list;
    std::optional<std::vector<AdapterInfo>> adapters() override { return list; }
};

}  // namespace

TEST(NetworkCards, TakesEthernetAndWirelessWithAnAddressInSystemOrder)
{
    FixedAdapters source;
    source.list = std::vector<AdapterInfo>{
        {"lo", kAdapterOther, {{"127.0.0.1", "255.0.0.0"}}},
        {"eth-unplugged", kAdapterEthernet, {{"0.0.0.0", "0.0.0.0"}}},
        {"wlan0", kAdapterWireless, {{"10.1.2.3", "255.255.0.0"}}},
        {"eth1", kAdapterEthernet, {{"192.168.0.1", "255.255.255.0"}, {"172.16.5.9", "255.255.0.0"}}},
    };
    std::vector<NetworkCard> cards;
    ASSERT_EQ(enumerateNetworkCards(&cards, source), 2);
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[0].description, "wlan0");
    EXPECT_EQ(cards[0].index, 0);
    EXPECT_EQ(cards[0].addresses[0].address, 0x0A010203u);
    EXPECT_EQ(cards[0].addresses[0].mask, 0xFFFF0000u);
    EXPECT_EQ(cards[1].description, "eth1");
    EXPECT_EQ(cards[1].index, 1);
    ASSERT_EQ(cards[1].addresses.size(), 2u);
    EXPECT_EQ(cards[1].addresses[1].address, 0xAC100509u);
}

TEST(NetworkCards, LongDescriptionIsCutAndFailuresAreReported)
{
    FixedAdapters source;
    source.list = std::vector<AdapterInfo>{{std::string(200, 'd'), kAdapterEthernet, {{"10.0.0.1", "255.0.0.0"}}}};
    std::vector<NetworkCard> cards;
    ASSERT_EQ(enumerateNetworkCards(&cards, source), 1);
    EXPECT_EQ(cards[0].description.size(), 131u);

    EXPECT_EQ(enumerateNetworkCards(nullptr, source), -1);
    source.list.reset();
    EXPECT_EQ(enumerateNetworkCards(&cards, source), -1);
    source.list = std::vector<AdapterInfo>{};
    EXPECT_EQ(enumerateNetworkCards(&cards, source), 0);
    EXPECT_TRUE(cards.empty());
}

TEST(NetworkCards, CardAddressForTargetPicksMatchingSubnetElseFirst)
{
    NetworkCard card;
    card.addresses = {{0xC0A80001u, 0xFFFFFF00u}, {0x0A000001u, 0xFF000000u}, {0x0A010001u, 0xFFFF0000u}};
    EXPECT_EQ(cardAddressFor(card, 0xC0A800C8u), 0xC0A80001u);
    // The first matching address wins, even when a later one matches more narrowly.
    EXPECT_EQ(cardAddressFor(card, 0x0A010203u), 0x0A000001u);
    EXPECT_EQ(cardAddressFor(card, 0xAC100001u), 0xC0A80001u);
    EXPECT_EQ(cardAddressFor(card, 0xFFFFFFFFu), 0xC0A80001u);
}

TEST(NetworkCards, SystemEnumerationFindsNoLoopback)
{
    std::vector<NetworkCard> cards;
    const int count = enumerateNetworkCards(&cards);
    ASSERT_GE(count, 0);
    for (const auto& c : cards) {
        EXPECT_NE(c.addresses.front().address, 0u);
        EXPECT_NE(c.addresses.front().address >> 24, 127u) << c.description;
    }
}

TEST(NetworkCards, DottedAddress) { EXPECT_EQ(dottedAddress(0xC0A800C8u), "192.168.0.200"); }
