#include "app/NetworkCards.h"

#include "app/CommandLine.h"
#include "platform/NetworkAdapters.h"

namespace vst::app {

int enumerateNetworkCards(std::vector<NetworkCard>* out, platform::AdapterSource& source)
{
    if (!out) return -1;
    auto adapters = source.adapters();
    if (!adapters) return -1;
    out->clear();
    for (const auto& adapter : *adapters) {
        if (adapter.type != platform::kAdapterEthernet && adapter.type != platform::kAdapterWireless) continue;
        if (adapter.ipv4.empty() || parseInetAddress(adapter.ipv4.front().address) == 0) continue;
        NetworkCard card;
        card.description = adapter.description.substr(0, NetworkCard::kDescriptionMax);
        for (const auto& a : adapter.ipv4) {
            card.addresses.push_back({parseInetAddress(a.address), parseInetAddress(a.mask)});
        }
        card.index = static_cast<int32_t>(out->size());
        out->push_back(std::move(card));
    }
    return static_cast<int>(out->size());
}

int enumerateNetworkCards(std::vector<NetworkCard>* out)
{
    return enumerateNetworkCards(out, platform::systemAdapters());
}

uint32_t cardAddressFor(const NetworkCard& card, uint32_t target)
{
    for (const auto& a : card.addresses) {
        if ((a.address & a.mask) == (target & a.mask)) return a.address;
    }
    return card.addresses.empty() ? 0 : card.addresses.front().address;
}

std::string dottedAddress(uint32_t address)
{
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

}  // namespace vst::app
