#pragma once
// What the devices were told, kept across runs of the simulator (--state FILE): each device's
// name, network settings, serial number, application version and configuration, by MAC address.
// A device that is restarting is kept as it will come back (the settings and the firmware it
// took over).
//
// The file is text, one [device] section per device with "key = value" lines. Names and
// configuration lines are Windows-1252 bytes written with escapes, so that every byte comes back
// as it was: "\\" for a backslash and "\xHH" for a control byte, a byte from 0x7F up, and a blank
// at the start or end of the value.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devsim/Device.h"

namespace vst::devsim {

struct DeviceState {
    Mac mac{};
    NetworkSettings network;
    std::string name;  // Windows-1252
    uint32_t serialNumber = kNoSerialNumber;
    double appVersion = 1.0;
    Configuration configuration;
    bool operator==(const DeviceState&) const = default;
};

// The state of a device as it stands, with what it takes over at the end of a restart.
DeviceState stateOf(const Device& device);

// The file's text for these states, in the order given.
std::string formatState(const std::vector<DeviceState>& states);

// Reads the file's text. Null and a message "line N: ..." on the first error.
std::optional<std::vector<DeviceState>> parseState(std::string_view text, std::string* error = nullptr);

// Gives every device whose MAC has a kept state that state; devices without one keep what the
// fleet says, kept states without a device are ignored. Returns how many devices took a state.
size_t applyState(std::vector<Device>& devices, const std::vector<DeviceState>& states);

// Reads a state file; a missing file is an empty state. Null and a message (starting with the
// file's name) when the file cannot be read or is not a state file.
std::optional<std::vector<DeviceState>> loadStateFile(const std::filesystem::path& file, std::string* error = nullptr);

// Writes the text so that an interrupted write leaves the old file; false with a message.
bool saveStateFile(const std::filesystem::path& file, const std::string& text, std::string* error = nullptr);

}  // namespace vst::devsim
