// The simulator over real sockets on the loopback interface: the whole 127.0.0.0/8 range is local
// there, so every device can have an address of its own and nothing leaves the host.
#include "devsim/Simulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "LoopbackDevices.h"
#include "LoopbackSocket.h"
#include "StationRequests.h"

using namespace vst::devsim;
using namespace vst::devsim::test;

namespace {

constexpr Ipv4 kLoopback = 0x7F000001;  // 127.0.0.1

Device loopbackDevice(Ipv4 address, uint8_t macLast)
{
    Device d = deviceOnLoopback(address, 0x00, macLast);
    d.name = "Loop " + std::to_string(macLast);
    d.serialNumber = 1000 + macLast;
    d.restartMs = 200;
    return d;
}

// A simulator on all loopback addresses: bound to 0.0.0.0, but only for the loopback interface.
// Null when this system does not let the test bind to an interface.
std::unique_ptr<Simulator> startOnLoopbackInterface(std::vector<Device> devices, std::string* why)
{
    SimulatorConfig config = quietConfig(std::move(devices));
    config.interface = "lo";
    auto simulator = std::make_unique<Simulator>(std::move(config));
    if (!simulator->start(why)) return nullptr;
    return simulator;
}

TEST(Simulator, AnswersAUnicastSearchOnLoopback)
{
    // Bound to 127.0.0.1 only, as a simulator for a single device on loopback would be.
    SimulatorConfig config = quietConfig({loopbackDevice(kLoopback, 1)});
    config.bindAddress = kLoopback;
    Simulator simulator(std::move(config));
    std::string error;
    ASSERT_TRUE(simulator.start(&error)) << error;
    ASSERT_NE(simulator.port(), 0);
    LoopbackSocket station;
    ASSERT_TRUE(station.sendTo(kLoopback, simulator.port(), searchRequest()));
    const auto reply = station.receive(2000);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->source, kLoopback);
    EXPECT_EQ(reply->sourcePort, simulator.port());
    ASSERT_EQ(reply->bytes.size(), 67u);
    EXPECT_EQ(twoChars(reply->bytes), "!S");
    EXPECT_EQ(reply->bytes[10], 1);
    EXPECT_EQ(getMac(reply->bytes, 60), (Mac{2, 0, 0, 0, 0, 1}));
    EXPECT_EQ(fieldText(reply->bytes, 23, 16), "Loop 1");

    // A command changes the device; the snapshot shows it.
    ASSERT_TRUE(station.sendTo(kLoopback, simulator.port(), setNameRequest({2, 0, 0, 0, 0, 1}, "", "Renamed")));
    const auto nameReply = station.receive(2000);
    ASSERT_TRUE(nameReply);
    EXPECT_EQ(twoChars(nameReply->bytes), "#N");
    EXPECT_EQ(simulator.device(0).name, "Renamed");
    EXPECT_EQ(simulator.deviceByMac({2, 0, 0, 0, 0, 1})->name, "Renamed");
    simulator.stop();
    EXPECT_FALSE(simulator.running());
    EXPECT_EQ(simulator.statistics().datagramsReceived, 2u);
    EXPECT_EQ(simulator.statistics().answersSent, 2u);
}

TEST(Simulator, EachAnswerComesFromItsDevicesAddress)
{
    std::string why;
    auto simulator = startOnLoopbackInterface(
        {loopbackDevice(0x7F000002, 2), loopbackDevice(0x7F000003, 3), loopbackDevice(0x7F010001, 4)}, &why);
    if (!simulator) GTEST_SKIP() << "cannot bind to the loopback interface: " << why;
    LoopbackSocket station;

    ASSERT_TRUE(station.sendTo(0x7F000003, simulator->port(), searchRequest()));
    auto reply = station.receive(2000);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->source, 0x7F000003u) << "not the socket's or the interface's first address";
    EXPECT_EQ(getMac(reply->bytes, 60)[5], 3);
    EXPECT_FALSE(station.receive(100)) << "only the addressed device answers";

    ASSERT_TRUE(station.sendTo(0x7FFFFFFF, simulator->port(), searchRequest()));
    std::set<Ipv4> sources;
    while (auto r = station.receive(500)) {
        EXPECT_EQ(getIpv4(r->bytes, 40), r->source);
        sources.insert(r->source);
    }
    EXPECT_EQ(sources, (std::set<Ipv4>{0x7F000002, 0x7F000003, 0x7F010001}));
}

TEST(Simulator, ThousandDevicesAnswerOneBroadcast)
{
    std::vector<Device> devices;
    for (uint32_t i = 0; i < 1000; ++i) {
        Device d = loopbackDevice(0x7F020001 + i, 0);
        d.mac[4] = static_cast<uint8_t>(i >> 8);
        d.mac[5] = static_cast<uint8_t>(i);
        devices.push_back(d);
    }
    std::string why;
    auto simulator = startOnLoopbackInterface(std::move(devices), &why);
    if (!simulator) GTEST_SKIP() << "cannot bind to the loopback interface: " << why;
    LoopbackSocket station(4 * 1024 * 1024);
    if (station.receiveBufferSize() < 2 * 1024 * 1024) {
        GTEST_SKIP() << "the system limits the receive buffer to " << station.receiveBufferSize() << " bytes";
    }
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(station.sendTo(0x7FFFFFFF, simulator->port(), searchRequest()));
    std::set<Ipv4> sources;
    while (sources.size() < 1000) {
        const auto r = station.receive(1000);
        if (!r) break;
        sources.insert(r->source);
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(sources.size(), 1000u);
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_EQ(simulator->statistics().sendFailures, 0u);
}

TEST(Simulator, RestartAndDelayAreTimedByTheLoop)
{
    Device moving = loopbackDevice(0x7F000002, 2);
    Device slow = loopbackDevice(0x7F000005, 5);
    slow.faults.delayMs = 150;
    std::string why;
    auto simulator = startOnLoopbackInterface({moving, slow}, &why);
    if (!simulator) GTEST_SKIP() << "cannot bind to the loopback interface: " << why;
    LoopbackSocket station;
    using Clock = std::chrono::steady_clock;

    auto sent = Clock::now();
    ASSERT_TRUE(station.sendTo(0x7F000005, simulator->port(), searchRequest()));
    auto reply = station.receive(2000);
    ASSERT_TRUE(reply);
    EXPECT_GE(Clock::now() - sent, std::chrono::milliseconds(145));
    EXPECT_EQ(reply->source, 0x7F000005u);

    NetworkRequest n{0, {127, 0, 0, 4}, {255, 0, 0, 0}};
    sent = Clock::now();
    ASSERT_TRUE(station.sendTo(0x7F000002, simulator->port(), setNetworkRequest(moving.mac, "", n)));
    reply = station.receive(2000);
    ASSERT_TRUE(reply);
    EXPECT_EQ(twoChars(reply->bytes), "#I");
    EXPECT_EQ(reply->source, 0x7F000002u);
    EXPECT_TRUE(simulator->device(0).restarting);

    ASSERT_TRUE(station.sendTo(0x7F000004, simulator->port(), searchRequest(moving.mac)));
    EXPECT_FALSE(station.receive(50)) << "silent while restarting";
    // Back after the restart delay of 200 ms under the new address, without any datagram to wake it.
    const auto deadline = sent + std::chrono::milliseconds(1500);
    while (simulator->device(0).restarting && Clock::now() < deadline) {
        ::poll(nullptr, 0, 5);
    }
    EXPECT_FALSE(simulator->device(0).restarting);
    EXPECT_GE(Clock::now() - sent, std::chrono::milliseconds(195));
    EXPECT_EQ(simulator->device(0).network.address, 0x7F000004u);
    ASSERT_TRUE(station.sendTo(0x7F000004, simulator->port(), searchRequest(moving.mac)));
    reply = station.receive(2000);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->source, 0x7F000004u);
}

TEST(Simulator, StartFailureIsReportedAndLeavesNothingRunning)
{
    SimulatorConfig config = quietConfig({loopbackDevice(kLoopback, 1)});
    config.bindAddress = kLoopback;
    config.interface = "vst-no-such";
    Simulator simulator(std::move(config));
    std::string error;
    EXPECT_FALSE(simulator.start(&error));
    EXPECT_EQ(error.rfind("cannot bind to interface vst-no-such", 0), 0u) << error;
    EXPECT_FALSE(simulator.running());
}

TEST(Simulator, BusyWebPortFailsTheStartAndReleasesTheUdpPort)
{
    const int taken = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(kLoopback);
    ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    ASSERT_EQ(::listen(taken, 1), 0);
    socklen_t length = sizeof local;
    ::getsockname(taken, reinterpret_cast<sockaddr*>(&local), &length);

    SimulatorConfig config = quietConfig({loopbackDevice(kLoopback, 1)});
    config.bindAddress = kLoopback;
    config.port = freeLoopbackPort();
    config.webPort = ntohs(local.sin_port);
    Simulator blocked(config);
    std::string error;
    EXPECT_FALSE(blocked.start(&error));
    EXPECT_EQ(error.rfind("cannot bind web 127.0.0.1:", 0), 0u) << error;
    EXPECT_FALSE(blocked.running());
    ::close(taken);

    // The UDP port is free again, and a simulator without its web side never needed the TCP port.
    config.webPort = 0;
    Simulator again(config);
    EXPECT_TRUE(again.start(&error)) << error;
    config.web = false;
    config.port = 0;
    Simulator udpOnly(config);
    EXPECT_TRUE(udpOnly.start(&error)) << error;
    EXPECT_EQ(udpOnly.webPort(), 0);
}

}  // namespace
