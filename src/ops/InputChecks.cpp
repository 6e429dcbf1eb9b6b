#include "ops/InputChecks.h"
#include <string_view>

namespace vst::ops {

std::optional<uint32_t> parseFourPartAddress(const std::string& text)
{
    uint32_t value = 0;
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.') return std::nullopt;
            ++pos;
        }
        const size_t start = pos;
        unsigned number = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3) {
            number = number * 10 + static_cast<unsigned>(text[pos] - '0');
            ++pos;
        }
        if (pos == start || number > 255) return std::nullopt;
        value = value << 8 | number;
    }
    if (pos != text.size()) return std::nullopt;
    return value;
}

std::optional<app::TextId> checkNetworkInput(const NetworkInput& in, NetworkValues& v)
{
    const auto address = parseFourPartAddress(in.address);
    if (!address || *address == 0) return app::TextId{30413};
    const auto mask = parseFourPartAddress(in.mask);
    if (!mask) return app::TextId{30414};
    const auto gateway = parseFourPartAddress(in.gateway);
    if (!gateway) return app::TextId{30415};
    const auto dns1 = parseFourPartAddress(in.dns1);
    if (!dns1) return app::TextId{30416};
    const auto dns2 = parseFourPartAddress(in.dns2);
    if (!dns2) return app::TextId{30417};
    v = {*address, *mask, *gateway, *dns1, *dns2};
    return std::nullopt;
}

std::optional<app::TextId> checkSerialInput(const std::string& text, uint32_t& serial)
{
    if (text.empty()) return app::TextId{30604};
    if (text.size() > 8) return app::TextId{30605};
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return app::TextId{30605};
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value == 0) return app::TextId{30605};
    serial = value;
    return std::nullopt;
}

}  // namespace vst::ops

namespace vst::ops {

std::optional<app::TextId> checkFolderNumber(const std::string& number, app::TextId emptyText)
{
    if (number.empty()) return emptyText;
    static constexpr std::string_view kForbidden = "\\/:*?\"<>|";
    for (char c : number) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || kForbidden.find(c) != std::string_view::npos) return kFolderNumberText;
    }
    if (number.back() == '.' || number.back() == ' ') return kFolderNumberText;
    return std::nullopt;
}

}  // namespace vst::ops
