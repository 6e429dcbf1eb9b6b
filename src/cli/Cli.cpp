#include "cli/Cli.h"

#include "cli/CliOptions.h"
#include "cli/CliSession.h"
#include "cli/ConfigCommand.h"
#include "cli/ReportCommand.h"

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
#include "ops/RunJournal.h"
#include "config/CalibrationRequest.h"
#include "ops/BulkUpdate.h"
#include "ops/DeviceColumns.h"
#include "ops/FunctionTests.h"
#include "ops/DeviceListCsv.h"
#include "ops/Endurance.h"
#include "ops/InputChecks.h"
#include "ops/Production.h"
#include "ops/ProductionStarts.h"
#include "ops/ServiceStarts.h"
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

const std::set<std::string> kFunctionTestCommands = {"cputest", "proctest", "calibrate", "sdclean"};
// The production workflows of the programming and stock buttons.
const std::set<std::string> kProductionCommands = {"program", "stock"};
// The production workflows of one numbered device, with the record tree under --snr.
const std::set<std::string> kRecordWorkflowCommands = {"endtest", "repair-start", "repair-end"};

}  // namespace

int Session::run()
{
    if (args_.positional.empty()) return usage("no command given");
    const std::string& command = args_.positional[0];
    channel_.setAnswerYes(args_.has("--yes"));

    const int count = app::enumerateNetworkCards(&cards_);
    if (command == "cards") return listCards(count);
    // The journal names this station with the card --card names, if any.
    const app::NetworkCard* journalCard = nullptr;
    for (const auto& c : cards_) {
        if (args_.has("--card") && std::to_string(c.index) == args_.value("--card")) journalCard = &c;
    }
    ops::setJournalStation(ops::kConsoleProgram, ops::journalCardText(journalCard));
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

bool Session::refusedWithoutPassword(const net::DeviceRecord& device, const std::string& macAsGiven)
{
    constexpr app::TextId kPasswordNeeded = 37401;
    if (args_.has("--password") || !device.passwordRequired) return false;
    failWith(app::formatText(loadText(kPasswordNeeded), macAsGiven.c_str()));
    return true;
}

int Session::listCards(int count)
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

void Session::printDevice(const net::DeviceRecord& r)
{
    std::string line;
    for (int column = ops::kColumnName; column <= ops::kColumnBootloaderVersion; ++column) {
        if (column > ops::kColumnName) line += '\t';
        line += printable(ops::deviceColumnText(r, column));
    }
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
}

bool Session::search()
{
    ops::SearchStart start;
    start.cards = &cards_;
    if (args_.has("--card")) {
        const std::string text = args_.value("--card");
        const int index = app::parseLeadingInteger(text);
        if (text.empty() || index < 0 || index >= static_cast<int>(cards_.size())) {
            usage("--card " + text + ": no such card (see 'vestrolan-cli cards')");
            return false;
        }
        for (const auto& card : cards_) {
            if (card.index == index) start.only = &card;
        }
        // A card list whose indexes are not its positions searches no card, as before.
        if (!start.only) start.cards = nullptr;
    }
    if (args_.has("--target")) {
        const auto parsed = ops::parseFourPartAddress(args_.value("--target"));
        if (!parsed) {
            usage("--target " + args_.value("--target") + ": not an IPv4 address");
            return false;
        }
        start.target = *parsed;
    }
    start.directedOnly = args_.has("--directed-only");
    start.kind0Only = args_.has("--kind0-only");
    const auto jobs = ops::searchJobs(channel_, start);
    channel_.searchStarted();
    channel_.beginSearchProgress(jobs->jobs().size());
    for (const auto& job : jobs->jobs()) channel_.workers().start(ops::searchTask(jobs, *job));
    channel_.workers().waitForAll();
    channel_.endSearchProgress();
    channel_.endProgress();
    return true;
}

int Session::deviceCommand(const std::string& command)
{
    const size_t wanted = command == "setnet" ? 2 : 3;
    if (args_.positional.size() != wanted) return usage(command + ": wrong number of arguments");
    net::Mac mac{};
    if (!net::parseMac(args_.positional[1], mac)) return usage("'" + args_.positional[1] + "' is not a MAC address");

    ops::DeviceCommandStart start;
    ops::NetworkValues network{};
    if (command == "setnet") {
        static const std::map<std::string, int> modes = {{"off", 0}, {"client", 1}, {"server", 2}};
        const auto mode = modes.find(args_.value("--dhcp"));
        if (mode == modes.end()) return usage("setnet needs --dhcp off|client|server");
        const ops::NetworkInput input{mode->second,        args_.value("--ip"),   args_.value("--mask"),
                                      args_.value("--gateway"), args_.value("--dns1"), args_.value("--dns2")};
        if (auto refusal = ops::checkNetworkInput(input, network)) return failWith(loadText(*refusal));
        start.operation = ops::sendNetworkConfiguration;
    } else if (command == "rename") {
        const std::string& name = args_.positional[2];
        if (name.empty()) return failWith(loadText(30504));
        if (name.size() > 15) return usage("a device name has at most 15 characters");
        start.operation = ops::sendDeviceName;
    } else {
        start.file = args_.positional[2];
        if (ops::pathTooLong(start.file)) return usage("the file path is too long");
        start.operation = command == "backup" ? ops::serviceBackup : ops::restoreConfiguration;
    }

    net::DeviceRecord* device = findDevice(args_.positional[1]);
    if (!device) return 1;
    if (refusedWithoutPassword(*device, args_.positional[1])) return 1;
    if (command == "setnet") {
        net::editNetworkSettings(*device, dhcpModeOf(), net::toNetworkOrder(network.address),
                                 net::toNetworkOrder(network.mask), net::toNetworkOrder(network.gateway),
                                 net::toNetworkOrder(network.dns1), net::toNetworkOrder(network.dns2));
    } else if (command == "rename") {
        device->name.assign(args_.positional[2]);
        device->nameModified = true;
    }
    start.device = device;
    start.broadcast = args_.has("--broadcast") && command != "rename";
    ops::startDeviceCommand(channel_, passwordPolicy(), start);
    return *start.succeeded ? 0 : 1;
}

net::DeviceRecord* Session::findDevice(const std::string& macText)
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

int Session::webCommand(const std::string& command)
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
    ScriptedOperator script = channel_.script();
    if (command == "serial") {
        uint32_t serial = 0;
        if (auto refusal = ops::checkSerialInput(args_.positional[2], serial)) return failWith(loadText(*refusal));
        // The serial-number dialog's answer and the release dialogue's password.
        script.serialNumber = serial;
        if (args_.has("--release-password")) script.releasePassword = args_.value("--release-password");
    }
    ops::UpdateStart update;
    if (command == "update") {
        if (auto refused = updateInput(update)) return *refused;
        if (update.several) return updateSeveral(update);
    }
    net::DeviceRecord* device = findDevice(args_.positional[1]);
    if (!device) return 1;
    // Before the serial number's line goes into the log: a refusal leaves no unanswered line.
    if (refusedWithoutPassword(*device, args_.positional[1])) return 1;
    const std::string password = args_.value("--password");
    auto succeeded = std::make_shared<bool>(false);
    if (command == "update") {
        update.devices.push_back(device);
        ops::startUpdate(channel_, passwordPolicy(), update);
        succeeded = update.succeeded;
    } else if (command == "serial") {
        channel_.setScript(script);
        if (ops::startSerialNumber(channel_, device, password, succeeded) != ops::StartOutcome::Started) return 1;
    } else {
        ops::startClock(channel_, device, password, succeeded);
    }
    return *succeeded ? 0 : 1;
}

std::optional<int> Session::updateInput(ops::UpdateStart& update)
{
    update.file = args_.positional[2];
    if (ops::pathTooLong(update.file)) return usage("the file path is too long");
    float version = 0;
    if (!app::firmwareVersionFromFileName(update.file, version)) {
        std::fprintf(err_, "vestrolan-cli: note: %s is not named like a firmware file (VestrolanVnnn.hex)\n",
                     platform::cp1252ToUtf8(update.file).c_str());
    }
    if (!parseMacList(args_.positional[1], update.macs, &givenMacs_)) return 1;
    if (auto refusal = ops::firmwareFileRefusal(update.file)) return failWith(refusal->text);
    update.several = update.macs.size() > 1;
    if (!update.several) update.macs.clear();
    update.showSummary = false;
    return std::nullopt;
}

bool Session::parseMacList(const std::string& text, std::vector<net::Mac>& macs, std::vector<std::string>* given)
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

int Session::updateSeveral(ops::UpdateStart& update)
{
    if (!search()) return 1;
    // Every protected device of the served kind is named before any device gets anything.
    bool refused = false;
    for (size_t i = 0; i < update.macs.size(); ++i) {
        net::DeviceRecord probe;
        probe.mac = update.macs[i];
        const net::DeviceRecord* device = channel_.devices().at(channel_.devices().rowOf(probe));
        if (device && device->productKind == 0 && refusedWithoutPassword(*device, givenMacs_[i])) refused = true;
    }
    if (refused) return 1;
    ops::startUpdate(channel_, passwordPolicy(), update);
    const ops::BulkUpdateParams& run = *update.bulk;
    for (const auto& result : run.results) {
        std::fprintf(out_, "%s\t%s\n", net::macText(result.mac).c_str(), platform::cp1252ToUtf8(result.text).c_str());
    }
    std::fprintf(out_, "%s\n", platform::cp1252ToUtf8(ops::bulkSummaryText(run.updated, run.failed, run.skipped)).c_str());
    std::fflush(out_);
    return *update.succeeded ? 0 : 1;
}


int runCli(int argc, char** argv, ConsoleChannel& channel, std::FILE* out, std::FILE* err)
{
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--help" || word == "-h") {
            std::fputs(helpText().c_str(), out);
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
        if (word == "report") {
            std::vector<std::string> rest(argv + 1, argv + i);
            rest.insert(rest.end(), argv + i + 1, argv + argc);
            const auto lang = std::find(rest.begin(), rest.end(), "--lang");
            if (!chooseLanguage(lang != rest.end() && lang + 1 != rest.end() ? std::optional(*(lang + 1)) : std::nullopt)) {
                return usageError(err, "--lang takes de or en");
            }
            return runReportCommand(rest, out, err);
        }
        if (takesValue(word)) ++i;
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
