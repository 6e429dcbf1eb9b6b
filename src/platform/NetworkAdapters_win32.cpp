#include "platform/NetworkAdapters.h"

#include <winsock2.h>
#include <iphlpapi.h>

#include <vector>

namespace vst::platform {
namespace {

// The IP Helper's adapter table: asked first for its size, then for the data. An adapter that
// appears between the two calls makes the second one ask for more room; that is tried again.
class WindowsAdapters : public AdapterSource {
public:
    std::optional<std::vector<AdapterInfo>> adapters() override
    {
        ULONG size = 0;
        std::vector<unsigned char> table;
        DWORD rc = GetAdaptersInfo(nullptr, &size);
        if (rc == ERROR_NO_DATA) return std::vector<AdapterInfo>{};
        for (int attempt = 0; attempt < 3 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
            table.assign(size, 0);
            rc = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(table.data()), &size);
        }
        if (rc == ERROR_NO_DATA) return std::vector<AdapterInfo>{};
        if (rc != ERROR_SUCCESS) return std::nullopt;
        return adaptersFromTable(reinterpret_cast<const IP_ADAPTER_INFO*>(table.data()));
    }
};

}  // namespace

std::vector<AdapterInfo> adaptersFromTable(const IP_ADAPTER_INFO* first)
{
    std::vector<AdapterInfo> out;
    for (const IP_ADAPTER_INFO* a = first; a; a = a->Next) {
        AdapterInfo info;
        // The description as the system gives it, in the ANSI code page; bounded by its field.
        info.description.assign(a->Description, strnlen(a->Description, sizeof a->Description));
        info.type = static_cast<int>(a->Type);
        for (const IP_ADDR_STRING* ip = &a->IpAddressList; ip; ip = ip->Next) {
            info.ipv4.push_back({std::string(ip->IpAddress.String, strnlen(ip->IpAddress.String, 16)),
                                 std::string(ip->IpMask.String, strnlen(ip->IpMask.String, 16))});
        }
        if (info.ipv4.empty()) info.ipv4.push_back({"0.0.0.0", "0.0.0.0"});
        out.push_back(std::move(info));
    }
    return out;
}

AdapterSource& systemAdapters()
{
    static WindowsAdapters source;
    return source;
}

}  // namespace vst::platform
