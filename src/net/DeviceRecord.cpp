#include "net/DeviceRecord.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace vst::net {

// The bytes as they lie in memory, read as a big-endian number, and back: the same on every system.
uint32_t toHostOrder(uint32_t networkOrder)
{
    unsigned char b[4];
    std::memcpy(b, &networkOrder, 4);
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

uint32_t toNetworkOrder(uint32_t hostOrder)
{
    const unsigned char b[4] = {static_cast<unsigned char>(hostOrder >> 24), static_cast<unsigned char>(hostOrder >> 16),
                                static_cast<unsigned char>(hostOrder >> 8), static_cast<unsigned char>(hostOrder)};
    uint32_t out;
    std::memcpy(&out, b, 4);
    return out;
}

std::string addressText(uint32_t a)
{
    char text[20];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", static_cast<int>(a & 0xFF), static_cast<int>((a >> 8) & 0xFF),
                  static_cast<int>((a >> 16) & 0xFF), static_cast<int>((a >> 24) & 0xFF));
    return text;
}

std::string macText(const std::array<uint8_t, 6>& m)
{
    char text[20];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", m[0], m[1], m[2], m[3], m[4], m[5]);
    return text;
}

bool parseMac(const std::string& text, std::array<uint8_t, 6>& mac)
{
    if (text.size() != 17) return false;
    for (int i = 0; i < 6; ++i) {
        const char hi = text[i * 3];
        const char lo = text[i * 3 + 1];
        if (!std::isxdigit(static_cast<unsigned char>(hi)) || !std::isxdigit(static_cast<unsigned char>(lo))) return false;
        if (i < 5 && text[i * 3 + 2] != ':' && text[i * 3 + 2] != '-') return false;
        auto nibble = [](char c) {
            return static_cast<uint8_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10);
        };
        mac[static_cast<size_t>(i)] = static_cast<uint8_t>(nibble(hi) << 4 | nibble(lo));
    }
    return true;
}

void editNetworkSettings(DeviceRecord& r, int dhcpMode, uint32_t address, uint32_t mask, uint32_t gateway,
                         uint32_t dns1, uint32_t dns2)
{
    r.networkModified = true;
    r.previousAddress = r.address;
    r.previousMask = r.mask;
    r.dhcpClient = dhcpMode == 1;
    r.dhcpServer = dhcpMode == 2;
    r.address = address;
    r.mask = mask;
    r.gateway = gateway;
    r.dns1 = dns1;
    r.dns2 = dns2;
}

}  // namespace vst::net
