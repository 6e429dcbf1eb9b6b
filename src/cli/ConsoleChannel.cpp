#include "cli/ConsoleChannel.h"

#include "app/OperatorPrompt.h"
#include "app/Texts.h"
#include "platform/CodePage.h"

namespace vst::cli {
namespace {

// A log window whose lines also go to the error stream.
class ConsoleLog : public ops::LogWindow {
public:
    explicit ConsoleLog(std::FILE* err) : err_(err) {}

protected:
    void textChanged(const std::string& text) override
    {
        // Print what was added since the last change.
        if (text.size() > shown_) {
            std::fputs(platform::cp1252ToUtf8(text.substr(shown_)).c_str(), err_);
            std::fflush(err_);
        }
        shown_ = text.size();
    }

private:
    std::FILE* err_;
    size_t shown_ = 0;
};

}  // namespace

ConsoleChannel::ConsoleChannel(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

std::vector<std::string> ConsoleChannel::messages() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return messages_;
}

int ConsoleChannel::showMessage(const ops::TextWithValue& message)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    messages_.push_back(message.text);
    const std::string text = platform::cp1252ToUtf8(message.text);
    if ((message.value & 0xF) == app::kMbYesNo) {
        std::fprintf(err_, "%s\n  -> %s\n", text.c_str(), answerYes_ ? "yes (--yes)" : "no (give --yes to agree)");
        std::fflush(err_);
        return answerYes_ ? app::kIdYes : app::kIdNo;
    }
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
    return app::kIdOk;
}

void ConsoleChannel::operationFinished() {}

void ConsoleChannel::progressLine(int position, const std::string& text)
{
    if (text.empty()) return;
    std::fprintf(err_, "[%3d%%] %s\n", position, platform::cp1252ToUtf8(text).c_str());
    std::fflush(err_);
}

void ConsoleChannel::setHeading(const ops::TextWithValue& heading)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!heading.text.empty()) {
        std::fprintf(err_, "== %s (%d%%)\n", platform::cp1252ToUtf8(heading.text).c_str(), heading.value);
        std::fflush(err_);
    }
}

void ConsoleChannel::setStep(const ops::TextWithValue& step)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (step.text == stepText_ && step.value == stepPosition_) return;
    stepText_ = step.text;
    stepPosition_ = step.value;
    progressLine(step.value, step.text);
}

void ConsoleChannel::setStepPosition(int position)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (position == stepPosition_) return;
    stepPosition_ = position;
    progressLine(position, stepText_);
}

void ConsoleChannel::setStepText(const std::string& text)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (text == stepText_) return;
    stepText_ = text;
    progressLine(stepPosition_, text);
}

int ConsoleChannel::deviceCount()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return devices_.count();
}

net::DeviceRecord* ConsoleChannel::deviceAt(int row)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return devices_.at(row);
}

void ConsoleChannel::addDevice(std::unique_ptr<net::DeviceRecord> record)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    devices_.add(std::move(record));
}

net::DeviceRecord* ConsoleChannel::replaceDevice(std::unique_ptr<net::DeviceRecord> record)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return devices_.replace(std::move(record));
}

void ConsoleChannel::removeDevice(const net::DeviceRecord& record)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    devices_.remove(record);
}

void ConsoleChannel::selectDevice(net::DeviceRecord* record)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    devices_.setCurrent(record);
}

net::DeviceRecord* ConsoleChannel::currentDevice()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return devices_.current();
}

void ConsoleChannel::repaintList() {}

bool ConsoleChannel::mayContinue() { return busy_; }

void ConsoleChannel::searchStarted() { busy_ = true; }

void ConsoleChannel::searchEnded() { busy_ = false; }

net::DeviceRecord* ConsoleChannel::onlyListedDevice()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (devices_.count() == 1) {
        devices_.setCurrent(devices_.at(0));
        return devices_.current();
    }
    showMessage({app::loadText(devices_.count() == 0 ? 35403 : 35402), app::kMbIconExclamation});
    return devices_.current();
}

bool ConsoleChannel::enduranceActive() { return false; }

bool ConsoleChannel::enterSerialNumber() { return false; }

bool ConsoleChannel::releaseSerialNumber(uint32_t) { return false; }

std::optional<std::string> ConsoleChannel::askConfiguration(const std::string&, bool) { return std::nullopt; }

std::string ConsoleChannel::operatorSign()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return sign_;
}

ops::LogWindow* ConsoleChannel::createLogWindow()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    logs_.push_back(std::make_unique<ConsoleLog>(err_));
    return logs_.back().get();
}

void ConsoleChannel::destroyLogWindow(ops::LogWindow* log)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::erase_if(logs_, [log](const auto& l) { return l.get() == log; });
}

}  // namespace vst::cli
