#pragma once
// The PC's network cards the station can talk through: Ethernet and wireless adapters that have
// an IPv4 address, with addresses and masks in host byte order (first octet most significant).
#include <cstdint>
#include <string>
#include <vector>

namespace vst::platform {
class AdapterSource;
}

namespace vst::app {

struct CardAddress {
    uint32_t address = 0;
    uint32_t mask = 0;
};

struct NetworkCard {
    static constexpr size_t kDescriptionMax = 131;
    std::string description;            // at most kDescriptionMax characters
    std::vector<CardAddress> addresses;  // never empty; the first is the card's primary address
    int32_t index = 0;                   // position in the list
};

// Fills `out` with the usable cards in system order and returns their count; -1 when there is no
// output list or the adapter table cannot be read.
int enumerateNetworkCards(std::vector<NetworkCard>* out, platform::AdapterSource& source);
int enumerateNetworkCards(std::vector<NetworkCard>* out);

// The card address to use for a target: the first whose network part under its own mask equals
// the target's, else the card's first address.
uint32_t cardAddressFor(const NetworkCard& card, uint32_t target);

// Host-byte-order address as dotted text.
std::string dottedAddress(uint32_t address);

}  // namespace vst::app
