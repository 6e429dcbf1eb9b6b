#pragma once
// The checks and preparations of a finished device over its web server: the CPU function test,
// the process-list function test, the calibration of energy sensors and the SD-card cleanup. Each
// runs as one operation on the worker of a workflow (or of a console command) and writes its
// steps, results and findings into the log window of its block.
#include <cstdint>
#include <string>
#include <vector>

#include "app/FixedText.h"
#include "app/Texts.h"
#include "net/DeviceRecord.h"
#include "net/DeviceWebSession.h"
#include "net/UdpProtocol.h"
#include "ops/WorkerChannel.h"

namespace vst::ops {

class LogWindow;

// The network name of the devices' own wireless network.
inline constexpr const char* kDeviceWlanName = "Vestrolan WiFi";

// The waits of the WLAN join and of the calibration.
inline constexpr uint32_t kWlanConnectWaitMs = 5000;
inline constexpr uint32_t kWlanAttachWaitMs = 5000;
inline constexpr uint32_t kCalibrationStepWaitMs = 30000;
inline constexpr size_t kMaxCalibrationItems = 20;

struct CpuTestParams {
    WorkerChannel* channel = nullptr;
    net::DeviceRecord* device = nullptr;
    net::Password password;
    bool testI2c = false;
    app::FixedText<33> ssid;  // empty: no WLAN test
    LogWindow* log = nullptr;
    bool passed = false;  // out: the verdict found nothing
    // Out: the findings of the verdict in their order, and the last result reported.
    std::vector<app::TextId> findings;
    app::TextId lastResult = 0;
    uint16_t webPort = net::kWebPort;
    uint16_t devicePort = net::kDevicePort;
};

struct ProcessTestParams {
    WorkerChannel* channel = nullptr;
    net::DeviceRecord* device = nullptr;
    net::Password password;
    bool skipFollowUp = false;  // mode 0 only
    LogWindow* log = nullptr;
    bool passed = false;  // out: no error line seen
    app::TextId lastResult = 0;
    uint16_t webPort = net::kWebPort;
};

// A calibration item sent to the device: its item type as the request names it and the values.
struct SentCalibration {
    std::string item;
    double primary = 0;
    double secondary = 0;
    double voltage = 0;
    double current = 0;
};

// The calibration and the SD-card cleanup.
struct DeviceStepParams {
    WorkerChannel* channel = nullptr;
    net::DeviceRecord* device = nullptr;
    net::Password password;
    LogWindow* log = nullptr;
    app::TextId lastResult = 0;
    uint16_t webPort = net::kWebPort;
    std::vector<SentCalibration> calibrations;  // out: the calibration items sent, in order
};

// True when the verdict was reached (the system information could be read).
bool runCpuTest(CpuTestParams& params);
// True when the test ran to its end and the logout succeeded.
bool runProcessListTest(ProcessTestParams& params);
// True when every item was handled and the logout succeeded.
bool runCalibration(DeviceStepParams& params);
// True when all five files were deleted and the logout succeeded.
bool cleanSdCard(DeviceStepParams& params);

// The files the cleanup deletes, in order.
inline constexpr const char* kSdCardFiles[] = {"config.akt", "config.ini", "processlist.akt", "processlist.ini",
                                               "firmware.hex"};

// The four calibration values as the device takes them: "%.3f;%.3f;%.3f;%.3f", always with points.
std::string calibrationData(double primary, double secondary, double voltage, double current);

}  // namespace vst::ops
