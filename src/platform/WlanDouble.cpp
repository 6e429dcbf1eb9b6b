#include "platform/WlanDouble.h"

#include <cstdlib>

#include "platform/ChildProcess.h"
#include "platform/Clock.h"

namespace vst::platform {
namespace {

bool runQuietly(std::vector<std::string> arguments)
{
    ChildProcessRequest request;
    request.arguments = std::move(arguments);
    request.timeoutMs = 10000;
    const auto result = runChildProcess(request);
    return result.started && !result.timedOut && result.exitCode == 0;
}

}  // namespace

bool wlanDoubleActive() { return std::getenv(kWlanDoubleVariable) != nullptr; }

WlanDoubleClient::WlanDoubleClient(std::string mode) : mode_(std::move(mode))
{
    if (const char* pid = std::getenv("VST_DEVICE_NS_PID")) devicePid_ = pid;
}

WlanDoubleClient::~WlanDoubleClient() { close(); }

bool WlanDoubleClient::open() { return !devicePid_.empty(); }

std::optional<WlanInterfaceInfo> WlanDoubleClient::firstInterface()
{
    if (mode_ == "no-interface") return std::nullopt;
    return WlanInterfaceInfo{kWlanDoubleStationLink, kWlanDoubleStationLink};
}

// Storing the profile also lays the cable: the link to the devices' side is made here, so the
// connection itself can complete at once (the test network runs protocol time faster than real).
bool WlanDoubleClient::setOpenProfile(const std::string& ssid)
{
    if (ssid.empty() || devicePid_.empty()) return false;
    removeLink();
    const std::string peer = "vstw1";
    return runQuietly({"ip", "link", "add", kWlanDoubleStationLink, "type", "veth", "peer", "name", peer}) &&
           runQuietly({"ip", "link", "set", peer, "netns", devicePid_}) &&
           runQuietly({"nsenter", "-t", devicePid_, "-n", "ip", "addr", "add", "192.168.100.1/24", "dev", peer}) &&
           runQuietly({"nsenter", "-t", devicePid_, "-n", "ip", "link", "set", peer, "up"}) &&
           runQuietly({"ip", "addr", "add", "192.168.100.2/24", "dev", kWlanDoubleStationLink}) &&
           runQuietly({"ip", "link", "set", kWlanDoubleStationLink, "up"});
}

bool WlanDoubleClient::connect(const std::string&)
{
    if (mode_ == "connect-refused" || devicePid_.empty()) return false;
    // The outcome arrives on a thread of its own, as a real connection completes in the background.
    joiner_.start([this] {
        if (mode_ == "never-connected") return;
        notify(WlanEvent::Connected);
        if (mode_ != "dropped") return;
        for (int waited = 0; waited < 1000 && !joiner_.stopping(); waited += 10) clock().sleep(10);
        if (!joiner_.stopping()) notify(WlanEvent::Disconnected);
    });
    return true;
}

void WlanDoubleClient::removeLink()
{
    joiner_.stop();
    // Deleting one end removes the pair; there may be none.
    runQuietly({"ip", "link", "del", kWlanDoubleStationLink});
}

void WlanDoubleClient::disconnect() { removeLink(); }

void WlanDoubleClient::close()
{
    removeLink();
    setEventHandler(nullptr);
}

}  // namespace vst::platform
