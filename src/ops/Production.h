#pragma once
// The production workflows of one numbered device: the final test, and repair start and repair
// end. Each has a starter (the button's checks, questions, folders and set-asides, run by the
// window's button and by the console command alike) and a worker that runs the device steps,
// writes the records and ends with the closing sequence.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/FixedText.h"
#include "app/Texts.h"
#include "net/DeviceRecord.h"
#include "net/UdpProtocol.h"
#include "ops/DeviceContext.h"
#include "ops/FunctionTests.h"
#include "ops/Starter.h"
#include "ops/WorkerChannel.h"

namespace vst::ops {

// The longest repair or batch number a block holds (a field of 20 with its terminator).
inline constexpr size_t kMaxFolderNumberLength = 19;

// Serial numbers that name record folders; anything else counts as no number.
bool isProductionSerial(uint32_t serial);

// What every start of a production workflow takes from its host.
struct ProductionSettings {
    std::string root;  // the serial-number folder
    std::string ssid = kDeviceWlanName;
    std::string password = kServicePassword;
    uint16_t webPort = net::kWebPort;
    uint16_t devicePort = net::kDevicePort;
    // The window's label 10003 ("Charge ..." or "Reparatur ..."); none on the console.
    std::function<void(const std::string&)> showNumber;
};

// How a workflow ended: its result text (35412 to 35415, 0 when none was reported) and whether
// every record it had to write was written.
struct WorkflowOutcome {
    app::TextId result = 0;
    bool recordsWritten = true;
};

// What the three workflows of one numbered device share: the device, the record folder and the
// CPU test's network name, and the records root.
struct ProductionBlock {
    DeviceContext context;
    std::string root;  // the records root the journal goes under

    app::FixedText<260> folder;
    app::FixedText<33> ssid;
};

struct FinalTestBlock : ProductionBlock {
    app::FixedText<20> batchNumber;
};

struct RepairStartBlock : ProductionBlock {
    uint32_t newSerialNumber = 0;  // 0: the device keeps its number
    app::FixedText<20> repairNumber;
};

struct RepairEndBlock : ProductionBlock {
    app::FixedText<20> repairNumber;
    bool customerConfiguration = true;
};

// The workers, closing sequence included (the end messages come from the worker entry).
void runFinalTest(WorkerChannel& channel, FinalTestBlock& block, WorkflowOutcome& outcome);
void runRepairStart(WorkerChannel& channel, RepairStartBlock& block, WorkflowOutcome& outcome);
void runRepairEnd(WorkerChannel& channel, RepairEndBlock& block, WorkflowOutcome& outcome);

// The starters of the buttons "Endtest", "Reparaturstart" and "Reparaturende" for the current
// device. `outcome`, when given, receives the worker's outcome once it has run.
StartOutcome startFinalTest(StarterHost& host, net::DeviceRecord* device, const ProductionSettings& settings,
                            std::shared_ptr<WorkflowOutcome> outcome = {});
StartOutcome startRepairStart(StarterHost& host, net::DeviceRecord* device, const ProductionSettings& settings,
                              std::shared_ptr<WorkflowOutcome> outcome = {});
StartOutcome startRepairEnd(StarterHost& host, net::DeviceRecord* device, const ProductionSettings& settings,
                            std::shared_ptr<WorkflowOutcome> outcome = {});

}  // namespace vst::ops
