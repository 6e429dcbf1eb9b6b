#include "cli/ConsoleChannel.h"

#include <algorithm>

#include "app/OperatorPrompt.h"
#include "app/Texts.h"
#include "platform/CodePage.h"
#include "platform/Terminal.h"

namespace vst::cli {
namespace {

// A log window whose lines also go to the error stream.
class ConsoleLog : public ops::LogWindow {
public:
    ConsoleLog(ConsoleChannel& console, std::FILE* err) : console_(console), err_(err) {}

protected:
    void textChanged(const std::string& text) override
    {
        // Print what was added since the last change.
        if (text.size() > shown_) console_.print(err_, platform::cp1252ToUtf8(text.substr(shown_)));
        shown_ = text.size();
    }

private:
    ConsoleChannel& console_;
    std::FILE* err_;
    size_t shown_ = 0;
};

constexpr int kBarWidth = 20;
// "[", the bar, "]", a blank, "100%" and a blank before the step text; the last column stays free
// so that the terminal never wraps the line.
constexpr int kBarOverhead = 1 + kBarWidth + 1 + 1 + 4 + 1 + 1;

}  // namespace

ConsoleChannel::ConsoleChannel(std::FILE* out, std::FILE* err)
    : out_(out), err_(err), bar_(platform::isTerminal(err)), columns_(bar_ ? platform::terminalColumns(err) : 80)
{
}

ConsoleChannel::~ConsoleChannel() { endProgress(); }

void ConsoleChannel::setProgressBar(bool bar, int columns)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    endProgress();
    bar_ = bar;
    columns_ = columns;
}

void ConsoleChannel::endProgress()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!barShown_) return;
    std::fputc('\n', err_);
    std::fflush(err_);
    barShown_ = false;
}

void ConsoleChannel::print(std::FILE* stream, const std::string& utf8)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const bool redraw = barShown_;
    clearBar();
    std::fputs(utf8.c_str(), stream);
    std::fflush(stream);
    if (redraw) drawBar();
}

void ConsoleChannel::clearBar()
{
    if (!barShown_) return;
    std::fputs("\r\x1b[K", err_);
    std::fflush(err_);
    barShown_ = false;
}

void ConsoleChannel::drawBar()
{
    const int percent = stepPosition_ < 0 ? 0 : stepPosition_ > 100 ? 100 : stepPosition_;
    const int filled = percent * kBarWidth / 100;
    std::string line = "\r[";
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(kBarWidth - filled), '-');
    char number[16];
    std::snprintf(number, sizeof number, "] %3d%% ", percent);
    line += number;
    // One character per byte in Windows-1252, so the text is cut to the room left before it is
    // converted; control characters would break the line and become blanks.
    std::string text = stepText_.substr(0, static_cast<size_t>(std::max(0, columns_ - kBarOverhead)));
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    line += platform::cp1252ToUtf8(text);
    line += "\x1b[K";
    std::fputs(line.c_str(), err_);
    std::fflush(err_);
    barShown_ = true;
}

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
        print(err_, text + "\n  -> " + (answerYes_ ? "yes (--yes)" : "no (give --yes to agree)") + "\n");
        return answerYes_ ? app::kIdYes : app::kIdNo;
    }
    print(out_, text + "\n");
    return app::kIdOk;
}

void ConsoleChannel::operationFinished() { endProgress(); }

void ConsoleChannel::progressLine(int position, const std::string& text)
{
    if (text.empty()) return;
    if (bar_) {
        drawBar();
        return;
    }
    std::fprintf(err_, "[%3d%%] %s\n", position, platform::cp1252ToUtf8(text).c_str());
    std::fflush(err_);
}

void ConsoleChannel::setHeading(const ops::TextWithValue& heading)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!heading.text.empty()) {
        print(err_, "== " + platform::cp1252ToUtf8(heading.text) + " (" + std::to_string(heading.value) + "%)\n");
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
    logs_.push_back(std::make_unique<ConsoleLog>(*this, err_));
    return logs_.back().get();
}

void ConsoleChannel::destroyLogWindow(ops::LogWindow* log)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::erase_if(logs_, [log](const auto& l) { return l.get() == log; });
}

}  // namespace vst::cli
