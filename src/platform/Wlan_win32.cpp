#include "platform/NativeWifi.h"

#include <objbase.h>

#include <vector>

#include "platform/CodePage.h"
#include "platform/WideText_win32.h"

namespace vst::platform {
namespace {

// The reason code of a connection that was made (L2_REASON_CODE_SUCCESS).
constexpr DWORD kReasonSuccess = 0;

std::wstring wide(const std::string& cp1252) { return wideFromCp1252(cp1252); }

std::string narrow(const wchar_t* text) { return cp1252From(std::wstring_view(text, wcsnlen(text, 256))); }

std::wstring escapeXml(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
        case L'&': out += L"&amp;"; break;
        case L'<': out += L"&lt;"; break;
        case L'>': out += L"&gt;"; break;
        case L'"': out += L"&quot;"; break;
        case L'\'': out += L"&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

}  // namespace

const NativeWifiApi& systemNativeWifiApi()
{
    static const NativeWifiApi api{WlanOpenHandle, WlanCloseHandle,   WlanEnumInterfaces, WlanRegisterNotification,
                                   WlanSetProfile, WlanConnect,       WlanDisconnect,     WlanFreeMemory};
    return api;
}

// One line, the layout of the stored text kept as runs of spaces.
std::wstring openWlanProfileXml(const std::string& ssid)
{
    const std::wstring name = escapeXml(wide(ssid));
    return L"<?xml version=\"1.0\"?>    "
           L"<WLANProfile xmlns=\"http://www.microsoft.com/networking/WLAN/profile/v1\">        "
           L"<name>" + name + L"</name>        "
           L"<SSIDConfig>            <SSID>                <name>" + name + L"</name>            </SSID>        </SSIDConfig>        "
           L"<connectionType>ESS</connectionType>        "
           L"<connectionMode>manual</connectionMode>        "
           L"<MSM>            <security>                <authEncryption>                    "
           L"<authentication>open</authentication>                    "
           L"<encryption>none</encryption>                    "
           L"<useOneX>false</useOneX>                "
           L"</authEncryption>            </security>        </MSM>    </WLANProfile>";
}

NativeWifiClient::NativeWifiClient(const NativeWifiApi& api) : api_(api) {}

NativeWifiClient::~NativeWifiClient() { close(); }

bool NativeWifiClient::open()
{
    if (handle_) return true;
    DWORD negotiated = 0;
    HANDLE handle = nullptr;
    if (api_.openHandle(1, nullptr, &negotiated, &handle) != ERROR_SUCCESS) return false;
    handle_ = handle;
    return true;
}

std::optional<WlanInterfaceInfo> NativeWifiClient::firstInterface()
{
    if (!handle_) return std::nullopt;
    PWLAN_INTERFACE_INFO_LIST list = nullptr;
    if (api_.enumInterfaces(handle_, nullptr, &list) != ERROR_SUCCESS || !list) return std::nullopt;
    std::optional<WlanInterfaceInfo> first;
    if (list->dwNumberOfItems > 0) {
        const WLAN_INTERFACE_INFO& info = list->InterfaceInfo[0];
        interface_ = info.InterfaceGuid;
        haveInterface_ = true;
        wchar_t id[40] = {};
        StringFromGUID2(info.InterfaceGuid, id, 40);
        first = WlanInterfaceInfo{narrow(id), narrow(info.strInterfaceDescription)};
    }
    api_.freeMemory(list);
    if (first && !registered_) {
        registered_ = api_.registerNotification(handle_, WLAN_NOTIFICATION_SOURCE_ACM, TRUE, &onNotification, this,
                                                nullptr, nullptr) == ERROR_SUCCESS;
        if (!registered_) return std::nullopt;
    }
    return first;
}

bool NativeWifiClient::setOpenProfile(const std::string& ssid)
{
    if (!handle_ || !haveInterface_ || ssid.empty()) return false;
    const std::wstring xml = openWlanProfileXml(ssid);
    DWORD reason = 0;
    return api_.setProfile(handle_, &interface_, 0, xml.c_str(), nullptr, TRUE, nullptr, &reason) == ERROR_SUCCESS;
}

bool NativeWifiClient::connect(const std::string& ssid)
{
    if (!handle_ || !haveInterface_) return false;
    const std::wstring profile = wide(ssid);
    WLAN_CONNECTION_PARAMETERS parameters{};
    parameters.wlanConnectionMode = wlan_connection_mode_profile;
    parameters.strProfile = profile.c_str();
    parameters.dot11BssType = dot11_BSS_type_infrastructure;
    return api_.connect(handle_, &interface_, &parameters, nullptr) == ERROR_SUCCESS;
}

void NativeWifiClient::disconnect()
{
    if (handle_ && haveInterface_) api_.disconnect(handle_, &interface_, nullptr);
}

void NativeWifiClient::close()
{
    if (!handle_) return;
    // Closing the handle also ends the notifications; no callback runs after it returns.
    api_.closeHandle(handle_, nullptr);
    handle_ = nullptr;
    haveInterface_ = false;
    registered_ = false;
}

void CALLBACK NativeWifiClient::onNotification(PWLAN_NOTIFICATION_DATA data, PVOID context)
{
    if (data && context) static_cast<NativeWifiClient*>(context)->forward(*data);
}

// Only the chosen interface's connection events count. A "connection complete" that carries a
// failure reason is no connection: the wait for one then runs into its time limit.
void NativeWifiClient::forward(const WLAN_NOTIFICATION_DATA& data)
{
    if (data.NotificationSource != WLAN_NOTIFICATION_SOURCE_ACM) return;
    if (haveInterface_ && !IsEqualGUID(data.InterfaceGuid, interface_)) return;
    std::optional<WlanEvent> event;
    if (data.NotificationCode == wlan_notification_acm_connection_complete) {
        const auto* details = static_cast<const WLAN_CONNECTION_NOTIFICATION_DATA*>(data.pData);
        if (!details || data.dwDataSize < sizeof(WLAN_CONNECTION_NOTIFICATION_DATA) ||
            details->wlanReasonCode == kReasonSuccess) {
            event = WlanEvent::Connected;
        }
    } else if (data.NotificationCode == wlan_notification_acm_disconnected) {
        event = WlanEvent::Disconnected;
    }
    if (event) notify(*event);
}

}  // namespace vst::platform
