#include "platform/NmcliWlan.h"

#include <sstream>

#include "platform/ChildProcess.h"
#include "platform/Clock.h"

namespace vst::platform {

NmcliWlanClient::~NmcliWlanClient() { close(); }

std::optional<std::string> NmcliWlanClient::run(const std::vector<std::string>& arguments)
{
    ChildProcessRequest request;
    request.arguments = {"nmcli"};
    request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
    request.timeoutMs = kCallTimeoutMs;
    const ChildProcessResult result = runChildProcess(request);
    if (!result.started || result.timedOut || result.exitCode != 0) return std::nullopt;
    return result.output;
}

std::vector<std::string> NmcliWlanClient::splitTerse(const std::string& line)
{
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            fields.back() += line[++i];
        } else if (line[i] == ':') {
            fields.emplace_back();
        } else if (line[i] != '\r' && line[i] != '\n') {
            fields.back() += line[i];
        }
    }
    return fields;
}

bool NmcliWlanClient::open()
{
    // NetworkManager must run; without it there is no wireless service to join with.
    const auto state = run({"-t", "-f", "RUNNING", "general"});
    return state && state->rfind("running", 0) == 0;
}

std::optional<WlanInterfaceInfo> NmcliWlanClient::firstInterface()
{
    const auto list = run({"-t", "-f", "DEVICE,TYPE", "device"});
    if (!list) return std::nullopt;
    std::istringstream lines(*list);
    std::string line;
    while (std::getline(lines, line)) {
        const auto fields = splitTerse(line);
        if (fields.size() >= 2 && fields[1] == "wifi" && !fields[0].empty()) {
            device_ = fields[0];
            // On Linux a network card is described by its interface name.
            return WlanInterfaceInfo{fields[0], fields[0]};
        }
    }
    return std::nullopt;
}

bool NmcliWlanClient::setOpenProfile(const std::string& ssid)
{
    if (device_.empty()) return false;
    // A profile of that name is replaced: removed (it may not exist), then made anew, open.
    run({"connection", "delete", "id", ssid});
    return run({"connection", "add", "type", "wifi", "ifname", device_, "con-name", ssid, "ssid", ssid,
                "connection.autoconnect", "no"})
        .has_value();
}

bool NmcliWlanClient::connect(const std::string& ssid)
{
    if (device_.empty()) return false;
    // --wait 0: nmcli hands the request over and returns; the state is watched instead.
    if (!run({"--wait", "0", "connection", "up", "id", ssid, "ifname", device_})) return false;
    // The watcher reads ssid_: the old one ends before the name changes.
    watcher_.stop();
    ssid_ = ssid;
    watcher_.start([this] { watch(); });
    return true;
}

bool NmcliWlanClient::deviceConnected()
{
    // "GENERAL.STATE:100 (connected)" and "GENERAL.CONNECTION:<profile>": connected with our profile.
    const auto show = run({"-t", "-f", "GENERAL.STATE,GENERAL.CONNECTION", "device", "show", device_});
    if (!show) return false;
    bool stateConnected = false;
    bool ourProfile = false;
    std::istringstream lines(*show);
    std::string line;
    while (std::getline(lines, line)) {
        const auto fields = splitTerse(line);
        if (fields.size() < 2) continue;
        if (fields[0] == "GENERAL.STATE") stateConnected = fields[1].rfind("100", 0) == 0;
        if (fields[0] == "GENERAL.CONNECTION") ourProfile = fields[1] == ssid_;
    }
    return stateConnected && ourProfile;
}

void NmcliWlanClient::watch()
{
    bool connected = false;
    while (!watcher_.stopping()) {
        const bool now = deviceConnected();
        if (now != connected) {
            connected = now;
            notify(now ? WlanEvent::Connected : WlanEvent::Disconnected);
        }
        for (uint32_t waited = 0; !watcher_.stopping() && waited < kWatchIntervalMs; waited += 10) clock().sleep(10);
    }
}

void NmcliWlanClient::disconnect()
{
    watcher_.stop();
    if (!device_.empty()) run({"--wait", "0", "device", "disconnect", device_});
}

void NmcliWlanClient::close()
{
    watcher_.stop();
    setEventHandler(nullptr);
}

}  // namespace vst::platform
