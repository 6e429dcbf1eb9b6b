#pragma once
// The worker's only way to the window. Each call stands for one of the window messages
// WM_USER+1 to +27 and is synchronous: the worker waits until the window has handled it and
// takes the answer. The window runs every call on its own thread, so the calls serialise all
// access to the device list and the flags.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "net/DeviceRecord.h"

namespace vst::config {
struct CalibrationRequest;
}

namespace vst::ops {

class LogWindow;

inline constexpr uint32_t kWmUser = 0x400;

// The messages, named; the value is the window message number.
enum class StatusMessage : uint32_t {
    ShowMessage = kWmUser + 1,
    OperationFinished = kWmUser + 2,
    SetHeading = kWmUser + 3,
    SetStep = kWmUser + 4,
    SetStepPosition = kWmUser + 5,
    SetStepText = kWmUser + 6,
    DeviceCount = kWmUser + 7,
    DeviceAt = kWmUser + 8,
    AddDevice = kWmUser + 9,
    ReplaceDevice = kWmUser + 10,
    RemoveDevice = kWmUser + 11,
    SelectDevice = kWmUser + 12,
    CurrentDevice = kWmUser + 13,
    RepaintList = kWmUser + 14,
    MayContinue = kWmUser + 15,
    SearchStarted = kWmUser + 16,
    SearchEnded = kWmUser + 17,
    OnlyListedDevice = kWmUser + 18,
    EnduranceActive = kWmUser + 19,
    EnterSerialNumber = kWmUser + 20,
    ReleaseSerialNumber = kWmUser + 21,
    AskConfiguration = kWmUser + 23,
    Calibrate = kWmUser + 24,
    OperatorSign = kWmUser + 25,
    CreateLogWindow = kWmUser + 26,
    DestroyLogWindow = kWmUser + 27,
    PasswordRefused = kWmUser + 28,
};

// A text (already localised, Windows-1252) with a message-box style or a progress position.
struct TextWithValue {
    std::string text;
    int32_t value = 0;
};

// The worker's way to the progress bars and the log windows, and the end of its operation.
class ProgressChannel {
public:
    virtual ~ProgressChannel() = default;
    virtual void operationFinished() = 0;                                  // +2
    virtual void setHeading(const TextWithValue& heading) = 0;             // +3
    virtual void setStep(const TextWithValue& step) = 0;                   // +4
    virtual void setStepPosition(int position) = 0;                        // +5
    virtual void setStepText(const std::string& text) = 0;                 // +6
    virtual std::string operatorSign() = 0;                                // +25
    virtual LogWindow* createLogWindow() = 0;                              // +26
    virtual void destroyLogWindow(LogWindow* log) = 0;                     // +27
    // A step begins a fixed wait of `seconds` (a device restart and the like); a window can count
    // it down. The log and the records do not change; the console has nothing to show.
    virtual void announceWait(const std::string& step, int seconds)
    {
        (void)step;
        (void)seconds;
    }
};

// The worker's access to the device list and to the flags a search and a run go on by.
class DeviceListChannel {
public:
    virtual ~DeviceListChannel() = default;
    virtual int deviceCount() = 0;                                         // +7
    virtual net::DeviceRecord* deviceAt(int row) = 0;                      // +8
    virtual void addDevice(std::unique_ptr<net::DeviceRecord> record) = 0;  // +9
    // +10: the listed record with the same MAC is replaced; returns the record as listed.
    virtual net::DeviceRecord* replaceDevice(std::unique_ptr<net::DeviceRecord> record) = 0;
    virtual void removeDevice(const net::DeviceRecord& record) = 0;        // +11
    virtual void selectDevice(net::DeviceRecord* record) = 0;              // +12
    virtual net::DeviceRecord* currentDevice() = 0;                        // +13
    virtual void repaintList() = 0;                                        // +14
    virtual bool mayContinue() = 0;                                        // +15: busy flag
    virtual void searchStarted() = 0;                                      // +16
    virtual void searchEnded() = 0;                                        // +17
    virtual net::DeviceRecord* onlyListedDevice() = 0;                     // +18
    virtual bool enduranceActive() = 0;                                    // +19
};

// What the worker asks the operator.
class OperatorChannel {
public:
    virtual ~OperatorChannel() = default;
    virtual int showMessage(const TextWithValue& message) = 0;              // +1: the button pressed
    virtual bool enterSerialNumber() = 0;                                  // +20
    // +21: whether the number may be given to a device (the release check, with the release
    // dialogue for a used number); when it may, its assigned line is in the serial-number log,
    // looked up and written under one hold of the log's lock.
    virtual bool releaseSerialNumber(uint32_t serial) = 0;
    // +23: the configuration assistant; the new configuration text, or nullopt.
    virtual std::optional<std::string> askConfiguration(const std::string& configuration, bool editable) = 0;
    // +24: the energy-sensor calibration dialog fills the request; true when confirmed. A window
    // without that dialog confirms nothing.
    virtual bool calibrate(config::CalibrationRequest& request)
    {
        (void)request;
        return false;
    }
    // +28: the device refused the password it was given; the window forgets what it remembered
    // for it. A window that remembers no passwords has nothing to do.
    virtual void passwordRefused(const net::DeviceRecord& device) { (void)device; }
};

// The whole channel of a worker: the window's, the console's, or a test's.
class WorkerChannel : public ProgressChannel, public DeviceListChannel, public OperatorChannel {
};

}  // namespace vst::ops
