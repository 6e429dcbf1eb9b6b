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

WebOperation::WebOperation(WorkerChannel& window, LogWindow* log, net::DeviceRecord& device, uint16_t webPort)
    : report_(window, log), device_(device), session_(device)
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

void WebOperation::result(app::TextId text, int32_t style) { report_.logSubMessage(app::loadText(text), style, false); }

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

bool WebOperation::loggedIn()
{
    const int r = session_.pollLogin();
    if (r > 0) fail(loginFailureText(r));
    return r == 0;
}

void WebOperation::announce(app::TextId text, int32_t position) { report_.logStep(app::loadText(text), position); }

void WebOperation::beginLogin(int32_t position, std::string_view password)
{
    announce(35112, position);
    session_.beginLogin(password);
}

void WebOperation::beginLogout(int32_t position)
{
    announce(35113, position);
    session_.beginLogout();
}

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
