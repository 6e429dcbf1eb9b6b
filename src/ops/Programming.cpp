#include "ops/Programming.h"

#include "app/Format.h"
#include "ops/FunctionTests.h"
#include "ops/LogWindow.h"
#include "ops/Reporting.h"
#include "ops/RunJournal.h"
#include "ops/Search.h"
#include "ops/WebOperations.h"
#include "ops/Workflow.h"
#include "platform/ChildProcess.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace vst::ops {
namespace {

// The phrases in table order: the first one found decides.
constexpr const char* kPhrases[4] = {"Operation Succeeded", "Programmer not found", "Connection error",
                                     "Target device was not found"};

}  // namespace

app::TextId programmerResultText(ProgrammerResult result)
{
    switch (result) {
    case ProgrammerResult::Succeeded: return 0;
    case ProgrammerResult::NoProgrammer: return 35237;
    case ProgrammerResult::ConnectionError: return 35238;
    case ProgrammerResult::NoTarget: return 35239;
    case ProgrammerResult::NoTool: return 35240;
    case ProgrammerResult::Unknown: break;
    }
    return 35241;
}

std::vector<std::string> programmerArguments(const ProgrammerSettings& settings, const std::vector<std::string>& action)
{
    std::vector<std::string> args = {platform::joinPath(settings.toolFolder.str(), kProgrammerToolName), "-OL",
                                     "-TP" + settings.programmerType.str(), "-P" + settings.part.str()};
    args.insert(args.end(), action.begin(), action.end());
    return args;
}

std::string programmerCommandLine(const ProgrammerSettings& settings, const std::vector<std::string>& action)
{
    const std::vector<std::string> args = programmerArguments(settings, action);
    std::string line = "\"" + args[0] + "\"";
    for (size_t i = 1; i < args.size(); ++i) {
        line += ' ';
        if (i >= 4 && args[i].rfind("-F", 0) == 0) {
            line += "-F\"" + args[i].substr(2) + "\"";
        } else {
            line += args[i];
        }
    }
    return line;
}

void ProgrammerPhraseScanner::feed(const std::string& piece)
{
    // The tail of what came before, short enough that no phrase found in it is counted twice
    // but long enough that a phrase split across pieces is whole in tail + piece.
    std::string text = tail_ + piece;
    size_t longest = 0;
    for (int i = 0; i < 4; ++i) {
        const std::string_view phrase = kPhrases[i];
        longest = std::max(longest, phrase.size());
        if (!found_[i] && text.find(phrase) != std::string::npos) found_[i] = true;
    }
    const size_t keep = longest - 1;
    tail_ = text.size() > keep ? text.substr(text.size() - keep) : text;
}

ProgrammerResult ProgrammerPhraseScanner::result() const
{
    for (int i = 0; i < 4; ++i) {
        if (found_[i]) return static_cast<ProgrammerResult>(i);
    }
    return ProgrammerResult::Unknown;
}

ProgrammerResult runProgrammer(const ProgrammerSettings& settings, const std::vector<std::string>& action,
                               std::string* output, bool* timedOut)
{
    if (timedOut) *timedOut = false;
    platform::ChildProcessRequest request;
    request.arguments = programmerArguments(settings, action);
    request.commandLine = programmerCommandLine(settings, action);  // Windows passes this text as it is
    if (!platform::canOpenForReading(request.arguments[0])) return ProgrammerResult::NoTool;
    request.workingFolder = settings.toolFolder.str();
    request.timeoutMs = settings.timeoutSeconds * 1000u;
    ProgrammerPhraseScanner scanner;
    const platform::ChildProcessResult run =
        platform::runChildProcess(request, [&](const std::string& piece) { scanner.feed(piece); }, kProgrammerOutputKeep);
    if (output) *output = run.output;
    if (timedOut) *timedOut = run.timedOut;
    // A tool that could not be started or had to be killed tells nothing, whatever it printed.
    if (!run.started || run.timedOut) return ProgrammerResult::Unknown;
    return scanner.result();
}

bool programBoard(WorkerChannel& channel, const ProgrammerSettings& settings)
{
    Reporter report(channel, settings.log);
    bool ok = false;
    bool timedOut = false;
    report.logStep(app::loadText(35124), 10);
    ProgrammerResult result = runProgrammer(settings, {"-E"}, nullptr, &timedOut);
    if (result == ProgrammerResult::Succeeded) {
        report.logStep(app::loadText(35125), 40);
        result = runProgrammer(settings, {"-F" + settings.imagePath.str(), "-M"}, nullptr, &timedOut);
        if (result == ProgrammerResult::Succeeded) {
            report.logSubMessage(app::loadText(35236), kStyleInformation, false);
            ok = true;
        }
    }
    if (!ok && timedOut) {
        report.logSubMessage(app::formatText(app::loadText(37402), static_cast<int>(settings.timeoutSeconds)),
                             kStyleExclamation, false);
    }
    if (!ok) report.logSubMessage(app::loadText(programmerResultText(result)), kStyleExclamation, false);
    channel.setStep({std::string(), 0});
    return ok;
}

void runInitialProgramming(ProgrammingParams& p)
{
    WorkerChannel& channel = *p.channel;
    WorkflowFrame frame(channel, 36028, 36029, p.recordsRoot, app::JournalWorkflow::Programming);
    LogWindow* const log = frame.log;
    Reporter& report = frame.report;
    RunJournal& journal = frame.journal;
    PhaseRunner& runner = frame.runner;

    ProgrammerSettings settings;
    settings.toolFolder = p.toolFolder;
    settings.programmerType = p.programmerType;
    settings.part = p.part;
    settings.imagePath = p.imagePath;
    settings.log = log;
    settings.timeoutSeconds = p.programmerTimeoutSeconds;
    DeviceContext device = deviceContext(&channel, log, nullptr, p.password, p.webPort, p.devicePort);
    CpuTestParams cpu;

    WorkflowPlan plan;
    plan.record = 36028;
    plan.phases = {
        {35311, 10, [&] {
             journal.setFirmware(settings.imagePath.str());
             if (!programBoard(channel, settings)) return false;
             platform::clock().sleep(kBoardStartWaitMs);
             platform::notePrescribedWait(kBoardStartWaitMs);
             return true;
         }},
        {35300, 30, [&] {
             findByDirectedSearch(channel, p.card, p.target, p.devicePort);
             device.device = channel.onlyListedDevice();
             // A blank board had no firmware before.
             if (device.device) journal.deviceAfter(device.device);
             if (!device.device && log) log->appendLog(app::loadText(36030));
             return device.device != nullptr;
         }},
        {35307, 50, [&] {
             auto clock = paramsFor<SerialParams>(device);
             return setClock(clock);
         }},
        {35313, 70, [&] {
             cpu = paramsFor<CpuTestParams>(device);
             cpu.testI2c = p.testI2c;
             cpu.ssid = p.ssid;
             const bool ran = runCpuTest(cpu);
             if (ran) journal.cpuFindings(cpu.findings);
             if (cpu.lastResult != 0) runner.noteResult(cpu.lastResult);
             return ran && cpu.passed;
         }},
    };
    plan.conclude = [&](bool ok) {
        if (!ok) return false;
        if (log) log->appendLog("\r\n");
        report.logMessage(app::loadText(35411), kStyleInformation, true);
        runner.noteResult(35411);
        runner.setResult(35411);
        return p.succeeded = true;
    };
    plan.cleanUp = {sdCardCleanUpPhase(channel, log, device.device, device.password, p.webPort, &runner)};
    plan.records = [&] {
        if (device.device) journal.deviceAfter(device.device);
    };
    plan.close = [&] {
        if (!frame.close()) p.succeeded = false;
    };
    runner.run(plan);
}

}  // namespace vst::ops
