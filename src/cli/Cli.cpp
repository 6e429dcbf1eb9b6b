#include "cli/Cli.h"

#include "cli/ConfigCommand.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/CApp.h"
#include "app/CommandLine.h"
#include "app/Language.h"
#include "app/NetworkCards.h"
#include "app/OperatorPrompt.h"
#include "app/Records.h"
#include "app/SerialLog.h"
#include "app/Texts.h"
#include "app/Version.h"
#include "net/UdpProtocol.h"
#include "ops/DeviceColumns.h"
#include "ops/DeviceListCsv.h"
#include "ops/InputChecks.h"
#include "ops/Search.h"
#include "ops/UdpCommands.h"
#include "ops/WebOperations.h"
#include "platform/CodePage.h"
#include "platform/SettingsStore.h"

namespace vst::cli {
namespace {

constexpr const char* kUsage =
    "usage: vestrolan-cli [options] COMMAND [arguments]\n"
    "commands:\n"
    "  cards                         list the network cards\n"
    "  search [--csv]                search devices and list them (--csv: as the window's list export)\n"
    "  setnet MAC --dhcp off|client|server --ip A --mask M --gateway G --dns1 D --dns2 D\n"
    "  rename MAC NAME\n"
    "  backup MAC FILE\n"
    "  restore MAC FILE\n"
    "  update MAC FILE               load a firmware file (VestrolanVnnn.hex)\n"
    "  serial MAC NUMBER             give the device a serial number\n"
    "  clock MAC                     set the device clock from this PC\n"
    "  config ...                    compose or translate a device configuration (config --help)\n"
    "options:\n"
    "  --card N            search on card N only (default: every card)\n"
    "  --target A.B.C.D    search this address first\n"
    "  --directed-only     search only the --target address\n"
    "  --kind0-only        list only devices of product kind 0\n"
    "  --password P        the device password\n"
    "  --broadcast         send setnet, backup and restore to the subnet's broadcast address\n"
    "  --lang de|en        language of the texts for this run\n"
    "  --yes               answer questions with yes (otherwise they are refused)\n"
    "  --snr DIR           serial-number folder: serial checks and writes its SNR.LOG\n"
    "  --sign SIGN         operator sign for SNR.LOG lines (default CLI)\n"
    "  --release-password P  release password for a serial number already in use\n"
    "  --version           print the version and end\n";

const std::set<std::string> kValueOptions = {"--card",  "--target",  "--password", "--lang", "--dhcp", "--ip",
                                             "--mask",  "--gateway", "--dns1",     "--dns2", "--sign", "--snr",
                                             "--release-password"};
const std::set<std::string> kFlagOptions = {"--directed-only", "--kind0-only", "--broadcast", "--yes", "--csv"};

struct Arguments {
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
    std::vector<std::string> positional;  // Windows-1252
    std::string error;

    bool has(const std::string& name) const { return values.count(name) || flags.count(name); }
    std::string value(const std::string& name) const
    {
        auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    }
};

Arguments parseArguments(int argc, char** argv)
{
    Arguments a;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (kFlagOptions.count(word)) {
            a.flags.insert(word);
        } else if (kValueOptions.count(word)) {
            if (i + 1 >= argc) {
                a.error = "option " + word + " needs a value";
                return a;
            }
            a.values[word] = platform::utf8ToCp1252(argv[++i]);
        } else if (word.size() > 2 && word.rfind("--", 0) == 0) {
            a.error = "unknown option " + word;
            return a;
        } else {
            a.positional.push_back(platform::utf8ToCp1252(word));
        }
    }
    return a;
}

class Session {
public:
    Session(ConsoleChannel& channel, std::FILE* out, std::FILE* err, const Arguments& args)
        : channel_(channel), out_(out), err_(err), args_(args)
    {
    }

    int run()
    {
        if (args_.positional.empty()) return usage("no command given");
        const std::string& command = args_.positional[0];
        if (!chooseLanguage()) return usage("--lang takes de or en");
        channel_.setAnswerYes(args_.has("--yes"));

        const int count = app::enumerateNetworkCards(&cards_);
        if (command == "cards") return listCards(count);
        static const std::set<std::string> kDeviceCommands = {"search", "setnet", "rename", "backup",
                                                              "restore", "update", "serial", "clock"};
        if (!kDeviceCommands.count(command)) {
            return usage("unknown command " + command);
        }
        if (count <= 0) return failWith(loadText(30037));

        if (command == "search") {
            if (args_.positional.size() != 1) return usage("search takes no arguments");
            if (!search()) return 1;
            if (args_.has("--csv")) {
                const std::string csv = ops::deviceListCsv(channel_.devices());
                std::fwrite(csv.data(), 1, csv.size(), out_);
                return std::fflush(out_) == 0 ? 0 : 1;
            }
            for (int row = 0; row < channel_.devices().count(); ++row) printDevice(*channel_.devices().at(row));
            return 0;
        }
        if (command == "update" || command == "serial" || command == "clock") return webCommand(command);
        return deviceCommand(command);
    }

private:
    static std::string loadText(app::TextId id) { return app::loadText(id); }

    int usage(const std::string& why)
    {
        std::fprintf(err_, "vestrolan-cli: %s\n%s", why.c_str(), kUsage);
        return 1;
    }

    int failWith(const std::string& text)
    {
        std::fprintf(out_, "%s\n", platform::cp1252ToUtf8(text).c_str());
        return 1;
    }

    bool chooseLanguage()
    {
        const std::string lang = args_.value("--lang");
        int32_t offset;
        if (lang.empty()) offset = app::determineLanguage(platform::machineSettings());
        else if (lang == "de") offset = app::kGermanOffset;
        else if (lang == "en") offset = app::kEnglishOffset;
        else return false;
        app::CApp::instance().setTextIdOffset(offset);
        return true;
    }

    int listCards(int count)
    {
        if (count < 0) return failWith(loadText(30037));
        for (const auto& card : cards_) {
            std::string line = std::to_string(card.index) + "\t" + platform::cp1252ToUtf8(card.description);
            for (const auto& a : card.addresses) {
                line += "\t" + app::dottedAddress(a.address) + "/" + app::dottedAddress(a.mask);
            }
            std::fprintf(out_, "%s\n", line.c_str());
        }
        return 0;
    }

    void printDevice(const net::DeviceRecord& r)
    {
        std::string line;
        for (int column = ops::kColumnName; column <= ops::kColumnBootloaderVersion; ++column) {
            if (column > ops::kColumnName) line += '\t';
            line += platform::cp1252ToUtf8(ops::deviceColumnText(r, column));
        }
        std::fprintf(out_, "%s\n", line.c_str());
        std::fflush(out_);
    }

    // Runs the search on the chosen card (or every card) and waits for it.
    bool search()
    {
        std::optional<int> only;
        if (args_.has("--card")) {
            const std::string text = args_.value("--card");
            const int index = app::parseLeadingInteger(text);
            if (text.empty() || index < 0 || index >= static_cast<int>(cards_.size())) {
                usage("--card " + text + ": no such card (see 'vestrolan-cli cards')");
                return false;
            }
            only = index;
        }
        uint32_t target = 0;
        if (args_.has("--target")) {
            const auto parsed = ops::parseFourPartAddress(args_.value("--target"));
            if (!parsed) {
                usage("--target " + args_.value("--target") + ": not an IPv4 address");
                return false;
            }
            target = *parsed;
        }
        auto list = std::make_shared<ops::SearchJobList>();
        for (const auto& card : cards_) {
            if (only && card.index != *only) continue;
            ops::SearchJob& job = list->add();
            job.window = &channel_;
            job.card = &card;
            job.target = target;
            job.directedOnly = args_.has("--directed-only");
            job.kind0Only = args_.has("--kind0-only");
        }
        channel_.searchStarted();
        std::vector<std::thread> workers;
        for (const auto& job : list->jobs()) workers.push_back(ops::startSearchWorker(list, *job));
        for (auto& w : workers) w.join();
        channel_.endProgress();
        return true;
    }

    int deviceCommand(const std::string& command)
    {
        const size_t wanted = command == "setnet" ? 2 : 3;
        if (args_.positional.size() != wanted) return usage(command + ": wrong number of arguments");
        net::Mac mac{};
        if (!net::parseMac(args_.positional[1], mac)) return usage("'" + args_.positional[1] + "' is not a MAC address");

        auto params = std::make_unique<ops::UdpCommandParams>();
        bool (*operation)(ops::UdpCommandParams&) = nullptr;
        ops::NetworkValues network{};
        if (command == "setnet") {
            static const std::map<std::string, int> modes = {{"off", 0}, {"client", 1}, {"server", 2}};
            const auto mode = modes.find(args_.value("--dhcp"));
            if (mode == modes.end()) return usage("setnet needs --dhcp off|client|server");
            const ops::NetworkInput input{mode->second,        args_.value("--ip"),   args_.value("--mask"),
                                          args_.value("--gateway"), args_.value("--dns1"), args_.value("--dns2")};
            if (auto refusal = ops::checkNetworkInput(input, network)) return failWith(loadText(*refusal));
            operation = ops::sendNetworkConfiguration;
        } else if (command == "rename") {
            const std::string& name = args_.positional[2];
            if (name.empty()) return failWith(loadText(30504));
            if (name.size() > 15) return usage("a device name has at most 15 characters");
            operation = ops::sendDeviceName;
        } else {
            const std::string& file = args_.positional[2];
            if (file.size() >= params->filePath.kCapacity) return usage("the file path is too long");
            params->filePath.assign(file);
            operation = command == "backup" ? ops::backupConfiguration : ops::restoreConfiguration;
        }

        if (!search()) return 1;
        net::DeviceRecord probe;
        probe.mac = mac;
        const int row = channel_.devices().rowOf(probe);
        if (row < 0) return failWith(loadText(35204));
        net::DeviceRecord* device = channel_.devices().at(row);
        channel_.devices().setCurrent(device);

        if (command == "setnet") {
            net::editNetworkSettings(*device, dhcpModeOf(), net::toNetworkOrder(network.address),
                                     net::toNetworkOrder(network.mask), net::toNetworkOrder(network.gateway),
                                     net::toNetworkOrder(network.dns1), net::toNetworkOrder(network.dns2));
        } else if (command == "rename") {
            device->name.assign(args_.positional[2]);
            device->nameModified = true;
        }
        params->window = &channel_;
        params->device = device;
        params->password.assign(args_.value("--password"));
        params->broadcast = args_.has("--broadcast") && command != "rename";
        bool ok = false;
        std::thread worker([&] { ok = operation(*params); channel_.operationFinished(); });
        worker.join();
        return ok ? 0 : 1;
    }

    // Finds the device with the MAC by a search; nullptr (with the message printed) when it is not there.
    net::DeviceRecord* findDevice(const std::string& macText)
    {
        net::Mac mac{};
        if (!net::parseMac(macText, mac)) {
            usage("'" + macText + "' is not a MAC address");
            return nullptr;
        }
        if (!search()) return nullptr;
        net::DeviceRecord probe;
        probe.mac = mac;
        const int row = channel_.devices().rowOf(probe);
        if (row < 0) {
            failWith(loadText(35204));
            return nullptr;
        }
        net::DeviceRecord* device = channel_.devices().at(row);
        channel_.devices().setCurrent(device);
        return device;
    }

    // Answers the release dialogue from the command line: --yes for the question, the release
    // password from --release-password.
    class ConsolePrompt : public app::OperatorPrompt {
    public:
        ConsolePrompt(ConsoleChannel& channel, std::optional<std::string> password)
            : channel_(channel), password_(std::move(password))
        {
        }
        int messageBox(const std::string& text, uint32_t style) override
        {
            return channel_.showMessage({text, static_cast<int32_t>(style)});
        }
        std::optional<std::string> askPassword() override { return password_; }

    private:
        ConsoleChannel& channel_;
        std::optional<std::string> password_;
    };

    int webCommand(const std::string& command)
    {
        const size_t wanted = command == "clock" ? 2 : 3;
        if (args_.positional.size() != wanted) return usage(command + ": wrong number of arguments");
        const std::string sign = args_.has("--sign") ? args_.value("--sign") : "CLI";
        channel_.setOperatorSign(sign);
        app::AppSettings settings = app::CApp::instance().settings();
        settings.serialNumberPath = args_.value("--snr");
        app::CApp::instance().setSettings(settings);

        uint32_t serial = 0;
        if (command == "serial") {
            if (auto refusal = ops::checkSerialInput(args_.positional[2], serial)) return failWith(loadText(*refusal));
        }
        if (command == "update") {
            float version = 0;
            const std::string& file = args_.positional[2];
            if (file.size() >= 260) return usage("the file path is too long");
            if (!app::firmwareVersionFromFileName(file, version)) {
                std::fprintf(err_, "vestrolan-cli: note: %s is not named like a firmware file (VestrolanVnnn.hex)\n",
                             platform::cp1252ToUtf8(file).c_str());
            }
        }
        net::DeviceRecord* device = findDevice(args_.positional[1]);
        if (!device) return 1;

        bool ok = false;
        if (command == "update") {
            auto params = std::make_unique<ops::UpdateParams>();
            params->window = &channel_;
            params->device = device;
            params->password.assign(args_.value("--password"));
            params->firmwarePath.assign(args_.positional[2]);
            std::thread worker([&] { ok = ops::updateFirmware(*params); channel_.operationFinished(); });
            worker.join();
            return ok ? 0 : 1;
        }
        if (command == "serial") {
            // As the window's serial-number input: the release check, then the assigned number in the log.
            std::optional<std::string> releasePassword;
            if (args_.has("--release-password")) releasePassword = args_.value("--release-password");
            ConsolePrompt prompt(channel_, releasePassword);
            const app::SerialLog log(settings.serialNumberPath, false, sign);
            if (!log.releaseSerialNumber(serial, prompt)) return 1;
            device->serialNumber = serial;
            device->serialModified = true;
            log.logSerialAssigned(serial);
        }
        auto params = std::make_unique<ops::SerialParams>();
        params->window = &channel_;
        params->device = device;
        params->password.assign(args_.value("--password"));
        auto operation = command == "serial" ? ops::setSerialNumber : ops::setClock;
        std::thread worker([&] { ok = operation(*params); channel_.operationFinished(); });
        worker.join();
        return ok ? 0 : 1;
    }

    int dhcpModeOf() const
    {
        const std::string mode = args_.value("--dhcp");
        return mode == "client" ? 1 : mode == "server" ? 2 : 0;
    }

    ConsoleChannel& channel_;
    std::FILE* out_;
    std::FILE* err_;
    const Arguments& args_;
    std::vector<app::NetworkCard> cards_;
};

}  // namespace

int runCli(int argc, char** argv, ConsoleChannel& channel, std::FILE* out, std::FILE* err)
{
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--help" || word == "-h") {
            std::fputs(kUsage, out);
            return 0;
        }
        if (word == "--version") {
            std::fprintf(out, "vestrolan-cli %s\n", app::programVersionText().c_str());
            return 0;
        }
        // The configuration composer takes its own options; only the language comes from here.
        if (word == "config") {
            app::CApp::instance().setTextIdOffset(app::determineLanguage(platform::machineSettings()));
            for (int k = 1; k + 1 < i; ++k) {
                if (std::string(argv[k]) == "--lang") {
                    const std::string lang = argv[k + 1];
                    if (lang != "de" && lang != "en") {
                        std::fprintf(err, "vestrolan-cli: --lang takes de or en\n");
                        return 1;
                    }
                    app::CApp::instance().setTextIdOffset(lang == "en" ? app::kEnglishOffset : app::kGermanOffset);
                }
            }
            return runConfigCommand(std::vector<std::string>(argv + i + 1, argv + argc), out, err);
        }
        if (kValueOptions.count(word)) ++i;
        else if (word.rfind("--", 0) != 0) break;
    }
    const Arguments args = parseArguments(argc, argv);
    if (!args.error.empty()) {
        std::fprintf(err, "vestrolan-cli: %s\n%s", args.error.c_str(), kUsage);
        return 1;
    }
    return Session(channel, out, err, args).run();
}

}  // namespace vst::cli
