#pragma once
// The command line of the program vestrolan-devsim and the fleet it describes.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devsim/Device.h"
#include "devsim/FleetFile.h"
#include "devsim/Http.h"

namespace vst::devsim {

struct ProgramOptions {
    // Where devices come from, in command-line order: a fleet file, or a --generate group.
    struct Source {
        std::string fleetFile;  // empty for a generated group
        size_t generateCount = 0;
        std::optional<Network> network;
    };
    std::vector<Source> sources;

    // Settings of every generated device.
    std::string password;  // Windows-1252
    uint32_t restartMs = 2000;
    Faults faults;

    uint16_t port = kDevicePort;
    bool web = true;
    uint16_t webPort = kWebPort;
    Ipv4 bindAddress = 0;
    std::string interface;
    std::string stateFile;  // --state: what the devices were told, kept across runs
    bool printAddresses = false;
    bool printCidr = false;
    bool verbose = false;
    bool help = false;
};

// Reads the arguments after the program name ("--opt value" or "--opt=value"). Null and a message
// on an unknown option, a missing or bad value, or a --generate without its --network.
std::optional<ProgramOptions> parseProgramOptions(const std::vector<std::string>& args,
                                                  std::string* error = nullptr);

// All devices of the fleet files and generated groups, in command-line order; generated devices
// are numbered from 1 across all groups. Null and a message when a file cannot be read, a network
// is too small, a MAC occurs twice, or there is no device at all.
std::optional<std::vector<Device>> buildFleet(const ProgramOptions& options, std::string* error = nullptr);

// Every distinct device address in fleet order, as "A.B.C.D" or, with the prefix, "A.B.C.D/N".
std::vector<std::string> addressLines(const std::vector<Device>& devices, bool withPrefix);

std::string usageText();

}  // namespace vst::devsim
