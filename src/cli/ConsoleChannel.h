#pragma once
// The worker channel on a console: progress and step texts go to the error stream, results and
// notices to the output stream, questions are answered by a preset answer, and the device list is
// kept in memory. Calls come from worker threads and are serialised by one lock, as the window
// serialises them on its own thread.
//
// On a terminal the step progress is one line redrawn in place (a bar, the percentage and the step
// text); everything else printed meanwhile appears above it. Elsewhere each change is a line.
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ops/DeviceList.h"
#include "ops/LogWindow.h"
#include "ops/WorkerChannel.h"

namespace vst::cli {

class ConsoleChannel : public ops::WorkerChannel {
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

    // How Yes/No questions are answered (the console cannot ask): true = Yes, false = No.
    void setAnswerYes(bool yes) { answerYes_ = yes; }
    void setOperatorSign(std::string sign) { sign_ = std::move(sign); }
    // Cancels a running search (the busy flag of the window).
    void cancel() { busy_ = false; }
    void setBusy(bool busy) { busy_ = busy; }

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

private:
    void progressLine(int position, const std::string& text);
    void drawBar();
    void clearBar();

    mutable std::recursive_mutex mutex_;
    std::FILE* out_;
    std::FILE* err_;
    ops::DeviceList devices_;
    std::atomic<bool> busy_{false};
    bool answerYes_ = false;
    std::string sign_;
    std::string stepText_;
    int stepPosition_ = 0;
    bool bar_ = false;
    int columns_ = 80;
    bool barShown_ = false;
    std::vector<std::string> messages_;
    std::vector<std::unique_ptr<ops::LogWindow>> logs_;
};

}  // namespace vst::cli
