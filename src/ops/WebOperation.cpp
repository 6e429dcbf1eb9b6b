#include "ops/WebOperation.h"

#include "platform/Clock.h"

namespace vst::ops {

app::TextId loginFailureText(int result)
{
    switch (result) {
    case 1: return 35208;
    case 2: return 35209;
    case 3: return 35206;
    default: return 35205;
    }
}

app::TextId logoutFailureText(int result)
{
    switch (result) {
    case 1: return 35210;
    case 2: return 35206;
    default: return 35205;
    }
}

app::TextId readFailureText(int result) { return result == 1 ? 35206 : 35205; }

WebOperation::WebOperation(WorkerChannel& channel, LogWindow* log, net::DeviceRecord& device, uint16_t webPort,
                           const net::Password& password, const WebFrame& frame)
    : report_(channel, log), device_(device), password_(password), session_(device), frame_(frame)
{
    session_.setPort(webPort);
}

bool WebOperation::run()
{
    while (running_) {
        step();
        if (running_ && sleepBetweenPolls_) platform::clock().sleep(1);
    }
    report_.clearStep();
    return success_;
}

void WebOperation::step()
{
    switch (phase_) {
    case Phase::Prepare:
        if (!prepare()) return;
        beginLogin();
        phase_ = Phase::Login;
        break;
    case Phase::Login:
        if (!loggedIn()) return;
        phase_ = Phase::Body;
        beginBody();
        break;
    case Phase::Body: {
        const BodyStep s = body();
        if (s == BodyStep::Pending || !running_) return;
        bodyDone_ = s == BodyStep::Done;
        beginLogout();
        phase_ = Phase::Logout;
        break;
    }
    case Phase::Logout: {
        const net::PollResult r = session_.pollLogout();
        if (r.pending()) return;
        phase_ = Phase::AfterLogout;
        logoutEnded(r);
        break;
    }
    case Phase::AfterLogout:
        afterLogout();
        break;
    }
}

void WebOperation::logoutEnded(net::PollResult logout)
{
    if (logout.failed()) return fail(logoutFailureText(logout.code()));
    loggedOut();
}

void WebOperation::loggedOut()
{
    const app::TextId text = bodyDone_ ? frame_.doneText : frame_.failedText;
    if (text == 0) return finish(bodyDone_);
    if (bodyDone_) succeed(text);
    else fail(text);
}

BodyStep WebOperation::exchangeEnded(net::PollResult r, app::TextId (*failureText)(int))
{
    if (r.pending()) return BodyStep::Pending;
    if (r.done()) return BodyStep::Done;
    result(failureText(r.code()), kStyleExclamation);
    return BodyStep::Failed;
}

void WebOperation::result(app::TextId text, int32_t style)
{
    lastResult_ = text;
    report_.logSubMessage(app::loadText(text), style, false);
}

void WebOperation::fail(app::TextId text, int32_t style)
{
    result(text, style);
    finish(false);
}

void WebOperation::succeed(app::TextId text)
{
    result(text, kStyleInformation);
    finish(true);
}

void WebOperation::finish(bool ok)
{
    report_.logStep(app::loadText(35106), 100);
    session_.close();
    endpoint_.close();
    running_ = false;
    success_ = ok;
}

void WebOperation::beginLogin()
{
    announce(35112, frame_.loginPosition);
    session_.beginLogin(password_.str());
}

bool WebOperation::loggedIn()
{
    const net::PollResult r = session_.pollLogin();
    if (r.failed()) fail(loginFailureText(r.code()));
    return r.done();
}

void WebOperation::beginLogout()
{
    announce(35113, frame_.logoutPosition);
    session_.beginLogout();
}

void WebOperation::announce(app::TextId text, int32_t position) { report_.logStep(app::loadText(text), position); }

bool WebOperation::waitedLongerThan(uint32_t since, uint32_t limit)
{
    return platform::fixedWaitOver(since, limit + 1);
}

bool WebOperation::openEndpoint(uint16_t devicePort)
{
    if (!endpoint_.open(true, device_.card, net::toHostOrder(device_.previousAddress))) return false;
    endpoint_.setDevicePort(devicePort);
    return true;
}

}  // namespace vst::ops
