#include "devsim/StateFile.h"

#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <set>

#include "devsim/DeviceSections.h"
#include "platform/FileSystem.h"

namespace vst::devsim {
namespace {

constexpr std::string_view kHeader =
    "# vestrolan-devsim state: what the devices were told, by MAC address. Written by the simulator\n"
    "# (--state); names and configuration lines are Windows-1252 with \\\\ and \\xHH escapes.\n";

std::string escape(std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const bool edgeBlank = b == ' ' && (i == 0 || i + 1 == bytes.size());
        if (b == '\\') {
            out += "\\\\";
        } else if (b < 0x20 || b >= 0x7F || edgeBlank) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

std::optional<std::string> unescape(std::string_view text)
{
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (i + 3 < text.size() && text[i + 1] == 'x' && hexValue(text[i + 2]) >= 0 &&
                   hexValue(text[i + 3]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 2]) * 16 + hexValue(text[i + 3]));
            i += 3;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

std::string versionText(double version)
{
    std::array<char, 64> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), version);
    return ec == std::errc() ? std::string(buffer.data(), end) : std::string("1");
}

std::optional<uint64_t> parseUnsigned(std::string_view text, uint64_t max)
{
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
    return value;
}

const char* dhcpText(DhcpMode mode)
{
    switch (mode) {
    case DhcpMode::Client: return "client";
    case DhcpMode::Server: return "server";
    case DhcpMode::Off: break;
    }
    return "off";
}

// One [device] section while it is read: every key once (the lines repeat), mac required.
class SectionReader {
public:
    std::string set(std::string_view key, std::string_view value)
    {
        const bool repeatable = key == "config_line" || key == "process_line";
        if (!repeatable && !seen_.insert(std::string(key)).second) return "key '" + std::string(key) + "' given twice";
        if (key == "mac") {
            const auto mac = parseMac(value);
            if (!mac) return "bad MAC address '" + std::string(value) + "'";
            state_.mac = *mac;
        } else if (key == "address" || key == "mask" || key == "gateway" || key == "dns1" || key == "dns2") {
            const auto address = parseIpv4(value);
            if (!address) return "bad IPv4 address '" + std::string(value) + "'";
            auto& field = key == "address" ? state_.network.address
                          : key == "mask"  ? state_.network.mask
                          : key == "gateway" ? state_.network.gateway
                          : key == "dns1"  ? state_.network.dns1
                                           : state_.network.dns2;
            field = *address;
        } else if (key == "dhcp") {
            if (value == "off") state_.network.dhcp = DhcpMode::Off;
            else if (value == "client") state_.network.dhcp = DhcpMode::Client;
            else if (value == "server") state_.network.dhcp = DhcpMode::Server;
            else return "dhcp must be off, client or server";
        } else if (key == "name") {
            const auto name = unescape(value);
            if (!name) return "bad escape in the name";
            if (name->size() > kMaxNameLength) return "name is longer than 15 characters";
            state_.name = *name;
        } else if (key == "serial") {
            if (value == "none") {
                state_.serialNumber = kNoSerialNumber;
            } else {
                const auto serial = parseUnsigned(value, 0xFFFFFFFFu);
                if (!serial) return "serial must be a number or 'none'";
                state_.serialNumber = static_cast<uint32_t>(*serial);
            }
        } else if (key == "app") {
            double version = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), version);
            if (value.empty() || ec != std::errc() || end != value.data() + value.size() || !std::isfinite(version) ||
                version < 0) {
                return "app must be a version like 1.05";
            }
            state_.appVersion = version;
        } else if (repeatable) {
            const auto line = unescape(value);
            if (!line) return "bad escape in " + std::string(key);
            if (line->empty()) return std::string(key) + " must not be empty";
            if (line->size() > kMaxLineLength) return std::string(key) + " is longer than 248 characters";
            (key == "config_line" ? state_.configuration.userLines : state_.configuration.processLines).push_back(*line);
        } else {
            return "unknown key '" + std::string(key) + "'";
        }
        return {};
    }

    std::string finish(size_t startLine) const
    {
        for (const char* needed : {"mac", "address", "mask"}) {
            if (!seen_.count(needed)) return "device at line " + std::to_string(startLine) + " has no " + needed;
        }
        return {};
    }

    const DeviceState& state() const { return state_; }

private:
    DeviceState state_;
    std::set<std::string> seen_;
};

}  // namespace

DeviceState stateOf(const Device& device)
{
    DeviceState state;
    state.mac = device.mac;
    state.network = device.pendingNetwork.value_or(device.network);
    state.name = device.name;
    state.serialNumber = device.serialNumber;
    state.appVersion = device.pendingAppVersion.value_or(device.appVersion);
    state.configuration = device.configuration;
    return state;
}

std::string formatState(const std::vector<DeviceState>& states)
{
    std::string text(kHeader);
    for (const auto& s : states) {
        text += "\n[device]\n";
        text += "mac = " + formatMac(s.mac) + "\n";
        text += "address = " + formatIpv4(s.network.address) + "\n";
        text += "mask = " + formatIpv4(s.network.mask) + "\n";
        text += "gateway = " + formatIpv4(s.network.gateway) + "\n";
        text += "dns1 = " + formatIpv4(s.network.dns1) + "\n";
        text += "dns2 = " + formatIpv4(s.network.dns2) + "\n";
        text += std::string("dhcp = ") + dhcpText(s.network.dhcp) + "\n";
        text += "name = " + escape(s.name) + "\n";
        text += "serial = " + (s.serialNumber == kNoSerialNumber ? std::string("none") : std::to_string(s.serialNumber)) + "\n";
        text += "app = " + versionText(s.appVersion) + "\n";
        for (const auto& line : s.configuration.userLines) text += "config_line = " + escape(line) + "\n";
        for (const auto& line : s.configuration.processLines) text += "process_line = " + escape(line) + "\n";
    }
    return text;
}

std::optional<std::vector<DeviceState>> parseState(std::string_view text, std::string* error)
{
    std::vector<DeviceState> states;
    std::optional<SectionReader> section;
    size_t sectionLine = 0;
    DeviceSectionHandlers handlers;
    handlers.open = [&](size_t line) {
        section.emplace();
        sectionLine = line;
    };
    handlers.set = [&](std::string_view key, std::string_view value) { return section->set(key, value); };
    handlers.close = [&]() -> std::string {
        std::string message = section->finish(sectionLine);
        if (message.empty()) states.push_back(section->state());
        section.reset();
        return message;
    };
    if (!readDeviceSections(text, "#", handlers, error)) return std::nullopt;
    std::set<Mac> macs;
    for (const auto& s : states) {
        if (!macs.insert(s.mac).second) {
            if (error) *error = "MAC address " + formatMac(s.mac) + " is kept twice";
            return std::nullopt;
        }
    }
    return states;
}

size_t applyState(std::vector<Device>& devices, const std::vector<DeviceState>& states)
{
    std::map<Mac, const DeviceState*> byMac;
    for (const auto& s : states) byMac[s.mac] = &s;
    size_t applied = 0;
    for (auto& device : devices) {
        auto it = byMac.find(device.mac);
        if (it == byMac.end()) continue;
        const DeviceState& s = *it->second;
        device.network = s.network;
        device.name = s.name;
        device.serialNumber = s.serialNumber;
        device.appVersion = s.appVersion;
        device.configuration = s.configuration;
        ++applied;
    }
    return applied;
}

std::optional<std::vector<DeviceState>> loadStateFile(const std::filesystem::path& file, std::string* error)
{
    std::error_code ec;
    if (std::filesystem::symlink_status(file, ec).type() == std::filesystem::file_type::not_found) {
        return std::vector<DeviceState>{};
    }
    const auto bytes = platform::readFileBytes(file);
    if (!bytes) {
        if (error) *error = file.string() + ": cannot read the state file";
        return std::nullopt;
    }
    std::string message;
    auto states = parseState(*bytes, &message);
    if (!states && error) *error = file.string() + ": " + message;
    return states;
}

bool saveStateFile(const std::filesystem::path& file, const std::string& text, std::string* error)
{
    if (platform::replaceFile(file, text)) return true;
    if (error) *error = file.string() + ": cannot write the state file (" + platform::lastErrorText() + ")";
    return false;
}

}  // namespace vst::devsim
