#pragma once
// The frame every operation over a device's web server shares: the web session, the UDP endpoint
// for a later search, the polled state loop with its 1 ms sleep, one result reported with
// logSubMessage, the closing step and the cleared progress line, and the exchanges around the
// operation's own work: the login, announced at its position, and the logout that follows the
// body whether it ended well or not. An operation derives from WebOperation, gives the positions
// and closing texts in a WebFrame, and supplies its body (beginBody, body); hooks let it work before
// the login (prepare), go on after the logout (logoutEnded, loggedOut, afterLogout) or leave without
// a logout through fail(), succeed() or finish().
#include <cstdint>
#include <optional>
#include <string_view>

#include "app/Texts.h"
#include "net/DeviceRecord.h"
#include "net/DeviceWebSession.h"
#include "net/PollResult.h"
#include "net/UdpEndpoint.h"
#include "net/UdpProtocol.h"
#include "ops/Refind.h"
#include "ops/Reporting.h"

namespace vst::ops {

// The texts of the shared endpoint results.
app::TextId loginFailureText(int result);   // 1 wrong password, 2 too many users, 3 invalid, else 35205
app::TextId logoutFailureText(int result);  // 1 not logged in, 2 invalid, else 35205
app::TextId readFailureText(int result);    // 1 invalid answer, else 35205

// Where an operation's login and logout stand on the progress bar, and how a good logout ends it.
struct WebFrame {
    int32_t loginPosition = 0;
    int32_t logoutPosition = 0;
    app::TextId doneText = 0;    // the result after a body that was done; 0: no line
    app::TextId failedText = 0;  // the result after a body that failed; 0: no line
};

// What one step of an operation's body tells.
enum class BodyStep { Pending, Done, Failed };

class WebOperation {
public:
    WebOperation(WorkerChannel& channel, LogWindow* log, net::DeviceRecord& device, uint16_t webPort,
                 const net::Password& password, const WebFrame& frame);
    // From an operation's parameter block (channel, log, device, webPort, password).
    template <typename Params>
    WebOperation(Params& p, const WebFrame& frame)
        : WebOperation(*p.channel, p.log, *p.device, p.webPort, p.password, frame)
    {
    }
    virtual ~WebOperation() = default;
    WebOperation(const WebOperation&) = delete;
    WebOperation& operator=(const WebOperation&) = delete;

    // Runs the states until a finish; returns the operation's success.
    bool run();
    // The last result line reported (0: none), for the caller's block.
    app::TextId lastResult() const { return lastResult_; }

protected:
    // Before the login: announcements, the endpoint, files. False when it ended the operation.
    virtual bool prepare() { return true; }
    // Right after the login: the body's first exchange.
    virtual void beginBody() = 0;
    // One poll of the body. When it is no longer pending the logout begins - unless the body
    // ended the operation itself (fail, succeed, finish).
    virtual BodyStep body() = 0;
    // The logout has ended: a failed one ends the operation with its text; after a good one,
    // loggedOut() decides.
    virtual void logoutEnded(net::PollResult logout);
    // After a good logout: the frame's done or failed text ends the operation. An operation that
    // goes on instead continues in afterLogout().
    virtual void loggedOut();
    // One poll of the states after the logout (none by default).
    virtual void afterLogout() {}
    // Whether the body ended done (as far as it got).
    bool bodyDone() const { return bodyDone_; }
    // The end of one body exchange: Pending while it runs, Done, or Failed with its text reported.
    BodyStep exchangeEnded(net::PollResult r, app::TextId (*failureText)(int));

    // Reports a result line (logSubMessage, show flag off) and remembers it as the last result.
    void result(app::TextId text, int32_t style);
    void fail(app::TextId text, int32_t style = kStyleExclamation);
    void succeed(app::TextId text);
    // Closing step 35106, sockets closed, the loop ends with `ok`.
    virtual void finish(bool ok);
    void announce(app::TextId text, int32_t position);
    // The endpoint for a later search, bound on the device's card for its address.
    bool openEndpoint(uint16_t devicePort);
    bool running() const { return running_; }
    // A fixed wait in which nothing is expected from the device: true once more than `limit` ms
    // have passed since `since`; until then it sleeps towards that moment in slices of at most
    // platform::kIdleWaitSliceMs instead of coming back every millisecond.
    bool waitedLongerThan(uint32_t since, uint32_t limit);

    Reporter report_;
    net::DeviceRecord& device_;
    const net::Password& password_;
    net::DeviceWebSession session_;
    net::UdpEndpoint endpoint_;
    std::optional<Refind> refind_;
    bool sleepBetweenPolls_ = true;

private:
    enum class Phase { Prepare, Login, Body, Logout, AfterLogout };

    void step();
    // Announces the login (35112) and begins it.
    void beginLogin();
    // Polls the login; true once logged in. A refused login ends the operation with its text.
    bool loggedIn();
    // Begins the logout and announces it (35113).
    void beginLogout();

    WebFrame frame_;
    Phase phase_ = Phase::Prepare;
    bool bodyDone_ = false;
    bool running_ = true;
    bool success_ = false;
    app::TextId lastResult_ = 0;
};

}  // namespace vst::ops
