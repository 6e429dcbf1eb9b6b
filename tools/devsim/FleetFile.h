#pragma once
// Building a fleet: from a fleet file (one [device] section per device) and by generating
// numbered devices on a network.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devsim/Device.h"

namespace vst::devsim {

// Reads fleet-file text (UTF-8). `folder` is where config_file paths are relative to. Null and a
// message "line N: ..." on the first error.
std::optional<std::vector<Device>> parseFleetText(std::string_view text,
                                                  const std::filesystem::path& folder,
                                                  std::string* error = nullptr);

// Reads a fleet file; messages start with the file name.
std::optional<std::vector<Device>> loadFleetFile(const std::filesystem::path& file,
                                                 std::string* error = nullptr);

// A network in "A.B.C.D/prefix" form; the address is cut to the network part.
struct Network {
    Ipv4 base = 0;
    int prefix = 24;
};
std::optional<Network> parseNetwork(std::string_view text);

struct GenerateRequest {
    size_t count = 0;
    Network network;
    std::string password;  // Windows-1252
    uint32_t restartMs = 2000;
    Faults faults;
};

// Locally administered MAC prefix of generated devices; the last three bytes count from 1.
inline constexpr Mac kGeneratedMacBase = {0x02, 0x56, 0x53, 0x00, 0x00, 0x00};

// `count` kind-0 devices on consecutive host addresses from the network's first host address;
// device number `firstNumber` + i gets MAC kGeneratedMacBase + number and the name "SIM%04u".
// Null and a message when the network has too few host addresses.
std::optional<std::vector<Device>> generateDevices(const GenerateRequest& request, uint32_t firstNumber,
                                                   std::string* error = nullptr);

// Null when all MACs differ, else a message naming the first MAC that occurs twice.
std::optional<std::string> findDuplicateMac(const std::vector<Device>& devices);

}  // namespace vst::devsim
