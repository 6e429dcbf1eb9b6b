#pragma once
// The WLAN join over NetworkManager's command-line client: every call is one `nmcli` run from an
// argument list with a time limit, and the connection state is read from the device state.
#include <string>
#include <vector>

#include "platform/StoppableThread.h"
#include "platform/Wlan.h"

namespace vst::platform {

class NmcliWlanClient : public WlanClient {
public:
    // Every nmcli run ends after this long at most.
    static constexpr uint32_t kCallTimeoutMs = 10000;
    // How often the device state is read while a connection is watched.
    static constexpr uint32_t kWatchIntervalMs = 200;

    ~NmcliWlanClient() override;

    bool open() override;
    std::optional<WlanInterfaceInfo> firstInterface() override;
    bool setOpenProfile(const std::string& ssid) override;
    bool connect(const std::string& ssid) override;
    void disconnect() override;
    void close() override;

    // Runs nmcli with the arguments; the output, or nullopt when it failed or timed out.
    static std::optional<std::string> run(const std::vector<std::string>& arguments);
    // "nmcli -t" field splitting: ':' separates, "\:" and "\\" are escaped characters.
    static std::vector<std::string> splitTerse(const std::string& line);

private:
    void watch();
    bool deviceConnected();

    std::string device_;
    std::string ssid_;
    StoppableThread watcher_;  // runs watch() while a connection is watched
};

}  // namespace vst::platform
