#include "ops/DeviceColumns.h"

#include <cstdio>

namespace vst::ops {

std::string versionText(float version)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", static_cast<double>(version));
    std::string s = text;
    if (s.size() < 2) return s;
    const std::string last = s.substr(s.size() - 2);
    s.resize(s.size() - 2);
    return last == "00" ? s : s + " B" + last;
}

std::string deviceColumnText(const net::DeviceRecord& r, int column)
{
    switch (column) {
    case kColumnName: return r.name.str();
    case kColumnAddress: return net::addressText(r.address);
    case kColumnMac: return net::macText(r.mac);
    case kColumnSerial: {
        if (r.productKind != 0 && r.productKind != 2 && r.productKind != 3) return "-";
        if (r.serialNumber == net::kNoSerialNumber) return "N/A";
        char text[16];
        std::snprintf(text, sizeof text, "%08d", static_cast<int>(r.serialNumber));
        return text;
    }
    case kColumnAppVersion: return versionText(r.appVersion);
    case kColumnBootloaderVersion: return r.productKind == 0 ? versionText(r.bootloaderVersion) : "-";
    default: return std::string();
    }
}

}  // namespace vst::ops
