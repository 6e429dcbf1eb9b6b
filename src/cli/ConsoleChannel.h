#pragma once
// The worker channel on a console: progress and step texts go to the error stream, results and
// notices to the output stream, questions are answered by a preset answer, and the device list is
// kept in memory. Calls come from worker threads and are serialised by one lock, as the window
// serialises them on its own thread.
#include <array>
//
// On a terminal the step progress is one line redrawn in place (a bar, the percentage and the step
// text); everything else printed meanwhile appears above it. Elsewhere each change is a line.
#include <atomic>
#include <map>
#include <optional>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/SerialLog.h"
#include "ops/DeviceList.h"
#include "ops/LogWindow.h"
#include "ops/Starter.h"
#include "ops/WorkerChannel.h"
#include "ops/WorkerPool.h"

namespace vst::cli {

// How the console answers what a window would ask the operator.
struct ScriptedOperator {
    std::map<int, bool> answers;              // German id of a question -> Yes (true) or No
    bool yes = false;                         // questions without an answer of their own
    std::map<int, std::string> noticeHooks;   // German id of a notice -> shell command run before OK
    std::optional<std::string> configuration; // the assistant's answer: a configuration text
    bool keepConfiguration = false;           // the assistant's answer: the one it was opened with
    std::optional<std::array<double, 4>> calibration;  // primary, secondary, voltage, current
    std::optional<uint32_t> serialNumber;     // the serial-number dialog's answer
    std::optional<std::string> releasePassword;
};

class ConsoleChannel : public ops::WorkerChannel, public ops::StarterHost {
public:
    // The progress bar is shown when the error stream is a terminal.
    ConsoleChannel(std::FILE* out, std::FILE* err);
    ~ConsoleChannel() override;

    // A progress bar `columns` wide instead of progress lines (or lines again with false).
    void setProgressBar(bool bar, int columns);
    // Ends a progress bar on the screen: it stays with its last state, and output goes below it.
    void endProgress();
    // Prints text to a stream of the console above the progress bar.
    void print(std::FILE* stream, const std::string& utf8);
    // A search of `workers` workers (one per card), each reporting the steps of its own scopes:
    // until endSearchProgress their steps make one bar, at their mean position (a worker that has
    // ended counts as done), which never goes back.
    void beginSearchProgress(size_t workers);
    void endSearchProgress();

    // How Yes/No questions are answered (the console cannot ask): true = Yes, false = No.
    void setAnswerYes(bool yes) { script_.yes = yes; }
    void setScript(ScriptedOperator script)
    {
        script_ = std::move(script);
        prompt_.reset();
    }
    const ScriptedOperator& script() const { return script_; }
    void setOperatorSign(std::string sign) { sign_ = std::move(sign); }
    // Ctrl+C: a running endurance run is asked to stop (like the stop button: the running step
    // finishes and the run writes its records); otherwise the running search is cancelled.
    void cancel() { workers_.cancel(); }
    void setEnduranceActive(bool active) { workers_.setEnduranceActive(active); }
    void setBusy(bool busy) { workers_.setBusy(busy); }
    // The console's worker threads; a command waits for the workers it starts.
    ops::WorkerPool& workers() { return workers_; }

    ops::DeviceList& devices() { return devices_; }
    // The texts of every notice and result shown so far (Windows-1252).
    std::vector<std::string> messages() const;

    int showMessage(const ops::TextWithValue& message) override;
    void operationFinished() override;
    void setHeading(const ops::TextWithValue& heading) override;
    void setStep(const ops::TextWithValue& step) override;
    void setStepPosition(int position) override;
    void setStepText(const std::string& text) override;
    int deviceCount() override;
    net::DeviceRecord* deviceAt(int row) override;
    void addDevice(std::unique_ptr<net::DeviceRecord> record) override;
    net::DeviceRecord* replaceDevice(std::unique_ptr<net::DeviceRecord> record) override;
    void removeDevice(const net::DeviceRecord& record) override;
    void selectDevice(net::DeviceRecord* record) override;
    net::DeviceRecord* currentDevice() override;
    void repaintList() override;
    bool mayContinue() override;
    void searchStarted() override;
    void searchEnded() override;
    net::DeviceRecord* onlyListedDevice() override;
    bool enduranceActive() override;
    bool enterSerialNumber() override;
    bool releaseSerialNumber(uint32_t serial) override;
    std::optional<std::string> askConfiguration(const std::string& configuration, bool editable) override;
    std::string operatorSign() override;
    ops::LogWindow* createLogWindow() override;
    void destroyLogWindow(ops::LogWindow* log) override;
    bool calibrate(config::CalibrationRequest& request) override;

    // What the production starters ask of the console: the scripted operator answers.
    app::OperatorPrompt& prompt() override;
    std::optional<std::string> configurationAssistant(const std::string& configuration, bool editable) override
    {
        return askConfiguration(configuration, editable);
    }
    std::optional<std::string> repairNumber() override { return repairNumber_; }
    void serialNumberNotSet(uint32_t serial) override;
    void setRepairNumber(std::optional<std::string> number) { repairNumber_ = std::move(number); }
    // Runs the workflow on a worker thread and waits for its end.
    void startWorkflow(std::function<void(ops::WorkerChannel&)> body, ops::WorkerEnd end) override;

private:
    void progressLine(int position, const std::string& text);
    // A search worker's step (text, position or both); `text` empty: the worker has ended.
    void searchStep(const std::string* text, const int* position);
    int answerQuestion(app::TextId id, const std::string& text);
    app::SerialLog serialLog() const;
    void runNoticeHook(const std::string& text);
    void drawBar();
    void clearBar();

    mutable std::recursive_mutex mutex_;
    std::FILE* out_;
    std::FILE* err_;
    ops::DeviceList devices_;
    ops::WorkerPool workers_;
    ScriptedOperator script_;
    std::optional<std::string> repairNumber_;
    std::unique_ptr<app::OperatorPrompt> prompt_;
    std::string sign_;
    std::string stepText_;
    int stepPosition_ = 0;
    bool bar_ = false;
    int columns_ = 80;
    bool barShown_ = false;
    std::vector<std::string> messages_;
    size_t searchWorkers_ = 0;
    std::map<std::thread::id, int> searchPositions_;
    std::vector<std::unique_ptr<ops::LogWindow>> logs_;
};

}  // namespace vst::cli
