#pragma once
// The firmware update of several devices in one go: every device of the list, one after the
// other, gets the same firmware file through the single-device firmware update, each with its own
// password. Devices of another product kind are skipped. Each device's steps and result go into
// a log window, and the run ends with a summary of how many were updated, failed and skipped.
#include <cstdint>
#include <string>
#include <vector>

#include "app/FixedText.h"
#include "net/DeviceWebSession.h"
#include "net/UdpProtocol.h"
#include "ops/WorkerChannel.h"

namespace vst::ops {

struct BulkUpdateDevice {
    net::Mac mac{};
    net::Password password;
};

enum class BulkOutcome { Updated, Failed, Skipped };

struct BulkUpdateResult {
    net::Mac mac{};
    BulkOutcome outcome = BulkOutcome::Failed;
    std::string text;  // the device's last result text (Windows-1252)
};

struct BulkUpdateParams {
    WorkerChannel* channel = nullptr;
    app::FixedText<260> firmwarePath;
    // The devices in the order they are updated, each found in the window's list by its MAC.
    std::vector<BulkUpdateDevice> devices;
    // The summary also as a message box; the console prints its own.
    bool showSummary = true;
    uint16_t webPort = net::kWebPort;
    uint16_t devicePort = net::kDevicePort;

    // Filled by the operation: one result per device, in order, and the counts.
    std::vector<BulkUpdateResult> results;
    int updated = 0;
    int failed = 0;
    int skipped = 0;
};

// True when every device was updated.
bool bulkUpdate(BulkUpdateParams& params);

// Text 37300 filled in, in the current language.
std::string bulkSummaryText(int updated, int failed, int skipped);

}  // namespace vst::ops
