#include "ops/ProductionStarts.h"

#include <memory>

#include "app/OperatorPrompt.h"
#include "app/Records.h"
#include "ops/Programming.h"
#include "ops/StockUpdate.h"

namespace vst::ops {
namespace {

// The checks both buttons share; the firmware file, or nullopt after a refusal.
std::optional<std::string> checkStart(StarterHost& host, const ProductionStart& start)
{
    if (!start.card) {
        refuse(host, 30037, app::kMbIconExclamation);
        return std::nullopt;
    }
    std::string file = app::newestFirmwareFile(start.firmwareFolder);
    if (file.empty() || file.size() >= 260) {
        refuse(host, 30039, app::kMbIconExclamation);
        return std::nullopt;
    }
    return file;
}

// The fields both blocks take from the start, the start's last step, and the block to the worker,
// whose success goes to the start's `succeeded`.
template <typename Params>
StartOutcome handOver(StarterHost& host, const ProductionStart& start, std::shared_ptr<Params> params,
                      void (*run)(Params&), WorkerEnd end)
{
    params->card = start.card;
    params->target = start.target;
    params->password.assign(start.password);
    params->devicePort = start.devicePort;
    params->webPort = start.webPort;
    if (start.beforeStart) start.beforeStart();
    auto succeeded = start.succeeded;
    host.startWorkflow(
        [params, succeeded, run](WorkerChannel& channel) {
            params->channel = &channel;
            run(*params);
            *succeeded = params->succeeded;
        },
        end);
    return StartOutcome::Started;
}

}  // namespace

StartOutcome startInitialProgramming(StarterHost& host, const ProductionStart& start)
{
    const auto file = checkStart(host, start);
    if (!file) return StartOutcome::Refused;
    auto params = std::make_shared<ProgrammingParams>();
    params->imagePath.assign(*file);
    params->programmerType.assign(kProgrammerType);
    params->part.assign(kProgrammerPart);
    params->toolFolder.assign(start.programmerFolder);
    params->ssid.assign(start.ssid);
    params->testI2c = start.testI2c;
    params->programmerTimeoutSeconds = start.programmerTimeoutSeconds;
    params->recordsRoot = start.serialNumberPath;
    return handOver(host, start, std::move(params), runInitialProgramming, WorkerEnd::FinishedThenSearchEnded);
}

StartOutcome startStockUpdate(StarterHost& host, const ProductionStart& start)
{
    const auto file = checkStart(host, start);
    if (!file) return StartOutcome::Refused;
    auto params = std::make_shared<StockUpdateParams>();
    params->firmwarePath.assign(*file);
    params->serialNumberPath = start.serialNumberPath;
    return handOver(host, start, std::move(params), runStockUpdate, WorkerEnd::Finished);
}

}  // namespace vst::ops
