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
    params->card = start.card;
    params->target = start.target;
    params->password.assign(start.password);
    params->ssid.assign(start.ssid);
    params->testI2c = start.testI2c;
    params->programmerTimeoutSeconds = start.programmerTimeoutSeconds;
    params->devicePort = start.devicePort;
    params->webPort = start.webPort;
    if (start.beforeStart) start.beforeStart();
    auto succeeded = start.succeeded;
    host.startWorkflow(
        [params, succeeded](WorkerChannel& window) {
            params->window = &window;
            runInitialProgramming(*params);
            *succeeded = params->succeeded;
        },
        WorkerEnd::FinishedThenSearchEnded);
    return StartOutcome::Started;
}

StartOutcome startStockUpdate(StarterHost& host, const ProductionStart& start)
{
    const auto file = checkStart(host, start);
    if (!file) return StartOutcome::Refused;
    auto params = std::make_shared<StockUpdateParams>();
    params->card = start.card;
    params->target = start.target;
    params->password.assign(start.password);
    params->firmwarePath.assign(*file);
    params->serialNumberPath = start.serialNumberPath;
    params->devicePort = start.devicePort;
    params->webPort = start.webPort;
    if (start.beforeStart) start.beforeStart();
    auto succeeded = start.succeeded;
    host.startWorkflow(
        [params, succeeded](WorkerChannel& window) {
            params->window = &window;
            runStockUpdate(*params);
            *succeeded = params->succeeded;
        },
        WorkerEnd::Finished);
    return StartOutcome::Started;
}

}  // namespace vst::ops
