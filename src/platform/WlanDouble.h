#pragma once
// A stand-in for the WLAN join in the private test network, active only when the environment
// variable VESTROLAN_WLAN_DOUBLE is set. "Joining" brings up a third veth pair to the devices'
// namespace (VST_DEVICE_NS_PID) when the profile is stored: vstw0 on the station's side with 192.168.100.2/24, vstw1 on the
// devices' side with the devices' WLAN address 192.168.100.1. The variable's value chooses a fault:
//   no-interface      there is no wireless interface
//   connect-refused   the connection cannot be started
//   never-connected   the connection never completes
//   dropped           the connection drops one second after it completed
// any other value joins normally. It never touches a real wireless network, and the station says
// that it is active (console: a note on standard error; window: its title).
#include <string>

#include "platform/StoppableThread.h"
#include "platform/Wlan.h"

namespace vst::platform {

inline constexpr const char* kWlanDoubleVariable = "VESTROLAN_WLAN_DOUBLE";
inline constexpr const char* kWlanDoubleStationLink = "vstw0";

// True when the WLAN join is the test double.
bool wlanDoubleActive();

class WlanDoubleClient : public WlanClient {
public:
    explicit WlanDoubleClient(std::string mode);
    ~WlanDoubleClient() override;

    bool open() override;
    std::optional<WlanInterfaceInfo> firstInterface() override;
    bool setOpenProfile(const std::string& ssid) override;
    bool connect(const std::string& ssid) override;
    void disconnect() override;
    void close() override;

private:
    void removeLink();

    std::string mode_;
    std::string devicePid_;
    StoppableThread joiner_;  // delivers the outcome of the last connect()
};

}  // namespace vst::platform
