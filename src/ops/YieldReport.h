#pragma once
// The yield report over the production journals: per workflow and batch the devices, the runs,
// the first-pass and the final yield and the most frequent failing steps, read from every journal
// under {records root}/_Records. Lines that are not journal entries (a line torn by a power cut,
// foreign text) are counted and skipped, never fatal. Output as text, JSON or a self-contained
// HTML page.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Journal.h"

namespace vst::ops {

struct ReportFilter {
    std::optional<app::CivilDate> from;  // inclusive, local date of a run's start
    std::optional<app::CivilDate> to;    // inclusive
    std::optional<std::string> batch;    // UTF-8, compared exactly
    std::optional<app::JournalWorkflow> workflow;
};

struct FailureCount {
    app::TextId id = 0;
    int count = 0;
};

struct YieldGroup {
    app::JournalWorkflow workflow = app::JournalWorkflow::FinalTest;
    std::optional<std::string> batch;  // UTF-8; none for workflows without a batch
    int devices = 0;
    int runs = 0;
    int firstPassDevices = 0;  // devices whose first run passed
    int finalPassDevices = 0;  // devices whose last run passed
    std::vector<FailureCount> topFailures;  // at most five, most frequent first
    double firstPassYield() const { return devices ? double(firstPassDevices) / devices : 0.0; }
    double finalYield() const { return devices ? double(finalPassDevices) / devices : 0.0; }
};

struct DayCount {
    app::CivilDate date;
    int devices = 0;  // distinct devices with a run started that day
};

struct YieldReport {
    std::vector<YieldGroup> groups;  // in workflow order, then by batch (none first)
    std::vector<FailureCount> failures;  // every failing step over all groups, most frequent first
    std::vector<DayCount> devicesPerDay;  // every day from the first to the last, in order
    int unreadableLines = 0;
    int journalFiles = 0;
};

// Counts journal lines one by one; report() gives the result.
class YieldCounter {
public:
    explicit YieldCounter(ReportFilter filter);
    ~YieldCounter();
    YieldCounter(const YieldCounter&) = delete;
    YieldCounter& operator=(const YieldCounter&) = delete;

    // One line without its LF; blank lines are no entries and are not counted as unreadable.
    void addLine(std::string_view line);
    // Every line of a journal file's bytes (a last line without LF too).
    void addText(std::string_view text);
    void unreadable(int lines) { unreadable_ += lines; }
    YieldReport report() const;

private:
    struct State;
    ReportFilter filter_;
    std::unique_ptr<State> state_;
    int unreadable_ = 0;
};

// Reads every "*.jsonl" in the folders of {root}/_Records (root in Windows-1252). A journal that
// cannot be read counts as one unreadable line.
YieldReport readYieldReport(std::string_view root, const ReportFilter& filter);

// The heading text of a failing step in the current language (UTF-8, without line ends and the
// trailing colon), or "" when the id has no text.
std::string stepHeadingText(app::TextId id);

// The outputs, UTF-8.
std::string reportText(const YieldReport& report);
std::string reportJson(const YieldReport& report);
// `title` goes into the page's heading (filters and period, UTF-8).
std::string reportHtml(const YieldReport& report, const std::string& title);

}  // namespace vst::ops
