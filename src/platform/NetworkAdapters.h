#pragma once
// The PC's network adapters as the system reports them, before the station picks its cards.
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
struct _IP_ADAPTER_INFO;  // iphlpapi.h
#endif

namespace vst::platform {

enum AdapterType : int {
    kAdapterOther = 1,
    kAdapterEthernet = 6,
    kAdapterWireless = 71,
};

struct AdapterAddress {
    std::string address;  // dotted text, "0.0.0.0" when the adapter has none
    std::string mask;
};

struct AdapterInfo {
    std::string description;
    int type = kAdapterOther;
    std::vector<AdapterAddress> ipv4;  // never empty: an adapter without address lists 0.0.0.0
};

class AdapterSource {
public:
    virtual ~AdapterSource() = default;
    // Every adapter in system order; nullopt when the table cannot be read.
    virtual std::optional<std::vector<AdapterInfo>> adapters() = 0;
};

// The system's adapters. On Linux an adapter is an interface: its name is the description, the
// hardware type tells Ethernet, the wireless flag tells WLAN, and interfaces come in index order.
AdapterSource& systemAdapters();

#ifdef _WIN32
// The adapters of an IP Helper adapter table (GetAdaptersInfo), in its order.
std::vector<AdapterInfo> adaptersFromTable(const ::_IP_ADAPTER_INFO* first);
#endif

}  // namespace vst::platform
