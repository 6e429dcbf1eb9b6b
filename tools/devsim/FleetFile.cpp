#include "devsim/FleetFile.h"

#include <charconv>
#include <cstdio>
#include <set>

#include "devsim/DeviceSections.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace vst::devsim {
namespace {

std::optional<uint64_t> parseUnsigned(std::string_view text, uint64_t max)
{
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> parseVersion(std::string_view text)
{
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !(value >= 0)) {
        return std::nullopt;
    }
    return value;
}

// One [device] section while it is being read.
class SectionReader {
public:
    SectionReader(const std::filesystem::path& folder, size_t startLine) : folder_(folder), startLine_(startLine) {}

    // Empty on success, else the message.
    std::string set(std::string_view key, std::string_view value)
    {
        const bool repeatable = key == "config_line" || key == "process_line" || key == "calibration_item" ||
                                key.rfind("process_test.", 0) == 0;
        if (!repeatable && !seen_.insert(std::string(key)).second) {
            return "key '" + std::string(key) + "' given twice";
        }
        if (auto handled = setWeb(key, value)) return *handled;
        if (key == "kind") {
            const auto kind = parseUnsigned(value, 5);
            if (!kind) return "kind must be 0 to 5";
            device_.kind = static_cast<int>(*kind);
        } else if (key == "mac") {
            const auto mac = parseMac(value);
            if (!mac) return "bad MAC address '" + std::string(value) + "'";
            device_.mac = *mac;
            hasMac_ = true;
        } else if (key == "address") {
            const size_t slash = value.find('/');
            const auto address = parseIpv4(value.substr(0, slash));
            if (!address) return "bad IPv4 address '" + std::string(value) + "'";
            device_.network.address = *address;
            hasAddress_ = true;
            if (slash != std::string_view::npos) {
                const auto prefix = parseUnsigned(value.substr(slash + 1), 32);
                if (!prefix) return "bad prefix length in '" + std::string(value) + "'";
                if (seen_.count("mask")) return "mask given twice (key 'mask' and a prefix length)";
                seen_.insert("mask");
                device_.network.mask = prefixMask(static_cast<int>(*prefix));
            }
        } else if (key == "mask" || key == "gateway" || key == "dns1" || key == "dns2") {
            const auto address = parseIpv4(value);
            if (!address) return "bad IPv4 address '" + std::string(value) + "'";
            auto& field = key == "mask" ? device_.network.mask
                          : key == "gateway" ? device_.network.gateway
                          : key == "dns1" ? device_.network.dns1
                                          : device_.network.dns2;
            field = *address;
        } else if (key == "dhcp") {
            if (value == "off" || value == "0") device_.network.dhcp = DhcpMode::Off;
            else if (value == "client" || value == "1") device_.network.dhcp = DhcpMode::Client;
            else if (value == "server" || value == "2") device_.network.dhcp = DhcpMode::Server;
            else return "dhcp must be off, client or server (0, 1, 2)";
        } else if (key == "name") {
            device_.name = platform::utf8ToCp1252(value);
            if (device_.name.size() > kMaxNameLength) return "name is longer than 15 characters";
        } else if (key == "serial") {
            if (value == "none") {
                device_.serialNumber = kNoSerialNumber;
            } else {
                const auto serial = parseUnsigned(value, 0xFFFFFFFFu);
                if (!serial) return "serial must be a number or 'none'";
                device_.serialNumber = static_cast<uint32_t>(*serial);
            }
        } else if (key == "app" || key == "boot") {
            const auto version = parseVersion(value);
            if (!version) return key == "app" ? "app must be a version like 1.05" : "boot must be a version like 1.05";
            (key == "app" ? device_.appVersion : device_.bootVersion) = *version;
        } else if (key == "password") {
            device_.password = platform::utf8ToCp1252(value);
            if (device_.password.size() > kMaxPasswordLength) return "password is longer than 49 characters";
        } else if (key == "wlan") {
            if (value != "on" && value != "off") return "wlan must be on or off";
            device_.wlan = value == "on";
        } else if (key == "restart_ms") {
            const auto ms = parseUnsigned(value, 0xFFFFFFFFu);
            if (!ms) return "restart_ms must be a number of milliseconds";
            device_.restartMs = static_cast<uint32_t>(*ms);
        } else if (key == "config_file") {
            return readConfigFile(value);
        } else if (repeatable) {
            std::string line = platform::utf8ToCp1252(value);
            if (line.empty()) return std::string(key) + " must not be empty";
            if (line.size() > kMaxLineLength) return std::string(key) + " is longer than 248 characters";
            (key == "config_line" ? device_.configuration.userLines : device_.configuration.processLines)
                .push_back(std::move(line));
            hasInlineLines_ = true;
        } else if (key == "faults") {
            std::string error;
            const auto faults = parseFaults(value, &error);
            if (!faults) return error;
            device_.faults = *faults;
        } else {
            return "unknown key '" + std::string(key) + "'";
        }
        return {};
    }

    // Empty when the section is complete, else the message.
    std::string finish() const
    {
        const std::string where = "device at line " + std::to_string(startLine_);
        if (!hasMac_) return where + " has no mac";
        if (!hasAddress_) return where + " has no address";
        if (hasInlineLines_ && seen_.count("config_file")) {
            return where + " has both config_file and config_line/process_line";
        }
        return {};
    }

    const Device& device() const { return device_; }

private:
    // The web interface's keys: null when `key` is none of them, else the message (empty: done).
    std::optional<std::string> setWeb(std::string_view key, std::string_view value)
    {
        WebSettings& web = device_.web;
        const std::string name(key);
        if (key == "max_logins" || key == "session_timeout_ms") {
            const auto number = parseUnsigned(value, 0xFFFFFFFFu);
            if (!number) return name + " must be a number";
            (key == "max_logins" ? web.maxLogins : web.sessionTimeoutMs) = static_cast<uint32_t>(*number);
            return std::string();
        }
        if (key.rfind("sysinfo.", 0) == 0 || key.rfind("devinfo.", 0) == 0) {
            const std::string element(key.substr(key.find('.') + 1));
            if (element.empty() || element.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                             "0123456789_-") != std::string::npos) {
                return "bad element name in '" + name + "'";
            }
            auto& elements = key.front() == 's' ? web.sysInfo : web.devInfo;
            elements.push_back({element, platform::utf8ToCp1252(value)});
            return std::string();
        }
        if (key == "i2c_state" || key == "calibration_answer") {
            (key == "i2c_state" ? web.i2cState : web.calibrationAnswer) = platform::utf8ToCp1252(value);
            return std::string();
        }
        if (key.rfind("process_test.", 0) == 0) {
            const auto mode = parseUnsigned(key.substr(13), 0xFFFFFFFFu);
            if (!mode) return "bad mode number in '" + name + "'";
            auto& lines = web.processTestLines[static_cast<uint32_t>(*mode)];
            // An empty value makes the mode answer no line at all.
            if (!value.empty()) lines.push_back(platform::utf8ToCp1252(value));
            return std::string();
        }
        if (key == "calibration_item") {
            if (value.empty()) return "calibration_item must not be empty";
            web.calibrationItems.push_back(platform::utf8ToCp1252(value));
            return std::string();
        }
        if (key == "web_break") {
            if (value.empty() || value.front() != '/') return "web_break takes a path beginning with '/'";
            web.breakOffPaths.push_back(std::string(value));
            return std::string();
        }
        if (key == "sd_delete_break") {
            web.sdDeleteBreakOff = platform::utf8ToCp1252(value);
            return std::string();
        }
        if (key == "sd_files") {
            device_.sdFiles.clear();
            std::string_view rest = value;
            while (!rest.empty()) {
                const size_t comma = rest.find(',');
                const std::string_view file = trimBlanks(rest.substr(0, comma));
                if (!file.empty()) device_.sdFiles.push_back(platform::utf8ToCp1252(file));
                rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
            }
            return std::string();
        }
        if (key == "serial_kept") {
            if (value != "on" && value != "off") return "serial_kept must be on or off";
            web.serialKept = value == "on";
            return std::string();
        }
        if (key == "serial_state" || key == "datetime_state" || key == "update_state") {
            int state = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), state);
            if (value.empty() || ec != std::errc() || end != value.data() + value.size()) {
                return name + " must be a whole number";
            }
            (key == "serial_state" ? web.serialState : key == "datetime_state" ? web.dateTimeState : web.updateState) =
                state;
            return std::string();
        }
        return std::nullopt;
    }

    std::string readConfigFile(std::string_view value)
    {
        const std::filesystem::path file = folder_ / std::filesystem::path(std::string(value));
        const auto bytes = platform::readFileBytes(file);
        if (!bytes) return "cannot read config_file '" + file.string() + "'";
        std::string error;
        const auto configuration = parseBackupText(*bytes, &error);
        if (!configuration) return "config_file '" + file.string() + "': " + error;
        device_.configuration = *configuration;
        return {};
    }

    std::filesystem::path folder_;
    size_t startLine_;
    Device device_;
    std::set<std::string> seen_;
    bool hasMac_ = false;
    bool hasAddress_ = false;
    bool hasInlineLines_ = false;
};

}  // namespace

std::optional<std::vector<Device>> parseFleetText(std::string_view text, const std::filesystem::path& folder,
                                                  std::string* error)
{
    std::vector<Device> devices;
    std::optional<SectionReader> section;
    DeviceSectionHandlers handlers;
    handlers.open = [&](size_t line) { section.emplace(folder, line); };
    handlers.set = [&](std::string_view key, std::string_view value) { return section->set(key, value); };
    handlers.close = [&]() -> std::string {
        std::string message = section->finish();
        if (message.empty()) devices.push_back(section->device());
        section.reset();
        return message;
    };
    if (!readDeviceSections(text, "#;", handlers, error)) return std::nullopt;
    if (auto duplicate = findDuplicateMac(devices)) {
        if (error) *error = *duplicate;
        return std::nullopt;
    }
    return devices;
}

std::optional<std::vector<Device>> loadFleetFile(const std::filesystem::path& file, std::string* error)
{
    const auto bytes = platform::readFileBytes(file);
    if (!bytes) {
        if (error) *error = file.string() + ": cannot read the file";
        return std::nullopt;
    }
    std::string message;
    auto devices = parseFleetText(*bytes, file.parent_path(), &message);
    if (!devices && error) *error = file.string() + ": " + message;
    return devices;
}

std::optional<Network> parseNetwork(std::string_view text)
{
    const size_t slash = text.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const auto address = parseIpv4(text.substr(0, slash));
    const auto prefix = parseUnsigned(text.substr(slash + 1), 32);
    if (!address || !prefix) return std::nullopt;
    const int length = static_cast<int>(*prefix);
    return Network{*address & prefixMask(length), length};
}

std::optional<std::vector<Device>> generateDevices(const GenerateRequest& request, uint32_t firstNumber,
                                                   std::string* error)
{
    const Ipv4 mask = prefixMask(request.network.prefix);
    // Host addresses lie strictly between the network's own address and its broadcast address.
    const uint64_t hosts = request.network.prefix >= 31 ? 0 : (uint64_t{~mask} + 1) - 2;
    if (request.count > hosts) {
        if (error) {
            *error = formatIpv4(request.network.base) + "/" + std::to_string(request.network.prefix) + " has " +
                     std::to_string(hosts) + " host addresses, too few for " + std::to_string(request.count) +
                     " devices";
        }
        return std::nullopt;
    }
    if (uint64_t{firstNumber} + request.count > 0x1000000) {
        if (error) *error = "too many generated devices";
        return std::nullopt;
    }
    std::vector<Device> devices;
    devices.reserve(request.count);
    for (size_t i = 0; i < request.count; ++i) {
        const uint32_t number = firstNumber + static_cast<uint32_t>(i);
        Device device;
        device.kind = 0;
        device.mac = kGeneratedMacBase;
        device.mac[3] = static_cast<uint8_t>(number >> 16);
        device.mac[4] = static_cast<uint8_t>(number >> 8);
        device.mac[5] = static_cast<uint8_t>(number);
        device.network.address = request.network.base + 1 + static_cast<Ipv4>(i);
        device.network.mask = mask;
        char name[16];
        std::snprintf(name, sizeof name, "SIM%04u", number % 100000000u);
        device.name = name;
        device.password = request.password;
        device.restartMs = request.restartMs;
        device.faults = request.faults;
        devices.push_back(std::move(device));
    }
    return devices;
}

std::optional<std::string> findDuplicateMac(const std::vector<Device>& devices)
{
    std::set<Mac> seen;
    for (const auto& device : devices) {
        if (!seen.insert(device.mac).second) return "MAC address " + formatMac(device.mac) + " is used twice";
    }
    return std::nullopt;
}

}  // namespace vst::devsim
