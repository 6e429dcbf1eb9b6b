#pragma once
// A window for tests: it records every message a worker sends, keeps the device list, and
// answers questions from a script. Calls are serialised by a lock, as the window's thread would.
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ops/DeviceList.h"
#include "ops/LogWindow.h"
#include "ops/WorkerChannel.h"
#include "platform/Clock.h"

namespace vst::test {

class RecordingChannel : public ops::WorkerChannel {
public:
    struct Call {
        ops::StatusMessage message;
        std::string text;
        int32_t value;
        uint32_t tick;  // protocol time of the call
    };

    std::deque<int> answers;            // for showMessage; kIdOk (1) when empty
    std::atomic<bool> busy{true};       // the search's go-on flag
    std::function<void()> onPass;       // called on every mayContinue, e.g. to cancel
    int finished = 0;

    std::vector<Call> calls() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    // The texts of the calls of one kind, in order.
    std::vector<std::string> texts(ops::StatusMessage m) const
    {
        std::vector<std::string> out;
        for (const auto& c : calls()) {
            if (c.message == m) out.push_back(c.text);
        }
        return out;
    }
    int count(ops::StatusMessage m) const
    {
        int n = 0;
        for (const auto& c : calls()) n += c.message == m;
        return n;
    }
    ops::DeviceList& devices() { return devices_; }

    int showMessage(const ops::TextWithValue& m) override
    {
        record(ops::StatusMessage::ShowMessage, m.text, m.value);
        std::lock_guard<std::mutex> lock(mutex_);
        if (answers.empty()) return 1;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    void operationFinished() override
    {
        record(ops::StatusMessage::OperationFinished);
        std::lock_guard<std::mutex> lock(mutex_);
        ++finished;
    }
    void setHeading(const ops::TextWithValue& h) override { record(ops::StatusMessage::SetHeading, h.text, h.value); }
    void setStep(const ops::TextWithValue& s) override { record(ops::StatusMessage::SetStep, s.text, s.value); }
    void setStepPosition(int p) override { record(ops::StatusMessage::SetStepPosition, "", p); }
    void setStepText(const std::string& t) override { record(ops::StatusMessage::SetStepText, t); }
    int deviceCount() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return devices_.count();
    }
    net::DeviceRecord* deviceAt(int row) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return devices_.at(row);
    }
    void addDevice(std::unique_ptr<net::DeviceRecord> r) override
    {
        record(ops::StatusMessage::AddDevice);
        std::lock_guard<std::mutex> lock(mutex_);
        devices_.add(std::move(r));
    }
    net::DeviceRecord* replaceDevice(std::unique_ptr<net::DeviceRecord> r) override
    {
        record(ops::StatusMessage::ReplaceDevice);
        std::lock_guard<std::mutex> lock(mutex_);
        return devices_.replace(std::move(r));
    }
    void removeDevice(const net::DeviceRecord& r) override
    {
        record(ops::StatusMessage::RemoveDevice);
        std::lock_guard<std::mutex> lock(mutex_);
        devices_.remove(r);
    }
    void selectDevice(net::DeviceRecord* r) override
    {
        record(ops::StatusMessage::SelectDevice);
        std::lock_guard<std::mutex> lock(mutex_);
        devices_.setCurrent(r);
    }
    net::DeviceRecord* currentDevice() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return devices_.current();
    }
    void repaintList() override { record(ops::StatusMessage::RepaintList); }
    bool mayContinue() override
    {
        if (onPass) onPass();
        return busy;
    }
    void searchStarted() override { record(ops::StatusMessage::SearchStarted); }
    void searchEnded() override { record(ops::StatusMessage::SearchEnded); }
    net::DeviceRecord* onlyListedDevice() override
    {
        record(ops::StatusMessage::OnlyListedDevice);
        std::lock_guard<std::mutex> lock(mutex_);
        return devices_.count() == 1 ? devices_.at(0) : devices_.current();
    }
    bool enduranceActive() override { return false; }
    bool enterSerialNumber() override { return false; }
    bool releaseSerialNumber(uint32_t) override { return false; }
    std::optional<std::string> askConfiguration(const std::string&, bool) override { return std::nullopt; }
    std::string operatorSign() override { return "TS"; }
    ops::LogWindow* createLogWindow() override
    {
        record(ops::StatusMessage::CreateLogWindow);
        return nullptr;
    }
    void destroyLogWindow(ops::LogWindow*) override { record(ops::StatusMessage::DestroyLogWindow); }
    // The announced waits: the step and its seconds.
    std::vector<std::pair<std::string, int>> waits() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return waits_;
    }
    void announceWait(const std::string& step, int seconds) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waits_.emplace_back(step, seconds);
    }

private:
    void record(ops::StatusMessage m, const std::string& text = {}, int32_t value = 0)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back({m, text, value, platform::clock().tickCount()});
    }

    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    ops::DeviceList devices_;
    std::vector<std::pair<std::string, int>> waits_;
};

}  // namespace vst::test
