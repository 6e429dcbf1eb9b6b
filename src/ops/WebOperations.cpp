#include "ops/WebOperations.h"

#include <cstdio>
#include <optional>

#include "app/CApp.h"
#include "app/SerialLog.h"
#include "app/Texts.h"
#include "net/UdpEndpoint.h"
#include "ops/WebOperation.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace vst::ops {
namespace {

uint32_t now() { return platform::clock().tickCount(); }

// The serial-number log as a worker writes it: the station's folder and the operator's sign.
app::SerialLog serialLogOf(WorkerChannel& window)
{
    const auto& app = app::CApp::instance();
    return app::SerialLog(app.serialNumberPath(), app.noSerialLog(), window.operatorSign());
}

app::TextId uploadFailureText(int result)
{
    switch (result) {
    case 1: return 35213;
    case 2: return 35214;
    case 3: return 35215;
    case 4: return 35216;
    case 5: return 35217;
    case 6: return 35218;
    case 7: return 35207;
    case 8: return 35206;
    default: return 35205;
    }
}

app::TextId serialSetFailureText(int result)
{
    switch (result) {
    case 1: return 35221;
    case 2: return 35207;
    case 3: return 35206;
    default: return 35205;
    }
}

app::TextId clockSetFailureText(int result)
{
    switch (result) {
    case 1: return 35234;
    case 2: return 35235;
    case 3: return 35207;
    case 4: return 35206;
    default: return 35205;
    }
}

class FirmwareUpdate : public WebOperation {
public:
    explicit FirmwareUpdate(UpdateParams& p)
        : WebOperation(*p.window, p.log, *p.device, p.webPort), p_(p)
    {
    }
    ~FirmwareUpdate() override
    {
        if (file_) std::fclose(file_);
    }

private:
    enum class State { Start, Login, Upload, LogoutAfterFailure, Reboot, Wait, Refind };
    State state_ = State::Start;
    UpdateParams& p_;
    std::FILE* file_ = nullptr;
    double progress_ = 0.0;
    int shownPosition_ = -1;
    uint32_t rebootAt_ = 0;

    void finish(bool ok) override
    {
        WebOperation::finish(ok);
        if (file_) std::fclose(file_);
        file_ = nullptr;
    }

    void step() override
    {
        switch (state_) {
        case State::Start:
            announce(35105, 10);
            if (!openEndpoint(p_.devicePort)) return fail(35200, kStyleError);
            file_ = platform::openFile(p_.firmwarePath.str(), "rb");
            if (!file_) return fail(35211, kStyleError);
            beginLogin(20, p_.password.str());
            state_ = State::Login;
            break;
        case State::Login: {
            if (!loggedIn()) return;
            announce(35115, 30);
            session_.beginUploadFirmware(file_, &progress_);
            sleepBetweenPolls_ = false;  // the upload runs as fast as the socket takes it
            state_ = State::Upload;
            break;
        }
        case State::Upload: {
            const int r = session_.pollUploadFirmware();
            if (r < 0) {
                // Once the request is out, the answer is awaited with the usual pause per poll.
                sleepBetweenPolls_ = progress_ >= 100.0;
                const int position = 30 + static_cast<int>(progress_ * 20 / 100);
                if (position != shownPosition_) {
                    shownPosition_ = position;
                    report_.setPosition(position);
                }
                return;
            }
            sleepBetweenPolls_ = true;
            if (r == 0) {
                announce(35110, 50);
                session_.beginRequestReboot();
                state_ = State::Reboot;
            } else {
                result(uploadFailureText(r), kStyleExclamation);
                beginLogout(50);
                state_ = State::LogoutAfterFailure;
            }
            break;
        }
        case State::LogoutAfterFailure: {
            const int r = session_.pollLogout();
            if (r < 0) return;
            if (r == 0) return finish(false);
            return fail(logoutFailureText(r));
        }
        case State::Reboot: {
            const int r = session_.pollRequestReboot();
            if (r < 0) return;
            if (r != 0) return fail(35205);
            announce(35111, 60);
            report_.announceWait(app::loadText(35111), kRebootWaitMs);
            rebootAt_ = now();
            state_ = State::Wait;
            break;
        }
        case State::Wait:
            if (waitedLongerThan(rebootAt_, kRebootWaitMs)) {
                platform::notePrescribedWait(kRebootWaitMs);
                announce(35114, 80);
                refind_.emplace(endpoint_, device_, report_.window());
                state_ = State::Refind;
            }
            break;
        case State::Refind: {
            const RefindStep s = pollRefindStep(*refind_, report_, 90);
            if (s.outcome == RefindStep::Outcome::Found) succeed(35212);
            if (s.outcome == RefindStep::Outcome::Failed) fail(s.failure);
            break;
        }
        }
    }
};

// Whether the serial-number log gets "#SNR FOUND" for the number: when the device was found
// carrying it, and also whenever the device accepted it, even if the logout failed or the device
// was never seen again. A device that took the number holds it; logging it as not found would let
// the number pass as free.
bool serialNumberTaken(bool confirmed, bool accepted) { return confirmed || accepted; }

// How often a device that accepted its number is searched for before it counts as not found.
inline constexpr int kSerialRefindSearches = 3;

class SerialNumberSet : public WebOperation {
public:
    explicit SerialNumberSet(SerialParams& p)
        : WebOperation(*p.window, p.log, *p.device, p.webPort), p_(p), expected_(p.device->serialNumber)
    {
    }

private:
    enum class State { Start, Login, Set, Logout, Refind };
    State state_ = State::Start;
    SerialParams& p_;
    uint32_t expected_;
    int setResult_ = -1;
    int searches_ = 0;

    void finish(bool ok) override
    {
        WebOperation::finish(ok);
        serialLogOf(report_.window()).logSerialConfirmation(expected_, serialNumberTaken(ok, setResult_ == 0));
    }

    void startRefind()
    {
        announce(35114, 80);
        ++searches_;
        refind_.emplace(endpoint_, device_, report_.window());
        state_ = State::Refind;
    }

    void step() override
    {
        switch (state_) {
        case State::Start:
            announce(35105, 10);
            if (!openEndpoint(p_.devicePort)) return fail(35200, kStyleError);
            beginLogin(20, p_.password.str());
            state_ = State::Login;
            break;
        case State::Login: {
            if (!loggedIn()) return;
            announce(35116, 40);
            session_.beginSetSerialNumber(static_cast<int32_t>(expected_));
            state_ = State::Set;
            break;
        }
        case State::Set: {
            const int r = session_.pollSetSerialNumber();
            if (r < 0) return;
            setResult_ = r;
            if (r != 0) result(serialSetFailureText(r), kStyleExclamation);
            beginLogout(60);
            state_ = State::Logout;
            break;
        }
        case State::Logout: {
            const int r = session_.pollLogout();
            if (r < 0) return;
            if (setResult_ != 0) return r == 0 ? finish(false) : fail(logoutFailureText(r));
            // The device accepted the number: it is searched for even after a failed logout.
            if (r != 0) result(logoutFailureText(r), kStyleExclamation);
            startRefind();
            break;
        }
        case State::Refind: {
            const RefindStep s = pollRefindStep(*refind_, report_, 90);
            if (s.outcome == RefindStep::Outcome::Found) {
                if (refind_->found()->serialNumber == expected_) succeed(35219);
                else fail(35220);
            }
            if (s.outcome == RefindStep::Outcome::Failed) {
                if (s.failure == 35204 && searches_ < kSerialRefindSearches) return startRefind();
                fail(s.failure);
            }
            break;
        }
        }
    }
};

class ClockSet : public WebOperation {
public:
    explicit ClockSet(SerialParams& p) : WebOperation(*p.window, p.log, *p.device, p.webPort), p_(p) {}

private:
    enum class State { Start, Login, Set, Logout };
    State state_ = State::Start;
    SerialParams& p_;
    int setResult_ = -1;

    void step() override
    {
        switch (state_) {
        case State::Start:
            beginLogin(10, p_.password.str());
            state_ = State::Login;
            break;
        case State::Login: {
            if (!loggedIn()) return;
            announce(35123, 40);
            session_.beginSetDateTime(clockFormBody(platform::currentTimeZone()));
            state_ = State::Set;
            break;
        }
        case State::Set: {
            const int r = session_.pollSetDateTime();
            if (r < 0) return;
            setResult_ = r;
            if (r != 0) result(clockSetFailureText(r), kStyleExclamation);
            beginLogout(70);
            state_ = State::Logout;
            break;
        }
        case State::Logout: {
            const int r = session_.pollLogout();
            if (r < 0) return;
            if (r != 0) return fail(logoutFailureText(r));
            if (setResult_ == 0) return succeed(35233);
            return finish(false);
        }
        }
    }
};

}  // namespace

std::string clockFormBody(const platform::TimeZoneInfo& zone)
{
    const int64_t local = zone.utcSeconds - 60 * static_cast<int64_t>(zone.biasMinutes);
    char body[50];
    std::snprintf(body, sizeof body, "%s=1&%s=%u&%s=%d&%s=%u", "mdte", "mdt", static_cast<uint32_t>(local), "dttz",
                  static_cast<int>(static_cast<int16_t>(-zone.standardBiasMinutes)), "dtsw",
                  zone.hasDaylightRules ? 1u : 0u);
    return body;
}

bool updateFirmware(UpdateParams& p) { return p.window && p.device && FirmwareUpdate(p).run(); }

bool setSerialNumber(SerialParams& p) { return p.window && p.device && SerialNumberSet(p).run(); }

void logSerialNumberNotSet(WorkerChannel& window, uint32_t serial)
{
    serialLogOf(window).logSerialConfirmation(serial, false);
}

bool setClock(SerialParams& p) { return p.window && p.device && ClockSet(p).run(); }

}  // namespace vst::ops
