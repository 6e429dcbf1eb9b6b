#pragma once
// The window side of the worker channel: every message a worker sends runs on the window's thread
// while the worker waits for the answer (a blocking queued call; a direct call when the sender is
// the window's thread itself). The window thread never waits for a worker, so this cannot
// deadlock.
#include <QObject>
#include <QThread>

#include <thread>
#include <type_traits>

#include "ops/WorkerChannel.h"

namespace vst::config {
struct CalibrationRequest;
}

namespace vst::ui {

class CMainDlg;

class WindowChannel : public QObject, public ops::WorkerChannel {
    Q_OBJECT
public:
    explicit WindowChannel(CMainDlg& window);

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
    void passwordRefused(const net::DeviceRecord& device) override;
    void announceWait(const std::string& step, int seconds) override;
    // WM_USER+24: the energy-sensor calibration; true when the operator confirmed the values.
    bool calibrate(config::CalibrationRequest& request) override;

private:
    template <typename F>
    auto onWindowThread(F&& call) -> std::invoke_result_t<F&>
    {
        using Result = std::invoke_result_t<F&>;
        if (QThread::currentThread() == thread()) return call();
        if constexpr (std::is_void_v<Result>) {
            QMetaObject::invokeMethod(this, [&call] { call(); }, Qt::BlockingQueuedConnection);
        } else {
            Result result{};
            QMetaObject::invokeMethod(this, [&call, &result] { result = call(); }, Qt::BlockingQueuedConnection);
            return result;
        }
    }

    CMainDlg& window_;
};

}  // namespace vst::ui
