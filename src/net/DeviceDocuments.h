#pragma once
// The small XML documents and text lines a device's web server answers with. Elements are found
// by a plain text search for "<name>" ... "</name>"; status values are read by looking for fixed
// German and English phrases. All text is Windows-1252.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vst::net {

// The text between "<name>" and the first "</name>" at or after it; nullopt when either is missing.
std::optional<std::string_view> extractTag(std::string_view document, std::string_view name);

struct SysInfo {
    uint32_t wlanAddress = 0;      // host byte order
    uint32_t ethernetAddress = 0;  // host byte order
    uint32_t thirdAddress = 0;     // host byte order
    std::array<uint8_t, 6> wlanMac{};
    std::array<uint8_t, 6> ethernetMac{};
    bool sdCardReady = false;
    bool usbStickReady = false;
};

struct DevInfo {
    uint32_t code = 0;
    uint32_t address = 0;
    bool externalClockRunning = false;
    uint16_t frameworkValue = 0;
    uint16_t applicationValue = 0;
    bool applicationNormalMode = false;
    bool sensorErrors = false;
    bool sdErrors = false;
    bool processing = false;
};

// Fill the record from a complete document; keys that are missing leave their fields as they are.
void readSysInfo(std::string_view document, SysInfo& info);
void readDevInfo(std::string_view document, DevInfo& info);
// The I2C answer: true when the element "state" reads exactly "OK".
bool readI2cState(std::string_view document);

// Number conversions as the standard unsigned conversion: stop at the first foreign character.
uint32_t leadingUnsigned(std::string_view text, int base);

struct CalibrationItem {
    std::string type;   // at most 9 characters, e.g. "ENG"
    std::string name;   // at most 19 characters
    uint8_t index = 0;
    std::string data;   // at most 49 characters
    bool secondaryIsCurrent = false;  // "ENG": the first of at least three data fields is "1"
};

// One line of the calibration information; nullopt for a line with fewer than four fields or a
// field longer than its stored size.
std::optional<CalibrationItem> parseCalibrationLine(std::string_view line);

// A line of the process-list test.
struct ProcessTestLine {
    bool error = false;        // starts with "ERROR => "
    int neededMode = -1;       // "NEED => MODE=<n>": n, else -1
};
ProcessTestLine classifyProcessTestLine(std::string_view line);

}  // namespace vst::net
