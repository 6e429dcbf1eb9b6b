#pragma once
// The starters of the "Urladen" and "Suchen und Updaten" buttons, shared by the window and the
// console (see Starter.h).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/AppSettings.h"
#include "net/DeviceWebSession.h"
#include "net/UdpProtocol.h"
#include "ops/Starter.h"

namespace vst::app {
struct NetworkCard;
}

namespace vst::ops {

struct ProductionStart {
    const app::NetworkCard* card = nullptr;  // the selected card; none: 30037
    uint32_t target = 0;                     // host byte order
    std::string firmwareFolder;              // the newest firmware file in it is used; none: 30039
    std::string programmerFolder;            // initial programming: the tool folder
    std::string serialNumberPath;            // the records root: the journal; stock update: the temporary file's folder
    bool testI2c = false;
    std::string ssid;                        // initial programming: the CPU test's WLAN name
    uint32_t programmerTimeoutSeconds = app::kDefaultProgrammerTimeoutSeconds;  // initial programming
    std::string password = "730";
    uint16_t devicePort = net::kDevicePort;
    uint16_t webPort = net::kWebPort;
    // Runs after the checks, right before the worker starts (the window empties its list here).
    std::function<void()> beforeStart;
    // Out, set by the worker: the workflow reported its success text (35411 / 35405).
    std::shared_ptr<bool> succeeded = std::make_shared<bool>(false);
};

StartOutcome startInitialProgramming(StarterHost& host, const ProductionStart& start);
StartOutcome startStockUpdate(StarterHost& host, const ProductionStart& start);

}  // namespace vst::ops
