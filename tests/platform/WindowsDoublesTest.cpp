// What Wine cannot offer, tested against doubles: the Native WiFi service (a fake function table)
// and the IP Helper's adapter table (a table built here). Windows build only.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <iphlpapi.h>
#include <windows.h>
#include <wlanapi.h>

#include <cstring>
#include <vector>

#include "app/NetworkCards.h"
#include "platform/NativeWifi.h"
#include "platform/NetworkAdapters.h"

using namespace vst;

namespace {

// The double of the WLAN service: one interface, records what the client asks for.
struct FakeWifi {
    static inline std::wstring profile;
    static inline std::wstring connectedProfile;
    static inline DWORD connectionMode = 99;
    static inline DOT11_BSS_TYPE bssType = dot11_BSS_type_any;
    static inline WLAN_NOTIFICATION_CALLBACK callback = nullptr;
    static inline void* context = nullptr;
    static inline DWORD source = 0;
    static inline bool ignoreDuplicates = false;
    static inline int interfaces = 1;
    static inline int closed = 0;
    static inline WLAN_INTERFACE_INFO_LIST* list = nullptr;

    static const GUID& guid()
    {
        static const GUID g{0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
        return g;
    }
    static DWORD WINAPI open(DWORD, PVOID, PDWORD negotiated, PHANDLE handle)
    {
        *negotiated = 1;
        *handle = reinterpret_cast<HANDLE>(0x1234);
        return ERROR_SUCCESS;
    }
    static DWORD WINAPI close(HANDLE, PVOID)
    {
        ++closed;
        return ERROR_SUCCESS;
    }
    static DWORD WINAPI enumerate(HANDLE, PVOID, PWLAN_INTERFACE_INFO_LIST* out)
    {
        list = static_cast<WLAN_INTERFACE_INFO_LIST*>(
            std::calloc(1, sizeof(WLAN_INTERFACE_INFO_LIST) + sizeof(WLAN_INTERFACE_INFO)));
        list->dwNumberOfItems = static_cast<DWORD>(interfaces);
        list->InterfaceInfo[0].InterfaceGuid = guid();
        wcscpy(list->InterfaceInfo[0].strInterfaceDescription, L"Intel(R) Wi-Fi 6 AX201 160MHz");
        *out = list;
        return ERROR_SUCCESS;
    }
    static DWORD WINAPI registerNotification(HANDLE, DWORD src, WINBOOL ignore, WLAN_NOTIFICATION_CALLBACK cb,
                                             PVOID ctx, PVOID, PDWORD)
    {
        source = src;
        ignoreDuplicates = ignore;
        callback = cb;
        context = ctx;
        return ERROR_SUCCESS;
    }
    static DWORD WINAPI setProfile(HANDLE, const GUID* g, DWORD, LPCWSTR xml, LPCWSTR, WINBOOL overwrite, PVOID, DWORD*)
    {
        if (!IsEqualGUID(*g, guid()) || !overwrite) return ERROR_INVALID_PARAMETER;
        profile = xml;
        return ERROR_SUCCESS;
    }
    static DWORD WINAPI connect(HANDLE, const GUID* g, const PWLAN_CONNECTION_PARAMETERS p, PVOID)
    {
        if (!IsEqualGUID(*g, guid())) return ERROR_INVALID_PARAMETER;
        connectionMode = p->wlanConnectionMode;
        connectedProfile = p->strProfile;
        bssType = p->dot11BssType;
        return ERROR_SUCCESS;
    }
    static DWORD WINAPI disconnect(HANDLE, const GUID*, PVOID) { return ERROR_SUCCESS; }
    static VOID WINAPI freeMemory(PVOID memory) { std::free(memory); }

    static void send(DWORD code, DWORD reason)
    {
        WLAN_CONNECTION_NOTIFICATION_DATA details{};
        details.wlanReasonCode = reason;
        WLAN_NOTIFICATION_DATA data{};
        data.NotificationSource = WLAN_NOTIFICATION_SOURCE_ACM;
        data.NotificationCode = code;
        data.InterfaceGuid = guid();
        data.dwDataSize = sizeof details;
        data.pData = &details;
        callback(&data, context);
    }
};

const platform::NativeWifiApi kFakeApi{FakeWifi::open,       FakeWifi::close,   FakeWifi::enumerate,
                                       FakeWifi::registerNotification, FakeWifi::setProfile,
                                       FakeWifi::connect,    FakeWifi::disconnect, FakeWifi::freeMemory};

}  // namespace

TEST(NativeWifiWithDoubleService, JoinsTheFirstInterfaceWithAnOpenProfileAndReportsItsEvents)
{
    platform::NativeWifiClient client(kFakeApi);
    ASSERT_TRUE(client.open());
    const auto wlan = client.firstInterface();
    ASSERT_TRUE(wlan);
    EXPECT_EQ(wlan->description, "Intel(R) Wi-Fi 6 AX201 160MHz");
    EXPECT_EQ(FakeWifi::source, static_cast<DWORD>(WLAN_NOTIFICATION_SOURCE_ACM));
    EXPECT_TRUE(FakeWifi::ignoreDuplicates);

    std::vector<platform::WlanEvent> events;
    client.setEventHandler([&](platform::WlanEvent e) { events.push_back(e); });
    ASSERT_TRUE(client.setOpenProfile("Vestrolan WiFi"));
    const std::wstring& xml = FakeWifi::profile;
    EXPECT_EQ(xml.rfind(L"<?xml version=\"1.0\"?>", 0), 0u);
    for (const wchar_t* part : {L"<WLANProfile xmlns=\"http://www.microsoft.com/networking/WLAN/profile/v1\">",
                                L"<name>Vestrolan WiFi</name>", L"<SSID>                <name>Vestrolan WiFi</name>",
                                L"<connectionType>ESS</connectionType>", L"<connectionMode>manual</connectionMode>",
                                L"<authentication>open</authentication>", L"<encryption>none</encryption>",
                                L"<useOneX>false</useOneX>"}) {
        EXPECT_NE(xml.find(part), std::wstring::npos) << part;
    }
    EXPECT_EQ(xml.find(L'\n'), std::wstring::npos);  // the layout is runs of spaces

    ASSERT_TRUE(client.connect("Vestrolan WiFi"));
    EXPECT_EQ(FakeWifi::connectionMode, static_cast<DWORD>(wlan_connection_mode_profile));
    EXPECT_EQ(FakeWifi::connectedProfile, L"Vestrolan WiFi");
    EXPECT_EQ(FakeWifi::bssType, dot11_BSS_type_infrastructure);

    FakeWifi::send(wlan_notification_acm_connection_complete, 0x00028002);  // a failed attempt
    FakeWifi::send(wlan_notification_acm_scan_complete, 0);
    FakeWifi::send(wlan_notification_acm_connection_complete, 0);
    FakeWifi::send(wlan_notification_acm_disconnected, 0);
    EXPECT_EQ(events, (std::vector<platform::WlanEvent>{platform::WlanEvent::Connected,
                                                         platform::WlanEvent::Disconnected}));
    client.close();
    EXPECT_EQ(FakeWifi::closed, 1);
}

TEST(NativeWifiWithDoubleService, NoInterfaceAndANameThatNeedsEscaping)
{
    EXPECT_NE(platform::openWlanProfileXml("A&B <x>").find(L"<name>A&amp;B &lt;x&gt;</name>"), std::wstring::npos);
    FakeWifi::interfaces = 0;
    platform::NativeWifiClient client(kFakeApi);
    ASSERT_TRUE(client.open());
    EXPECT_FALSE(client.firstInterface());
    EXPECT_FALSE(client.setOpenProfile("Vestrolan WiFi"));
    FakeWifi::interfaces = 1;
}

TEST(AdapterTableDouble, TypesAddressesAndSystemOrderAsTheCardListTakesThem)
{
    std::vector<IP_ADAPTER_INFO> table(4);
    const auto fill = [&](size_t i, UINT type, const char* description, const char* address, const char* mask) {
        std::memset(&table[i], 0, sizeof table[i]);
        table[i].Type = type;
        std::strncpy(table[i].Description, description, sizeof table[i].Description - 1);
        std::strncpy(table[i].IpAddressList.IpAddress.String, address, 15);
        std::strncpy(table[i].IpAddressList.IpMask.String, mask, 15);
        if (i > 0) table[i - 1].Next = &table[i];
    };
    fill(0, MIB_IF_TYPE_LOOPBACK, "Loopback", "127.0.0.1", "255.0.0.0");
    fill(1, MIB_IF_TYPE_ETHERNET, "Realtek PCIe GbE Family Controller", "192.168.0.1", "255.255.255.0");
    fill(2, IF_TYPE_IEEE80211, "Wireless without address", "0.0.0.0", "0.0.0.0");
    fill(3, IF_TYPE_IEEE80211, std::string(140, 'W').c_str(), "10.1.2.3", "255.0.0.0");
    IP_ADDR_STRING second{};
    std::strcpy(second.IpAddress.String, "172.16.0.1");
    std::strcpy(second.IpMask.String, "255.255.0.0");
    table[1].IpAddressList.Next = &second;

    const auto adapters = platform::adaptersFromTable(table.data());
    ASSERT_EQ(adapters.size(), 4u);
    EXPECT_EQ(adapters[1].type, platform::kAdapterEthernet);
    EXPECT_EQ(adapters[3].type, platform::kAdapterWireless);
    ASSERT_EQ(adapters[1].ipv4.size(), 2u);
    EXPECT_EQ(adapters[1].ipv4[1].address, "172.16.0.1");

    struct TableSource : platform::AdapterSource {
        std::vector<platform::AdapterInfo> list;
        std::optional<std::vector<platform::AdapterInfo>> adapters() override { return list; }
    } source;
    source.list = adapters;
    std::vector<app::NetworkCard> cards;
    ASSERT_EQ(app::enumerateNetworkCards(&cards, source), 2);
    EXPECT_EQ(cards[0].description, "Realtek PCIe GbE Family Controller");
    EXPECT_EQ(cards[0].addresses.size(), 2u);
    EXPECT_EQ(cards[1].index, 1);
    EXPECT_EQ(cards[1].description.size(), 131u);  // the description field's length
}
