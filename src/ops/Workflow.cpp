#include "ops/Workflow.h"

#include "ops/FunctionTests.h"
#include "ops/LogWindow.h"
#include "ops/Reporting.h"
#include "platform/Clock.h"

namespace vst::ops {

LogWindow* openWorkflowLog(WorkerChannel& channel, app::TextId heading, app::TextId format)
{
    LogWindow* log = channel.createLogWindow();
    const std::string sign = channel.operatorSign();
    const std::string stamp = timestampText();
    if (log) log->appendLog(recordHeader(heading, format, sign.c_str(), stamp.c_str()));
    return log;
}

WorkflowFrame::WorkflowFrame(WorkerChannel& channel, app::TextId heading, app::TextId format, std::string recordsRoot,
                             app::JournalWorkflow workflow)
    : channel(channel),
      log(openWorkflowLog(channel, heading, format)),
      report(channel, log),
      journal(std::move(recordsRoot), workflow),
      runner(report, &journal)
{
    journal.setOperator(channel.operatorSign());
}

bool WorkflowFrame::close()
{
    const bool written = journal.reportUnwritten(report);
    finishWorkflow(channel, log);
    return written;
}

std::string deviceFoundText(const net::DeviceRecord& device)
{
    // The versions are put in as text, so a locale with a decimal comma cannot change them.
    std::string format = app::loadText(36012);
    for (size_t at; (at = format.find("%.4f")) != std::string::npos;) format.replace(at, 4, "%s");
    const auto& m = device.mac;
    return app::formatText(format, m[0], m[1], m[2], m[3], m[4], m[5],
                           app::formatFixed(device.appVersion, 4).c_str(),
                           app::formatFixed(device.bootloaderVersion, 4).c_str());
}

std::string findingLine(const std::string& text) { return "      * " + text + "\r\n"; }

bool cleanSdCardOrAsk(WorkerChannel& channel, LogWindow* log, net::DeviceRecord* device, const net::Password& password,
                      uint16_t webPort)
{
    auto params = paramsFor<DeviceStepParams>(deviceContext(&channel, log, device, password, webPort));
    if (cleanSdCard(params)) return true;
    Reporter(channel, log).askOperator(app::loadText(35404), kStyleExclamation);
    return false;
}

Phase sdCardCleanUpPhase(WorkerChannel& channel, LogWindow* log, net::DeviceRecord* const& device,
                         const net::Password& password, uint16_t webPort, PhaseRunner* runner)
{
    Phase phase;
    phase.heading = 35315;
    phase.position = 95;
    phase.when = [&device, &password] { return device && !password.empty(); };
    phase.step = [&channel, log, &device, &password, webPort, runner] {
        const bool cleaned = cleanSdCardOrAsk(channel, log, device, password, webPort);
        if (!cleaned && runner) runner->noteResult(35404);
        return cleaned;
    };
    return phase;
}

void cleanSdCardStep(WorkerChannel* channel, LogWindow* log, net::DeviceRecord* device,
                     const net::Password& password, uint16_t webPort, int deviceNumber)
{
    if (!channel || !device || password.empty()) return;
    Reporter report(*channel, log);
    const std::string heading = app::loadText(35315);
    report.logHeading(deviceNumber > 0 ? app::formatText("%s #%d", heading.c_str(), deviceNumber) : heading, 95);
    cleanSdCardOrAsk(*channel, log, device, password, webPort);
}

void finishWorkflow(WorkerChannel& channel, LogWindow* log)
{
    Reporter report(channel, log);
    report.setHeading(app::loadText(35318), 100);
    if (log) {
        log->allowClose();
        while (!log->closedByOperator()) platform::clock().sleep(1);
        channel.destroyLogWindow(log);
    }
    report.setHeading(std::string(), 0);
}

}  // namespace vst::ops
