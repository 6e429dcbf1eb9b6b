#pragma once
// One simulated device: what it reports in a search answer, its password, its configuration, how
// long it restarts, which faults it shows, and the state of the conversations in progress.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devsim/Wire.h"

namespace vst::devsim {

// Ways a device answers wrongly. Each applies to every answer the device sends unless noted.
enum class Malformation : uint32_t {
    LengthBeyondDatagram = 1u << 0,  // length field one more than the datagram's size
    LengthAbove268 = 1u << 1,        // datagram zero-padded to 300 bytes, length field 300
    Oversized = 1u << 2,             // datagram zero-padded to 1000 bytes, length field unchanged
    ShortSearchAnswer = 1u << 3,     // search answers only: cut to 40 bytes, length field 40
    UnknownWord = 1u << 4,           // command word "!X" instead of the answer word
    BackupWithoutNul = 1u << 5,      // ">B" only: the 250-byte text field filled up with 'X'
};

inline constexpr size_t kShortSearchAnswerSize = 40;
inline constexpr size_t kLengthAbove268Size = 300;
inline constexpr size_t kOversizedSize = 1000;

struct Faults {
    bool silent = false;            // ignores every datagram
    bool searchStatusZero = false;  // search answers carry status 0 and no description
    bool wrongPassword = false;     // every write command is refused with status 0
    uint32_t malformations = 0;     // Malformation bits
    // Answers to a search filtered on this device's MAC (the station's re-find after a change)
    // carry this MAC instead of the device's own.
    std::optional<Mac> foreignMac;
    uint32_t delayMs = 0;  // every answer leaves this much later

    bool has(Malformation m) const { return (malformations & static_cast<uint32_t>(m)) != 0; }
    void set(Malformation m) { malformations |= static_cast<uint32_t>(m); }
    bool operator==(const Faults&) const = default;
};

// Parses a comma-separated fault list such as "silent", "delay=250, wrong-password" or
// "foreign-mac=02:00:00:00:00:99"; an empty list means no fault. Null and a message on error.
std::optional<Faults> parseFaults(std::string_view list, std::string* error = nullptr);
// The list form parseFaults reads back.
std::string formatFaults(const Faults& faults);

// A device's configuration: user-configuration lines and process-list lines, each without its
// line feed, never empty, at most kMaxLineLength characters (Windows-1252 bytes).
struct Configuration {
    std::vector<std::string> userLines;
    std::vector<std::string> processLines;
    bool operator==(const Configuration&) const = default;
};

// Reads the backup-file form: user-configuration lines, an empty line, process-list lines. Lines
// end with LF (a CR before it is dropped); further empty lines are skipped. Null and a message
// when a line is longer than kMaxLineLength.
std::optional<Configuration> parseBackupText(std::string_view text, std::string* error = nullptr);
// The backup-file form of a configuration, exactly as the station writes it from a backup: the
// empty separator line only when a process list follows.
std::string backupText(const Configuration& configuration);

enum class DhcpMode : uint8_t { Off = 0, Client = 1, Server = 2 };

struct NetworkSettings {
    DhcpMode dhcp = DhcpMode::Off;
    Ipv4 address = 0;
    Ipv4 mask = 0xFFFFFF00u;
    Ipv4 gateway = 0;
    Ipv4 dns1 = 0;
    Ipv4 dns2 = 0;
    bool operator==(const NetworkSettings&) const = default;
};

// A backup in progress: the chunks of the configuration as it was when the backup began.
struct BackupSession {
    struct Chunk {
        std::string text;  // one line with its LF, or empty
        char state = 'C';  // 'S' end of user configuration, 'F' final, 'C' more follows
    };
    bool open = false;
    std::vector<Chunk> chunks;
    size_t next = 0;
};

// A restore in progress: the lines received so far.
struct RestoreSession {
    bool open = false;
    bool inProcessList = false;
    Configuration received;
};

struct Device {
    // What the device is.
    int kind = 0;  // product kind 0..5
    Mac mac{};
    NetworkSettings network;
    std::string name;                     // at most kMaxNameLength bytes, Windows-1252
    uint32_t serialNumber = kNoSerialNumber;
    double appVersion = 1.0;   // kind 0: sent as float; other kinds: in units of 1/10000
    double bootVersion = 1.0;  // kind 0 only
    std::string password;      // empty: not protected; at most kMaxPasswordLength bytes
    Configuration configuration;
    uint32_t restartMs = 2000;
    Faults faults;

    // What it is doing.
    bool restarting = false;
    uint32_t restartEndsAt = 0;                  // tick count
    std::optional<NetworkSettings> pendingNetwork;  // taken over when the restart ends
    BackupSession backup;
    RestoreSession restore;

    bool isProtected() const { return !password.empty(); }
};

}  // namespace vst::devsim
