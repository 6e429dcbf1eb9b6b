#pragma once
// Byte layout of the device UDP protocol as the simulated devices speak it: framing constants,
// datagram sizes, little-endian numbers, addresses in network byte order, and the text forms of
// MAC and IPv4 addresses used in fleet files and logs.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vst::devsim {

using Mac = std::array<uint8_t, 6>;
// IPv4 address in host byte order: 192.168.0.1 is 0xC0A80001.
using Ipv4 = uint32_t;
using Bytes = std::vector<uint8_t>;

inline constexpr uint16_t kDevicePort = 293;
inline constexpr std::string_view kMagic = "KW_VtL";
inline constexpr Ipv4 kLimitedBroadcast = 0xFFFFFFFFu;
inline constexpr Mac kAllDevices = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// Offsets shared by every datagram.
inline constexpr size_t kWordOffset = 6;
inline constexpr size_t kLengthOffset = 8;
inline constexpr size_t kHeaderSize = 10;  // magic, command word, length
inline constexpr size_t kMacOffset = 10;   // requests: addressed device
inline constexpr size_t kStatusOffset = 10;  // answers

// Write commands: password field and start of the command data.
inline constexpr size_t kPasswordOffset = 16;
inline constexpr size_t kPasswordFieldSize = 50;
inline constexpr size_t kMaxPasswordLength = kPasswordFieldSize - 1;
inline constexpr size_t kCommandDataOffset = 66;

// Request sizes (exact, except the restore chunk which carries its text).
inline constexpr size_t kSearchRequestSize = 16;
inline constexpr size_t kSetNetworkSize = 87;
inline constexpr size_t kSetNameSize = 82;
inline constexpr size_t kBackupRequestSize = 67;
inline constexpr size_t kRestoreMinSize = 68;
inline constexpr size_t kRestoreTextOffset = 67;
// The chunk field holds at most 249 characters and the terminating NUL.
inline constexpr size_t kRestoreMaxSize = kRestoreTextOffset + 250;

// Answer sizes.
inline constexpr size_t kSearchAnswerSize = 67;
inline constexpr size_t kStatusAnswerSize = 11;   // "#I", "#N"
inline constexpr size_t kRestoreAnswerSize = 12;  // "!R"
inline constexpr size_t kBackupTextOffset = 12;
inline constexpr size_t kBackupTextSize = 250;
inline constexpr size_t kBackupAnswerSize = kBackupTextOffset + kBackupTextSize;

// The station reads datagrams into a buffer of this size.
inline constexpr size_t kStationBufferSize = 268;

// A configuration line holds at most this many characters (plus its line feed in a backup chunk).
inline constexpr size_t kMaxLineLength = 248;
inline constexpr size_t kNameFieldSize = 16;
inline constexpr size_t kMaxNameLength = kNameFieldSize - 1;

inline constexpr uint32_t kNoSerialNumber = 0xFFFFFFFFu;

// A command word as the 16-bit little-endian reading of its two characters.
constexpr uint16_t commandWord(char first, char second)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(first) | (static_cast<uint8_t>(second) << 8));
}

inline constexpr uint16_t kWordSearch = commandWord('?', 'S');
inline constexpr uint16_t kWordSetNetwork = commandWord('=', 'I');
inline constexpr uint16_t kWordNetworkAnswer = commandWord('#', 'I');
inline constexpr uint16_t kWordSetName = commandWord('=', 'N');
inline constexpr uint16_t kWordNameAnswer = commandWord('#', 'N');
inline constexpr uint16_t kWordBackup = commandWord('?', 'B');
inline constexpr uint16_t kWordBackupAnswer = commandWord('>', 'B');
inline constexpr uint16_t kWordRestore = commandWord('<', 'R');
inline constexpr uint16_t kWordRestoreAnswer = commandWord('!', 'R');
// A word that is no command or answer of the protocol; sent by the unknown-word fault.
inline constexpr uint16_t kWordUnknown = commandWord('!', 'X');

// Search answer word of each product kind 0..5.
inline constexpr std::array<uint16_t, 6> kSearchAnswerWords = {
    commandWord('!', 'S'), commandWord('U', 'S'), commandWord('T', 'S'),
    commandWord('P', 'S'), commandWord('7', 'S'), commandWord('5', 'S'),
};

// Two-character text of a command word, non-printable bytes as '.'.
std::string wordText(uint16_t word);

uint16_t getU16(std::span<const uint8_t> bytes, size_t offset);
uint32_t getU32(std::span<const uint8_t> bytes, size_t offset);
Ipv4 getIpv4(std::span<const uint8_t> bytes, size_t offset);
Mac getMac(std::span<const uint8_t> bytes, size_t offset);

void putU16(Bytes& bytes, size_t offset, uint16_t value);
void putU32(Bytes& bytes, size_t offset, uint32_t value);
void putFloat(Bytes& bytes, size_t offset, float value);
void putIpv4(Bytes& bytes, size_t offset, Ipv4 address);
void putMac(Bytes& bytes, size_t offset, const Mac& mac);

// A datagram of `size` zero bytes with magic, command word and length field filled in.
Bytes newDatagram(uint16_t word, size_t size);

// Text up to the first NUL, never beyond the field.
std::string fieldText(std::span<const uint8_t> bytes, size_t offset, size_t fieldSize);

Ipv4 directedBroadcast(Ipv4 address, Ipv4 mask);
// The mask of a prefix length 0..32.
Ipv4 prefixMask(int prefix);

// "02:56:53:00:00:01" (also accepted with '-' as separator).
std::string formatMac(const Mac& mac);
std::optional<Mac> parseMac(std::string_view text);

// Dotted quad; parsing accepts exactly four decimal octets.
std::string formatIpv4(Ipv4 address);
std::optional<Ipv4> parseIpv4(std::string_view text);

}  // namespace vst::devsim
