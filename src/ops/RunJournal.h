#pragma once
// One workflow run's journal line. The workflow gives its runner a RunJournal as the phase
// observer: it builds the record from the phases as they run (and passes every call on to the
// observer of every run), takes the facts the phases do not carry (device, batch, firmware,
// measurements, the text record) from the workflow, and appends the line when the run ends.
// Without a records root nothing is written and nothing fails.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/Journal.h"
#include "net/DeviceRecord.h"
#include "ops/FunctionTests.h"
#include "ops/PhaseObserver.h"
#include "ops/Reporting.h"

namespace vst::app {
struct NetworkCard;
}

namespace vst::ops {

// The station as its journal lines name it, set by the front end ("vestrolan-manager" or
// "vestrolan-cli", the card's address); read by every run as it ends.
void setJournalStation(std::string program, std::string cardAddress);
// The station's program names.
inline constexpr const char* kWindowProgram = "vestrolan-manager";
inline constexpr const char* kConsoleProgram = "vestrolan-cli";
// A card's primary address as text; empty for no card.
std::string journalCardText(const app::NetworkCard* card);
app::JournalRecord::Station journalStation();

class RunJournal : public PhaseObserver {
public:
    // `root`: the records root (empty: no journal). `next`: the observer every call is passed on to.
    RunJournal(std::string root, app::JournalWorkflow workflow, PhaseObserver* next = phaseObserver(),
               app::JournalBuilder::Now now = app::journalNow);

    // The facts of the run, given by the workflow at any time before the run ends.
    void setOperator(std::string sign) { facts_.operatorSign = std::move(sign); }
    // The device as the run found it (firmware before) and as it left it (firmware after); a run
    // that gives only the latter (a blank board) has no firmware before.
    void deviceBefore(const net::DeviceRecord& device);
    void deviceAfter(const net::DeviceRecord* device);
    void setBatch(std::string batch) { facts_.batch = std::move(batch); }
    void setRepair(std::string repair) { facts_.repair = std::move(repair); }
    void setRun(std::string run) { facts_.run = std::move(run); }
    // The firmware image sent or programmed: its file and its digest (read from the file now).
    void setFirmware(const std::string& file);
    void calibrations(const std::vector<SentCalibration>& sent);
    void cpuFindings(const std::vector<app::TextId>& ids);
    // The text record's path (absolute); its path relative to the root goes into the line.
    void setTextRecord(const std::string& path);
    // A text record that could not be written: the run counts as failed.
    void textRecordFailed() { recordFailed_ = true; }
    // The open phase goes into the record as failed although the workflow goes on (a test that
    // reached its verdict and found faults).
    void stepFailed() { stepFailed_ = true; }
    // The run's outcome when its result lines do not tell it (an endurance device); a text record
    // that could not be written still makes it failed.
    void setOutcome(app::RunOutcome outcome) { outcome_ = outcome; }
    // No line for this run (a position of an endurance run where no device was found).
    void skip() { skip_ = true; }
    // Only the phases of this device of a run of several devices (1 ...) go into the record.
    void onlyDevice(int deviceNumber) { deviceNumber_ = deviceNumber; }

    // After the run ended: whether its line was written (true without a root), and the text 37500
    // for the operator when it was not.
    bool written() const { return written_.ok; }
    std::string failureText() const { return app::journalFailureText(written_); }
    // After the run ended: true when its line was written; otherwise the operator is shown the
    // failure text (a message box, logged) and the answer is false - the run did not succeed.
    bool reportUnwritten(Reporter& report) const;
    const app::JournalRecord& record() const { return builder_.record(); }

    void workflowStarted(const WorkflowRecord& run) override;
    void phaseStarted(const PhaseRecord& phase) override;
    void phaseEnded(const PhaseRecord& phase) override;
    void workflowEnded(const WorkflowRecord& run) override;

private:
    std::string root_;
    app::JournalWorkflow workflow_;
    PhaseObserver* next_;
    app::JournalBuilder builder_;
    app::JournalRecord facts_;
    bool recordFailed_ = false;
    bool stepFailed_ = false;
    std::optional<app::RunOutcome> outcome_;
    int deviceNumber_ = 0;
    bool skip_ = false;
    app::JournalWriteResult written_;
};

// The journals of a run of several devices, one line per device: every call goes to each of them
// and then, once, to the observer of every run.
class DeviceJournals : public PhaseObserver {
public:
    DeviceJournals(const std::string& root, app::JournalWorkflow workflow, int devices,
                   PhaseObserver* next = phaseObserver());
    RunJournal& device(int deviceNumber) { return *journals_.at(static_cast<size_t>(deviceNumber - 1)); }
    int count() const { return static_cast<int>(journals_.size()); }

    void workflowStarted(const WorkflowRecord& run) override;
    void phaseStarted(const PhaseRecord& phase) override;
    void phaseEnded(const PhaseRecord& phase) override;
    void workflowEnded(const WorkflowRecord& run) override;

private:
    // Passes one event to every device's journal, then to the next observer.
    template <typename Record>
    void tell(void (PhaseObserver::*event)(const Record&), const Record& record);

    std::vector<std::unique_ptr<RunJournal>> journals_;
    PhaseObserver* next_;
};

}  // namespace vst::ops
