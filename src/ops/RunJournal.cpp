#include "ops/RunJournal.h"

#include "app/Json.h"
#include "app/NetworkCards.h"
#include "app/Sha256.h"

namespace vst::ops {
namespace {

std::mutex stationLock;
app::JournalRecord::Station station{"", "", "", ""};

app::StepOutcome stepOutcome(PhaseOutcome outcome)
{
    switch (outcome) {
    case PhaseOutcome::Passed:
        return app::StepOutcome::Passed;
    case PhaseOutcome::Failed:
        return app::StepOutcome::Failed;
    case PhaseOutcome::Skipped:
        break;
    }
    return app::StepOutcome::Skipped;
}

std::optional<double> versionOf(float version)
{
    if (!(version > 0)) return std::nullopt;
    return app::json::fromFloat(version);
}

}  // namespace

void setJournalStation(std::string program, std::string cardAddress)
{
    auto named = app::thisStation(std::move(program), std::move(cardAddress));
    std::lock_guard<std::mutex> hold(stationLock);
    station = std::move(named);
}

std::string journalCardText(const app::NetworkCard* card)
{
    if (!card || card->addresses.empty()) return std::string();
    // A card holds its addresses in host byte order.
    return net::addressText(net::toNetworkOrder(card->addresses.front().address));
}

app::JournalRecord::Station journalStation()
{
    {
        std::lock_guard<std::mutex> hold(stationLock);
        if (!station.program.empty()) return station;
    }
    // A front end that named nothing: the host and version still identify the station.
    return app::thisStation("", "");
}

RunJournal::RunJournal(std::string root, app::JournalWorkflow workflow, PhaseObserver* next,
                       app::JournalBuilder::Now now)
    : root_(std::move(root)), workflow_(workflow), next_(next == this ? nullptr : next), builder_(std::move(now))
{
}

void RunJournal::deviceBefore(const net::DeviceRecord& device)
{
    facts_.device.mac = device.mac;
    if (device.serialNumber != net::kNoSerialNumber && device.serialNumber != 0) {
        facts_.device.serial = device.serialNumber;
    } else {
        facts_.device.serial.reset();
    }
    facts_.device.ip = net::addressText(device.address);
    facts_.device.firmwareBefore = versionOf(device.appVersion);
    facts_.device.firmwareAfter = facts_.device.firmwareBefore;
}

void RunJournal::deviceAfter(const net::DeviceRecord* device)
{
    // A device that is gone leaves its firmware unknown.
    if (!device) {
        facts_.device.firmwareAfter.reset();
        return;
    }
    facts_.device.mac = device->mac;
    if (device->serialNumber != net::kNoSerialNumber && device->serialNumber != 0) {
        facts_.device.serial = device->serialNumber;
    }
    facts_.device.ip = net::addressText(device->address);
    facts_.device.firmwareAfter = versionOf(device->appVersion);
}

void RunJournal::setFirmware(const std::string& file)
{
    app::JournalRecord::Firmware firmware;
    firmware.file = file;
    firmware.sha256 = app::fileSha256Hex(file).value_or(std::string());
    facts_.firmware = std::move(firmware);
}

void RunJournal::calibrations(const std::vector<SentCalibration>& sent)
{
    for (const auto& c : sent) {
        app::JournalMeasurement m;
        m.kind = app::JournalMeasurement::Kind::Calibration;
        m.item = c.item;
        m.primary = c.primary;
        m.secondary = c.secondary;
        m.voltage = c.voltage;
        m.current = c.current;
        facts_.measurements.push_back(std::move(m));
    }
}

void RunJournal::cpuFindings(const std::vector<app::TextId>& ids)
{
    app::JournalMeasurement m;
    m.kind = app::JournalMeasurement::Kind::CpuFindings;
    m.ids = ids;
    facts_.measurements.push_back(std::move(m));
}

void RunJournal::setTextRecord(const std::string& path) { facts_.textRecord = app::relativeRecordPath(root_, path); }

void RunJournal::workflowStarted(const WorkflowRecord& run)
{
    builder_.beginRun(workflow_);
    if (next_) next_->workflowStarted(run);
}

void RunJournal::phaseStarted(const PhaseRecord& phase)
{
    if (deviceNumber_ > 0 && phase.deviceNumber != deviceNumber_) {
        if (next_) next_->phaseStarted(phase);
        return;
    }
    stepFailed_ = false;
    builder_.phaseStarted(phase.heading, phase.headingText);
    if (next_) next_->phaseStarted(phase);
}

void RunJournal::phaseEnded(const PhaseRecord& phase)
{
    if (deviceNumber_ > 0 && phase.deviceNumber != deviceNumber_) {
        if (next_) next_->phaseEnded(phase);
        return;
    }
    if (phase.outcome == PhaseOutcome::Skipped) {
        builder_.phaseSkipped(phase.heading, phase.headingText);
    } else {
        for (app::TextId id : phase.results) builder_.message(id);
        builder_.phaseEnded(stepFailed_ ? app::StepOutcome::Failed : stepOutcome(phase.outcome));
    }
    if (next_) next_->phaseEnded(phase);
}

void RunJournal::workflowEnded(const WorkflowRecord& run)
{
    for (app::TextId id : run.results) builder_.message(id);
    std::optional<app::RunOutcome> outcome = outcome_;
    if (recordFailed_) outcome = app::RunOutcome::Failed;
    builder_.endRun(outcome);
    app::JournalRecord& r = builder_.record();
    r.station = journalStation();
    r.operatorSign = facts_.operatorSign;
    r.device = facts_.device;
    r.batch = facts_.batch;
    r.repair = facts_.repair;
    r.run = facts_.run;
    r.firmware = facts_.firmware;
    r.measurements = facts_.measurements;
    r.textRecord = facts_.textRecord;
    if (!skip_) written_ = app::appendJournalRecord(root_, r);
    if (next_) next_->workflowEnded(run);
}

DeviceJournals::DeviceJournals(const std::string& root, app::JournalWorkflow workflow, int devices, PhaseObserver* next)
    : next_(next == this ? nullptr : next)
{
    for (int n = 1; n <= devices; ++n) {
        journals_.push_back(std::make_unique<RunJournal>(root, workflow, nullptr));
        journals_.back()->onlyDevice(n);
    }
}

template <typename Record>
void DeviceJournals::tell(void (PhaseObserver::*event)(const Record&), const Record& record)
{
    for (auto& j : journals_) (j.get()->*event)(record);
    if (next_) (next_->*event)(record);
}

void DeviceJournals::workflowStarted(const WorkflowRecord& run) { tell(&PhaseObserver::workflowStarted, run); }
void DeviceJournals::phaseStarted(const PhaseRecord& phase) { tell(&PhaseObserver::phaseStarted, phase); }
void DeviceJournals::phaseEnded(const PhaseRecord& phase) { tell(&PhaseObserver::phaseEnded, phase); }
void DeviceJournals::workflowEnded(const WorkflowRecord& run) { tell(&PhaseObserver::workflowEnded, run); }

bool RunJournal::reportUnwritten(Reporter& report) const
{
    if (written()) return true;
    report.logMessage(failureText(), kStyleError, true);
    return false;
}

}  // namespace vst::ops
