#include "cli/ConsoleChannel.h"

#include <algorithm>

#include "app/CApp.h"
#include "app/OperatorPrompt.h"
#include "app/Texts.h"
#include "config/CalibrationRequest.h"
#include "config/ConfigurationAssistant.h"
#include "config/ConfigurationCatalogue.h"
#include "platform/ChildProcess.h"
#include "platform/CodePage.h"
#include "platform/Terminal.h"

namespace vst::cli {
namespace {

// A log window whose lines also go to the error stream.
class ConsoleLog : public ops::LogWindow {
public:
    ConsoleLog(ConsoleChannel& console, std::FILE* err) : console_(console), err_(err) {}

protected:
    void textChanged(size_t, const std::string& appended) override
    {
        // What was printed stays on the screen; only what is added is printed.
        if (!appended.empty()) console_.print(err_, platform::cp1252ToUtf8(appended));
    }

private:
    ConsoleChannel& console_;
    std::FILE* err_;
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

namespace {

// "[ID] text", the line on the error stream that tells the id an operator gives --answer or
// --on-notice ("?" for a text of no id).
std::string idLine(app::TextId id, const std::string& text)
{
    return "[" + (id ? std::to_string(id) : std::string("?")) + "] " + platform::cp1252ToUtf8(text);
}

}  // namespace

int ConsoleChannel::showMessage(const ops::TextWithValue& message)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    messages_.push_back(message.text);
    const app::TextId id = app::findTextId(message.text);
    if ((message.value & 0xF) == app::kMbYesNo) return answerQuestion(id, message.text);
    print(out_, platform::cp1252ToUtf8(message.text) + "\n");
    print(err_, idLine(id, message.text) + "\n");
    runNoticeHook(message.text);
    return app::kIdOk;
}

int ConsoleChannel::answerQuestion(app::TextId textId, const std::string& text)
{
    bool yes = script_.yes;
    std::string why = yes ? "--yes" : "give --yes to agree";
    // The answer given for exactly this text, else the one for the id the question was found to be
    // (a question put together from a lead-in and its text).
    auto given = script_.answers.end();
    for (auto it = script_.answers.begin(); it != script_.answers.end(); ++it) {
        if (app::textMatches(static_cast<app::TextId>(it->first), text)) {
            given = it;
            break;
        }
    }
    if (given == script_.answers.end() && textId) given = script_.answers.find(textId);
    if (given != script_.answers.end()) {
        yes = given->second;
        why = "--answer " + std::to_string(given->first);
    }
    print(err_, idLine(textId, text) + "\n  -> " + (yes ? "yes" : "no") + " (" + why + ")\n");
    return yes ? app::kIdYes : app::kIdNo;
}

// Runs the command given for this notice, as an operator would act before pressing OK: without
// a time limit, its output on the error stream, the device number the notice names in VST_DEVICE.
void ConsoleChannel::runNoticeHook(const std::string& text)
{
    for (const auto& [id, command] : script_.noticeHooks) {
        std::vector<std::string> values;
        if (!app::textMatches(static_cast<app::TextId>(id), text, &values)) continue;
        platform::ChildProcessRequest request;
        request.arguments = platform::shellCommand(command);
        request.unsetEnvironment = {"VST_DEVICE"};
        for (const auto& v : values) {
            if (!v.empty() && v.find_first_not_of("0123456789") == std::string::npos) {
                request.environment.push_back("VST_DEVICE=" + v);
                break;
            }
        }
        const auto result =
            platform::runChildProcess(request, [this](const std::string& piece) { print(err_, piece); }, 0);
        print(err_, "vestrolan-cli: --on-notice " + std::to_string(id) +
                        (result.started ? ": exit status " + std::to_string(result.exitCode)
                                        : std::string(": the command could not be started")) + "\n");
        return;
    }
}

void ConsoleChannel::operationFinished()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    // One search worker's end is not the end of the search's bar.
    if (!searchWorkers_) endProgress();
}

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

void ConsoleChannel::beginSearchProgress(size_t workers)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    searchWorkers_ = workers;
    searchPositions_.clear();
    stepText_.clear();
    stepPosition_ = 0;
}

void ConsoleChannel::endSearchProgress()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    searchWorkers_ = 0;
    searchPositions_.clear();
}

void ConsoleChannel::searchStep(const std::string* text, const int* position)
{
    int& own = searchPositions_[std::this_thread::get_id()];
    if (position) own = std::max(own, std::clamp(*position, 0, 100));
    if (text && text->empty()) own = 100;
    int sum = 0;
    int furthest = 0;
    for (const auto& entry : searchPositions_) {
        sum += entry.second;
        furthest = std::max(furthest, entry.second);
    }
    // The workers' mean, never below what is shown already; the text is the furthest worker's.
    const int workers = static_cast<int>(std::max(searchWorkers_, searchPositions_.size()));
    const int shown = std::max(stepPosition_, sum / workers);
    const bool newText = text && !text->empty() && *text != stepText_ && own >= furthest;
    if (!newText && shown == stepPosition_) return;
    if (newText) stepText_ = *text;
    stepPosition_ = shown;
    progressLine(stepPosition_, stepText_);
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
    if (searchWorkers_) return searchStep(&step.text, &step.value);
    if (step.text == stepText_ && step.value == stepPosition_) return;
    stepText_ = step.text;
    stepPosition_ = step.value;
    progressLine(step.value, step.text);
}

void ConsoleChannel::setStepPosition(int position)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (searchWorkers_) return searchStep(nullptr, &position);
    if (position == stepPosition_) return;
    stepPosition_ = position;
    progressLine(position, stepText_);
}

void ConsoleChannel::setStepText(const std::string& text)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (searchWorkers_) return searchStep(&text, nullptr);
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

bool ConsoleChannel::mayContinue() { return workers_.busy(); }

void ConsoleChannel::searchStarted() { workers_.setBusy(true); }

void ConsoleChannel::searchEnded() { workers_.setBusy(false); }

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

bool ConsoleChannel::enduranceActive() { return workers_.enduranceActive(); }

namespace {

// The release dialogue on the console: its question through the channel's answers, the release
// password from the script.
class ScriptPrompt : public app::OperatorPrompt {
public:
    ScriptPrompt(ops::WorkerChannel& channel, std::optional<std::string> password)
        : channel_(channel), password_(std::move(password))
    {
    }
    int messageBox(const std::string& text, uint32_t style) override
    {
        return channel_.showMessage({text, static_cast<int32_t>(style)});
    }
    std::optional<std::string> askPassword() override { return password_; }

private:
    ops::WorkerChannel& channel_;
    std::optional<std::string> password_;
};

}  // namespace

// The serial-number dialog answered with --serial: the release check, then the assigned number in
// the serial-number log, as the window does.
bool ConsoleChannel::enterSerialNumber()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    net::DeviceRecord* device = devices_.current();
    if (!device || !script_.serialNumber) return false;
    const uint32_t serial = *script_.serialNumber;
    ScriptPrompt prompt(*this, script_.releasePassword);
    // Look-up and the assigned line under the log's lock, as the window does.
    if (!serialLog().assignSerialNumber(serial, prompt)) return false;
    device->serialNumber = serial;
    device->serialModified = true;
    return true;
}


app::OperatorPrompt& ConsoleChannel::prompt()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!prompt_) prompt_ = std::make_unique<ScriptPrompt>(*this, script_.releasePassword);
    return *prompt_;
}

void ConsoleChannel::startWorkflow(std::function<void(ops::WorkerChannel&)> body, ops::WorkerEnd end)
{
    workers_.start(ops::workflowTask(*this, std::move(body), end));
    workers_.waitForAll();
}

void ConsoleChannel::serialNumberNotSet(uint32_t serial)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    serialLog().logSerialConfirmation(serial, false);
}

bool ConsoleChannel::releaseSerialNumber(uint32_t serial)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ScriptPrompt prompt(*this, script_.releasePassword);
    return serialLog().assignSerialNumber(serial, prompt);
}

app::SerialLog ConsoleChannel::serialLog() const
{
    const auto& app = app::CApp::instance();
    return app::SerialLog(app.serialNumberPath(), app.noSerialLog(), sign_);
}

// The assistant answered as the window's assistant would answer on OK.
std::optional<std::string> ConsoleChannel::askConfiguration(const std::string& configuration, bool editable)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!script_.configuration && !script_.keepConfiguration) {
        print(err_, "vestrolan-cli: the configuration assistant counts as cancelled (no --config)\n");
        return std::nullopt;
    }
    std::string input = configuration;
    if (script_.configuration && editable) {
        input = *script_.configuration;
    } else if (script_.configuration) {
        print(err_, "vestrolan-cli: note: the assistant is view-only here; --config FILE is taken as keep\n");
    }
    config::ConfigurationAssistant assistant(input, editable);
    const std::string folder = config::templateFolder(app::CApp::instance().serialNumberPath());
    if (assistant.loadCatalogueFromFolder(folder) != config::AssistantResult::Ok) {
        showMessage({app::loadText(31019), app::kMbIconError});
        return std::nullopt;
    }
    const auto read = assistant.readInput();
    if (read != config::AssistantResult::Ok) showMessage({app::loadText(config::textIdOf(read)), app::kMbIconExclamation});
    return assistant.finish();
}

bool ConsoleChannel::calibrate(config::CalibrationRequest& request)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!script_.calibration) {
        print(err_, "vestrolan-cli: the calibration of " + platform::cp1252ToUtf8(request.sensorName.str()) +
                        " counts as cancelled (no --calibrate)\n");
        return false;
    }
    const auto& v = *script_.calibration;
    config::completeRequest(request, config::CalibrationValues{v[0], v[1], v[2], v[3]});
    return true;
}

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
