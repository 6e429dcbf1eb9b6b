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
app::SerialLog serialLogOf(WorkerChannel& channel)
{
    const auto& app = app::CApp::instance();
    return app::SerialLog(app.serialNumberPath(), app.noSerialLog(), channel.operatorSign());
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
    explicit FirmwareUpdate(UpdateParams& p) : WebOperation(p, WebFrame{20, 50}), p_(p) {}
    ~FirmwareUpdate() override
    {
        if (file_) std::fclose(file_);
    }

private:
    // The body: the upload; once it is taken, the reboot and the search, without a logout.
    enum class State { Upload, Reboot, Wait, Refind };
    State state_ = State::Upload;
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

    bool prepare() override
    {
        announce(35105, 10);
        if (!openEndpoint(p_.devicePort)) {
            fail(35200, kStyleError);
            return false;
        }
        file_ = platform::openFile(p_.firmwarePath.str(), "rb");
        if (!file_) fail(35211, kStyleError);
        return file_ != nullptr;
    }

    void beginBody() override
    {
        announce(35115, 30);
        session_.beginUploadFirmware(file_, &progress_);
        sleepBetweenPolls_ = false;  // the upload runs as fast as the socket takes it
    }

    BodyStep body() override
    {
        switch (state_) {
        case State::Upload: return upload();
        case State::Reboot: {
            const net::PollResult r = session_.pollRequestReboot();
            if (r.pending()) break;
            if (r.failed()) {
                fail(35205);  // the operation ends without a logout
                break;
            }
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
                refind_.emplace(endpoint_, device_, report_.channel());
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
        return BodyStep::Pending;
    }

    // A refused upload is logged out of; a taken one goes on to the reboot.
    BodyStep upload()
    {
        const net::PollResult r = session_.pollUploadFirmware();
        if (r.pending()) {
            // Once the request is out, the answer is awaited with the usual pause per poll.
            sleepBetweenPolls_ = progress_ >= 100.0;
            const int position = 30 + static_cast<int>(progress_ * 20 / 100);
            if (position != shownPosition_) {
                shownPosition_ = position;
                report_.setPosition(position);
            }
            return BodyStep::Pending;
        }
        sleepBetweenPolls_ = true;
        if (r.failed()) {
            result(uploadFailureText(r.code()), kStyleExclamation);
            return BodyStep::Failed;
        }
        announce(35110, 50);
        session_.beginRequestReboot();
        state_ = State::Reboot;
        return BodyStep::Pending;
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
        : WebOperation(p, WebFrame{20, 60}), p_(p), expected_(p.device->serialNumber)
    {
    }

private:
    SerialParams& p_;
    uint32_t expected_;
    int searches_ = 0;

    void finish(bool ok) override
    {
        WebOperation::finish(ok);
        serialLogOf(report_.channel()).logSerialConfirmation(expected_, serialNumberTaken(ok, bodyDone()));
    }

    bool prepare() override
    {
        announce(35105, 10);
        if (openEndpoint(p_.devicePort)) return true;
        fail(35200, kStyleError);
        return false;
    }

    void beginBody() override
    {
        announce(35116, 40);
        session_.beginSetSerialNumber(static_cast<int32_t>(expected_));
    }

    BodyStep body() override { return exchangeEnded(session_.pollSetSerialNumber(), serialSetFailureText); }

    void logoutEnded(net::PollResult logout) override
    {
        if (!bodyDone()) return WebOperation::logoutEnded(logout);
        // The device accepted the number: it is searched for even after a failed logout.
        if (logout.failed()) result(logoutFailureText(logout.code()), kStyleExclamation);
        startRefind();
    }

    void startRefind()
    {
        announce(35114, 80);
        ++searches_;
        refind_.emplace(endpoint_, device_, report_.channel());
    }

    void afterLogout() override
    {
        const RefindStep s = pollRefindStep(*refind_, report_, 90);
        if (s.outcome == RefindStep::Outcome::Found) {
            if (refind_->found()->serialNumber == expected_) succeed(35219);
            else fail(35220);
        }
        if (s.outcome == RefindStep::Outcome::Failed) {
            if (s.failure == 35204 && searches_ < kSerialRefindSearches) return startRefind();
            fail(s.failure);
        }
    }
};

class ClockSet : public WebOperation {
public:
    explicit ClockSet(SerialParams& p) : WebOperation(p, WebFrame{10, 70, 35233}) {}

private:
    void beginBody() override
    {
        announce(35123, 40);
        session_.beginSetDateTime(clockFormBody(platform::currentTimeZone()));
    }

    BodyStep body() override { return exchangeEnded(session_.pollSetDateTime(), clockSetFailureText); }
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

bool updateFirmware(UpdateParams& p) { return p.channel && p.device && FirmwareUpdate(p).run(); }

bool setSerialNumber(SerialParams& p) { return p.channel && p.device && SerialNumberSet(p).run(); }

void logSerialNumberNotSet(WorkerChannel& channel, uint32_t serial)
{
    serialLogOf(channel).logSerialConfirmation(serial, false);
}

bool setClock(SerialParams& p) { return p.channel && p.device && ClockSet(p).run(); }

}  // namespace vst::ops
