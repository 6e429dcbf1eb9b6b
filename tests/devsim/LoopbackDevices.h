#pragma once
// Devices and simulator settings for the simulator's tests over real sockets on the loopback
// interface, where the whole 127.0.0.0/8 range is local.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "devsim/Simulator.h"

namespace vst::devsim::test {

// A device at `address` in 127.0.0.0/8 with the MAC 02:00:00:00:`group`:`id`.
inline Device deviceOnLoopback(Ipv4 address, uint8_t group, uint8_t id)
{
    Device d;
    d.mac = {0x02, 0x00, 0x00, 0x00, group, id};
    d.network.address = address;
    d.network.mask = 0xFF000000;
    return d;
}

// A simulator for the devices on ports the system chooses, with its log kept quiet.
inline SimulatorConfig quietConfig(std::vector<Device> devices)
{
    SimulatorConfig config;
    config.devices = std::move(devices);
    config.port = 0;
    config.webPort = 0;
    config.log = [](const std::string&) {};
    return config;
}

}  // namespace vst::devsim::test
