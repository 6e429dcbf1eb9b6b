#include "platform/NetworkAdapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

namespace vst::platform {
namespace {

std::string dotted(const sockaddr* sa)
{
    if (!sa || sa->sa_family != AF_INET) return "0.0.0.0";
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
    inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    return text;
}

int adapterType(const std::string& name)
{
    const std::filesystem::path sys = std::filesystem::path("/sys/class/net") / name;
    std::ifstream typeFile(sys / "type");
    int hardwareType = 0;
    if (!(typeFile >> hardwareType)) return kAdapterOther;
    if (hardwareType != 1) return kAdapterOther;  // ARPHRD_ETHER
    std::error_code ec;
    if (std::filesystem::exists(sys / "wireless", ec) || std::filesystem::exists(sys / "phy80211", ec)) {
        return kAdapterWireless;
    }
    return kAdapterEthernet;
}

class LinuxAdapters : public AdapterSource {
public:
    std::optional<std::vector<AdapterInfo>> adapters() override
    {
        ifaddrs* list = nullptr;
        if (getifaddrs(&list) != 0) return std::nullopt;

        struct Pending {
            unsigned index;
            AdapterInfo info;
        };
        std::map<std::string, Pending> byName;
        for (ifaddrs* a = list; a; a = a->ifa_next) {
            if (!a->ifa_name) continue;
            auto [it, fresh] = byName.try_emplace(a->ifa_name);
            if (fresh) {
                it->second.index = if_nametoindex(a->ifa_name);
                it->second.info.description = a->ifa_name;
                it->second.info.type = adapterType(a->ifa_name);
            }
            if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET) {
                it->second.info.ipv4.push_back({dotted(a->ifa_addr), dotted(a->ifa_netmask)});
            }
        }
        freeifaddrs(list);

        std::vector<Pending> ordered;
        for (auto& [name, pending] : byName) ordered.push_back(std::move(pending));
        std::stable_sort(ordered.begin(), ordered.end(),
                         [](const Pending& x, const Pending& y) { return x.index < y.index; });
        std::vector<AdapterInfo> out;
        for (auto& p : ordered) {
            if (p.info.ipv4.empty()) p.info.ipv4.push_back({"0.0.0.0", "0.0.0.0"});
            out.push_back(std::move(p.info));
        }
        return out;
    }
};

}  // namespace

AdapterSource& systemAdapters()
{
    static LinuxAdapters source;
    return source;
}

}  // namespace vst::platform
