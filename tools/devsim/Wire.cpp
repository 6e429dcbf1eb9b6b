#include "devsim/Wire.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace vst::devsim {

std::string wordText(uint16_t word)
{
    std::string text;
    for (uint8_t c : {static_cast<uint8_t>(word & 0xFF), static_cast<uint8_t>(word >> 8)}) {
        text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '.';
    }
    return text;
}

uint16_t getU16(std::span<const uint8_t> bytes, size_t offset)
{
    return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

uint32_t getU32(std::span<const uint8_t> bytes, size_t offset)
{
    return static_cast<uint32_t>(bytes[offset]) | (static_cast<uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

Ipv4 getIpv4(std::span<const uint8_t> bytes, size_t offset)
{
    return (static_cast<Ipv4>(bytes[offset]) << 24) | (static_cast<Ipv4>(bytes[offset + 1]) << 16) |
           (static_cast<Ipv4>(bytes[offset + 2]) << 8) | static_cast<Ipv4>(bytes[offset + 3]);
}

Mac getMac(std::span<const uint8_t> bytes, size_t offset)
{
    Mac mac{};
    for (size_t i = 0; i < mac.size(); ++i) mac[i] = bytes[offset + i];
    return mac;
}

void putU16(Bytes& bytes, size_t offset, uint16_t value)
{
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void putU32(Bytes& bytes, size_t offset, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void putFloat(Bytes& bytes, size_t offset, float value)
{
    static_assert(sizeof(float) == 4);
    uint32_t raw = 0;
    std::memcpy(&raw, &value, sizeof raw);
    putU32(bytes, offset, raw);
}

void putIpv4(Bytes& bytes, size_t offset, Ipv4 address)
{
    for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(address >> (24 - 8 * i));
}

void putMac(Bytes& bytes, size_t offset, const Mac& mac)
{
    for (size_t i = 0; i < mac.size(); ++i) bytes[offset + i] = mac[i];
}

Bytes newDatagram(uint16_t word, size_t size)
{
    Bytes bytes(size, 0);
    std::memcpy(bytes.data(), kMagic.data(), kMagic.size());
    putU16(bytes, kWordOffset, word);
    putU16(bytes, kLengthOffset, static_cast<uint16_t>(size));
    return bytes;
}

std::string fieldText(std::span<const uint8_t> bytes, size_t offset, size_t fieldSize)
{
    std::string text;
    for (size_t i = offset; i < offset + fieldSize && i < bytes.size() && bytes[i] != 0; ++i) {
        text += static_cast<char>(bytes[i]);
    }
    return text;
}

Ipv4 directedBroadcast(Ipv4 address, Ipv4 mask) { return address | ~mask; }

Ipv4 prefixMask(int prefix)
{
    if (prefix <= 0) return 0;
    if (prefix >= 32) return 0xFFFFFFFFu;
    return ~((1u << (32 - prefix)) - 1u);
}

std::string formatMac(const Mac& mac)
{
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    return text;
}

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<Mac> parseMac(std::string_view text)
{
    if (text.size() != 17) return std::nullopt;
    Mac mac{};
    for (size_t i = 0; i < 6; ++i) {
        const int hi = hexDigit(text[3 * i]);
        const int lo = hexDigit(text[3 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        if (i < 5 && text[3 * i + 2] != ':' && text[3 * i + 2] != '-') return std::nullopt;
        mac[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return mac;
}

std::string formatIpv4(Ipv4 address)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFF,
                  (address >> 8) & 0xFF, address & 0xFF);
    return text;
}

std::optional<Ipv4> parseIpv4(std::string_view text)
{
    Ipv4 address = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.') return std::nullopt;
            text.remove_prefix(1);
        }
        size_t digits = 0;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
        if (digits == 0 || digits > 3) return std::nullopt;
        unsigned octet = 0;
        std::from_chars(text.data(), text.data() + digits, octet);
        if (octet > 255) return std::nullopt;
        address = (address << 8) | octet;
        text.remove_prefix(digits);
    }
    if (!text.empty()) return std::nullopt;
    return address;
}

}  // namespace vst::devsim
