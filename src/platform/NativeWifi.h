#pragma once
// The WLAN join over Native WiFi (Windows only). The system calls go through a table of function
// pointers, so tests can put a double of the service in place of the system's.
#ifdef _WIN32
#include <windows.h>
#include <wlanapi.h>

#include <string>

#include "platform/Wlan.h"

namespace vst::platform {

struct NativeWifiApi {
    decltype(&WlanOpenHandle) openHandle;
    decltype(&WlanCloseHandle) closeHandle;
    decltype(&WlanEnumInterfaces) enumInterfaces;
    decltype(&WlanRegisterNotification) registerNotification;
    decltype(&WlanSetProfile) setProfile;
    decltype(&WlanConnect) connect;
    decltype(&WlanDisconnect) disconnect;
    decltype(&WlanFreeMemory) freeMemory;
};

// The system's own calls.
const NativeWifiApi& systemNativeWifiApi();

// The profile of an open network: the network name as profile name and as SSID, ESS, manual
// connection, open authentication without encryption. The name is XML-escaped.
std::wstring openWlanProfileXml(const std::string& ssid);

class NativeWifiClient : public WlanClient {
public:
    explicit NativeWifiClient(const NativeWifiApi& api = systemNativeWifiApi());
    ~NativeWifiClient() override;

    bool open() override;
    std::optional<WlanInterfaceInfo> firstInterface() override;
    bool setOpenProfile(const std::string& ssid) override;
    bool connect(const std::string& ssid) override;
    void disconnect() override;
    void close() override;

    // The notification callback (runs on a thread of the WLAN service).
    static void CALLBACK onNotification(PWLAN_NOTIFICATION_DATA data, PVOID context);

private:
    // Passes the chosen interface's connection events on to the handler.
    void forward(const WLAN_NOTIFICATION_DATA& data);

    const NativeWifiApi& api_;
    HANDLE handle_ = nullptr;
    GUID interface_{};
    bool haveInterface_ = false;
    bool registered_ = false;
};

}  // namespace vst::platform
#endif
