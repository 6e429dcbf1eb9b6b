#include "ops/Production.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

#include "app/Format.h"
#include "app/OperatorPrompt.h"
#include "app/Records.h"
#include "app/SerialLog.h"
#include "ops/InputChecks.h"
#include "ops/LogWindow.h"
#include "ops/Refind.h"
#include "ops/Reporting.h"
#include "ops/RunJournal.h"
#include "ops/UdpCommands.h"
#include "ops/WebOperations.h"
#include "ops/Workflow.h"
#include "platform/FileSystem.h"

namespace vst::ops {
namespace {

// Room a set-aside name needs beyond its record's name: "_yyyy-mm-dd-hh-mm-ss" and "_NNN".
constexpr size_t kAsideExtra = 20 + 4;
// A path field holds 259 bytes and its terminator.
constexpr size_t kMaxPath = 259;

// True when every record the workflow writes in the folder, and each one's set-aside name,
// fits the path field: a path that would not fit is refused, never cut to another name.
bool pathsFit(const std::string& folder, std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        if (platform::joinPath(folder, name).size() + kAsideExtra > kMaxPath) return false;
    }
    return true;
}

// Whether the paths of a repair folder's three files fit (with their set-aside names).
bool repairFilesFit(const std::string& folder)
{
    return pathsFit(folder, {app::kRepairLogName, app::kDefaultConfigurationName, app::kCustomerConfigurationName});
}

// Versions go in as text with a decimal point whatever the locale.
std::string withVersionsAsText(std::string format)
{
    for (size_t at; (at = format.find("%.4f")) != std::string::npos;) format.replace(at, 4, "%s");
    return format;
}

std::string versionText(float v) { return app::formatFixed(v, 4); }

std::string finalTestHeader(const FinalTestBlock& b, const std::string& sign, const std::string& when)
{
    std::string text = recordHeader(36031, 36032, sign.c_str(), b.batchNumber.c_str(),
                                    static_cast<int>(b.context.device->serialNumber), when.c_str());
    const auto& m = b.context.device->mac;
    text += app::formatText(withVersionsAsText(app::loadText(36033)), m[0], m[1], m[2], m[3], m[4], m[5],
                            versionText(b.context.device->appVersion).c_str(),
                            versionText(b.context.device->bootloaderVersion).c_str());
    return text;
}

std::string repairDeviceBlock(const net::DeviceRecord& d)
{
    const auto& m = d.mac;
    const uint32_t a = d.address;
    return app::formatText(withVersionsAsText(app::loadText(36036)), d.name.c_str(), static_cast<int>(a & 0xFF),
                           static_cast<int>((a >> 8) & 0xFF), static_cast<int>((a >> 16) & 0xFF),
                           static_cast<int>((a >> 24) & 0xFF), m[0], m[1], m[2], m[3], m[4], m[5],
                           versionText(d.appVersion).c_str(), versionText(d.bootloaderVersion).c_str());
}

// The device operations of the workflows, each with the current record.
struct Steps {
    WorkerChannel& channel;
    LogWindow* log;
    Reporter report;
    net::DeviceRecord* device;
    net::Password password;
    app::FixedText<33> ssid;
    uint16_t webPort;
    uint16_t devicePort;
    bool cpuPassed = false;
    bool processPassed = false;
    PhaseRunner* runner = nullptr;
    RunJournal* journal = nullptr;

    void note(app::TextId text)
    {
        if (runner && text != 0) runner->noteResult(text);
    }

    // After an operation that may have found the device again, which replaces the record it was
    // given whatever its outcome: the device's record as listed now (nullptr when it is gone), so
    // that no later step, the SD-card cleanup included, touches the old one.
    bool retake(bool ok, const net::Mac& mac)
    {
        device = listedDevice(channel, mac);
        return ok && device;
    }

    // A backup or restore of the device's configuration with the file at `path`.
    UdpCommandParams fileParams(const std::string& path)
    {
        auto p = params<UdpCommandParams>();
        p.filePath.assign(path);
        return p;
    }

    bool configurationIntoDevice(const std::string& path)
    {
        auto p = fileParams(path);
        const net::Mac mac = device->mac;
        return retake(restoreConfiguration(p), mac);
    }

    bool configurationFromDevice(const std::string& path)
    {
        auto p = fileParams(path);
        return backupConfiguration(p);
    }

    template <typename Params>
    Params params()
    {
        return paramsFor<Params>(deviceContext(&channel, log, device, password, webPort, devicePort));
    }

    bool calibration()
    {
        auto p = params<DeviceStepParams>();
        const bool ok = runCalibration(p);
        if (journal) journal->calibrations(p.calibrations);
        note(p.lastResult);
        return ok;
    }

    bool cpuTest()
    {
        auto p = params<CpuTestParams>();
        p.devicePort = devicePort;
        p.ssid = ssid;
        const bool ok = runCpuTest(p);
        cpuPassed = ok && p.passed;
        if (journal && ok) journal->cpuFindings(p.findings);
        if (journal && !cpuPassed) journal->stepFailed();
        note(p.lastResult);
        return ok;
    }

    bool processTest()
    {
        auto p = params<ProcessTestParams>();
        const bool ok = runProcessListTest(p);
        processPassed = ok && p.passed;
        if (journal && !processPassed) journal->stepFailed();
        note(p.lastResult);
        return ok;
    }

    bool serialNumber(uint32_t serial)
    {
        // As the serial-number dialog sets them, then the operation sends the number.
        device->serialModified = true;
        device->serialNumber = serial;
        auto p = params<SerialParams>();
        p.devicePort = devicePort;
        const net::Mac mac = device->mac;
        // Also a device found again with another number (35220) has a new record by now.
        return retake(setSerialNumber(p), mac);
    }

    void result(app::TextId text, WorkflowOutcome& outcome)
    {
        if (log) log->appendLog("\r\n");
        report.logMessage(app::loadText(text), kStyleInformation, true);
        outcome.result = text;
        note(text);
        if (runner) runner->setResult(text);
    }

    Phase sdCardCleanUp() { return sdCardCleanUpPhase(channel, log, device, password, webPort, runner); }

    // The end every one of these workflows has: the SD-card cleanup, its records, the journal
    // line (written as the run ends; one that could not be written is told to the operator and the
    // run counts as failed), and the closing sequence.
    void run(WorkflowPlan& plan, std::function<void()> records, WorkflowOutcome& outcome)
    {
        plan.cleanUp = {sdCardCleanUp()};
        plan.records = [this, records = std::move(records)] {
            records();
            journal->deviceAfter(device);
        };
        plan.close = [this, &outcome] {
            if (!journal->reportUnwritten(report)) outcome.recordsWritten = false;
            finishWorkflow(channel, log);
        };
        runner->run(plan);
    }

    // The text record at `path`, its name for the journal, and when it could not be written the
    // operator is told before the log is closed.
    void textRecord(const std::string& path, bool written, WorkflowOutcome& outcome)
    {
        journal->setTextRecord(path);
        if (written) return;
        journal->textRecordFailed();
        recordFailed(outcome);
    }

    // A record that could not be written is told to the operator before the log is closed.
    void recordFailed(WorkflowOutcome& outcome)
    {
        outcome.recordsWritten = false;
        report.logMessage(app::loadText(35224), kStyleError, true);
        note(35224);
    }
};

Steps stepsFor(WorkerChannel& channel, LogWindow* log, const ProductionBlock& b)
{
    const DeviceContext& c = b.context;
    return Steps{channel, log, Reporter(channel, log), c.device, c.password, b.ssid, c.webPort, c.devicePort};
}

// One device workflow's run: the log window, the time and operator's sign of its header, its
// steps, the journal of the run and the runner that feeds it.
struct DeviceRun {
    DeviceRun(WorkerChannel& channel, const ProductionBlock& b, app::JournalWorkflow workflow)
        : log(channel.createLogWindow()), when(timestampText()), sign(channel.operatorSign()),
          s(stepsFor(channel, log, b)), journal(b.root, workflow), runner(s.report, &journal)
    {
        journal.setOperator(sign);
        journal.deviceBefore(*b.context.device);
        s.runner = &runner;
        s.journal = &journal;
    }

    LogWindow* const log;
    const std::string when;
    const std::string sign;
    Steps s;
    RunJournal journal;
    PhaseRunner runner;
};

bool containsRepairEndHeading(const std::string& logText)
{
    // Whichever language wrote the heading: its CR LF reads as one LF in the text.
    for (unsigned id : {36038u, 46038u}) {
        std::string heading = app::textAt(id);
        for (size_t at; (at = heading.find("\r\n")) != std::string::npos;) heading.replace(at, 2, "\n");
        if (!heading.empty() && logText.find(heading) != std::string::npos) return true;
    }
    return false;
}

// The log appended to an existing repair log in one replace, so the file is never half-written.
bool appendWhole(const std::string& path, const std::string& text)
{
    std::error_code ec;
    std::string old;
    if (std::filesystem::exists(platform::osPath(path), ec)) {
        auto bytes = platform::readFileBytes(platform::osPath(path));
        if (!bytes) return false;
        old = std::move(*bytes);
    }
    return app::writeTextFile(path, old + text, false);
}

void showNumber(const ProductionSettings& settings, app::TextId label, const std::string& number)
{
    if (settings.showNumber) settings.showNumber(app::loadText(label) + " " + number);
}

// A number the serial-number dialog entered in the log during a start: every way out of the start
// gives it back ("#SNR NOT FOUND"), unless the worker took it over.
class EnteredSerialNumber {
public:
    explicit EnteredSerialNumber(StarterHost& host) : host_(host) {}
    ~EnteredSerialNumber()
    {
        if (serial_) host_.serialNumberNotSet(*serial_);
    }
    EnteredSerialNumber(const EnteredSerialNumber&) = delete;
    EnteredSerialNumber& operator=(const EnteredSerialNumber&) = delete;

    void entered(uint32_t serial) { serial_ = serial; }
    void handedToWorker() { serial_.reset(); }

private:
    StarterHost& host_;
    std::optional<uint32_t> serial_;
};

// The repair number from the dialog, checked as a folder name; nullopt after a refusal or cancel.
std::optional<std::string> askRepairNumber(StarterHost& host, app::TextId folderText, StartOutcome& outcome)
{
    auto number = host.repairNumber();
    if (!number) {
        outcome = StartOutcome::Cancelled;
        return std::nullopt;
    }
    if (auto refusal = checkFolderNumber(*number, 30904)) {
        outcome = refuse(host, *refusal, app::kMbIconExclamation);
        return std::nullopt;
    }
    if (number->size() > kMaxFolderNumberLength) {
        outcome = refuse(host, folderText, app::kMbIconError);
        return std::nullopt;
    }
    return number;
}

}  // namespace

bool isProductionSerial(uint32_t serial) { return serial >= 1 && serial <= app::kMaxSerialNumber; }

void runFinalTest(WorkerChannel& channel, FinalTestBlock& b, WorkflowOutcome& outcome)
{
    DeviceRun run(channel, b, app::JournalWorkflow::FinalTest);
    LogWindow* const log = run.log;
    Steps& s = run.s;
    if (log) log->appendLog(finalTestHeader(b, run.sign, run.when));
    run.journal.setBatch(b.batchNumber.str());
    const std::string folder = b.folder.str();

    WorkflowPlan plan;
    plan.record = 36031;
    plan.phases = {
        {35305, 20, [&] { return s.configurationIntoDevice(platform::joinPath(folder, app::kConfigurationName)); }},
        {35312, 40, [&] { return s.calibration(); }},
        {35313, 60, [&] { return s.cpuTest(); }},
        {35314, 80, [&] { return s.processTest(); }},
    };
    plan.conclude = [&](bool ok) {
        if (!(ok && s.cpuPassed && s.processPassed)) return false;
        s.result(35412, outcome);
        return true;
    };
    s.run(plan, [&] {
        const std::string text = log ? log->text() : std::string();
        const std::string path = platform::joinPath(folder, app::kFinalTestLogName);
        s.textRecord(path, app::writeTextFile(path, text, false), outcome);
    }, outcome);
}

void runRepairStart(WorkerChannel& channel, RepairStartBlock& b, WorkflowOutcome& outcome)
{
    const uint32_t serial = b.newSerialNumber != 0 ? b.newSerialNumber : b.context.device->serialNumber;
    DeviceRun run(channel, b, app::JournalWorkflow::RepairStart);
    LogWindow* const log = run.log;
    Steps& s = run.s;
    if (log) {
        log->appendLog(recordHeader(36034, 36035, run.sign.c_str(), b.repairNumber.c_str(), static_cast<int>(serial),
                                    run.when.c_str()));
        log->appendLog(repairDeviceBlock(*b.context.device));
    }
    run.journal.setRepair(b.repairNumber.str());
    const std::string folder = b.folder.str();
    const std::string customer = platform::joinPath(folder, app::kCustomerConfigurationName);
    const std::string test = platform::joinPath(folder, app::kDefaultConfigurationName);
    const uint32_t newSerial = b.newSerialNumber;

    WorkflowPlan plan;
    plan.record = 36034;
    Phase confirm{35316, 30, [&] {
                      auto configuration = channel.askConfiguration(app::readTextFile(customer), true);
                      if (!configuration) {
                          if (log) log->appendLog(app::loadText(36037));
                          s.note(36037);
                          return false;
                      }
                      if (!app::writeTextFile(test, *configuration, false)) {
                          s.recordFailed(outcome);
                          return false;
                      }
                      return true;
                  }};
    confirm.style = HeadingStyle::Shown;
    Phase serialNumber{35308, 60, [&] { return s.serialNumber(newSerial); }};
    serialNumber.when = [newSerial] { return newSerial != 0; };
    // The start ended before the number was sent: its assigned line gets its answer, so the
    // number is free for the next try.
    serialNumber.notReached = [&channel, newSerial] { logSerialNumberNotSet(channel, newSerial); };
    plan.phases = {
        {35302, 20, [&] { return s.configurationFromDevice(customer); }},
        confirm,
        {35305, 40, [&] { return s.configurationIntoDevice(test); }},
        serialNumber,
        {35313, 70, [&] { return s.cpuTest(); }},
        {35314, 85, [&] { return s.processTest(); }},
    };
    plan.conclude = [&](bool ok) {
        if (ok) s.result(s.cpuPassed && s.processPassed ? 35413 : 35414, outcome);
        return ok && s.cpuPassed && s.processPassed;
    };
    s.run(plan, [&] {
        // The log and the empty line pair that separates it from the repair end, in one replace.
        const std::string text = (log ? log->text() : std::string()) + "\r\n\r\n";
        const std::string path = platform::joinPath(folder, app::kRepairLogName);
        s.textRecord(path, app::writeTextFile(path, text, false), outcome);
    }, outcome);
}

void runRepairEnd(WorkerChannel& channel, RepairEndBlock& b, WorkflowOutcome& outcome)
{
    DeviceRun run(channel, b, app::JournalWorkflow::RepairEnd);
    LogWindow* const log = run.log;
    Steps& s = run.s;
    if (log) {
        log->appendLog(recordHeader(36038, 36039, run.sign.c_str(), b.repairNumber.c_str(),
                                    static_cast<int>(b.context.device->serialNumber), run.when.c_str()));
    }
    run.journal.setRepair(b.repairNumber.str());
    const std::string folder = b.folder.str();

    WorkflowPlan plan;
    plan.record = 36038;
    // The customer's configuration goes back only into a device that passed both tests.
    Phase customer{35304, 80, [&] {
                       return s.configurationIntoDevice(platform::joinPath(folder, app::kCustomerConfigurationName));
                   }};
    customer.when = [&b] { return b.customerConfiguration; };
    plan.phases = {
        {35305, 20, [&] { return s.configurationIntoDevice(platform::joinPath(folder, app::kDefaultConfigurationName)); }},
        {35313, 40, [&] { return s.cpuTest(); }},
        {35314, 60, [&] { return s.processTest() && s.cpuPassed && s.processPassed; }},
        customer,
    };
    plan.conclude = [&](bool ok) {
        if (ok) s.result(35415, outcome);
        return ok;
    };
    s.run(plan, [&] {
        const std::string path = platform::joinPath(folder, app::kRepairLogName);
        s.textRecord(path, appendWhole(path, log ? log->text() : std::string()), outcome);
    }, outcome);
}

// The fields every production block takes from its device and the station's settings.
template <typename Block>
Block productionBlock(net::DeviceRecord* device, const std::string& folder, const ProductionSettings& settings)
{
    Block block;
    block.context.device = device;
    block.context.password.assign(settings.password);
    block.context.webPort = settings.webPort;
    block.context.devicePort = settings.devicePort;
    block.folder.assign(folder);
    block.ssid.assign(settings.ssid);
    block.root = settings.root;
    return block;
}

// A repair's block: the number shown, the device's production block with the repair number.
template <typename Block>
Block repairBlock(net::DeviceRecord* device, const std::string& folder, const ProductionSettings& settings,
                  const std::string& number)
{
    showNumber(settings, 30009, number);
    auto block = productionBlock<Block>(device, folder, settings);
    block.repairNumber.assign(number);
    return block;
}

// The start of a repair's two halves: a listed device and the repair number the operator gives,
// checked as a folder name (`folderText` names a number that is too long); then `prepare` with
// the number does the rest.
template <typename Prepare>
StartOutcome startRepair(StarterHost& host, const net::DeviceRecord* device, app::TextId folderText, Prepare&& prepare)
{
    if (!device) return StartOutcome::Refused;
    StartOutcome refused = StartOutcome::Cancelled;
    const auto number = askRepairNumber(host, folderText, refused);
    if (!number) return refused;
    return prepare(*number);
}

// Hands the block to the worker, which runs the workflow and fills `outcome` (a new one when none
// is given).
template <typename Block>
StartOutcome handOver(StarterHost& host, Block block, void (*run)(WorkerChannel&, Block&, WorkflowOutcome&),
                      std::shared_ptr<WorkflowOutcome> outcome)
{
    if (!outcome) outcome = std::make_shared<WorkflowOutcome>();
    host.startWorkflow([block, outcome, run](WorkerChannel& channel) mutable { run(channel, block, *outcome); },
                       WorkerEnd::Finished);
    return StartOutcome::Started;
}

StartOutcome startFinalTest(StarterHost& host, net::DeviceRecord* device, const ProductionSettings& settings,
                            std::shared_ptr<WorkflowOutcome> outcome)
{
    if (!device) return StartOutcome::Refused;
    if (!isProductionSerial(device->serialNumber)) return refuse(host, 30048, app::kMbIconExclamation);
    const std::string folder = app::deviceFolder(settings.root, device->serialNumber);
    if (!pathsFit(folder, {app::kConfigurationName, app::kFinalTestLogName, app::kBatchFileName})) {
        return refuse(host, 30047, app::kMbIconError);
    }

    std::string batch = app::readTextFile(platform::joinPath(folder, app::kBatchFileName));
    if (batch.empty() && !confirm(host, 30044)) return StartOutcome::Cancelled;
    batch.erase(std::remove(batch.begin(), batch.end(), '\n'), batch.end());

    const std::string logPath = platform::joinPath(folder, app::kFinalTestLogName);
    const bool logExists = app::fileExists(logPath);
    if (logExists && !confirm(host, 30045)) return StartOutcome::Cancelled;

    const std::string configPath = platform::joinPath(folder, app::kConfigurationName);
    std::optional<std::string> configuration;
    if (!app::fileExists(configPath)) {
        if (!confirm(host, 30046)) return StartOutcome::Cancelled;
        configuration = host.configurationAssistant(std::string(), true);
        if (!configuration) return StartOutcome::Cancelled;
    }
    if (!platform::createDirectory(folder)) return refuse(host, 30047, app::kMbIconError);
    // Only now, with every answer given, the old log goes aside; it must not be overwritten later.
    if (logExists && !app::setRecordAside(logPath)) return refuse(host, 30047, app::kMbIconError);
    if (configuration && !app::writeTextFile(configPath, *configuration, false)) {
        return refuse(host, 35224, app::kMbIconError);
    }

    const std::string shown = batch.empty() ? "???" : batch;
    showNumber(settings, 30010, shown);
    auto block = productionBlock<FinalTestBlock>(device, folder, settings);
    block.batchNumber.assign(shown);
    return handOver(host, block, runFinalTest, std::move(outcome));
}

StartOutcome startRepairStart(StarterHost& host, net::DeviceRecord* device, const ProductionSettings& settings,
                              std::shared_ptr<WorkflowOutcome> outcome)
{
    return startRepair(host, device, 30050, [&](const std::string& number) {
        uint32_t newSerial = 0;
        EnteredSerialNumber entered(host);
        if (!isProductionSerial(device->serialNumber)) {
            // The dialog sets the number in the record; the record keeps its old one until the worker
            // sends the new number, so a start that ends here leaves the list as it was.
            const uint32_t oldSerial = device->serialNumber;
            const bool oldModified = device->serialModified;
            const bool accepted = host.enterSerialNumber();
            newSerial = device->serialNumber;
            device->serialNumber = oldSerial;
            device->serialModified = oldModified;
            if (!accepted) return StartOutcome::Cancelled;
            entered.entered(newSerial);
            if (!isProductionSerial(newSerial)) return refuse(host, 35221, app::kMbIconExclamation);
        }
        const uint32_t serial = newSerial != 0 ? newSerial : device->serialNumber;
        const std::string deviceDir = app::deviceFolder(settings.root, serial);
        const std::string folder = app::repairFolder(settings.root, serial, number);
        if (!repairFilesFit(folder)) return refuse(host, 30050, app::kMbIconError);
        if (!platform::createDirectory(deviceDir)) return refuse(host, 30050, app::kMbIconError);
        if (app::directoryExists(folder)) {
            if (!confirm(host, 30049)) return StartOutcome::Cancelled;
            if (!app::setRecordsAside(folder, {app::kRepairLogName, app::kDefaultConfigurationName,
                                               app::kCustomerConfigurationName})) {
                return refuse(host, 30050, app::kMbIconError);
            }
        } else if (!platform::createDirectory(folder)) {
            return refuse(host, 30050, app::kMbIconError);
        }

        auto block = repairBlock<RepairStartBlock>(device, folder, settings, number);
        block.newSerialNumber = newSerial;
        // From here the worker answers the number's line: with the set-serial step, or on its way out.
        entered.handedToWorker();
        return handOver(host, block, runRepairStart, std::move(outcome));
    });
}

StartOutcome startRepairEnd(StarterHost& host, net::DeviceRecord* device, const ProductionSettings& settings,
                            std::shared_ptr<WorkflowOutcome> outcome)
{
    return startRepair(host, device, 30054, [&](const std::string& number) {
        if (!isProductionSerial(device->serialNumber)) return refuse(host, 30055, app::kMbIconExclamation);
        const std::string folder = app::repairFolder(settings.root, device->serialNumber, number);
        if (!repairFilesFit(folder)) return refuse(host, 30054, app::kMbIconExclamation);
        if (!app::directoryExists(folder)) return refuse(host, 30054, app::kMbIconExclamation);

        const std::string logText = app::readTextFile(platform::joinPath(folder, app::kRepairLogName));
        if (containsRepairEndHeading(logText) && !confirm(host, 30051)) return StartOutcome::Cancelled;

        const std::string testPath = platform::joinPath(folder, app::kDefaultConfigurationName);
        if (!app::fileExists(testPath)) {
            if (!confirm(host, 30052)) return StartOutcome::Cancelled;
            auto configuration = host.configurationAssistant(std::string(), true);
            if (!configuration) return StartOutcome::Cancelled;
            if (!app::writeTextFile(testPath, *configuration, false)) {
                return refuse(host, 35224, app::kMbIconError);
            }
        }
        bool customer = true;
        if (!app::fileExists(platform::joinPath(folder, app::kCustomerConfigurationName))) {
            if (!confirm(host, 30053)) return StartOutcome::Cancelled;
            customer = false;
        }

        auto block = repairBlock<RepairEndBlock>(device, folder, settings, number);
        block.customerConfiguration = customer;
        return handOver(host, block, runRepairEnd, std::move(outcome));
    });
}

}  // namespace vst::ops
