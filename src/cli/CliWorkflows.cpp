#include "cli/CliSession.h"

#include <memory>
#include <string>
#include <vector>

#include "app/CApp.h"
#include "app/CommandLine.h"
#include "app/Records.h"
#include "app/SerialLog.h"
#include "ops/Endurance.h"
#include "ops/FunctionTests.h"
#include "ops/InputChecks.h"
#include "ops/Production.h"
#include "ops/ProductionStarts.h"
#include "ops/Workflow.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"

namespace vst::cli {

std::optional<int> Session::operatorOptions(ScriptedOperator& script, std::string& sign, std::string* ssid)
{
    if (auto refused = readScript(args_, script, out_, err_)) return refused;
    if (ssid) {
        *ssid = args_.has("--ssid") ? args_.value("--ssid") : ops::kDeviceWlanName;
        if (ssid->size() > 32) return usage("--ssid: a network name has at most 32 characters");
    }
    sign = args_.has("--sign") ? app::trimOperatorSign(args_.value("--sign")) : "CLI";
    if (!app::isValidOperatorSign(sign)) return failWith(loadText(app::kInvalidSignText));
    return std::nullopt;
}

app::AppSettings Session::operatorFor(const ScriptedOperator& script, const std::string& sign)
{
    channel_.setScript(script);
    channel_.setOperatorSign(sign);
    return app::CApp::instance().settings();
}

std::string Session::workflowPassword() const
{
    return args_.has("--password") ? args_.value("--password") : ops::kServicePassword;
}

int Session::functionTestCommand(const std::string& command)
{
    if (args_.positional.size() != 2) return usage(command + ": wrong number of arguments");
    ScriptedOperator script;
    std::string sign;
    std::string ssid;
    if (auto refused = operatorOptions(script, sign, &ssid)) return *refused;
    channel_.setScript(script);
    channel_.setOperatorSign(sign);
    const std::string password = workflowPassword();

    net::DeviceRecord* device = findDevice(args_.positional[1]);
    if (!device) return 1;
    ops::LogWindow* log = channel_.createLogWindow();
    bool passed = false;
    app::TextId last = 0;
    std::vector<app::TextId> findings;
    channel_.workers().start([&] {
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
    channel_.workers().waitForAll();
    if (last != 0) std::fprintf(out_, "%s\n", platform::cp1252ToUtf8(loadText(last)).c_str());
    for (app::TextId f : findings) std::fprintf(out_, "%s\n", platform::cp1252ToUtf8(loadText(f)).c_str());
    std::fflush(out_);
    return passed ? 0 : 1;
}

int Session::productionCommand(const std::string& command)
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
    std::string sign;
    std::string ssid;
    if (auto refused = operatorOptions(script, sign, &ssid)) return *refused;
    // Without --card the starter refuses with 30037, as the window does without a selected card.
    const app::NetworkCard* card = nullptr;
    if (auto refused = namedCard(card)) return *refused;
    if (command == "stock") {
        if (auto refused = useSerialNumberFolder()) return *refused;
    }
    operatorFor(script, sign);

    ops::ProductionStart start;
    start.card = card;
    start.target = *target;
    start.firmwareFolder = args_.value("--fw");
    start.programmerFolder = args_.value("--ipe");
    // The records root is the one --snr names (the journal; the stock update's file), none without.
    start.serialNumberPath = args_.value("--snr");
    start.testI2c = args_.has("--i2c");
    start.ssid = ssid;
    start.programmerTimeoutSeconds = timeout;
    start.password = workflowPassword();
    // The workflow's search runs while the busy flag is set, as after the window's button.
    start.beforeStart = [this] { channel_.setBusy(true); };
    const ops::StartOutcome outcome = command == "program" ? ops::startInitialProgramming(channel_, start)
                                                           : ops::startStockUpdate(channel_, start);
    channel_.endProgress();
    return outcome == ops::StartOutcome::Started && *start.succeeded ? 0 : 1;
}

std::optional<int> Session::namedCard(const app::NetworkCard*& card)
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

std::optional<int> Session::useSerialNumberFolder()
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

int Session::enduranceCommand()
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
    std::string sign;
    if (auto refused = operatorOptions(script, sign, nullptr)) return *refused;
    const app::NetworkCard* card = nullptr;
    if (auto refused = namedCard(card)) return *refused;
    if (!card) return failWith(loadText(30037));
    if (auto refused = useSerialNumberFolder()) return *refused;
    const app::AppSettings settings = operatorFor(script, sign);

    ops::EnduranceStart start;
    start.card = card;
    start.target = *target;
    start.firmwareFolder = args_.value("--fw");
    start.root = settings.serialNumberPath;
    start.repair = repair;
    start.number = form.number;
    start.serials = serials;
    start.password = workflowPassword();
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
    return outcome->allPassed() && outcome->logSaved && outcome->journalWritten ? 0 : 1;
}

int Session::recordWorkflowCommand(const std::string& command)
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
    std::string sign;
    std::string ssid;
    if (auto refused = operatorOptions(script, sign, &ssid)) return *refused;
    if (auto refused = useSerialNumberFolder()) return *refused;
    const app::AppSettings settings = operatorFor(script, sign);
    channel_.setRepairNumber(repairNumber);

    net::DeviceRecord* device = findDevice(args_.positional[1]);
    if (!device) return 1;
    ops::ProductionSettings production;
    production.root = settings.serialNumberPath;
    production.ssid = ssid;
    production.password = workflowPassword();
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

}  // namespace vst::cli
