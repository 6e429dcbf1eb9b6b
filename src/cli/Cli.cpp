#include "cli/Cli.h"

#include "cli/ConfigCommand.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/CApp.h"
#include "app/FirmwareCheck.h"
#include "app/CommandLine.h"
#include "app/Language.h"
#include "app/NetworkCards.h"
#include "app/OperatorPrompt.h"
#include "app/Records.h"
#include "app/SerialLog.h"
#include "app/Texts.h"
#include "app/Version.h"
#include "net/UdpProtocol.h"
#include "config/CalibrationRequest.h"
#include "ops/BulkUpdate.h"
#include "ops/DeviceColumns.h"
#include "ops/FunctionTests.h"
#include "ops/DeviceListCsv.h"
#include "ops/Endurance.h"
#include "ops/InputChecks.h"
#include "ops/Production.h"
#include "ops/ProductionStarts.h"
#include "ops/Search.h"
#include "ops/UdpCommands.h"
#include "ops/WebOperations.h"
#include "ops/Workflow.h"
#include "platform/FileSystem.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"
#include "platform/WlanDouble.h"

namespace vst::cli {
namespace {

// A field of the TAB-separated output: control bytes (below 0x20, and 0x7F) would break the
// columns or the terminal, so each is printed as '?'.
std::string printable(const std::string& cp1252)
{
    std::string text = cp1252;
    for (char& c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) c = '?';
    }
    return platform::cp1252ToUtf8(text);
}

constexpr const char* kUsage =
    "usage: vestrolan-cli [options] COMMAND [arguments]\n"
    "commands:\n"
    "  cards                         list the network cards\n"
    "  search                        search devices and list them\n"
    "  setnet MAC --dhcp off|client|server --ip A --mask M --gateway G --dns1 D --dns2 D\n"
    "                                send new network settings\n"
    "  rename MAC NAME               give the device a new name\n"
    "  backup MAC FILE               save the device's configuration into FILE\n"
    "  restore MAC FILE              load the configuration file FILE into the device\n"
    "  update MAC[,MAC...] FILE      load a firmware file (VestrolanVnnn.hex) into one or more devices\n"
    "  serial MAC NUMBER             give the device a serial number\n"
    "  clock MAC                     set the device clock from this PC\n"
    "  config ...                    compose or translate a device configuration (config --help)\n"
    "  cputest MAC                   CPU function test\n"
    "  proctest MAC                  process-list function test\n"
    "  calibrate MAC                 calibrate the energy sensors\n"
    "  sdclean MAC                   delete the system files on the SD card\n"
    "  endtest MAC                   final test of a numbered device\n"
    "  repair-start MAC REPNO        start a repair\n"
    "  repair-end MAC REPNO          end a repair\n"
    "  program                       initial programming of a blank board with the programmer tool\n"
    "                                (needs --card, --fw, --ipe, --target)\n"
    "  stock                         stock update of the device at --target\n"
    "                                (needs --card, --snr, --fw, --target)\n"
    "  endurance                     endurance run of --count devices from --target on (needs --card,\n"
    "                                --snr, --fw, --target, --type, --number; Ctrl+C stops it like\n"
    "                                the stop button)\n"
    "options of every command:\n"
    "  --lang de|en        language of the texts for this run\n"
    "  --card N            search on card N only (default: every card)\n"
    "  --password P        the device password (function tests and workflows: 730 by default)\n"
    "  --yes               answer every question with yes (otherwise: no)\n"
    "  --help, -h          print this help and end\n"
    "  --version           print the version and end\n"
    "search:\n"
    "  --target A.B.C.D    search this address first\n"
    "  --directed-only     search only the --target address\n"
    "  --kind0-only        list only devices of product kind 0\n"
    "  --csv               print the list as the window's list export\n"
    "setnet, backup, restore:\n"
    "  --dhcp off|client|server, --ip A, --mask M, --gateway G, --dns1 D, --dns2 D\n"
    "                      the new network settings (setnet)\n"
    "  --broadcast         send to the broadcast address of the device's subnet\n"
    "serial numbers and records:\n"
    "  --snr DIR           serial-number folder, which must hold SNR.LOG: serial checks and writes\n"
    "                      the log (without it serial keeps no log); the workflows keep their\n"
    "                      records there\n"
    "  --sign SIGN         operator sign for the log and the records, no blanks (default CLI)\n"
    "  --release-password P  release password for a serial number already in use\n"
    "what the operator answers (function tests and workflows):\n"
    "  --answer ID=yes|no  answer to the question with text id ID (repeatable); standard error\n"
    "                      shows each question and notice as \"[ID] text\"\n"
#ifdef _WIN32
    "  --on-notice ID=CMD  run CMD (cmd /c) before notice ID is confirmed (repeatable)\n"
#else
    "  --on-notice ID=CMD  run CMD (sh -c) before notice ID is confirmed (repeatable)\n"
#endif
    "  --config FILE|keep  the configuration assistant's answer\n"
    "  --calibrate P,S,U,I the energy calibration's answer (primary, secondary, voltage, current)\n"
    "  --serial N          the serial-number dialog's answer\n"
    "function tests and workflows:\n"
    "  --ssid S            the device's wireless network for the CPU test (default \"Vestrolan WiFi\";\n"
    "                      \"\" leaves the wireless part out)\n"
    "  --i2c               the CPU test reads the I2C bus too\n"
    "  --skip-follow-up    proctest: run mode 0 only, without its follow-up modes\n"
    "  --fw DIR            firmware folder (program, stock, endurance: its newest firmware file)\n"
    "  --ipe DIR           folder of the programmer tool ipecmd.exe (program)\n"
    "  --target A.B.C.D    the device's address (program, stock), the first device's (endurance)\n"
    "  --programmer-timeout S  stop a programmer tool run after S seconds, 60 to 86400 (program;\n"
    "                      default: the setting ProgrammerTimeout, else 600)\n"
    "endurance:\n"
    "  --type production|repair  the kind of run\n"
    "  --number NO         the batch or repair number (run folder CHRG_NO or REP_NO)\n"
    "  --count K           the number of devices, 1 to 999 (a repair run has one)\n"
    "  --serials S1,...,SK the devices' serial numbers (default 00000100, 00000200, ...)\n"
    "  --passes P          end the run like the stop button after P test passes\n"
    "                      (device n is connected at notice 35407, see --on-notice)\n";

const std::set<std::string> kValueOptions = {"--fw", "--ipe",
                                             "--card",  "--target",  "--password", "--lang", "--dhcp", "--ip",
                                             "--mask",  "--gateway", "--dns1",     "--dns2", "--sign", "--snr",
                                             "--release-password", "--config", "--calibrate", "--serial",
                                             "--ssid", "--type", "--number", "--count", "--serials",
                                             "--passes", "--programmer-timeout"};
// Options that may be given several times.
const std::set<std::string> kListOptions = {"--answer", "--on-notice"};
const std::set<std::string> kFlagOptions = {"--directed-only", "--kind0-only", "--broadcast", "--yes", "--csv", "--i2c",
                                            "--skip-follow-up"};
const std::set<std::string> kFunctionTestCommands = {"cputest", "proctest", "calibrate", "sdclean"};
// The production workflows of the programming and stock buttons.
const std::set<std::string> kProductionCommands = {"program", "stock"};
// The production workflows of one numbered device, with the record tree under --snr.
const std::set<std::string> kRecordWorkflowCommands = {"endtest", "repair-start", "repair-end"};
// The password a device gets in production unless another is given.
constexpr const char* kServicePassword = "730";

// A usage error: its reason on one line, then where the help is (37405); exit status 1.
int usageError(std::FILE* err, const std::string& why)
{
    std::fprintf(err, "vestrolan-cli: %s\n%s\n", why.c_str(), platform::cp1252ToUtf8(app::loadText(37405)).c_str());
    return 1;
}

// The language of this run: --lang when it is "de" or "en", else the stored choice. False for
// another --lang value (the stored choice is used for the message then).
bool chooseLanguage(const std::optional<std::string>& lang)
{
    const bool given = lang && (*lang == "de" || *lang == "en");
    app::CApp::instance().setTextIdOffset(!given ? app::determineLanguage(platform::machineSettings())
                                          : *lang == "en" ? app::kEnglishOffset
                                                          : app::kGermanOffset);
    return given || !lang;
}

struct Arguments {
    std::map<std::string, std::string> values;
    std::multimap<std::string, std::string> lists;  // repeatable options, in the order given
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
        } else if (kValueOptions.count(word) || kListOptions.count(word)) {
            if (i + 1 >= argc) {
                a.error = "option " + word + " needs a value";
                return a;
            }
            const std::string value = platform::utf8ToCp1252(argv[++i]);
            if (kListOptions.count(word)) a.lists.emplace(word, value);
            else a.values[word] = value;
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
        channel_.setAnswerYes(args_.has("--yes"));

        const int count = app::enumerateNetworkCards(&cards_);
        if (command == "cards") return listCards(count);
        if (kRecordWorkflowCommands.count(command)) {
            if (count <= 0) return failWith(loadText(30037));
            return recordWorkflowCommand(command);
        }
        static const std::set<std::string> kDeviceCommands = {"search", "setnet", "rename", "backup",
                                                              "restore", "update", "serial", "clock"};
        if (kProductionCommands.count(command)) return productionCommand(command);
        if (command == "endurance") return enduranceCommand();
        if (!kDeviceCommands.count(command) && !kFunctionTestCommands.count(command)) {
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
        if (kFunctionTestCommands.count(command)) return functionTestCommand(command);
        return deviceCommand(command);
    }

private:
    static std::string loadText(app::TextId id) { return app::loadText(id); }

    int usage(const std::string& why) { return usageError(err_, why); }

    int failWith(const std::string& text)
    {
        std::fprintf(out_, "%s\n", platform::cp1252ToUtf8(text).c_str());
        return 1;
    }

    // A device whose search answer marks it protected gets nothing without --password: an empty
    // password would only come back as "wrong password". True (37401 printed) when refused.
    bool refusedWithoutPassword(const net::DeviceRecord& device, const std::string& macAsGiven)
    {
        constexpr app::TextId kPasswordNeeded = 37401;
        if (args_.has("--password") || !device.passwordRequired) return false;
        failWith(app::formatText(loadText(kPasswordNeeded), macAsGiven.c_str()));
        return true;
    }

    int listCards(int count)
    {
        if (count < 0) return failWith(loadText(30037));
        for (const auto& card : cards_) {
            std::string line = std::to_string(card.index) + "\t" + printable(card.description);
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
            line += printable(ops::deviceColumnText(r, column));
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
        channel_.beginSearchProgress(list->jobs().size());
        std::vector<std::thread> workers;
        for (const auto& job : list->jobs()) workers.push_back(ops::startSearchWorker(list, *job));
        for (auto& w : workers) w.join();
        channel_.endSearchProgress();
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
            operation = command == "backup" ? ops::serviceBackup : ops::restoreConfiguration;
        }

        if (!search()) return 1;
        net::DeviceRecord probe;
        probe.mac = mac;
        const int row = channel_.devices().rowOf(probe);
        if (row < 0) return failWith(loadText(35204));
        net::DeviceRecord* device = channel_.devices().at(row);
        channel_.devices().setCurrent(device);
        if (refusedWithoutPassword(*device, args_.positional[1])) return 1;

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
        const std::string sign = args_.has("--sign") ? app::trimOperatorSign(args_.value("--sign")) : "CLI";
        if (!app::isValidOperatorSign(sign)) return failWith(loadText(app::kInvalidSignText));
        channel_.setOperatorSign(sign);
        app::AppSettings settings = app::CApp::instance().settings();
        settings.serialNumberPath = args_.value("--snr");
        app::CApp::instance().setSettings(settings);
        // A serial-number folder works only with its log in place; the log is never created here.
        if (!settings.serialNumberPath.empty() &&
            !platform::canOpenForReading(platform::joinPath(settings.serialNumberPath, app::kSerialLogName))) {
            return failWith(loadText(30040));
        }

        uint32_t serial = 0;
        if (command == "serial") {
            if (auto refusal = ops::checkSerialInput(args_.positional[2], serial)) return failWith(loadText(*refusal));
        }
        std::vector<net::Mac> macs;
        std::vector<std::string> givenMacs;
        if (command == "update") {
            float version = 0;
            const std::string& file = args_.positional[2];
            if (file.size() >= 260) return usage("the file path is too long");
            if (!app::firmwareVersionFromFileName(file, version)) {
                std::fprintf(err_, "vestrolan-cli: note: %s is not named like a firmware file (VestrolanVnnn.hex)\n",
                             platform::cp1252ToUtf8(file).c_str());
            }
            if (!parseMacList(args_.positional[1], macs, &givenMacs)) return 1;
            // A broken file reaches no device: it is refused before the search.
            app::FirmwareFault fault;
            switch (app::checkFirmwareFile(file, &fault)) {
            case app::FirmwareFileCheck::Good: break;
            case app::FirmwareFileCheck::CannotOpen: return failWith(loadText(35211));
            case app::FirmwareFileCheck::Faulty: return failWith(app::firmwareFaultText(fault));
            }
            if (macs.size() > 1) return updateSeveral(macs, givenMacs, file);
        }
        net::DeviceRecord* device = findDevice(args_.positional[1]);
        if (!device) return 1;
        // Before the serial number's line goes into the log: a refusal leaves no unanswered line.
        if (refusedWithoutPassword(*device, args_.positional[1])) return 1;

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
            if (!log.assignSerialNumber(serial, prompt)) return 1;
            device->serialNumber = serial;
            device->serialModified = true;
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

    // The scripted operator of the function tests and workflows, from the options. Refusals of a
    // value print the window's message and give 1; a malformed option gives the usage.
    std::optional<int> readScript(ScriptedOperator& script)
    {
        script.yes = args_.has("--yes");
        for (const auto& [option, value] : args_.lists) {
            const size_t eq = value.find('=');
            const std::string idText = value.substr(0, eq);
            const int id = app::parseLeadingInteger(idText);
            if (eq == std::string::npos || idText.empty() || idText.find_first_not_of("0123456789") != std::string::npos ||
                id < 30000 || id > 39999) {
                return usage(option + " takes ID=..., ID being a German text id");
            }
            const std::string rest = value.substr(eq + 1);
            if (option == "--answer") {
                if (rest != "yes" && rest != "no") return usage("--answer takes ID=yes or ID=no");
                script.answers[id] = rest == "yes";
            } else {
                if (script.noticeHooks.count(id)) return usage("--on-notice: one command per notice id");
                script.noticeHooks[id] = platform::cp1252ToUtf8(rest);
            }
        }
        if (args_.has("--config")) {
            const std::string config = args_.value("--config");
            if (config == "keep") {
                script.keepConfiguration = true;
            } else {
                const auto bytes = platform::readFileBytes(platform::osPath(config));
                if (!bytes) return usage("--config " + platform::cp1252ToUtf8(config) + ": cannot read the file");
                script.configuration = *bytes;
            }
        }
        if (args_.has("--calibrate")) {
            std::array<std::string, 4> fields;
            size_t count = 0;
            std::string text = args_.value("--calibrate");
            for (size_t start = 0;; ++count) {
                const size_t comma = text.find(',', start);
                if (count < 4) fields[count] = text.substr(start, comma - start);
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
            if (count != 3) return usage("--calibrate takes four comma-separated numbers");
            for (const auto& f : fields) {
                const size_t digits = std::count_if(f.begin(), f.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
                const bool number = !f.empty() && digits > 0 && f.find_first_not_of("0123456789.") == std::string::npos &&
                                    std::count(f.begin(), f.end(), '.') <= 1;
                if (!number) return usage("--calibrate: '" + f + "' is not a number");
            }
            config::CalibrationValues values;
            const auto check = config::checkCalibrationEntries(fields, values);
            if (check != config::CalibrationCheck::Accepted) return failWith(loadText(config::textIdOf(check)));
            script.calibration = std::array<double, 4>{values.primary, values.secondary, values.voltage, values.current};
        }
        if (args_.has("--serial")) {
            uint32_t serial = 0;
            if (auto refusal = ops::checkSerialInput(args_.value("--serial"), serial)) return failWith(loadText(*refusal));
            script.serialNumber = serial;
        }
        if (args_.has("--release-password")) script.releasePassword = args_.value("--release-password");
        return std::nullopt;
    }

    // The function tests: run with a log window as inside a workflow, then the last result and
    // (CPU test) the findings on the output stream.
    int functionTestCommand(const std::string& command)
    {
        if (args_.positional.size() != 2) return usage(command + ": wrong number of arguments");
        ScriptedOperator script;
        if (auto refused = readScript(script)) return *refused;
        const std::string ssid = args_.has("--ssid") ? args_.value("--ssid") : ops::kDeviceWlanName;
        if (ssid.size() > 32) return usage("--ssid: a network name has at most 32 characters");
        const std::string sign = args_.has("--sign") ? app::trimOperatorSign(args_.value("--sign")) : "CLI";
        if (!app::isValidOperatorSign(sign)) return failWith(loadText(app::kInvalidSignText));
        channel_.setScript(script);
        channel_.setOperatorSign(sign);
        const std::string password = args_.has("--password") ? args_.value("--password") : kServicePassword;

        net::DeviceRecord* device = findDevice(args_.positional[1]);
        if (!device) return 1;
        ops::LogWindow* log = channel_.createLogWindow();
        bool passed = false;
        app::TextId last = 0;
        std::vector<app::TextId> findings;
        std::thread worker([&] {
            if (command == "cputest") {
                ops::CpuTestParams p;
                fill(p, device, password, log);
                p.testI2c = args_.has("--i2c");
                p.ssid.assign(ssid);
                passed = ops::runCpuTest(p) && p.passed;
                last = p.lastResult;
                findings = p.findings;
            } else if (command == "proctest") {
                ops::ProcessTestParams p;
                fill(p, device, password, log);
                p.skipFollowUp = args_.has("--skip-follow-up");
                passed = ops::runProcessListTest(p) && p.passed;
                last = p.lastResult;
            } else {
                ops::DeviceStepParams p;
                fill(p, device, password, log);
                passed = command == "calibrate" ? ops::runCalibration(p) : ops::cleanSdCard(p);
                last = p.lastResult;
            }
            ops::finishWorkflow(channel_, log);
            channel_.operationFinished();
        });
        worker.join();
        if (last != 0) std::fprintf(out_, "%s\n", platform::cp1252ToUtf8(loadText(last)).c_str());
        for (app::TextId f : findings) std::fprintf(out_, "%s\n", platform::cp1252ToUtf8(loadText(f)).c_str());
        std::fflush(out_);
        return passed ? 0 : 1;
    }

    // "program" and "stock": the starter of the window's button with the scripted operator.
    int productionCommand(const std::string& command)
    {
        if (args_.positional.size() != 1) return usage(command + " takes no arguments");
        if (command == "program" && !args_.has("--ipe")) return usage("program needs --ipe DIR");
        // The programmer's time limit: the option, else the stored setting, else 600 s.
        uint32_t timeout = 0;
        if (!args_.has("--programmer-timeout")) {
            timeout = app::storedProgrammerTimeout(platform::machineSettings());
        } else {
            const std::string text = args_.value("--programmer-timeout");
            const bool digits = !text.empty() && text.size() <= 6 && text.find_first_not_of("0123456789") == std::string::npos;
            const unsigned long seconds = digits ? std::stoul(text) : 0;
            if (seconds < app::kMinProgrammerTimeoutSeconds || seconds > app::kMaxProgrammerTimeoutSeconds) {
                return usage("--programmer-timeout takes a number of seconds from 60 to 86400");
            }
            timeout = static_cast<uint32_t>(seconds);
        }
        if (!args_.has("--fw")) return usage(command + " needs --fw DIR");
        if (!args_.has("--target")) return usage(command + " needs --target A.B.C.D");
        const auto target = ops::parseFourPartAddress(args_.value("--target"));
        if (!target) return usage("--target " + args_.value("--target") + ": not an IPv4 address");
        ScriptedOperator script;
        if (auto refused = readScript(script)) return *refused;
        const std::string ssid = args_.has("--ssid") ? args_.value("--ssid") : ops::kDeviceWlanName;
        if (ssid.size() > 32) return usage("--ssid: a network name has at most 32 characters");
        const std::string sign = args_.has("--sign") ? app::trimOperatorSign(args_.value("--sign")) : "CLI";
        if (!app::isValidOperatorSign(sign)) return failWith(loadText(app::kInvalidSignText));
        // Without --card the starter refuses with 30037, as the window does without a selected card.
        const app::NetworkCard* card = nullptr;
        if (auto refused = namedCard(card)) return *refused;
        if (command == "stock") {
            if (auto refused = useSerialNumberFolder()) return *refused;
        }
        const app::AppSettings settings = app::CApp::instance().settings();
        channel_.setScript(script);
        channel_.setOperatorSign(sign);

        ops::ProductionStart start;
        start.card = card;
        start.target = *target;
        start.firmwareFolder = args_.value("--fw");
        start.programmerFolder = args_.value("--ipe");
        start.serialNumberPath = settings.serialNumberPath;
        start.testI2c = args_.has("--i2c");
        start.ssid = ssid;
        start.programmerTimeoutSeconds = timeout;
        start.password = args_.has("--password") ? args_.value("--password") : kServicePassword;
        // The workflow's search runs while the busy flag is set, as after the window's button.
        start.beforeStart = [this] { channel_.setBusy(true); };
        const ops::StartOutcome outcome = command == "program" ? ops::startInitialProgramming(channel_, start)
                                                               : ops::startStockUpdate(channel_, start);
        channel_.endProgress();
        return outcome == ops::StartOutcome::Started && *start.succeeded ? 0 : 1;
    }

    // The card --card names (none without --card); the usage when it names no card.
    std::optional<int> namedCard(const app::NetworkCard*& card)
    {
        card = nullptr;
        if (!args_.has("--card")) return std::nullopt;
        const std::string text = args_.value("--card");
        const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
        for (const auto& c : cards_) {
            if (digits && c.index == app::parseLeadingInteger(text)) card = &c;
        }
        if (!card) return usage("--card " + text + ": no such card (see 'vestrolan-cli cards')");
        return std::nullopt;
    }

    // --snr as the serial-number folder of this run; 30040 when it holds no SNR.LOG.
    std::optional<int> useSerialNumberFolder()
    {
        app::AppSettings settings = app::CApp::instance().settings();
        settings.serialNumberPath = args_.value("--snr");
        app::CApp::instance().setSettings(settings);
        if (settings.serialNumberPath.empty() ||
            !platform::canOpenForReading(platform::joinPath(settings.serialNumberPath, app::kSerialLogName))) {
            return failWith(loadText(30040));
        }
        return std::nullopt;
    }

    // The endurance run: the dialog's rules on the options, the start button's starter with the
    // scripted operator. Exit 0 when the run was not aborted and every device completed it.
    int enduranceCommand()
    {
        if (args_.positional.size() != 1) return usage("endurance takes no arguments");
        for (const char* needed : {"--snr", "--fw", "--target", "--type", "--number"}) {
            if (!args_.has(needed)) return usage(std::string("endurance needs ") + needed);
        }
        const std::string type = args_.value("--type");
        if (type != "production" && type != "repair") return usage("--type takes production or repair");
        const bool repair = type == "repair";
        const auto target = ops::parseFourPartAddress(args_.value("--target"));
        if (!target) return usage("--target " + args_.value("--target") + ": not an IPv4 address");

        ops::EnduranceForm form;
        form.setRepair(repair);
        form.number = args_.value("--number");
        if (form.number.size() > ops::kMaxFolderNumberLength) {
            return usage("a batch or repair number has at most " + std::to_string(ops::kMaxFolderNumberLength) +
                         " characters");
        }
        const std::string countText = args_.has("--count") ? args_.value("--count") : (repair ? "1" : "");
        if (countText.empty() || countText.size() > ops::kCountDigits ||
            countText.find_first_not_of("0123456789") != std::string::npos) {
            return usage("--count takes a number from 1 to 999");
        }
        if (repair && (countText != "1" || args_.has("--serials"))) {
            return usage("a repair run has one device and takes no --serials");
        }
        form.setCountText(countText);
        if (args_.has("--serials") && form.count() > 0) {
            std::vector<std::string> values;
            const std::string list = args_.value("--serials");
            for (size_t start = 0;;) {
                const size_t comma = list.find(',', start);
                values.push_back(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
            if (values.size() != form.count()) {
                return usage("--serials takes exactly " + std::to_string(form.count()) + " numbers");
            }
            // Row by row as the editor takes them, so each given number stays as given.
            for (size_t row = 0; row < values.size(); ++row) {
                if (values[row].empty() || form.editRow(row, values[row])) return failWith(loadText(31213));
            }
        }
        std::vector<uint32_t> serials;
        if (auto refusal = form.accept(serials)) return failWith(loadText(*refusal));
        uint32_t passes = 0;
        if (args_.has("--passes")) {
            const std::string text = args_.value("--passes");
            const bool digits = !text.empty() && text.size() <= 6 && text.find_first_not_of("0123456789") == std::string::npos;
            passes = digits ? static_cast<uint32_t>(std::stoul(text)) : 0;
            if (passes == 0) return usage("--passes takes a number of passes from 1");
        }

        ScriptedOperator script;
        if (auto refused = readScript(script)) return *refused;
        const std::string sign = args_.has("--sign") ? app::trimOperatorSign(args_.value("--sign")) : "CLI";
        if (!app::isValidOperatorSign(sign)) return failWith(loadText(app::kInvalidSignText));
        const app::NetworkCard* card = nullptr;
        if (auto refused = namedCard(card)) return *refused;
        if (!card) return failWith(loadText(30037));
        if (auto refused = useSerialNumberFolder()) return *refused;
        const app::AppSettings settings = app::CApp::instance().settings();
        channel_.setScript(script);
        channel_.setOperatorSign(sign);

        ops::EnduranceStart start;
        start.card = card;
        start.target = *target;
        start.firmwareFolder = args_.value("--fw");
        start.root = settings.serialNumberPath;
        start.repair = repair;
        start.number = form.number;
        start.serials = serials;
        start.password = args_.has("--password") ? args_.value("--password") : kServicePassword;
        start.passLimit = passes;
        start.beforeStart = [this] { channel_.setEnduranceActive(true); };
        auto outcome = std::make_shared<ops::EnduranceOutcome>();
        const ops::StartOutcome started = ops::startEnduranceRun(channel_, start, outcome);
        channel_.setEnduranceActive(false);
        channel_.endProgress();
        if (started != ops::StartOutcome::Started) return 1;
        std::string summary = outcome->summary;
        for (size_t at; (at = summary.find("\r\n")) != std::string::npos;) summary.replace(at, 2, "\n");
        while (!summary.empty() && summary.front() == '\n') summary.erase(0, 1);
        if (!summary.empty() && summary.back() != '\n') summary += '\n';
        std::fputs(platform::cp1252ToUtf8(summary).c_str(), out_);
        std::fflush(out_);
        return outcome->allPassed() && outcome->logSaved ? 0 : 1;
    }

    // The final test and the repair: every value checked before anything is sent or written, then
    // the button's starter with the scripted operator. Exit 0 only for the workflow's success text
    // with every record written.
    int recordWorkflowCommand(const std::string& command)
    {
        const size_t wanted = command == "endtest" ? 2 : 3;
        if (args_.positional.size() != wanted) return usage(command + ": wrong number of arguments");
        if (!args_.has("--snr")) return usage(command + " needs --snr DIR");
        std::optional<std::string> repairNumber;
        if (wanted == 3) {
            repairNumber = args_.positional[2];
            if (repairNumber->size() > ops::kMaxFolderNumberLength) {
                return usage("a repair number has at most " + std::to_string(ops::kMaxFolderNumberLength) +
                             " characters");
            }
            if (auto refusal = ops::checkFolderNumber(*repairNumber, 30904)) return failWith(loadText(*refusal));
        }
        ScriptedOperator script;
        if (auto refused = readScript(script)) return *refused;
        const std::string ssid = args_.has("--ssid") ? args_.value("--ssid") : ops::kDeviceWlanName;
        if (ssid.size() > 32) return usage("--ssid: a network name has at most 32 characters");
        const std::string sign = args_.has("--sign") ? app::trimOperatorSign(args_.value("--sign")) : "CLI";
        if (!app::isValidOperatorSign(sign)) return failWith(loadText(app::kInvalidSignText));
        if (auto refused = useSerialNumberFolder()) return *refused;
        const app::AppSettings settings = app::CApp::instance().settings();
        channel_.setScript(script);
        channel_.setOperatorSign(sign);
        channel_.setRepairNumber(repairNumber);

        net::DeviceRecord* device = findDevice(args_.positional[1]);
        if (!device) return 1;
        ops::ProductionSettings production;
        production.root = settings.serialNumberPath;
        production.ssid = ssid;
        production.password = args_.has("--password") ? args_.value("--password") : kServicePassword;
        auto outcome = std::make_shared<ops::WorkflowOutcome>();
        ops::StartOutcome started;
        if (command == "endtest") started = ops::startFinalTest(channel_, device, production, outcome);
        else if (command == "repair-start") started = ops::startRepairStart(channel_, device, production, outcome);
        else started = ops::startRepairEnd(channel_, device, production, outcome);
        std::fflush(out_);
        if (started != ops::StartOutcome::Started) return 1;
        const bool success = outcome->result == 35412 || outcome->result == 35413 || outcome->result == 35415;
        return success && outcome->recordsWritten ? 0 : 1;
    }

    template <typename Params>
    void fill(Params& p, net::DeviceRecord* device, const std::string& password, ops::LogWindow* log)
    {
        p.window = &channel_;
        p.device = device;
        p.password.assign(password);
        p.log = log;
    }

    // "MAC,MAC,...": every part a MAC address (`given` gets each part as written); false (with the
    // usage shown) otherwise.
    bool parseMacList(const std::string& text, std::vector<net::Mac>& macs, std::vector<std::string>* given = nullptr)
    {
        size_t start = 0;
        while (true) {
            const size_t comma = text.find(',', start);
            const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            net::Mac mac{};
            if (!net::parseMac(part, mac)) {
                usage("'" + part + "' is not a MAC address");
                return false;
            }
            macs.push_back(mac);
            if (given) given->push_back(part);
            if (comma == std::string::npos) return true;
            start = comma + 1;
        }
    }

    // The update of several devices: one search, then each device in the order given. Prints one
    // line per device (its MAC as the search prints it, a TAB, its last result) and the summary.
    int updateSeveral(const std::vector<net::Mac>& macs, const std::vector<std::string>& given, const std::string& file)
    {
        if (!search()) return 1;
        // Every protected device of the served kind is named before any device gets anything.
        bool refused = false;
        for (size_t i = 0; i < macs.size(); ++i) {
            net::DeviceRecord probe;
            probe.mac = macs[i];
            const net::DeviceRecord* device = channel_.devices().at(channel_.devices().rowOf(probe));
            if (device && device->productKind == 0 && refusedWithoutPassword(*device, given[i])) refused = true;
        }
        if (refused) return 1;
        auto params = std::make_unique<ops::BulkUpdateParams>();
        params->window = &channel_;
        params->firmwarePath.assign(file);
        params->showSummary = false;
        for (const auto& mac : macs) {
            ops::BulkUpdateDevice entry;
            entry.mac = mac;
            entry.password.assign(args_.value("--password"));
            params->devices.push_back(entry);
        }
        bool ok = false;
        std::thread worker([&] { ok = ops::bulkUpdate(*params); channel_.operationFinished(); });
        worker.join();
        for (const auto& result : params->results) {
            std::fprintf(out_, "%s\t%s\n", net::macText(result.mac).c_str(), platform::cp1252ToUtf8(result.text).c_str());
        }
        std::fprintf(out_, "%s\n",
                     platform::cp1252ToUtf8(ops::bulkSummaryText(params->updated, params->failed, params->skipped)).c_str());
        std::fflush(out_);
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

std::vector<std::string> acceptedOptions()
{
    std::vector<std::string> options(kValueOptions.begin(), kValueOptions.end());
    options.insert(options.end(), kListOptions.begin(), kListOptions.end());
    options.insert(options.end(), kFlagOptions.begin(), kFlagOptions.end());
    for (const char* own : {"--help", "-h", "--version"}) options.push_back(own);
    return options;
}

std::string helpText() { return kUsage; }

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
            std::optional<std::string> lang;
            for (int k = 1; k + 1 < i; ++k) {
                if (std::string(argv[k]) == "--lang") lang = argv[k + 1];
            }
            if (!chooseLanguage(lang)) return usageError(err, "--lang takes de or en");
            return runConfigCommand(std::vector<std::string>(argv + i + 1, argv + argc), out, err);
        }
        if (kValueOptions.count(word) || kListOptions.count(word)) ++i;
        else if (word.rfind("--", 0) != 0) break;
    }
    if (platform::wlanDoubleActive()) {
        std::fprintf(err, "vestrolan-cli: note: the WLAN join is the test double (%s is set); "
                          "a CPU test passed with it proves nothing about a real WLAN\n",
                     platform::kWlanDoubleVariable);
    }
    const Arguments args = parseArguments(argc, argv);
    // The language first, so that even a usage error names the help in it.
    std::optional<std::string> lang;
    if (args.values.count("--lang")) lang = args.value("--lang");
    if (!chooseLanguage(lang)) return usageError(err, "--lang takes de or en");
    if (!args.error.empty()) return usageError(err, args.error);
    return Session(channel, out, err, args).run();
}

}  // namespace vst::cli
