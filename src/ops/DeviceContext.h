#pragma once
// What every operation on one device works with: the channel to the front end, the log window,
// the device's record as listed, its password and the device's ports. A workflow's parameter block
// holds one; the channel and the log are filled in on the worker.
#include <cstdint>

#include "net/DeviceRecord.h"
#include "net/DeviceWebSession.h"
#include "net/UdpProtocol.h"
#include "ops/WorkerChannel.h"

namespace vst::ops {

class LogWindow;

struct DeviceContext {
    WorkerChannel* channel = nullptr;
    LogWindow* log = nullptr;
    net::DeviceRecord* device = nullptr;  // owned by the device list
    net::Password password;
    uint16_t webPort = net::kWebPort;
    uint16_t devicePort = net::kDevicePort;
};

inline DeviceContext deviceContext(WorkerChannel* channel, LogWindow* log, net::DeviceRecord* device,
                                   const net::Password& password, uint16_t webPort,
                                   uint16_t devicePort = net::kDevicePort)
{
    DeviceContext context;
    context.channel = channel;
    context.log = log;
    context.device = device;
    context.password = password;
    context.webPort = webPort;
    context.devicePort = devicePort;
    return context;
}

// A device operation's parameter block with the fields it shares with the context filled in (the
// ports only where the block has them).
template <typename Params>
Params paramsFor(const DeviceContext& c)
{
    Params p;
    p.channel = c.channel;
    p.device = c.device;
    p.password = c.password;
    p.log = c.log;
    if constexpr (requires { p.webPort; }) p.webPort = c.webPort;
    if constexpr (requires { p.devicePort; }) p.devicePort = c.devicePort;
    return p;
}

}  // namespace vst::ops
