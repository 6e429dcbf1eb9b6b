#pragma once
// Finding a device again after a change: a search filtered on its MAC, sent up to three times,
// answered within 2000 ms of the send. The caller polls it once per pass of its own loop.
#include <cstdint>

#include "net/DeviceRecord.h"
#include "app/Texts.h"
#include "net/UdpEndpoint.h"
#include "ops/WorkerChannel.h"

namespace vst::ops {

class Refind {
public:
    enum class Event {
        Pending,     // nothing to report this pass
        Sent,        // the request went out now
        Found,       // the device answered; it is listed and current (see found())
        NoAnswer,    // 2000 ms passed without the device
        SendFailed,  // the third send failed
    };

    static constexpr uint32_t kAnswerTimeoutMs = 2000;
    static constexpr int kMaxSendFailures = 3;

    // The endpoint must be open and bound for the chosen target.
    Refind(net::UdpEndpoint& endpoint, const net::DeviceRecord& device, WorkerChannel& channel);

    Event poll();
    net::DeviceRecord* found() const { return found_; }

private:
    net::UdpEndpoint& endpoint_;
    net::Mac mac_;
    WorkerChannel& channel_;
    bool sent_ = false;
    int failures_ = 0;
    uint32_t sentAt_ = 0;
    net::DeviceRecord* found_ = nullptr;
};

class Reporter;

// The listed record of the device with this MAC, looked for in `row` first and then in every row;
// nullptr when the device is no longer listed. An operation that found its device again has
// replaced the record it was given (success or failure), so a caller takes the record anew
// after every such operation instead of keeping the old pointer.
net::DeviceRecord* listedDevice(WorkerChannel& channel, const net::Mac& mac, int row = -1);

// One pass of a re-find inside an operation: moves the progress bar to `sentPosition` when the
// request goes out. Found: the device is listed and current; Failed: `failure` names why.
struct RefindStep {
    enum class Outcome { Running, Found, Failed } outcome = Outcome::Running;
    app::TextId failure = 0;
};
RefindStep pollRefindStep(Refind& refind, Reporter& report, int32_t sentPosition);

// Target of a UDP command (host byte order): the device's previous address when one of its card's
// addresses lies in that subnet, or with `broadcast` the directed broadcast of that subnet under
// the previous mask; 255.255.255.255 otherwise.
uint32_t commandTarget(const net::DeviceRecord& device, bool broadcast);
// The same rule for the device's current (new) address and mask.
uint32_t newAddressTarget(const net::DeviceRecord& device, bool broadcast);

}  // namespace vst::ops
