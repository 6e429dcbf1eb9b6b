#include "devsim/ProgramOptions.h"

#include <bit>
#include <charconv>
#include <set>

#include "platform/CodePage.h"

namespace vst::devsim {
namespace {

std::optional<uint64_t> parseNumber(const std::string& text, uint64_t max)
{
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
    return value;
}

}  // namespace

std::optional<ProgramOptions> parseProgramOptions(const std::vector<std::string>& args, std::string* error)
{
    ProgramOptions options;
    auto fail = [&](const std::string& message) {
        if (error) *error = message;
        return std::nullopt;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) return inlineValue;
            if (i + 1 < args.size()) return args[++i];
            return std::nullopt;
        };
        auto flag = [&](bool& target) {
            target = true;
            return !inlineValue.has_value();
        };

        if (name == "--help" || name == "-h") {
            if (!flag(options.help)) return fail(name + " takes no value");
        } else if (name == "--verbose") {
            if (!flag(options.verbose)) return fail(name + " takes no value");
        } else if (name == "--print-addresses") {
            if (!flag(options.printAddresses)) return fail(name + " takes no value");
        } else if (name == "--no-web") {
            bool noWeb = false;
            if (!flag(noWeb)) return fail(name + " takes no value");
            options.web = false;
        } else if (name == "--print-cidr") {
            if (!flag(options.printCidr)) return fail(name + " takes no value");
        } else if (name == "--fleet") {
            const auto file = value();
            if (!file || file->empty()) return fail("--fleet needs a file");
            options.sources.push_back({*file, 0, std::nullopt});
        } else if (name == "--generate") {
            const auto text = value();
            const auto count = text ? parseNumber(*text, 0xFFFFFF) : std::nullopt;
            if (!count || *count == 0) return fail("--generate needs a device count from 1 to 16777215");
            options.sources.push_back({"", static_cast<size_t>(*count), std::nullopt});
        } else if (name == "--network") {
            const auto text = value();
            const auto network = text ? parseNetwork(*text) : std::nullopt;
            if (!network) return fail("--network needs a network like 192.168.0.0/24");
            if (options.sources.empty() || !options.sources.back().fleetFile.empty() ||
                options.sources.back().network) {
                return fail("--network must follow its --generate");
            }
            options.sources.back().network = network;
        } else if (name == "--password") {
            const auto text = value();
            if (!text) return fail("--password needs a value");
            options.password = platform::utf8ToCp1252(*text);
            if (options.password.size() > kMaxPasswordLength) return fail("--password is longer than 49 characters");
        } else if (name == "--restart-ms") {
            const auto text = value();
            const auto ms = text ? parseNumber(*text, 0xFFFFFFFFu) : std::nullopt;
            if (!ms) return fail("--restart-ms needs a number of milliseconds");
            options.restartMs = static_cast<uint32_t>(*ms);
        } else if (name == "--faults") {
            const auto text = value();
            if (!text) return fail("--faults needs a list");
            std::string message;
            const auto faults = parseFaults(*text, &message);
            if (!faults) return fail("--faults: " + message);
            options.faults = *faults;
        } else if (name == "--port") {
            const auto text = value();
            const auto port = text ? parseNumber(*text, 65535) : std::nullopt;
            if (!port) return fail("--port needs a port number");
            options.port = static_cast<uint16_t>(*port);
        } else if (name == "--web-port") {
            const auto text = value();
            const auto port = text ? parseNumber(*text, 65535) : std::nullopt;
            if (!port) return fail("--web-port needs a port number");
            options.webPort = static_cast<uint16_t>(*port);
        } else if (name == "--bind") {
            const auto text = value();
            const auto address = text ? parseIpv4(*text) : std::nullopt;
            if (!address) return fail("--bind needs an IPv4 address");
            options.bindAddress = *address;
        } else if (name == "--state") {
            const auto file = value();
            if (!file || file->empty()) return fail("--state needs a file");
            options.stateFile = *file;
        } else if (name == "--interface") {
            const auto text = value();
            if (!text || text->empty()) return fail("--interface needs an interface name");
            options.interface = *text;
        } else {
            return fail("unknown option " + args[i]);
        }
    }
    for (const auto& source : options.sources) {
        if (source.fleetFile.empty() && !source.network) return fail("--generate needs a --network after it");
    }
    return options;
}

std::optional<std::vector<Device>> buildFleet(const ProgramOptions& options, std::string* error)
{
    std::vector<Device> devices;
    uint32_t nextNumber = 1;
    for (const auto& source : options.sources) {
        std::optional<std::vector<Device>> part;
        if (!source.fleetFile.empty()) {
            part = loadFleetFile(source.fleetFile, error);
        } else {
            GenerateRequest request{source.generateCount, *source.network, options.password, options.restartMs,
                                    options.faults};
            part = generateDevices(request, nextNumber, error);
            nextNumber += static_cast<uint32_t>(source.generateCount);
        }
        if (!part) return std::nullopt;
        devices.insert(devices.end(), part->begin(), part->end());
    }
    if (devices.empty()) {
        if (error) *error = "no devices: give --fleet FILE or --generate N --network A.B.C.D/P";
        return std::nullopt;
    }
    if (auto duplicate = findDuplicateMac(devices)) {
        if (error) *error = *duplicate;
        return std::nullopt;
    }
    return devices;
}

std::vector<std::string> addressLines(const std::vector<Device>& devices, bool withPrefix)
{
    std::vector<std::string> lines;
    std::set<Ipv4> seen;
    for (const auto& device : devices) {
        if (!seen.insert(device.network.address).second) continue;
        std::string line = formatIpv4(device.network.address);
        if (withPrefix) line += "/" + std::to_string(std::popcount(device.network.mask));
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string usageText()
{
    return "Usage: vestrolan-devsim [--fleet FILE]... [--generate N --network A.B.C.D/P]...\n"
           "                        [--password P] [--restart-ms N] [--faults LIST]\n"
           "                        [--port N] [--web-port N | --no-web] [--bind A.B.C.D]\n"
           "                        [--interface NAME] [--state FILE] [--verbose]\n"
           "                        [--print-addresses | --print-cidr]\n"
           "Simulates data-logger devices on the UDP device port and their web servers on the web\n"
           "port. Prints \"ready\" once the sockets are bound and runs until SIGTERM or SIGINT.\n"
           "With --state FILE the devices start as FILE keeps them (names, network settings, serial\n"
           "numbers, firmware versions, configurations) and FILE follows every change.\n"
           "See tools/devsim/README.md.\n";
}

}  // namespace vst::devsim
