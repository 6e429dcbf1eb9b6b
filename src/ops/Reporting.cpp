#include "ops/Reporting.h"

#include "app/Records.h"
#include "ops/LogWindow.h"

namespace vst::ops {

void Reporter::appendLine(const std::string& line)
{
    if (log_) log_->appendLog(line);
}

int Reporter::logMessage(const std::string& text, int32_t style, bool show)
{
    appendLine("MSG: " + text + "\r\n");
    if (!log_ || show) return channel_.showMessage({text, style});
    return 0;
}

int Reporter::logSubMessage(const std::string& text, int32_t style, bool show)
{
    appendLine("  - MSG: " + text + "\r\n");
    if (!log_ || show) return channel_.showMessage({text, style});
    return 0;
}

void Reporter::logHeading(const std::string& text, int32_t position)
{
    appendLine("\r\n" + text + ":\r\n");
    channel_.setHeading({text, position});
}

void Reporter::logStep(const std::string& text, int32_t position)
{
    appendLine("  - " + text + "\r\n");
    channel_.setStep({text, position});
}

void Reporter::logStepText(const std::string& text)
{
    appendLine("  - " + text + "\r\n");
    channel_.setStepText(text);
}

int Reporter::askOperator(const std::string& text, int32_t style) { return channel_.showMessage({text, style}); }

void Reporter::setHeading(const std::string& text, int32_t position) { channel_.setHeading({text, position}); }

std::optional<std::string> Reporter::askConfiguration(const std::string& text, bool editable)
{
    return channel_.askConfiguration(text, editable);
}

void Reporter::setPosition(int32_t position) { channel_.setStepPosition(position); }

void Reporter::clearStep() { channel_.setStep({std::string(), 0}); }

void Reporter::announceWait(const std::string& step, uint32_t milliseconds)
{
    if (milliseconds > kShortestAnnouncedWaitMs) channel_.announceWait(step, static_cast<int>(milliseconds / 1000));
}

std::string timestampText() { return app::currentDateTimeText(); }

}  // namespace vst::ops
