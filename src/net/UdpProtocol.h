#pragma once
// The datagrams of the UDP command protocol: magic "KW_VtL", a two-character command word, the
// total length (little-endian) and the device's MAC or, in answers, a status byte. Numbers are
// little-endian, IPv4 addresses in network byte order.
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "app/FixedText.h"
#include "net/DeviceRecord.h"

namespace vst::net {

inline constexpr uint16_t kDevicePort = 293;
inline constexpr size_t kHeaderSize = 11;  // magic, word, length, status or first MAC byte
inline constexpr size_t kReceiveBufferSize = 268;
inline constexpr size_t kSearchRequestSize = 16;
inline constexpr size_t kSearchAnswerMinSize = 67;
inline constexpr size_t kPasswordSize = 50;
inline constexpr size_t kCommandDataOffset = 66;
inline constexpr size_t kBackupTextSize = 250;
inline constexpr size_t kRestoreTextMax = 249;  // characters of one restore chunk before its NUL

using Mac = std::array<uint8_t, 6>;
using Password = app::FixedText<kPasswordSize>;
inline constexpr Mac kAllDevices{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

constexpr uint16_t commandWord(char first, char second)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(first) | static_cast<uint8_t>(second) << 8);
}

enum CommandWord : uint16_t {
    kWordSearch = commandWord('?', 'S'),
    kWordSetNetwork = commandWord('=', 'I'),
    kWordSetNetworkAnswer = commandWord('#', 'I'),
    kWordSetName = commandWord('=', 'N'),
    kWordSetNameAnswer = commandWord('#', 'N'),
    kWordBackupRequest = commandWord('?', 'B'),
    kWordBackupAnswer = commandWord('>', 'B'),
    kWordRestoreChunk = commandWord('<', 'R'),
    kWordRestoreAnswer = commandWord('!', 'R'),
};

// The search-answer words by product kind 0..5.
inline constexpr uint16_t kSearchAnswerWords[6] = {
    commandWord('!', 'S'), commandWord('U', 'S'), commandWord('T', 'S'),
    commandWord('P', 'S'), commandWord('7', 'S'), commandWord('5', 'S'),
};

// The product kind of a search-answer word, or -1.
int productKindForWord(uint16_t word);

uint16_t readLe16(const uint8_t* p);
uint32_t readLe32(const uint8_t* p);
float readLeFloat(const uint8_t* p);

std::vector<uint8_t> buildSearchRequest(const Mac& filter);

// A write command: header, MAC, the 50-byte password field, then the data.
std::vector<uint8_t> buildWriteCommand(uint16_t word, const Mac& mac, const Password& password,
                                       const std::vector<uint8_t>& data);
// "=I" with the record's current DHCP mode, address, mask, gateway and DNS servers.
std::vector<uint8_t> buildSetNetwork(const DeviceRecord& record, const Password& password);
// "=N" with the record's name.
std::vector<uint8_t> buildSetName(const DeviceRecord& record, const Password& password);
// "?B" with 'R' for the first request, 'C' for the others.
std::vector<uint8_t> buildBackupRequest(const Mac& mac, const Password& password, char request);
// "<R" with its mode ('R', 'C', 'S', 'F') and text; text beyond 249 characters is not sent.
std::vector<uint8_t> buildRestoreChunk(const Mac& mac, const Password& password, char mode, std::string_view text);

// Fills a record from a search answer of at least kSearchAnswerMinSize bytes for the given kind.
void fillRecordFromAnswer(const uint8_t* answer, int productKind, DeviceRecord& record);

}  // namespace vst::net
