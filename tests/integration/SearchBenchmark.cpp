// How many of 1000 devices answering one broadcast the search lists, and how fast.
// Runs inside the test network (scripts/bench-search.sh); not part of the test suite.
//
// For comparison it also runs a plain loop that takes one datagram per 1 ms pass from a socket
// with the system's default receive buffer, the way a naive station would.
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/NetworkCards.h"
#include "devsim/Simulator.h"
#include "net/UdpProtocol.h"
#include "ops/Search.h"
#include "platform/UdpSocket.h"
#include "support/RecordingChannel.h"

using namespace vst;

namespace {

constexpr int kDevices = 1000;

std::string deviceAddress(int i) { return "10.20." + std::to_string((i + 1) / 256) + "." + std::to_string((i + 1) % 256); }

bool startInDeviceNamespace(devsim::Simulator& simulator, const std::string& pid)
{
    bool started = false;
    std::thread inside([&] {
        const int fd = ::open(("/proc/" + pid + "/ns/net").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0) started = simulator.start();
        if (fd >= 0) ::close(fd);
    });
    inside.join();
    return started;
}

// One datagram per pass, default receive buffer.
int naiveCount(const app::NetworkCard& card)
{
    platform::UdpSocket s;
    if (!s.open() || !s.bind(card.addresses.front().address, 0)) return -1;
    const auto request = net::buildSearchRequest(net::kAllDevices);
    const uint32_t broadcast = card.addresses.front().address | ~card.addresses.front().mask;
    if (!s.sendTo(broadcast, net::kDevicePort, request.data(), request.size())) return -1;
    int seen = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(2000);
    uint8_t buffer[268];
    while (std::chrono::steady_clock::now() < until) {
        if (s.receive(buffer, sizeof buffer)) ++seen;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return seen;
}

}  // namespace

int main()
{
    const char* pid = std::getenv("VST_DEVICE_NS_PID");
    if (!pid) {
        std::fprintf(stderr, "run me through tests/integration/testbed.sh\n");
        return 1;
    }
    std::vector<app::NetworkCard> cards;
    app::enumerateNetworkCards(&cards);
    const app::NetworkCard* card = nullptr;
    for (const auto& c : cards) {
        if (c.description == "vst2") card = &c;
    }
    if (!card) return 1;

    // 1000 device addresses in 10.20.0.0/16 on the devices' side.
    const std::string batch = "/tmp/vst-bench-batch";
    FILE* f = std::fopen(batch.c_str(), "w");
    for (int i = 0; i < kDevices; ++i) std::fprintf(f, "addr add %s/16 dev vst3\n", deviceAddress(i).c_str());
    std::fclose(f);
    const std::string add = std::string("nsenter -t ") + pid + " -n ip -batch " + batch;
    if (std::system(add.c_str()) != 0) return 1;

    devsim::SimulatorConfig config;
    for (int i = 0; i < kDevices; ++i) {
        devsim::Device d;
        d.mac = {0x02, 0x10, 0x00, 0x00, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
        d.network.address = devsim::parseIpv4(deviceAddress(i)).value();
        d.network.mask = 0xFFFF0000u;
        d.name = "SIM" + std::to_string(i + 1);
        config.devices.push_back(d);
    }
    config.log = [](const std::string&) {};
    devsim::Simulator simulator(std::move(config));
    if (!startInDeviceNamespace(simulator, pid)) return 1;

    std::printf("devices answering one broadcast: %d\n", kDevices);
    std::printf("plain loop (one datagram per 1 ms pass, default buffer): %d seen\n", naiveCount(*card));

    for (int run = 1; run <= 3; ++run) {
        test::RecordingChannel window;
        auto list = std::make_shared<ops::SearchJobList>();
        ops::SearchJob& job = list->add();
        job.channel = &window;
        job.card = card;
        const auto start = std::chrono::steady_clock::now();
        // Stop after the subnet scope: the directed broadcast is the one every device answers.
        window.onPass = [&] {
            if (job.state.load() >= static_cast<int32_t>(ops::SearchState::NetworkSend)) window.busy = false;
        };
        ops::startSearchWorker(list, job).join();
        uint32_t firstAdd = 0, lastAdd = 0;
        for (const auto& c : window.calls()) {
            if (c.message != ops::StatusMessage::AddDevice) continue;
            if (!firstAdd) firstAdd = c.tick;
            lastAdd = c.tick;
        }
        const double took =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::printf("search run %d: %d of %d listed, answers over %u ms, scope took %.0f ms\n", run,
                    window.devices().count(), kDevices, lastAdd - firstAdd, took);
    }
    simulator.stop();
    std::remove(batch.c_str());
    return 0;
}
