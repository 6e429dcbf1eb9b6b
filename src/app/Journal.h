#pragma once
// The production journal: one JSON object on one line (JSON Lines, UTF-8, LF) for every run of a
// production workflow, beside the text records, in {records root}/_Records/{host}/{YYYY-MM}.jsonl.
// Each station writes only its own file, so stations sharing the records tree never write the
// same journal. Text fields of the record are Windows-1252 like every text of the core; the line
// written is UTF-8.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Texts.h"

namespace vst::app {

inline constexpr const char* kJournalSchema = "vestrolan-record/1";
inline constexpr const char* kJournalFolderName = "_Records";

enum class JournalWorkflow { FinalTest, RepairStart, RepairEnd, Endurance, Programming, StockUpdate };
enum class RunOutcome { Passed, Cancelled, Failed };
enum class StepOutcome { Passed, Failed, Skipped };

// "final-test", "repair-start", "repair-end", "endurance", "programming", "stock-update".
const char* workflowName(JournalWorkflow workflow);
std::optional<JournalWorkflow> workflowFromName(std::string_view name);
const char* outcomeName(RunOutcome outcome);
const char* stepOutcomeName(StepOutcome outcome);

// A moment of the journal: UTC milliseconds since 1970 and the local offset from UTC then.
struct JournalInstant {
    int64_t utcMs = 0;
    int32_t utcOffsetMin = 0;  // local = UTC + offset
};
// Now, from the system's clock and time zone.
JournalInstant journalNow();

struct JournalStep {
    TextId id = 0;      // the heading's text id
    std::string text;   // the heading as logged
    int64_t startedMs = 0;
    int64_t endedMs = 0;
    StepOutcome outcome = StepOutcome::Passed;
    std::vector<TextId> messages;  // text ids of the result lines it logged
};

struct JournalMeasurement {
    enum class Kind { Calibration, CpuFindings };
    Kind kind = Kind::Calibration;
    // Calibration: the catalogue's item type as the calibration request names it, and the values.
    std::string item;
    double primary = 0;
    double secondary = 0;
    double voltage = 0;
    double current = 0;
    // CPU findings: their text ids.
    std::vector<TextId> ids;
};

struct JournalRecord {
    std::string id;  // a random UUID
    JournalWorkflow workflow = JournalWorkflow::FinalTest;
    RunOutcome outcome = RunOutcome::Failed;
    std::optional<TextId> failedStep;
    int64_t startedMs = 0;
    int64_t endedMs = 0;
    int32_t utcOffsetMin = 0;
    struct Station {
        std::string host;
        std::string program;  // "vestrolan-manager" or "vestrolan-cli"
        std::string version;
        std::string card;  // the card's address
    } station;
    std::string operatorSign;
    struct Device {
        std::array<uint8_t, 6> mac{};
        std::optional<uint32_t> serial;
        std::string ip;
        std::optional<double> firmwareBefore;
        std::optional<double> firmwareAfter;
    } device;
    std::optional<std::string> batch;   // final test, production endurance run
    std::optional<std::string> repair;  // repair number: repair start and end, repair endurance run
    std::optional<std::string> run;     // the endurance run's folder name
    struct Firmware {
        std::string file;
        std::string sha256;  // lower-case hex
    };
    std::optional<Firmware> firmware;
    std::vector<JournalStep> steps;
    std::vector<JournalMeasurement> measurements;
    std::optional<std::string> textRecord;  // relative to the records root, '/' between folders
};

// The record as its journal line: one JSON object, UTF-8, ended by LF.
std::string journalLine(const JournalRecord& record);

// "2026-12-09T15:41:08.123Z"; and back (nullopt for any other form).
std::string isoUtcText(int64_t utcMs);
std::optional<int64_t> parseIsoUtc(std::string_view text);
// "AA:BB:CC:DD:EE:FF".
std::string journalMacText(const std::array<uint8_t, 6>& mac);

// Calendar days: days since 1970-01-01 and the date they fall on.
struct CivilDate {
    int year = 1970;
    int month = 1;
    int day = 1;
};
CivilDate civilFromDays(int64_t days);
int64_t daysFromCivil(const CivilDate& date);
// The local date a journal moment falls on.
CivilDate localDateOf(int64_t utcMs, int32_t utcOffsetMin);

// This station as a journal names it: its host name, the program ("vestrolan-manager" or
// "vestrolan-cli"), the program's version ("1.05") and the card's address.
JournalRecord::Station thisStation(std::string program, std::string cardAddress);
// A text record's path relative to the records root with '/' between folders
// ("SNR_00004711/REP_7/Reparatur.log"); nullopt when the path does not lie below the root.
std::optional<std::string> relativeRecordPath(std::string_view root, std::string_view path);

// {root}/_Records/{host}/{YYYY-MM}.jsonl, the host as fileNameHost makes it, the month of `at` in
// local time.
std::string journalPath(std::string_view root, std::string_view host, const JournalInstant& at);

// A random version-4 UUID, "xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx".
std::string randomUuid();

// Appends the record's line to this station's journal under `root`, creating "_Records" and the
// host's folder when missing, as one durable append. Without a root nothing is written and the
// result is success. On failure `path` and `reason` (system text) say what went wrong.
struct JournalWriteResult {
    bool ok = true;
    std::string path;
    std::string reason;
};
JournalWriteResult appendJournalRecord(std::string_view root, const JournalRecord& record);
// Text 37500 filled with the journal's path and the reason.
std::string journalFailureText(const JournalWriteResult& result);

// The success text a workflow logs when it passed (programming 35411, final test 35412, repair
// start 35413, repair end 35415, stock update 35405, an endurance device 36026), and the texts
// that mean the operator ended it inside the worker (36037, 36008).
TextId successTextOf(JournalWorkflow workflow);
bool isCancelText(TextId id);

// Collects one run's record as the workflow runs, fed by the phase runner's observer: the run's
// start, each phase's start and end with the result lines it logged, measurements, and the end.
class JournalBuilder {
public:
    using Now = std::function<JournalInstant()>;
    explicit JournalBuilder(Now now = journalNow);

    // A new record: its id, workflow and start time.
    void beginRun(JournalWorkflow workflow);
    // Station, operator, device, batch and the other fields are filled in here.
    JournalRecord& record() { return record_; }
    const JournalRecord& record() const { return record_; }

    void phaseStarted(TextId heading, std::string text);
    // A result line of the running phase (and of the run: success and cancel texts decide the
    // outcome). Outside a phase it counts for the run only.
    void message(TextId id);
    void phaseEnded(StepOutcome outcome);
    // A phase that did not run, with its start and end at this moment.
    void phaseSkipped(TextId heading, std::string text);
    void calibration(std::string item, double primary, double secondary, double voltage, double current);
    void cpuFindings(std::vector<TextId> ids);
    // The operator stopped the run inside the worker in a way that has no text of its own (the
    // endurance run's stop button).
    void cancelled() { cancelled_ = true; }

    // Ends the run: a phase still open ends as failed unless the run passed; the outcome is
    // `outcome` when given, else passed when the workflow's success text was logged, cancelled
    // after a cancel text or cancelled(), failed otherwise; a failed run names the heading of its
    // first failed phase.
    const JournalRecord& endRun(std::optional<RunOutcome> outcome = std::nullopt);

private:
    Now now_;
    JournalRecord record_;
    std::vector<TextId> seen_;
    bool phaseOpen_ = false;
    bool cancelled_ = false;
};

}  // namespace vst::app
