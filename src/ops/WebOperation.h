#pragma once
// The frame every operation over a device's web server shares: the web session, the UDP endpoint
// for a later search, the polled state loop with its 1 ms sleep, one result reported with
// logSubMessage, the closing step and the cleared progress line. An operation derives from
// WebOperation, advances its own states in step(), and leaves through fail(), succeed() or finish().
#include <cstdint>
#include <optional>
#include <string_view>

#include "app/Texts.h"
#include "net/DeviceRecord.h"
#include "net/DeviceWebSession.h"
#include "net/UdpEndpoint.h"
#include "ops/Refind.h"
#include "ops/Reporting.h"

namespace vst::ops {

// The texts of the shared endpoint results.
app::TextId loginFailureText(int result);   // 1 wrong password, 2 too many users, 3 invalid, else 35205
app::TextId logoutFailureText(int result);  // 1 not logged in, 2 invalid, else 35205
app::TextId readFailureText(int result);    // 1 invalid answer, else 35205

class WebOperation {
public:
    WebOperation(WorkerChannel& window, LogWindow* log, net::DeviceRecord& device, uint16_t webPort);
    virtual ~WebOperation() = default;
    WebOperation(const WebOperation&) = delete;
    WebOperation& operator=(const WebOperation&) = delete;

    // Runs the states until a finish; returns the operation's success.
    bool run();

protected:
    virtual void step() = 0;

    // Reports a result line (logSubMessage, show flag off).
    void result(app::TextId text, int32_t style);
    void fail(app::TextId text, int32_t style = kStyleExclamation);
    void succeed(app::TextId text);
    // Closing step 35106, sockets closed, the loop ends with `ok`.
    virtual void finish(bool ok);
    // Polls the login; true once logged in. A refused login ends the operation with its text.
    bool loggedIn();
    void announce(app::TextId text, int32_t position);
    // Announces the login (35112) and begins it.
    void beginLogin(int32_t position, std::string_view password);
    // Begins the logout and announces it.
    void beginLogout(int32_t position);
    // The endpoint for a later search, bound on the device's card for its address.
    bool openEndpoint(uint16_t devicePort);
    bool running() const { return running_; }
    // A fixed wait in which nothing is expected from the device: true once more than `limit` ms
    // have passed since `since`; until then it sleeps towards that moment in slices of at most
    // platform::kIdleWaitSliceMs instead of coming back every millisecond.
    bool waitedLongerThan(uint32_t since, uint32_t limit);

    Reporter report_;
    net::DeviceRecord& device_;
    net::DeviceWebSession session_;
    net::UdpEndpoint endpoint_;
    std::optional<Refind> refind_;
    bool sleepBetweenPolls_ = true;

private:
    bool running_ = true;
    bool success_ = false;
};

}  // namespace vst::ops
