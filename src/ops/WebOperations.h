#pragma once
// The operations that change a device through its web server: firmware update, serial number and
// clock. Each runs on a worker, reports one result, and the first two find the device again
// afterwards.
#include <cstdint>
#include <string>

#include "app/FixedText.h"
#include "net/DeviceRecord.h"
#include "net/UdpProtocol.h"
#include "net/DeviceWebSession.h"
#include "ops/WorkerChannel.h"
#include "platform/TimeZone.h"

namespace vst::ops {

class LogWindow;

struct UpdateParams {
    WorkerChannel* channel = nullptr;
    net::DeviceRecord* device = nullptr;
    net::Password password;
    app::FixedText<260> firmwarePath;
    LogWindow* log = nullptr;
    uint16_t webPort = net::kWebPort;
    uint16_t devicePort = net::kDevicePort;
};

// The serial number (its device's serialNumber holds the number to set) and the clock.
struct SerialParams {
    WorkerChannel* channel = nullptr;
    net::DeviceRecord* device = nullptr;
    net::Password password;
    LogWindow* log = nullptr;
    uint16_t webPort = net::kWebPort;
    uint16_t devicePort = net::kDevicePort;
};

inline constexpr uint32_t kRebootWaitMs = 45000;

// True when the device was found again after the update.
bool updateFirmware(UpdateParams& params);
// True when the device reported back the number that was sent. The serial-number log gets the
// confirmation line whatever the outcome.
bool setSerialNumber(SerialParams& params);
// A number whose assigned line is in the serial-number log, but which a workflow ends without
// sending: the log gets "#SNR NOT FOUND" for it, so that the number is free again.
void logSerialNumberNotSet(WorkerChannel& channel, uint32_t serial);
// True when the device took the time and the logout succeeded.
bool setClock(SerialParams& params);

// The clock form: "mdte=1&mdt=<local seconds>&dttz=<minutes east, standard>&dtsw=<0|1>".
std::string clockFormBody(const platform::TimeZoneInfo& zone);

}  // namespace vst::ops
