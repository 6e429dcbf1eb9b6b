#pragma once
// One simulated device: what it reports in a search answer, its password, its configuration, how
// long it restarts, which faults it shows, and the state of the conversations in progress.
#include <cstdint>
#include <map>
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

inline constexpr uint32_t kDefaultStreamMs = 1000;

struct Faults {
    bool silent = false;            // ignores every datagram
    bool searchStatusZero = false;  // search answers carry status 0 and no description
    bool wrongPassword = false;     // every write command is refused with status 0
    uint32_t malformations = 0;     // Malformation bits
    // Answers to a search filtered on this device's MAC (the station's re-find after a change)
    // carry this MAC instead of the device's own.
    std::optional<Mac> foreignMac;
    uint32_t delayMs = 0;  // every answer leaves this much later

    // Web server faults; each applies to every connection or answer of the device.
    bool webNoAnswer = false;           // reads the request, never answers, keeps the connection open
    bool webCloseOnAccept = false;      // closes each connection at once, before reading anything
    bool webCloseAfterRequest = false;  // reads the request, closes without an answer, does nothing
    uint32_t webLongHeader = 0;         // >0: a header line of this many characters before the Location
    bool webNoResponseEnd = false;      // documents lack their closing "</response>"
    bool webAbsoluteLocation = false;   // Location "http://<address><path>" instead of the path
    bool webLowercaseLocation = false;  // the Location header is spelt "location"
    uint32_t webLongCookie = 0;         // >0: session cookies of this many characters
    uint32_t webDelayMs = 0;            // every web answer leaves this much later

    // Faults of a device that misbehaves without end or in pieces (see the README).
    bool duplicateAnswers = false;   // every UDP answer is sent twice
    bool backupEndless = false;      // a backup never sends its final chunk
    bool restoreStrict = false;      // restore chunks with a CR, or an empty final chunk, are refused
    bool webSplit = false;           // every web answer goes out one byte per segment
    uint32_t webTrickleMs = 0;       // >0: every web answer goes out one byte every this many ms
    std::string webStreamPath;       // answers to this path are a stream of lines
    uint32_t webStreamMs = kDefaultStreamMs;  // one stream line every this many ms
    uint32_t webStreamLines = 0;     // the stream ends after this many lines; 0: never

    bool has(Malformation m) const { return (malformations & static_cast<uint32_t>(m)) != 0; }
    void set(Malformation m) { malformations |= static_cast<uint32_t>(m); }
    bool operator==(const Faults&) const = default;
};

inline constexpr uint32_t kDefaultLongHeader = 600;
inline constexpr uint32_t kDefaultLongCookie = 15;

// Parses a comma-separated fault list such as "silent", "delay=250, wrong-password" or
// "foreign-mac=02:00:00:00:00:99, web-delay=100"; an empty list means no fault. Null and a
// message on error.
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

// One element of an information document: "<name>text</name>", the text in Windows-1252.
struct DocumentElement {
    std::string name;
    std::string text;
    bool operator==(const DocumentElement&) const = default;
};

// The station keeps at most this many characters of a cookie; the device's cookies fit.
inline constexpr size_t kMaxCookieLength = 14;
// The line a process-list test run of a mode without configured lines answers with.
inline constexpr std::string_view kDefaultProcessTestLine = "Prozessliste: Test ohne Befund";
// A state value that lets the device decide for itself (the form's normal success answer).
inline constexpr int kStateNormal = 1;

// What the device's web server answers; the values a fleet file can set.
struct WebSettings {
    uint32_t maxLogins = 2;             // concurrent sessions; one more login is refused
    uint32_t sessionTimeoutMs = 300000; // a session unused this long ends; 0: never
    // Elements that replace the default element of the same name, or are added after them.
    std::vector<DocumentElement> sysInfo;
    std::vector<DocumentElement> devInfo;
    std::string i2cState = "OK";  // the "state" element of the I2C answer
    // Lines of the process-list test per mode; a mode not listed answers kDefaultProcessTestLine.
    std::map<uint32_t, std::vector<std::string>> processTestLines;
    std::vector<std::string> calibrationItems;  // "TYPE;NAME;INDEX;DATA"
    std::string calibrationAnswer = "OK";        // body of a well-formed calibration step
    // A media delete for this name breaks off: the connection closes without an answer.
    std::string sdDeleteBreakOff;
    // Requests for these paths break off the same way.
    std::vector<std::string> breakOffPaths;
    // Forced results of the forms: kStateNormal lets the device decide, any other number is the
    // state of every answer.
    int serialState = kStateNormal;
    int dateTimeState = kStateNormal;
    int updateState = kStateNormal;
    // A well-formed serial-number form is answered with success, but the device keeps the number
    // it has (and its search answers go on carrying it).
    bool serialKept = false;
    bool operator==(const WebSettings&) const = default;
};

// The WLAN interface's MAC: the Ethernet MAC with its last byte one higher.
inline Mac wlanMac(Mac mac)
{
    mac[5] = static_cast<uint8_t>(mac[5] + 1);
    return mac;
}

// The files on a new device's SD card.
std::vector<std::string> defaultSdFiles();

struct WebSession {
    std::string cookie;  // the Set-Cookie value, e.g. "SID=0A1B2C3D"
    uint32_t lastUse = 0;  // tick count
};

// A date and time form as the device received it.
struct DateTimeForm {
    std::string body;  // the form body as sent
    bool accepted = false;
    uint32_t localTime = 0;   // "mdt": local time in seconds since 1970
    int32_t zoneMinutes = 0;  // "dttz": minutes east of UTC
    uint32_t daylightSaving = 0;  // "dtsw"
};

struct CalibrationRequest {
    std::string type;
    std::string index;
    std::string data;
    bool operator==(const CalibrationRequest&) const = default;
};

// Lists of received requests keep the newest this many entries.
inline constexpr size_t kWebHistoryLimit = 1000;

// What the web server has seen and what it holds, for tests to read.
struct WebState {
    std::vector<WebSession> sessions;
    uint32_t sessionsCreated = 0;  // also makes each cookie different
    uint64_t requests = 0;         // complete requests handled
    std::string lastRequest;       // request line and header lines of the last one, as received
    uint64_t logins = 0;           // successful logins
    uint64_t refusedLogins = 0;    // wrong password or too many users
    uint64_t logouts = 0;
    std::optional<DateTimeForm> dateTime;  // the last date and time form
    std::optional<uint32_t> clockSetTo;    // local time of the last accepted one
    uint64_t uploads = 0;                  // upload requests that reached the device
    size_t uploadBytes = 0;                // payload size of the last well-formed upload
    std::string uploadProblem;             // why the last upload was refused; empty if accepted
    uint64_t reboots = 0;                  // restarts requested over the web
    std::vector<uint32_t> processTestModes;
    std::vector<CalibrationRequest> calibrationSteps;
    std::vector<std::string> deleteRequests;  // names of media-file-delete requests
};

struct Device {
    // What the device is.
    bool wlan = false;  // answers searches sent to its own WLAN address (one device at a time)
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
    WebSettings web;
    std::vector<std::string> sdFiles = defaultSdFiles();  // deletes and uploads change it

    // What it is doing.
    bool restarting = false;
    uint32_t restartEndsAt = 0;                  // tick count
    std::optional<NetworkSettings> pendingNetwork;  // taken over when the restart ends
    std::optional<double> pendingAppVersion;  // an accepted firmware upload, installed by the next restart
    BackupSession backup;
    RestoreSession restore;
    WebState webState;

    bool isProtected() const { return !password.empty(); }
};

}  // namespace vst::devsim
