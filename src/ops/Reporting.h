#pragma once
// The log and progress helpers every operation shares. Log lines go into the log window when
// there is one; the window messages go out whether or not there is a log.
#include <optional>
#include <string>

#include "ops/WorkerChannel.h"

namespace vst::ops {

class LogWindow;

enum : int32_t {
    kStyleError = 16,
    kStyleExclamation = 48,
    kStyleInformation = 64,
};

// Waits up to this long are over before a countdown would be worth reading.
inline constexpr uint32_t kShortestAnnouncedWaitMs = 5000;

class Reporter {
public:
    Reporter(WorkerChannel& channel, LogWindow* log) : channel_(channel), log_(log) {}

    // "MSG: text": a message box when there is no log window or `show` is set; returns the button, else 0.
    int logMessage(const std::string& text, int32_t style, bool show);
    // "  - MSG: text", otherwise as logMessage.
    int logSubMessage(const std::string& text, int32_t style, bool show);
    // "\r\ntext:\r\n" and the first progress bar.
    void logHeading(const std::string& text, int32_t position);
    // "  - text" and the second progress bar.
    void logStep(const std::string& text, int32_t position);
    // "  - text" and the second progress bar's text only.
    void logStepText(const std::string& text);
    int askOperator(const std::string& text, int32_t style);
    void setHeading(const std::string& text, int32_t position);
    std::optional<std::string> askConfiguration(const std::string& text, bool editable);
    // Second progress bar: position only.
    void setPosition(int32_t position);
    // Empties the second progress bar at the end of an operation.
    void clearStep();
    // Tells the window that `step` now waits `milliseconds` (whole seconds shown); waits of 5 s
    // and less are not announced.
    void announceWait(const std::string& step, uint32_t milliseconds);

    WorkerChannel& channel() { return channel_; }
    LogWindow* log() { return log_; }

private:
    void appendLine(const std::string& line);

    WorkerChannel& channel_;
    LogWindow* log_;
};

// The current local time as "dd.mm.yyyy hh:mm:ss".
std::string timestampText();

}  // namespace vst::ops
