#pragma once
// The test network seen from a test: the station's cards, the devices' namespace, addresses on
// the devices' side and a simulator running there. Tests derive their fixture from Testbed.
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/NetworkCards.h"
#include "devsim/Simulator.h"
#include "ops/Search.h"
#include "support/RecordingChannel.h"
#include "support/RunCommand.h"
#include "support/TempDir.h"
#include "platform/ManualClock.h"
#include "platform/ScaledClock.h"

namespace vst::test {

class Testbed : public ::testing::Test {
public:
    // Protocol time runs this much faster than real time in the tests over sockets.
    static constexpr double kTimeScale = 10.0;

protected:
    void SetUp() override
    {
        if (const char* why = std::getenv("VST_TESTBED_UNAVAILABLE")) GTEST_SKIP() << why;
        const char* pid = std::getenv("VST_DEVICE_NS_PID");
        if (!pid) GTEST_SKIP() << "not inside the test network (run through testbed.sh)";
        devicePid_ = pid;
        clock_ = std::make_unique<platform::ScaledClock>(kTimeScale);
        platform::setClock(clock_.get());
        ASSERT_GE(app::enumerateNetworkCards(&cards), 2);
        card0 = findCard("vst0");
        card1 = findCard("vst2");
        ASSERT_NE(card0, nullptr);
        ASSERT_NE(card1, nullptr);
    }

    void TearDown() override
    {
        if (simulator) simulator->stop();
        simulator.reset();
        for (const auto& [address, link] : added_) deviceIp("addr del " + address + " dev " + link);
        platform::setClock(nullptr);
    }

    // Runs protocol time faster (or slower) than the default for one test; a change within a
    // test goes on from the tick count the clock had.
    void setTimeScale(double factor)
    {
        const uint32_t ticks = clock_ ? clock_->tickCount() : 1000;
        auto faster = std::make_unique<platform::ScaledClock>(factor, false, ticks);
        platform::setClock(faster.get());
        // The simulator's thread may still be reading the clock it had: it stays alive to the end.
        if (clock_) retired_.push_back(std::move(clock_));
        clock_ = std::move(faster);
        scale_ = factor;
    }

    const app::NetworkCard* findCard(const std::string& name) const
    {
        for (const auto& c : cards) {
            if (c.description == name) return &c;
        }
        return nullptr;
    }

    // Runs "ip ARGS" in the devices' namespace.
    bool deviceIp(const std::string& args)
    {
        const std::string command = "nsenter -t " + devicePid_ + " -n ip " + args + " 2>/dev/null";
        return std::system(command.c_str()) == 0;
    }

    // Adds an address to the devices' side (vst1 for 192.168.x, vst3 for the rest).
    void addDeviceAddress(const std::string& addressWithPrefix, const std::string& link = "")
    {
        const std::string dev = !link.empty() ? link : (addressWithPrefix.rfind("192.168.", 0) == 0 ? "vst1" : "vst3");
        ASSERT_TRUE(deviceIp("addr add " + addressWithPrefix + " dev " + dev)) << addressWithPrefix;
        added_.emplace_back(addressWithPrefix, dev);
    }

    // A shell command that adds the address on the devices' side when some other program runs it
    // (a board that "starts"); the address is removed at the end of the test like the others.
    std::string deviceAddressCommand(const std::string& addressWithPrefix)
    {
        added_.emplace_back(addressWithPrefix, "vst1");
        return "nsenter -t " + devicePid_ + " -n ip addr add " + addressWithPrefix + " dev vst1";
    }

    // Adds many addresses in one go.
    void addDeviceAddresses(const std::vector<std::string>& addresses, const std::string& link)
    {
        std::string batch = "/tmp/vst-ip-batch-" + std::to_string(::getpid());
        FILE* f = std::fopen(batch.c_str(), "w");
        ASSERT_NE(f, nullptr);
        for (const auto& a : addresses) {
            std::fprintf(f, "addr add %s dev %s\n", a.c_str(), link.c_str());
            added_.emplace_back(a, link);
        }
        std::fclose(f);
        ASSERT_TRUE(deviceIp("-batch " + batch));
        std::remove(batch.c_str());
    }

    // Starts the simulator inside the devices' namespace with the given devices.
    void startSimulator(std::vector<devsim::Device> devices)
    {
        devsim::SimulatorConfig config;
        config.devices = std::move(devices);
        config.log = [](const std::string&) {};
        simulator = std::make_unique<devsim::Simulator>(std::move(config));
        std::string error;
        bool started = false;
        std::thread inside([&] {
            const std::string path = "/proc/" + devicePid_ + "/ns/net";
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0 || ::setns(fd, CLONE_NEWNET) != 0) {
                error = "cannot enter the devices' namespace";
            } else {
                started = simulator->start(&error);
            }
            if (fd >= 0) ::close(fd);
        });
        inside.join();
        ASSERT_TRUE(started) << error;
    }

    // Starts one device at 192.168.0.101 and finds it with a directed search on card 0, as the
    // search button would; the found record is listed in the window and current.
    net::DeviceRecord* findSingleDevice(RecordingChannel& window, devsim::Device device)
    {
        addDeviceAddress("192.168.0.101/24");
        startSimulator({std::move(device)});
        // The search's 2000 ms scopes at the default pace, so that a loaded machine still hears the
        // answer in time; the test's own pace comes back afterwards.
        const double pace = scale_;
        setTimeScale(kTimeScale);
        auto list = std::make_shared<ops::SearchJobList>();
        ops::SearchJob& job = list->add();
        job.channel = &window;
        job.card = card0;
        job.target = 0xC0A80065;
        job.directedOnly = true;
        ops::startSearchWorker(list, job).join();
        setTimeScale(pace);
        EXPECT_EQ(window.devices().count(), 1);
        window.devices().setCurrent(window.devices().at(0));
        return window.devices().at(0);
    }

    std::vector<app::NetworkCard> cards;
    const app::NetworkCard* card0 = nullptr;  // 192.168.0.1/24
    const app::NetworkCard* card1 = nullptr;  // 10.20.255.254/16
    std::unique_ptr<devsim::Simulator> simulator;

private:
    std::string devicePid_;
    std::unique_ptr<platform::Clock> clock_;
    std::vector<std::unique_ptr<platform::Clock>> retired_;
    double scale_ = kTimeScale;
    std::vector<std::pair<std::string, std::string>> added_;
};

// The fixture of tests that run the station's programs in the test network: a folder of the
// test's own, which prepare() fills once the network is there (not when the test is skipped).
class CommandTestbed : public Testbed {
protected:
    using Run = CommandRun;
    TempDir dir;

    void SetUp() override
    {
        Testbed::SetUp();
        if (IsSkipped()) return;
        prepare();
    }

    virtual void prepare() {}
};

// A kind-0 device at the address with a MAC ending in `id`.
inline devsim::Device simulatedDevice(const std::string& address, uint8_t id, const std::string& name)
{
    devsim::Device d;
    d.kind = 0;
    d.mac = {0x02, 0x00, 0x00, 0x00, 0x00, id};
    d.network.address = devsim::parseIpv4(address).value();
    d.network.mask = 0xFFFFFF00u;
    d.name = name;
    d.serialNumber = 1000 + id;
    d.appVersion = 1.05;
    d.bootVersion = 1.02;
    d.restartMs = 2000;
    return d;
}

// What every operation on one device is given: the window it reports to, the device and the
// password the operator typed.
template <class Params>
Params deviceParams(RecordingChannel& window, net::DeviceRecord* device, const std::string& password = "")
{
    Params p;
    p.channel = &window;
    p.device = device;
    p.password.assign(password);
    return p;
}

}  // namespace vst::test
