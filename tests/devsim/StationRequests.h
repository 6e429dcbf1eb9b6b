#pragma once
// Requests as the station builds them, written out byte by byte from the protocol layout rather
// than with the simulator's own helpers, so that a layout mistake on either side shows.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "devsim/Wire.h"

namespace vst::devsim::test {

inline Bytes header(char a, char b, size_t size)
{
    Bytes bytes(size, 0);
    const char magic[] = "KW_VtL";
    for (size_t i = 0; i < 6; ++i) bytes[i] = static_cast<uint8_t>(magic[i]);
    bytes[6] = static_cast<uint8_t>(a);
    bytes[7] = static_cast<uint8_t>(b);
    bytes[8] = static_cast<uint8_t>(size & 0xFF);
    bytes[9] = static_cast<uint8_t>(size >> 8);
    return bytes;
}

inline void putMacAt(Bytes& bytes, size_t offset, const Mac& mac)
{
    for (size_t i = 0; i < 6; ++i) bytes[offset + i] = mac[i];
}

inline void putTextAt(Bytes& bytes, size_t offset, std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) bytes[offset + i] = static_cast<uint8_t>(text[i]);
}

inline void putAddressAt(Bytes& bytes, size_t offset, uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    bytes[offset] = a;
    bytes[offset + 1] = b;
    bytes[offset + 2] = c;
    bytes[offset + 3] = d;
}

inline Bytes searchRequest(const Mac& filter = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})
{
    Bytes bytes = header('?', 'S', 16);
    putMacAt(bytes, 10, filter);
    return bytes;
}

// Header, MAC and password of a write command.
inline Bytes writeCommand(char a, char b, size_t size, const Mac& mac, std::string_view password)
{
    Bytes bytes = header(a, b, size);
    putMacAt(bytes, 10, mac);
    putTextAt(bytes, 16, password);
    return bytes;
}

struct NetworkRequest {
    uint8_t dhcp = 0;
    uint8_t address[4] = {0, 0, 0, 0};
    uint8_t mask[4] = {255, 255, 255, 0};
    uint8_t gateway[4] = {0, 0, 0, 0};
    uint8_t dns1[4] = {0, 0, 0, 0};
    uint8_t dns2[4] = {0, 0, 0, 0};
};

inline Bytes setNetworkRequest(const Mac& mac, std::string_view password, const NetworkRequest& n)
{
    Bytes bytes = writeCommand('=', 'I', 87, mac, password);
    bytes[66] = n.dhcp;
    for (size_t i = 0; i < 4; ++i) {
        bytes[67 + i] = n.address[i];
        bytes[71 + i] = n.mask[i];
        bytes[75 + i] = n.gateway[i];
        bytes[79 + i] = n.dns1[i];
        bytes[83 + i] = n.dns2[i];
    }
    return bytes;
}

inline Bytes setNameRequest(const Mac& mac, std::string_view password, std::string_view name)
{
    Bytes bytes = writeCommand('=', 'N', 82, mac, password);
    putTextAt(bytes, 66, name.substr(0, 16));
    return bytes;
}

inline Bytes backupRequest(const Mac& mac, std::string_view password, char request)
{
    Bytes bytes = writeCommand('?', 'B', 67, mac, password);
    bytes[66] = static_cast<uint8_t>(request);
    return bytes;
}

inline Bytes restoreRequest(const Mac& mac, std::string_view password, char mode, std::string_view text)
{
    Bytes bytes = writeCommand('<', 'R', 68 + text.size(), mac, password);
    bytes[66] = static_cast<uint8_t>(mode);
    putTextAt(bytes, 67, text);
    return bytes;
}

inline std::string twoChars(const Bytes& bytes) { return std::string{static_cast<char>(bytes[6]), static_cast<char>(bytes[7])}; }
inline unsigned lengthField(const Bytes& bytes) { return bytes[8] | (bytes[9] << 8); }

}  // namespace vst::devsim::test
