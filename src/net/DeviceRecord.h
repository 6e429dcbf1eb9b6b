#pragma once
// One device as a search found it. Addresses are in network byte order (first octet in the lowest
// byte of the stored number), as on the wire.
#include <array>
#include <cstdint>
#include <string>

#include "app/FixedText.h"

namespace vst::app {
struct NetworkCard;
}

namespace vst::net {

inline constexpr uint32_t kNoSerialNumber = 0xFFFFFFFFu;

enum class RowStatus : int32_t { None = 0, InProgress = 1, Passed = 2, Failed = 3 };

struct DeviceRecord {
    bool networkModified = false;
    bool nameModified = false;
    bool serialModified = false;
    int32_t productKind = 0;                  // 0..5
    const app::NetworkCard* card = nullptr;   // the card the answer arrived through
    uint32_t serialNumber = kNoSerialNumber;
    float appVersion = 0.0f;
    float bootloaderVersion = 0.0f;
    app::FixedText<16> name;
    bool dhcpClient = false;
    bool dhcpServer = false;
    uint32_t address = 0;          // network byte order
    uint32_t previousAddress = 0;
    uint32_t mask = 0;
    uint32_t previousMask = 0;
    uint32_t gateway = 0;
    uint32_t dns1 = 0;
    uint32_t dns2 = 0;
    std::array<uint8_t, 6> mac{};
    bool passwordRequired = false;
    int32_t rowStatus = 0;
};

// Records describe the same device when their MAC addresses are equal.
inline bool sameDevice(const DeviceRecord& a, const DeviceRecord& b) { return a.mac == b.mac; }

// Network-byte-order address (as stored in a record) to host byte order and back.
uint32_t toHostOrder(uint32_t networkOrder);
uint32_t toNetworkOrder(uint32_t hostOrder);

// "%d.%d.%d.%d" of a stored address, first octet from its lowest byte.
std::string addressText(uint32_t networkOrder);
// "%02X:%02X:%02X:%02X:%02X:%02X".
std::string macText(const std::array<uint8_t, 6>& mac);
// Parses "AA:BB:CC:DD:EE:FF" (also with '-' separators, any case).
bool parseMac(const std::string& text, std::array<uint8_t, 6>& mac);

// Edits the network settings as the network dialog does: the current address and mask become the
// previous ones and the new settings are stored, marked as still to be sent.
void editNetworkSettings(DeviceRecord& record, int dhcpMode, uint32_t address, uint32_t mask,
                         uint32_t gateway, uint32_t dns1, uint32_t dns2);

}  // namespace vst::net
