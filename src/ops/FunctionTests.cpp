#include "ops/FunctionTests.h"

#include <atomic>
#include <mutex>

#include "app/Format.h"
#include "app/NetworkCards.h"
#include "config/CalibrationRequest.h"
#include "net/DeviceDocuments.h"
#include "ops/LogWindow.h"
#include "ops/WebOperation.h"
#include "platform/Clock.h"
#include "platform/Wlan.h"

namespace vst::ops {
namespace {

uint32_t now() { return platform::clock().tickCount(); }

// The text of a line without its line end.
std::string withoutLineEnd(std::string line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

// A finding or item line of a function test: "      * text".
void logItem(LogWindow* log, const std::string& text)
{
    if (log) log->appendLog("      * " + text + "\r\n");
}

// The join of this PC to a device's wireless network. The connected flag and the card are written
// by the platform's event thread and read by the worker, so both are guarded.
class WlanLink {
public:
    ~WlanLink() { close(); }

    // Opens the client and takes the first interface; false when there is none.
    bool open()
    {
        client_ = platform::makeWlanClient();
        if (!client_ || !client_->open()) return false;
        const auto interface = client_->firstInterface();
        if (!interface) return false;
        description_ = interface->description;
        client_->setEventHandler([this](platform::WlanEvent event) { onEvent(event); });
        return true;
    }
    bool connect(const std::string& ssid) { return client_->setOpenProfile(ssid) && client_->connect(ssid); }
    bool connected() const { return connected_.load(); }
    // The network card of the wireless interface, as the last connection event found it.
    std::optional<app::NetworkCard> card() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return card_;
    }
    // Looks for the card again: its address often arrives after the connection event.
    std::optional<app::NetworkCard> findCardAgain()
    {
        auto found = cardOfInterface();
        std::lock_guard<std::mutex> lock(mutex_);
        if (found && connected_) card_ = found;
        return card_;
    }
    void close()
    {
        if (!client_) return;
        client_->disconnect();
        client_->close();  // no event arrives after this
        client_.reset();
    }

private:
    void onEvent(platform::WlanEvent event)
    {
        if (event == platform::WlanEvent::Connected) {
            const std::optional<app::NetworkCard> found = cardOfInterface();
            {
                std::lock_guard<std::mutex> lock(mutex_);
                card_ = found;
            }
            connected_ = true;
        } else {
            connected_ = false;
            std::lock_guard<std::mutex> lock(mutex_);
            card_.reset();
        }
    }

    // The PC's network card whose description is the wireless interface's.
    std::optional<app::NetworkCard> cardOfInterface() const
    {
        std::vector<app::NetworkCard> cards;
        app::enumerateNetworkCards(&cards);
        std::optional<app::NetworkCard> found;
        for (const auto& c : cards) {
            if (c.description == description_) found = c;
        }
        return found;
    }

    std::unique_ptr<platform::WlanClient> client_;
    std::string description_;
    std::atomic<bool> connected_{false};
    mutable std::mutex mutex_;
    std::optional<app::NetworkCard> card_;
};

app::TextId calibrationStepFailureText(int result)
{
    switch (result) {
    case 1: return 35245;
    case 2: return 35206;
    default: return 35205;
    }
}

class CpuTest : public WebOperation {
public:
    explicit CpuTest(CpuTestParams& p) : WebOperation(p, WebFrame{0, 30}), p_(p) {}

private:
    // The body reads the device information and the I2C register; after the logout come the
    // system information and the search over the device's wireless network.
    enum class State {
        DevInfo, I2c, SysInfo, WlanOpen, WlanWait, NetworkWait, SearchSend, SearchAnswer, Verdict,
    };
    CpuTestParams& p_;
    State state_ = State::DevInfo;
    net::DevInfo devInfo_{};
    net::SysInfo sysInfo_{};
    bool i2cOk_ = false;
    bool wlanPassed_ = false;
    WlanLink wlan_;
    std::optional<app::NetworkCard> wlanCard_;  // the endpoint's card lives here while it is open
    uint32_t since_ = 0;
    int sendFailures_ = 0;

    void finish(bool ok) override
    {
        WebOperation::finish(ok);
        wlan_.close();
    }

    bool prepare() override
    {
        if (device_.passwordRequired) endpoint_.password() = p_.password;
        return true;
    }

    void beginBody() override
    {
        devInfo_ = net::DevInfo{};
        session_.beginReadDevInfo(&devInfo_);
        announce(35128, 10);
    }

    BodyStep body() override
    {
        if (state_ == State::I2c) return exchangeEnded(session_.pollReadI2cRegister(), readFailureText);
        const net::PollResult r = session_.pollReadDevInfo();
        if (r.done() && p_.testI2c) {
            session_.beginReadI2cRegister(&i2cOk_);
            announce(35126, 20);
            state_ = State::I2c;
            return BodyStep::Pending;
        }
        return exchangeEnded(r, readFailureText);
    }

    // Whatever the body found, the system information is read next.
    void loggedOut() override
    {
        sysInfo_ = net::SysInfo{};
        session_.beginReadSysInfo(&sysInfo_);
        announce(35127, 40);
        state_ = State::SysInfo;
    }

    void afterLogout() override
    {
        switch (state_) {
        case State::DevInfo:
        case State::I2c:
            break;
        case State::SysInfo: {
            const net::PollResult r = session_.pollReadSysInfo();
            if (r.pending()) return;
            if (r.failed()) return fail(readFailureText(r.code()));
            if (p_.ssid.empty()) {
                state_ = State::Verdict;
                return;
            }
            announce(35132, 50);
            state_ = State::WlanOpen;
            break;
        }
        case State::WlanOpen: openWlan(); break;
        case State::WlanWait:
            if (wlan_.connected()) {
                announce(35134, 70);
                since_ = now();
                state_ = State::NetworkWait;
            } else if (now() - since_ > kWlanConnectWaitMs) {
                giveUpWlan(35250, kStyleExclamation);
            }
            break;
        case State::NetworkWait: attachToWlan(); break;
        case State::SearchSend:
            if (endpoint_.sendSearch(&sysInfo_.wlanMac)) {
                report_.setPosition(90);
                since_ = now();
                state_ = State::SearchAnswer;
            } else if (++sendFailures_ >= 3) {
                giveUpWlan(35203, kStyleExclamation);
            }
            break;
        case State::SearchAnswer: readWlanAnswer(); break;
        case State::Verdict: verdict(); break;
        }
    }

    // The wireless part ends with its finding reported; the verdict follows.
    void giveUpWlan(app::TextId text, int32_t style)
    {
        result(text, style);
        state_ = State::Verdict;
    }

    void openWlan()
    {
        if (!wlan_.open()) return giveUpWlan(35248, kStyleError);
        if (!wlan_.connect(p_.ssid.str())) return giveUpWlan(35249, kStyleExclamation);
        announce(35133, 60);
        since_ = now();
        state_ = State::WlanWait;
    }

    // After the attach wait, the endpoint moves to the wireless card, aimed at the device's WLAN address.
    void attachToWlan()
    {
        if (!wlan_.connected()) return giveUpWlan(35251, kStyleExclamation);
        if (!waitedLongerThan(since_, kWlanAttachWaitMs)) return;
        platform::notePrescribedWait(kWlanAttachWaitMs);
        wlanCard_ = wlan_.card();
        if (!wlanCard_) wlanCard_ = wlan_.findCardAgain();
        if (!wlanCard_) return giveUpWlan(35252, kStyleExclamation);
        endpoint_.close();
        if (!endpoint_.open(true, &*wlanCard_, sysInfo_.wlanAddress)) return giveUpWlan(35200, kStyleError);
        if (device_.passwordRequired) endpoint_.password() = p_.password;
        // Only the device's own WLAN address may answer this search.
        if (endpoint_.targetIsUnicast()) endpoint_.acceptOnlyFrom(endpoint_.target());
        announce(35114, 80);
        state_ = State::SearchSend;
    }

    void readWlanAnswer()
    {
        std::unique_ptr<net::DeviceRecord> answer;
        const auto r = endpoint_.readSearchAnswer(false, &answer);
        if (r == net::SearchAnswerResult::RecordBuilt && answer && answer->mac == sysInfo_.wlanMac) {
            wlanPassed_ = true;
            state_ = State::Verdict;
        } else if (now() - since_ > 2000) {
            giveUpWlan(35204, kStyleExclamation);
        }
    }

    void verdict()
    {
        std::vector<app::TextId>& findings = p_.findings;
        findings.clear();
        if (!devInfo_.externalClockRunning) findings.push_back(35255);
        if (!devInfo_.applicationNormalMode) findings.push_back(35256);
        if (devInfo_.sensorErrors) findings.push_back(35257);
        if (!devInfo_.processing) findings.push_back(35258);
        if (p_.testI2c && !i2cOk_) findings.push_back(35259);
        if (!sysInfo_.sdCardReady) findings.push_back(35260);
        if (!p_.ssid.empty() && !wlanPassed_) findings.push_back(35261);
        p_.passed = findings.empty();
        if (p_.passed) {
            result(35253, kStyleInformation);
        } else {
            result(35254, kStyleExclamation);
            for (app::TextId id : findings) logItem(p_.log, app::loadText(id));
        }
        finish(true);
    }
};

class ProcessListTest : public WebOperation {
public:
    explicit ProcessListTest(ProcessTestParams& p) : WebOperation(p, WebFrame{20, 80}), p_(p) {}

private:
    ProcessTestParams& p_;
    std::string line_;
    unsigned mode_ = 0;
    bool modeOneRequested_ = false;
    bool errorSeen_ = false;

    void finish(bool ok) override
    {
        WebOperation::finish(ok);
        p_.passed = !errorSeen_;
    }

    void beginBody() override
    {
        session_.beginReadProcessTestLine(0, 1, &line_);
        announce(35129, 40);
    }

    BodyStep body() override
    {
        const net::PollResult r = session_.pollReadProcessTestLine();
        if (!line_.empty()) examine(line_);
        if (r.done() && mode_ == 0 && modeOneRequested_ && !p_.skipFollowUp) {
            // The follow-up needs the test hardware: the operator confirms it in a message box.
            modeOneRequested_ = false;
            report_.logSubMessage(app::loadText(35262), kStyleInformation, true);
            mode_ = 1;
            session_.beginReadProcessTestLine(1, 1, &line_);
            return BodyStep::Pending;
        }
        return exchangeEnded(r, readFailureText);
    }

    void loggedOut() override
    {
        if (!bodyDone()) return finish(false);
        // A completed run is carried out whether or not it found errors.
        if (errorSeen_) result(35264, kStyleExclamation);
        else result(35263, kStyleInformation);
        finish(true);
    }

    void examine(const std::string& line)
    {
        const std::string text = withoutLineEnd(line);
        const net::ProcessTestLine kind = net::classifyProcessTestLine(text);
        if (kind.error) errorSeen_ = true;
        // Only the first run can ask for the follow-up, so mode 1 runs at most once.
        if (kind.neededMode == 1 && mode_ == 0) modeOneRequested_ = true;
        logItem(p_.log, text);
    }
};

class Calibration : public WebOperation {
public:
    explicit Calibration(DeviceStepParams& p) : WebOperation(p, WebFrame{20, 80, 35246, 35247}), p_(p) {}

private:
    enum class State { Items, Step, Wait };
    DeviceStepParams& p_;
    State state_ = State::Items;
    std::string line_;
    std::vector<net::CalibrationItem> items_;
    size_t next_ = 0;
    uint32_t stepEnded_ = 0;

    void beginBody() override
    {
        session_.beginReadCalibrationInfoLine(1, &line_);
        announce(35130, 40);
    }

    BodyStep body() override
    {
        switch (state_) {
        case State::Items: {
            const net::PollResult r = session_.pollReadCalibrationInfoLine();
            if (!line_.empty() && items_.size() < kMaxCalibrationItems) {
                if (auto item = net::parseCalibrationLine(withoutLineEnd(line_))) items_.push_back(*item);
            }
            const BodyStep read = exchangeEnded(r, readFailureText);
            if (read != BodyStep::Done || items_.empty()) return read;
            announce(35131, 60);
            return nextItem();
        }
        case State::Step: {
            const BodyStep s = exchangeEnded(session_.pollRunCalibrationStep(), calibrationStepFailureText);
            if (s != BodyStep::Done) return s;
            stepEnded_ = now();
            report_.announceWait(app::loadText(35312), kCalibrationStepWaitMs);
            state_ = State::Wait;
            break;
        }
        case State::Wait:
            if (waitedLongerThan(stepEnded_, kCalibrationStepWaitMs)) {
                platform::notePrescribedWait(kCalibrationStepWaitMs);
                return nextItem();
            }
            break;
        }
        return BodyStep::Pending;
    }

    // Handles items until one needs the device; after the last one the run is done, and an
    // operator who declines an item ends it undone.
    BodyStep nextItem()
    {
        while (next_ < items_.size()) {
            const net::CalibrationItem& item = items_[next_++];
            if (p_.log) {
                p_.log->appendLog(app::formatText(app::loadText(35242), item.name.c_str(),
                                                  static_cast<unsigned>(item.index), item.type.c_str()) +
                                  "\r\n");
            }
            if (item.type != "ENG") {
                if (p_.log) p_.log->appendLog(app::loadText(35244) + "\r\n");
                continue;
            }
            config::CalibrationRequest request;
            request.sensorName.assign(item.name);
            request.sensorNumber = item.index;
            request.secondaryIsCurrent = item.secondaryIsCurrent ? 1 : 0;
            if (!report_.channel().calibrate(request)) {
                if (p_.log) p_.log->appendLog(app::loadText(35243) + "\r\n");
                return BodyStep::Failed;
            }
            session_.beginRunCalibrationStep(
                item.type, item.index,
                calibrationData(request.primary, request.secondary, request.voltage, request.current));
            p_.calibrations.push_back({item.type, request.primary, request.secondary, request.voltage, request.current});
            state_ = State::Step;
            return BodyStep::Pending;
        }
        return BodyStep::Done;
    }
};

class SdCardCleanup : public WebOperation {
public:
    explicit SdCardCleanup(DeviceStepParams& p) : WebOperation(p, WebFrame{10, 70, 35265}) {}

private:
    size_t file_ = 0;

    void beginBody() override
    {
        announce(35135, 40);
        session_.beginDeleteMediaFile(kSdCardFiles[0]);
    }

    BodyStep body() override
    {
        const net::PollResult r = session_.pollDeleteMediaFile();
        if (r.done() && ++file_ < std::size(kSdCardFiles)) {
            session_.beginDeleteMediaFile(kSdCardFiles[file_]);
            return BodyStep::Pending;
        }
        return exchangeEnded(r, readFailureText);
    }
};

template <typename Operation, typename Params>
bool runOperation(Params& p)
{
    if (!p.channel || !p.device) return false;
    Operation operation(p);
    const bool ok = operation.run();
    p.lastResult = operation.lastResult();
    return ok;
}

}  // namespace

std::string calibrationData(double primary, double secondary, double voltage, double current)
{
    return app::formatFixed(primary, 3) + ";" + app::formatFixed(secondary, 3) + ";" + app::formatFixed(voltage, 3) +
           ";" + app::formatFixed(current, 3);
}

bool runCpuTest(CpuTestParams& p) { return runOperation<CpuTest>(p); }

bool runProcessListTest(ProcessTestParams& p) { return runOperation<ProcessListTest>(p); }

bool runCalibration(DeviceStepParams& p) { return runOperation<Calibration>(p); }

bool cleanSdCard(DeviceStepParams& p) { return runOperation<SdCardCleanup>(p); }

}  // namespace vst::ops
