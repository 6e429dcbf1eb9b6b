#include "ops/Endurance.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/Format.h"
#include "app/NetworkCards.h"
#include "app/OperatorPrompt.h"
#include "app/Records.h"
#include "app/SerialLog.h"
#include "ops/FunctionTests.h"
#include "ops/InputChecks.h"
#include "ops/LogWindow.h"
#include "ops/Production.h"
#include "ops/Refind.h"
#include "ops/Reporting.h"
#include "ops/RunJournal.h"
#include "ops/Search.h"
#include "ops/StockUpdate.h"
#include "ops/UdpCommands.h"
#include "ops/WebOperations.h"
#include "ops/Workflow.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace vst::ops {
namespace {

constexpr uint32_t kRowStep = 100;
constexpr int32_t kQuestionStyle = app::kMbYesNo | app::kMbIconQuestion | app::kMbDefaultButton2;

// The unsigned decimal number at the start of the text, saturated instead of wrapping.
uint64_t leadingNumber(const std::string& text)
{
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(c - '0'), UINT32_MAX + 1ull);
    }
    return value;
}

std::string rowText(uint64_t value) { return app::formatText("%08llu", static_cast<unsigned long long>(value)); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// The configuration dialog's rules

EnduranceForm::EnduranceForm() { setCountText("1"); }

void EnduranceForm::setRepair(bool repair)
{
    repair_ = repair;
    if (repair) rows_.clear();
    setCountText("1");
}

void EnduranceForm::setCountText(const std::string& text)
{
    countText_ = text;
    count_ = static_cast<uint32_t>(std::min<uint64_t>(leadingNumber(text), UINT32_MAX));
    applyCount();
}

void EnduranceForm::applyCount()
{
    if (repair_) return;
    // The count edit takes three digits, so at most 999 rows are ever made.
    const uint32_t wanted = std::min(count_, kMaxRunDevices);
    while (rows_.size() < wanted) {
        const uint64_t last = rows_.empty() ? 0 : leadingNumber(rows_.back());
        rows_.push_back(rowText(last + kRowStep));
    }
    while (rows_.size() > wanted) rows_.pop_back();
}

std::optional<app::TextId> EnduranceForm::editRow(size_t row, const std::string& text)
{
    if (row >= rows_.size() || text.empty()) return std::nullopt;
    const uint64_t value = leadingNumber(text);
    if (text.find_first_not_of("0123456789") != std::string::npos || value < 1 || value > app::kMaxSerialNumber) {
        return app::TextId{31213};
    }
    rows_[row] = rowText(value);
    if (row == 0) {
        for (size_t i = 1; i < rows_.size(); ++i) rows_[i] = rowText(value + kRowStep * i);
    }
    return std::nullopt;
}

std::optional<app::TextId> EnduranceForm::accept(std::vector<uint32_t>& serials) const
{
    if (auto refusal = checkFolderNumber(number, 31211)) return refusal;
    if (count_ == 0) return app::TextId{31212};
    serials.clear();
    if (repair_) {
        serials.push_back(net::kNoSerialNumber);
        return std::nullopt;
    }
    for (uint32_t i = 0; i < count_; ++i) {
        const uint64_t value = i < rows_.size() ? leadingNumber(rows_[i]) : 0;
        if (value < 1 || value > app::kMaxSerialNumber) return app::TextId{31213};
        serials.push_back(static_cast<uint32_t>(value));
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Addresses

RunAddress runAddress(const app::NetworkCard& card, uint32_t target, uint32_t index)
{
    RunAddress r;
    const uint64_t wide = static_cast<uint64_t>(target) + index;
    if (wide > UINT32_MAX || card.addresses.empty()) return r;
    r.address = static_cast<uint32_t>(wide);
    r.mask = card.addresses.front().mask;
    for (const auto& a : card.addresses) {
        if ((a.address & a.mask) == (r.address & a.mask)) {
            r.mask = a.mask;
            break;
        }
    }
    for (const auto& a : card.addresses) {
        if (a.address == r.address) return r;
    }
    // Under a mask that leaves two or more host bits, host part all zeros or all ones names the
    // network or its broadcast, never a device.
    const uint32_t host = ~r.mask;
    if (host >= 3 && ((r.address & host) == 0 || (r.address & host) == host)) return r;
    if (r.address == 0) return r;
    r.usable = true;
    return r;
}

uint32_t firstUnusableRunAddress(const app::NetworkCard& card, uint32_t target, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        if (!runAddress(card, target, i).usable) return i + 1;
    }
    return 0;
}

bool EnduranceOutcome::allPassed() const
{
    if (aborted || completed.empty()) return false;
    for (size_t i = 0; i < completed.size(); ++i) {
        if (failed[i] || !completed[i]) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// The worker

namespace {

class EnduranceRun {
public:
    EnduranceRun(EnduranceParams& p, EnduranceOutcome& outcome)
        : p_(p), channel_(*p.channel), outcome_(outcome), devices_(p.deviceCount)
    {
    }

    void run()
    {
        log_ = channel_.createLogWindow();
        report_ = std::make_unique<Reporter>(channel_, log_);
        journals_ = std::make_unique<DeviceJournals>(p_.root, app::JournalWorkflow::Endurance,
                                                     static_cast<int>(p_.deviceCount));
        runner_ = std::make_unique<PhaseRunner>(*report_, journals_.get());
        runner_->begin(36010);
        const std::string sign = channel_.operatorSign();
        const std::string runName = platform::stationPath(platform::osPath(p_.runFolder.str()).filename());
        for (int n = 1; n <= journals_->count(); ++n) {
            RunJournal& j = journals_->device(n);
            j.setOperator(sign);
            if (p_.repair) j.setRepair(p_.number.str());
            else j.setBatch(p_.number.str());
            j.setRun(runName);
        }
        const std::string when = timestampText();
        if (log_) {
            log_->appendLog(recordHeader(36010, 36011, sign.c_str(), p_.repair ? "REP_" : "CHRG_", p_.number.c_str(),
                                         when.c_str()));
        }
        report_->askOperator(app::loadText(35406), kStyleInformation);
        // A production run loads what the run folder holds now; a later start of the same number
        // on another station cannot change what this run's devices get.
        if (!p_.repair) takePrivateCopy();

        while (!limitReached_ && goOn_ && channel_.enduranceActive() && p_.deviceCount > 0) {
            if (!devices_[index_].failed && !performPhaseReported()) continue;
            index_ = (index_ + 1) % p_.deviceCount;
            if (index_ == 0) {
                if (idleSweep_) break;
                idleSweep_ = true;
                phase_ = nextPhase(phase_);
            }
        }
        finish();
    }

private:
    struct DeviceState {
        net::DeviceRecord* record = nullptr;
        bool failed = false;
        std::string failureTime;
        app::TextId failureStep = 0;   // which step, whatever the language is later
        std::string failureStepText;   // the step as the log showed it
        int passesDone = 0;
        bool found = false;  // the device was found at its position (its journal line is written)
    };

    EndurancePhase nextPhase(EndurancePhase phase) const
    {
        switch (phase) {
        case EndurancePhase::FindDevice:
            return p_.repair ? EndurancePhase::SaveRunConfiguration : EndurancePhase::LoadRunConfiguration;
        case EndurancePhase::SaveRunConfiguration: return EndurancePhase::LoadRunConfiguration;
        case EndurancePhase::LoadRunConfiguration: return EndurancePhase::SetNetwork;
        case EndurancePhase::SetNetwork: return p_.repair ? EndurancePhase::SetTime : EndurancePhase::SerialNumber;
        case EndurancePhase::SerialNumber: return EndurancePhase::SetTime;
        case EndurancePhase::SetTime: return EndurancePhase::UpdateFirmware;
        case EndurancePhase::UpdateFirmware:
        case EndurancePhase::TestPass: return EndurancePhase::TestPass;
        }
        return EndurancePhase::TestPass;
    }

    uint32_t deviceNumber() const { return index_ + 1; }
    DeviceState& current() { return devices_[index_]; }
    RunJournal& journal() { return journals_->device(static_cast<int>(deviceNumber())); }

    // A step of the current device's phase: its heading " #n" in the log and the first bar.
    void step(app::TextId text, int32_t position)
    {
        runner_->startPhase(Phase(text, position, {}), static_cast<int>(deviceNumber()));
    }

    void append(const std::string& text)
    {
        if (log_) log_->appendLog(text);
        if (summing_) outcome_.summary += text;
    }

    void fail(app::TextId stepText)
    {
        DeviceState& d = current();
        d.failed = true;
        d.failureTime = timestampText();
        d.failureStep = stepText;
        d.failureStepText = app::loadText(stepText);
        stepFailed_ = true;
        if (d.record) d.record->rowStatus = 3;
        channel_.repaintList();
    }

    // Ends a step whose operation may have found the device again: that replaced the record the
    // operation was given, whatever its outcome, so the device's record is taken from the list
    // anew (its row, checked by MAC) before anything touches it. Success: the row turns yellow;
    // failure: the device fails at the step and its current row turns red.
    bool settle(bool ok, const net::Mac& mac, app::TextId stepText)
    {
        current().record = listedDevice(channel_, mac, static_cast<int>(index_));
        if (!ok || !current().record) {
            fail(stepText);
            return true;
        }
        current().record->rowStatus = 1;
        channel_.repaintList();
        return true;
    }

    bool ask(app::TextId text) { return report_->askOperator(app::loadText(text), kQuestionStyle) == app::kIdYes; }

    UdpCommandParams udpParams(const std::string& file)
    {
        UdpCommandParams u;
        u.channel = &channel_;
        u.device = current().record;
        u.password = p_.password;
        u.filePath.assign(file);
        u.broadcast = true;
        u.log = log_;
        u.devicePort = p_.devicePort;
        return u;
    }

    template <typename Params>
    Params webParams()
    {
        Params w;
        w.channel = &channel_;
        w.device = current().record;
        w.password = p_.password;
        w.log = log_;
        w.webPort = p_.webPort;
        return w;
    }

    std::string runConfiguration() const { return platform::joinPath(p_.runFolder.str(), app::kConfigurationName); }

    void removePrivateCopy()
    {
        std::error_code ec;
        if (!privateCopy_.empty()) std::filesystem::remove(platform::osPath(privateCopy_), ec);
        privateCopy_.clear();
    }

    void takePrivateCopy()
    {
        removePrivateCopy();
        const auto bytes = platform::readFileBytes(platform::osPath(runConfiguration()));
        if (!bytes) return;
        const std::string copy = createStockTemporaryFile(p_.privateFolder);
        if (copy.empty()) return;
        if (platform::replaceFile(platform::osPath(copy), *bytes)) {
            privateCopy_ = copy;
        } else {
            std::error_code ec;
            std::filesystem::remove(platform::osPath(copy), ec);
        }
    }

    // One step of the current phase for the current device; false: stay on this device.
    bool performPhase()
    {
        using Step = bool (EnduranceRun::*)();
        static constexpr std::pair<EndurancePhase, Step> kSteps[] = {
            {EndurancePhase::FindDevice, &EnduranceRun::findDevice},
            {EndurancePhase::SaveRunConfiguration, &EnduranceRun::saveRunConfiguration},
            {EndurancePhase::LoadRunConfiguration, &EnduranceRun::loadRunConfiguration},
            {EndurancePhase::SetNetwork, &EnduranceRun::setNetwork},
            {EndurancePhase::SerialNumber, &EnduranceRun::serialNumber},
            {EndurancePhase::SetTime, &EnduranceRun::setTime},
            {EndurancePhase::UpdateFirmware, &EnduranceRun::updateFirmwareStep},
            {EndurancePhase::TestPass, &EnduranceRun::testPass},
        };
        for (const auto& [phase, run] : kSteps) {
            if (phase == phase_) return (this->*run)();
        }
        return testPass();
    }

    // performPhase with the steps it logged reported to the phase observer: a step ends as failed
    // when the device failed in it.
    bool performPhaseReported()
    {
        stepFailed_ = false;
        const bool done = performPhase();
        runner_->endPhase(stepFailed_ ? PhaseOutcome::Failed : PhaseOutcome::Passed);
        return done;
    }

    bool findDevice()
    {
        idleSweep_ = false;
        step(35300, 10);
        report_->askOperator(app::formatText(app::loadText(35407), static_cast<int>(deviceNumber())), kStyleInformation);
        channel_.searchStarted();
        auto list = std::make_shared<SearchJobList>();
        SearchJob& job = list->add();
        job.list = list.get();
        job.channel = &channel_;
        job.card = p_.card;
        job.kind0Only = true;
        job.log = log_;
        job.devicePort = p_.devicePort;
        runSearch(job);

        const int count = channel_.deviceCount();
        const int index = static_cast<int>(index_);
        if (count <= index) {
            if (ask(35408)) {
                append(app::loadText(36013));
                return false;
            }
            auto placeholder = std::make_unique<net::DeviceRecord>();
            // A multicast MAC no device can have keeps every placeholder row apart.
            placeholder->mac = {0xFF, 0xFF, 0xFF, 0xFF, static_cast<uint8_t>(deviceNumber() >> 8),
                                static_cast<uint8_t>(deviceNumber() & 0xFF)};
            placeholder->name.assign("???");
            placeholder->serialNumber = net::kNoSerialNumber;
            placeholder->card = p_.card;
            placeholder->rowStatus = 3;
            channel_.addDevice(std::move(placeholder));
            current().record = channel_.deviceAt(index);
            fail(35300);
            append(app::loadText(36014));
            return true;
        }
        if (count == index + 1) {
            net::DeviceRecord* record = channel_.deviceAt(index);
            if (!record) return false;
            current().record = record;
            if (p_.repair && !isProductionSerial(record->serialNumber)) {
                goOn_ = false;
                append(app::loadText(36017));
                return true;
            }
            record->rowStatus = 1;
            channel_.repaintList();
            current().found = true;
            journal().deviceBefore(*record);
            append(deviceFoundText(*record));
            return true;
        }
        if (!ask(35409)) {
            goOn_ = false;
            append(app::loadText(36016));
            return true;
        }
        for (int row = count - 1; row >= index; --row) {
            if (net::DeviceRecord* r = channel_.deviceAt(row)) channel_.removeDevice(*r);
        }
        append(app::loadText(36015));
        return false;
    }

    bool saveRunConfiguration()
    {
        idleSweep_ = false;
        step(35301, 20);
        UdpCommandParams u = udpParams(runConfiguration());
        if (!backupConfiguration(u)) {
            fail(35301);
            return true;
        }
        step(35316, 25);
        const auto confirmed = channel_.askConfiguration(app::readTextFile(runConfiguration()), true);
        if (!confirmed) {
            fail(35316);
            append(app::loadText(36018));
            return true;
        }
        // The device must get what the operator confirmed, never the unconfirmed backup.
        if (!app::writeTextFile(runConfiguration(), *confirmed, false)) {
            report_->logSubMessage(app::loadText(35224), kStyleError, false);
            fail(35316);
            return true;
        }
        takePrivateCopy();
        return true;
    }

    bool loadRunConfiguration()
    {
        idleSweep_ = false;
        step(35305, 30);
        UdpCommandParams u = udpParams(privateCopy_);
        if (privateCopy_.empty()) {
            report_->logSubMessage(app::loadText(35224), kStyleError, false);
            fail(35305);
            return true;
        }
        const net::Mac mac = current().record->mac;
        return settle(restoreConfiguration(u), mac, 35305);
    }

    bool setNetwork()
    {
        idleSweep_ = false;
        step(35306, 40);
        const RunAddress next = runAddress(*p_.card, p_.target, index_);
        if (!next.usable) {
            report_->logSubMessage(app::formatText(app::loadText(kUnusableAddressText), static_cast<int>(deviceNumber())),
                                   kStyleError, false);
            fail(35306);
            return true;
        }
        net::DeviceRecord& r = *current().record;
        r.networkModified = true;
        r.dhcpClient = false;
        r.dhcpServer = false;
        r.previousAddress = r.address;
        r.previousMask = r.mask;
        r.address = net::toNetworkOrder(next.address);
        r.mask = net::toNetworkOrder(next.mask);
        r.gateway = r.dns1 = r.dns2 = 0;
        const net::Mac mac = r.mac;
        UdpCommandParams u = udpParams({});
        return settle(sendNetworkConfiguration(u), mac, 35306);
    }

    bool serialNumber()
    {
        idleSweep_ = false;
        step(35308, 50);
        const uint32_t s = current().record->serialNumber;
        const uint32_t t = index_ < p_.serials.size() ? p_.serials[index_] : net::kNoSerialNumber;
        if (isProductionSerial(s) && s == t) {
            append(app::loadText(36019));
            fileRecords(s);
            return true;
        }
        if (isProductionSerial(s)) {
            const std::string question =
                app::formatText(app::loadText(35410), static_cast<int>(deviceNumber()), static_cast<int>(s));
            if (report_->askOperator(question, kQuestionStyle) != app::kIdYes) {
                append(app::loadText(36020));
                fileRecords(s);
                return true;
            }
            append(app::loadText(36021));
        }
        // Only a number of the serial range is ever logged or sent.
        if (!isProductionSerial(t)) {
            report_->logSubMessage(app::loadText(35221), kStyleError, false);
            fail(35308);
            return true;
        }
        // The release check and the assigned line in the serial-number log, under its lock.
        if (!channel_.releaseSerialNumber(t)) {
            fail(35308);
            append(app::loadText(36022));
            return true;
        }
        net::DeviceRecord& r = *current().record;
        r.serialModified = true;
        r.serialNumber = t;
        const net::Mac mac = r.mac;
        auto w = webParams<SerialParams>();
        w.devicePort = p_.devicePort;
        // A device found again with another number (35220) fails, but its record was replaced.
        const bool set = setSerialNumber(w);
        settle(set, mac, 35308);
        if (set && current().record) fileRecords(t);
        return true;
    }

    // The device's record folder with the batch number and the run configuration. A failure is
    // written to the log and does not fail the device.
    void fileRecords(uint32_t serial)
    {
        const std::string folder = app::deviceFolder(p_.root, serial);
        bool ok = platform::createDirectory(folder);
        ok = ok && app::writeTextFile(platform::joinPath(folder, app::kBatchFileName), p_.number.str(), false);
        const auto bytes = privateCopy_.empty() ? std::nullopt : platform::readFileBytes(platform::osPath(privateCopy_));
        ok = ok && bytes &&
             app::writeTextFile(platform::joinPath(folder, app::kConfigurationName), *bytes, false);
        if (!ok) report_->logSubMessage(app::loadText(35224), kStyleError, false);
    }

    bool setTime()
    {
        idleSweep_ = false;
        step(35307, 60);
        auto w = webParams<SerialParams>();
        w.devicePort = p_.devicePort;
        if (!setClock(w)) fail(35307);
        return true;
    }

    bool updateFirmwareStep()
    {
        idleSweep_ = false;
        step(35309, 70);
        auto w = webParams<UpdateParams>();
        w.devicePort = p_.devicePort;
        w.firmwarePath = p_.firmwarePath;
        journal().setFirmware(p_.firmwarePath.str());
        const net::Mac mac = current().record->mac;
        return settle(updateFirmware(w), mac, 35309);
    }

    bool testPass()
    {
        if (idleSweep_) {
            if (p_.passLimit != 0 && static_cast<uint32_t>(passes_) >= p_.passLimit) {
                limitReached_ = true;
                return false;
            }
            const uint32_t now = platform::clock().tickCount();
            if (passes_ != 0 && now - passStart_ < kPassSpacingMs) {
                // The window counts the rest of the spacing down, once per pass.
                if (!spacingAnnounced_) report_->announceWait(app::loadText(35313), kPassSpacingMs - (now - passStart_));
                spacingAnnounced_ = true;
                platform::clock().sleep(kPassPollMs);
                return false;
            }
            if (passes_ == 0) {
                // The passes are what a benchmark measures: they run at real speed.
                platform::clock().returnToRealSpeed();
                append(app::loadText(36023));
            }
            ++passes_;
            passStart_ = now;
            spacingAnnounced_ = false;
        }
        idleSweep_ = false;
        if (log_) log_->markLog();
        step(35313, 80);
        auto cpu = webParams<CpuTestParams>();
        cpu.devicePort = p_.devicePort;
        if (!runCpuTest(cpu)) {
            fail(35313);
            return true;
        }
        // The findings of the pass that failed the device.
        if (!cpu.passed) journal().cpuFindings(cpu.findings);
        step(35314, 90);
        auto process = webParams<ProcessTestParams>();
        process.skipFollowUp = true;
        const bool ran = runProcessListTest(process);
        if (ran && cpu.passed && process.passed) {
            // A passing device leaves nothing in the log, so a long run keeps a short log.
            if (log_) log_->truncateLogToMark();
            ++current().passesDone;
        } else {
            fail(35314);
        }
        return true;
    }

    void finish()
    {
        for (index_ = 0; index_ < p_.deviceCount; ++index_) {
            const DeviceState& d = current();
            if (!d.record || d.failureStep == 35300) continue;
            runner_->runPhase(sdCardCleanUpPhase(channel_, log_, d.record, p_.password, p_.webPort, runner_.get()),
                              static_cast<int>(deviceNumber()));
        }
        outcome_.aborted = !goOn_;
        outcome_.passes = passes_;
        outcome_.failed.assign(p_.deviceCount, false);
        outcome_.completed.assign(p_.deviceCount, false);
        summing_ = true;
        if (goOn_) {
            append(app::formatText(app::loadText(36025), timestampText().c_str(), passes_));
            for (uint32_t i = 0; i < p_.deviceCount; ++i) {
                DeviceState& d = devices_[i];
                const int n = static_cast<int>(i + 1);
                outcome_.failed[i] = d.failed;
                outcome_.completed[i] = d.passesDone > 0;
                if (d.failed) {
                    append(app::formatText(app::loadText(36027), n, d.failureTime.c_str(), d.failureStepText.c_str()));
                } else if (d.passesDone > 0) {
                    append(app::formatText(app::loadText(36026), n));
                    if (d.record) d.record->rowStatus = 2;
                    channel_.repaintList();
                } else {
                    append(app::formatText(app::loadText(kNotCompletedText), n));
                }
            }
        } else {
            append(app::formatText(app::loadText(36024), timestampText().c_str()));
            summing_ = false;
            for (uint32_t i = 0; i < p_.deviceCount; ++i) {
                outcome_.failed[i] = devices_[i].failed;
                outcome_.completed[i] = devices_[i].passesDone > 0;
            }
        }
        summing_ = false;
        if (log_ && !log_->saveLog(platform::joinPath(p_.runFolder.str(), app::kEnduranceLogName), true)) {
            outcome_.logSaved = false;
            report_->logMessage(app::loadText(35224), kStyleError, true);
        }
        removePrivateCopy();
        journalOutcomes();
        runner_->end(outcome_.allPassed() && outcome_.logSaved);
        std::string toldFailure;
        for (int n = 1; n <= journals_->count(); ++n) {
            const RunJournal& j = journals_->device(n);
            if (j.written()) continue;
            outcome_.journalWritten = false;
            // The devices share one journal: its failure is told once.
            if (j.failureText() == toldFailure) continue;
            toldFailure = j.failureText();
            report_->logMessage(toldFailure, kStyleError, true);
        }
        finishWorkflow(channel_, log_);
    }

    // Each device's line: passed when it went through a test pass and its run was not aborted,
    // failed when it failed a step, cancelled when the operator ended the run before it got
    // through; no line for a position where no device was found.
    void journalOutcomes()
    {
        const std::string textRecord = platform::joinPath(p_.runFolder.str(), app::kEnduranceLogName);
        const bool stopped = !limitReached_;
        for (uint32_t i = 0; i < p_.deviceCount; ++i) {
            const DeviceState& d = devices_[i];
            RunJournal& j = journals_->device(static_cast<int>(i + 1));
            if (!d.found) {
                j.skip();
                continue;
            }
            j.deviceAfter(d.record);
            j.setTextRecord(textRecord);
            if (!outcome_.logSaved) j.textRecordFailed();
            if (d.failed) j.setOutcome(app::RunOutcome::Failed);
            else if (d.passesDone > 0 && goOn_) j.setOutcome(app::RunOutcome::Passed);
            else j.setOutcome(stopped ? app::RunOutcome::Cancelled : app::RunOutcome::Failed);
        }
    }

    EnduranceParams& p_;
    WorkerChannel& channel_;
    EnduranceOutcome& outcome_;
    LogWindow* log_ = nullptr;
    std::unique_ptr<Reporter> report_;
    std::vector<DeviceState> devices_;
    std::string privateCopy_;
    std::unique_ptr<DeviceJournals> journals_;
    std::unique_ptr<PhaseRunner> runner_;
    EndurancePhase phase_ = EndurancePhase::FindDevice;
    bool stepFailed_ = false;  // the current device failed in the step that runs
    uint32_t index_ = 0;
    int passes_ = 0;
    uint32_t passStart_ = 0;
    bool spacingAnnounced_ = false;  // the spacing before the next pass was announced
    bool goOn_ = true;
    bool idleSweep_ = true;
    bool limitReached_ = false;
    bool summing_ = false;
};

}  // namespace

void runEnduranceRun(EnduranceParams& params, EnduranceOutcome& outcome)
{
    EnduranceRun(params, outcome).run();
}

// ---------------------------------------------------------------------------------------------
// The start button

StartOutcome startEnduranceRun(StarterHost& host, const EnduranceStart& start, std::shared_ptr<EnduranceOutcome> outcome)
{
    if (!start.card) return refuse(host, 30037, app::kMbIconExclamation);
    const std::string firmware = app::newestFirmwareFile(start.firmwareFolder);
    if (firmware.empty() || firmware.size() >= 260) return refuse(host, 30039, app::kMbIconExclamation);
    if (auto refusal = checkFolderNumber(start.number, 31211)) return refuse(host, *refusal, app::kMbIconExclamation);
    if (start.number.size() > kMaxFolderNumberLength) return refuse(host, 30043, app::kMbIconError);
    const uint32_t count = static_cast<uint32_t>(start.serials.size());
    if (count == 0 || count > kMaxRunDevices) return refuse(host, 31212, app::kMbIconExclamation);
    if (const uint32_t n = firstUnusableRunAddress(*start.card, start.target, count)) {
        host.prompt().messageBox(app::formatText(app::loadText(kUnusableAddressText), static_cast<int>(n)),
                                 app::kMbIconExclamation);
        return StartOutcome::Refused;
    }

    std::optional<std::string> configuration;
    if (!start.repair) {
        configuration = host.configurationAssistant(std::string(), true);
        if (!configuration) return StartOutcome::Cancelled;
    }

    const std::string folder = app::enduranceRunFolder(start.root, start.repair ? "REP_" : "CHRG_", start.number);
    // Every record of the run folder and its set-aside name must fit a path field.
    for (const char* name : {app::kEnduranceLogName, app::kConfigurationName}) {
        if (platform::joinPath(folder, name).size() + 24 > 259) return refuse(host, 30043, app::kMbIconError);
    }
    if (app::directoryExists(folder)) {
        if (!confirm(host, 30042)) return StartOutcome::Cancelled;
        if (!app::setRecordsAside(folder, {app::kEnduranceLogName, app::kConfigurationName})) {
            return refuse(host, 30043, app::kMbIconError);
        }
    } else if (!platform::createDirectory(folder)) {
        return refuse(host, 30043, app::kMbIconError);
    }
    if (configuration &&
        !app::writeTextFile(platform::joinPath(folder, app::kConfigurationName), *configuration, false)) {
        return refuse(host, 30043, app::kMbIconError);
    }

    if (start.showNumber) start.showNumber(app::loadText(start.repair ? 30009 : 30010) + " " + start.number);
    auto params = std::make_shared<EnduranceParams>();
    params->repair = start.repair;
    params->deviceCount = count;
    params->number.assign(start.number);
    params->runFolder.assign(folder);
    params->root = start.root;
    params->card = start.card;
    params->password.assign(start.password);
    params->target = start.target;
    params->serials = start.serials;
    params->firmwarePath.assign(firmware);
    std::error_code ec;
    params->privateFolder =
        !start.privateFolder.empty() ? start.privateFolder : platform::stationPath(std::filesystem::temp_directory_path(ec));
    params->passLimit = start.passLimit;
    params->devicePort = start.devicePort;
    params->webPort = start.webPort;
    if (!outcome) outcome = std::make_shared<EnduranceOutcome>();
    if (start.beforeStart) start.beforeStart();
    host.startWorkflow(
        [params, outcome](WorkerChannel& channel) {
            params->channel = &channel;
            runEnduranceRun(*params, *outcome);
        },
        WorkerEnd::Finished);
    return StartOutcome::Started;
}

}  // namespace vst::ops
