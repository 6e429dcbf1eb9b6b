#include "ops/BulkUpdate.h"

#include "ops/ServiceStarts.h"

#include <memory>
#include <optional>

#include "app/FirmwareCheck.h"
#include "app/Format.h"
#include "app/Texts.h"
#include "ops/LogWindow.h"
#include "ops/PasswordMemory.h"
#include "ops/Refind.h"
#include "ops/Reporting.h"
#include "ops/WebOperations.h"
#include "platform/Clock.h"

namespace vst::ops {
namespace {

constexpr const char* kResultPrefix = "  - MSG: ";

// The last result line an operation wrote into a piece of the log, without prefix and line end.
std::string lastResult(const std::string& logPiece)
{
    const size_t at = logPiece.rfind(kResultPrefix);
    if (at == std::string::npos) return std::string();
    const size_t start = at + std::char_traits<char>::length(kResultPrefix);
    const size_t end = logPiece.find("\r\n", start);
    return logPiece.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

std::string bulkSummaryText(int updated, int failed, int skipped)
{
    return app::formatText(app::loadText(37300), updated, failed, skipped);
}

bool bulkUpdate(BulkUpdateParams& p)
{
    if (!p.channel) return false;
    WorkerChannel& channel = *p.channel;
    p.results.clear();
    p.updated = p.failed = p.skipped = 0;

    std::unique_ptr<LogWindow> ownLog;
    LogWindow* log = channel.createLogWindow();
    const bool shownLog = log != nullptr;
    if (!log) {
        ownLog = std::make_unique<LogWindow>();
        log = ownLog.get();
    }
    Reporter report(channel, log);

    std::optional<net::Mac> current;
    if (const net::DeviceRecord* c = channel.currentDevice()) current = c->mac;

    // The file was checked when it was chosen; it is checked again because it may have changed
    // since. A file that fails now reaches no device: every device fails with the refusal.
    std::string refusal;
    if (auto refused = firmwareFileRefusal(p.firmwarePath.str())) refusal = refused->text;

    const int total = static_cast<int>(p.devices.size());
    for (int i = 0; i < total; ++i) {
        const BulkUpdateDevice& entry = p.devices[static_cast<size_t>(i)];
        net::DeviceRecord* device = listedDevice(channel, entry.mac);
        const std::string mac = net::macText(entry.mac);
        report.logHeading(device ? std::string(device->name.str()) + " (" + mac + ")" : mac, i * 100 / total);

        BulkUpdateResult result;
        result.mac = entry.mac;
        if (!refusal.empty() || !device || device->productKind != 0) {
            result.outcome = refusal.empty() && device ? BulkOutcome::Skipped : BulkOutcome::Failed;
            result.text = !refusal.empty() ? refusal : !device ? app::loadText(35204) : app::loadText(37302);
            report.logSubMessage(result.text, kStyleExclamation, false);
        } else {
            const size_t before = log->text().size();
            UpdateParams update;
            update.channel = &channel;
            update.device = device;
            update.password = entry.password;
            update.firmwarePath = p.firmwarePath;
            update.log = log;
            update.webPort = p.webPort;
            update.devicePort = p.devicePort;
            const bool ok = updateFirmware(update);
            result.outcome = ok ? BulkOutcome::Updated : BulkOutcome::Failed;
            result.text = lastResult(log->text().substr(before));
            if (!ok && isPasswordRefusal(result.text)) {
                net::DeviceRecord refused;
                refused.mac = entry.mac;
                channel.passwordRefused(refused);
            }
        }
        switch (result.outcome) {
        case BulkOutcome::Updated: ++p.updated; break;
        case BulkOutcome::Failed: ++p.failed; break;
        case BulkOutcome::Skipped: ++p.skipped; break;
        }
        p.results.push_back(std::move(result));
    }

    // Each successful update made its device current; the device current before comes back.
    channel.selectDevice(current ? listedDevice(channel, *current) : nullptr);

    log->appendLog("\r\n");
    const bool allUpdated = p.updated == total;
    report.logMessage(bulkSummaryText(p.updated, p.failed, p.skipped),
                      allUpdated ? kStyleInformation : kStyleExclamation, p.showSummary);

    if (shownLog) {
        // The operator reads the log and closes it; then the controls come back.
        log->allowClose();
        channel.setStep({app::loadText(35318), 100});
        while (!log->closedByOperator()) platform::clock().sleep(10);
        channel.setStep({std::string(), 0});
        channel.destroyLogWindow(log);
    }
    return allUpdated;
}

}  // namespace vst::ops
