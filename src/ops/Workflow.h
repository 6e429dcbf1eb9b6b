#pragma once
// What every production workflow shares: the record header and device-block texts of its log, the
// final SD-card step, and the closing sequence that hands the log window back to the operator and
// returns the window to idle. A workflow's worker runs its steps, then finishWorkflow(); the
// worker entry (startWorker) sends the end messages.
#include <cstdint>
#include <string>

#include "app/Format.h"
#include "app/Texts.h"
#include "net/DeviceRecord.h"
#include "net/UdpProtocol.h"
#include "ops/DeviceContext.h"
#include "ops/PhaseRunner.h"
#include "ops/Reporting.h"
#include "ops/RunJournal.h"
#include "ops/WorkerChannel.h"

namespace vst::ops {

class LogWindow;

// The header of a record: the heading text goes in as the first "%s" of the text that follows it
// ("Endtest:\r\n" into "%s  - Bearbeiter: %s\r\n..."). Numbers in the texts are formatted as the
// text says; the caller passes the remaining arguments.
template <typename... Args>
std::string recordHeader(app::TextId heading, app::TextId format, Args... args)
{
    const std::string title = app::loadText(heading);
    return app::formatText(app::loadText(format), title.c_str(), args...);
}

// Opens the workflow's log window and writes its header of heading, operator sign and date
// (the "%s  - Bearbeiter: %s\r\n  - Datum: %s\r\n" shape). The log window, or nullptr.
LogWindow* openWorkflowLog(WorkerChannel& channel, app::TextId heading, app::TextId format);

// What a workflow that opens its own log runs in: the log window with its header (as
// openWorkflowLog), the reporter, the run's journal entry with the operator's sign, and the phase
// runner that reports to both.
struct WorkflowFrame {
    WorkflowFrame(WorkerChannel& channel, app::TextId heading, app::TextId format, std::string recordsRoot,
                  app::JournalWorkflow workflow);
    // The closing sequence: the journal line is written (a notice when it cannot be), then
    // finishWorkflow. False when the journal line could not be written.
    bool close();

    WorkerChannel& channel;
    LogWindow* const log;
    Reporter report;
    RunJournal journal;
    PhaseRunner runner;
};

// The device block of a log ("  => Gerät gefunden:" with MAC address, application and bootloader
// version, each version with four decimals and a decimal point in every locale).
std::string deviceFoundText(const net::DeviceRecord& device);

// A finding or item line: "      * " + text + CR LF.
std::string findingLine(const std::string& text);

// The final step of a workflow: heading 35315 at 95 (with " #n" when a device number is given),
// the SD-card cleanup, and on failure the notice 35404 to clean the card by hand. Nothing happens
// without a window, a device or a password.
void cleanSdCardStep(WorkerChannel* channel, LogWindow* log, net::DeviceRecord* device,
                     const net::Password& password, uint16_t webPort = 80, int deviceNumber = 0);

// The SD-card cleanup of a device, without a heading: on failure the notice 35404 to clean the card
// by hand. True when the card was cleaned.
bool cleanSdCardOrAsk(WorkerChannel& channel, LogWindow* log, net::DeviceRecord* device, const net::Password& password,
                      uint16_t webPort);

// The final step as a clean-up phase of a plan (heading 35315 at 95). `device` is read when the
// phase runs (a step before may have taken the device's record anew); without a device or a
// password the phase is skipped. The notice 35404 is noted as the phase's result.
Phase sdCardCleanUpPhase(WorkerChannel& channel, LogWindow* log, net::DeviceRecord* const& device,
                         const net::Password& password, uint16_t webPort, PhaseRunner* runner);

// The end of every workflow before its worker's end messages: heading 35318 at 100, the operator
// may close the log window, the worker waits (1 ms looks) until the operator has closed it, then
// the log window is destroyed (WM_USER+27) and the first progress bar cleared (WM_USER+3 "", 0).
void finishWorkflow(WorkerChannel& channel, LogWindow* log);

}  // namespace vst::ops
