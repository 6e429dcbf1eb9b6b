#pragma once
// The process-wide settings that the command line selects.
#include <cstdint>
#include <string>

namespace vst::app {

enum class OperatingMode : int32_t {
    Service = 0,
    Stock = 1,
    Endurance = 2,
    Production = 3,
};

struct AppSettings {
    bool internalMode = false;                          // VAZIR
    OperatingMode operatingMode = OperatingMode::Service;  // LAGER, DL, PROREP
    int32_t networkCardIndex = -1;                      // NETCARD; -1 = none
    uint32_t targetAddress = 0;                         // DSTIP, host byte order; 0 = none
    std::string firmwarePath;                           // FW
    std::string serialNumberPath;                       // SNR
    std::string programmerPath;                         // IPE
    bool i2cTest = false;                               // I2C
    bool noSerialLog = false;                           // NOSNRLOG
    // Not from the command line: the stored setting "ProgrammerTimeout" (read at start-up) or the
    // console's --programmer-timeout. A programmer tool run is stopped after this many seconds.
    uint32_t programmerTimeoutSeconds = 600;
};

// The programmer's time limit: the default and the range a stored or given value must lie in.
inline constexpr uint32_t kDefaultProgrammerTimeoutSeconds = 600;
inline constexpr uint32_t kMinProgrammerTimeoutSeconds = 60;
inline constexpr uint32_t kMaxProgrammerTimeoutSeconds = 86400;

}  // namespace vst::app
