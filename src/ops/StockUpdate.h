#pragma once
// The stock update ("Lager-Update"): one device taken from stock is found at the target address,
// its configuration is backed up, confirmed by the operator and loaded back, its clock is set, it
// gets a serial number if it has none, and the newest firmware when it runs another version.
#include <cstdint>
#include <string>

#include "app/FixedText.h"
#include "net/DeviceWebSession.h"
#include "net/UdpProtocol.h"
#include "ops/WorkerChannel.h"

namespace vst::app {
struct NetworkCard;
}

namespace vst::ops {

// The neighbour-cache flush before the search may take at most this long.
inline constexpr uint32_t kNeighbourFlushTimeoutMs = 30000;

struct StockUpdateParams {
    WorkerChannel* channel = nullptr;
    const app::NetworkCard* card = nullptr;
    uint32_t target = 0;  // host byte order
    net::Password password;
    app::FixedText<260> firmwarePath;
    std::string serialNumberPath;  // where the temporary configuration file lives
    uint16_t devicePort = net::kDevicePort;
    uint16_t webPort = net::kWebPort;
    bool succeeded = false;  // out: 35405 was reported
};

// A serial number counts as missing outside 1..99999999.
bool hasSerialNumber(uint32_t serial);

// Creates the stock update's temporary file in `folder` under a name no other station or run
// uses ("config-processlist_TMP_<station>_<pid>[_n].bak"), exclusively; the full path, or empty
// when none could be made within the 260-byte path limit.
std::string createStockTemporaryFile(const std::string& folder);

// Empties the PC's neighbour cache so the device at the target address is asked afresh; a
// failure (no privilege, no tool) is ignored.
void flushNeighbourCache();

// The whole workflow up to the closing sequence (finishWorkflow included); the caller's worker
// sends WM_USER+2 and WM_USER+17 afterwards.
void runStockUpdate(StockUpdateParams& params);

}  // namespace vst::ops
