#pragma once
// The shape of every production button's starter. A starter is Qt-free: it checks the button's
// preconditions, asks its questions, prepares its folders, sets records aside and fills the
// worker's parameter block, and talks to the operator only through its StarterHost. The window's
// button and the console command run the same starter; the window implements the host with its
// dialogs, the console with its scripted operator. A refusal or a No leaves nothing started.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/OperatorPrompt.h"
#include "app/Texts.h"
#include "ops/Worker.h"
#include "ops/WorkerChannel.h"

namespace vst::ops {

// The station's own device password, for its service and production work.
inline constexpr const char* kServicePassword = "730";

class StarterHost {
public:
    virtual ~StarterHost() = default;
    // Message boxes and questions (and the password dialog of a release).
    virtual app::OperatorPrompt& prompt() = 0;
    // The configuration assistant: the new configuration, or nullopt when it was cancelled.
    virtual std::optional<std::string> configurationAssistant(const std::string& configuration, bool editable) = 0;
    // The repair-number dialog: the number, or nullopt when it was cancelled.
    virtual std::optional<std::string> repairNumber() = 0;
    // The serial-number dialog for the current device with the release check and the log line.
    virtual bool enterSerialNumber() = 0;
    // A number that enterSerialNumber() entered in the serial-number log will not be sent after
    // all (the start ended before its worker took it over): the log gets "#SNR NOT FOUND" for it,
    // so the number is free for the next try.
    virtual void serialNumberNotSet(uint32_t serial) = 0;
    // The start steps: controls off (only what the workflow names stays on), closing the window
    // disabled, then `body` runs on a worker thread with the window's channel; after it the worker
    // sends the end messages `end` names.
    virtual void startWorkflow(std::function<void(WorkerChannel&)> body, WorkerEnd end) = 0;
    // A service operation's worker: as a workflow's, ending with the operation-finished message.
    // `device` is the device the operation serves: a front end that remembers passwords forgets
    // the one that device refuses.
    virtual void startServiceWorker(std::function<void(WorkerChannel&)> body, const net::DeviceRecord* device)
    {
        (void)device;
        startWorkflow(std::move(body), WorkerEnd::Finished);
    }
};

// How a start ended.
enum class StartOutcome {
    Started,
    Refused,    // a precondition failed; the operator saw why
    Cancelled,  // the operator answered No or cancelled a dialog
};

// Shows the refusal text with the style and returns Refused.
StartOutcome refuse(StarterHost& host, app::TextId text, uint32_t style);
// Asks a Yes/No question with the question icon and No preselected; true on Yes.
bool confirm(StarterHost& host, app::TextId text);

}  // namespace vst::ops
