#pragma once
// What a workflow run reports while its phases run: each phase's heading, start and end, outcome
// and the result lines logged in it, and the run's own start, end and final outcome. The
// structured record of a run is written from here; the log window's text is not affected.
#include <cstdint>
#include <string>
#include <vector>

#include "app/Texts.h"
#include "platform/Clock.h"

namespace vst::ops {

enum class PhaseOutcome {
    Passed,
    Failed,
    Skipped,  // not run: an earlier phase failed, or the workflow had no use for it
};

// A moment by the station's clock (the injectable one): its tick count and its local time.
struct PhaseTime {
    uint32_t tick = 0;
    platform::LocalTime local;
};

// The moment now.
PhaseTime phaseTimeNow();

struct PhaseRecord {
    app::TextId heading = 0;          // the heading's text id (German id)
    std::string headingText;          // the heading as logged (Windows-1252)
    int deviceNumber = 0;             // the device of a run of several devices (1 ...), else 0
    PhaseTime start;
    PhaseTime end;
    PhaseOutcome outcome = PhaseOutcome::Skipped;
    std::vector<app::TextId> results; // the text ids of the result lines logged in the phase
};

struct WorkflowRecord {
    app::TextId workflow = 0;  // the workflow's record heading (36031 final test, ...)
    PhaseTime start;
    PhaseTime end;
    bool passed = false;       // every phase that ran passed and the workflow reported success
    app::TextId result = 0;    // the workflow's final result text, 0 when it reported none
    std::vector<PhaseRecord> phases;
    std::vector<app::TextId> results;  // result lines logged outside any phase (the final one ...)
};

class PhaseObserver {
public:
    virtual ~PhaseObserver() = default;
    virtual void workflowStarted(const WorkflowRecord& run) { (void)run; }
    virtual void phaseStarted(const PhaseRecord& phase) { (void)phase; }
    // After the phase's step: end time, outcome and result lines are filled in. A skipped phase
    // is reported here only, with start and end the moment it was passed over.
    virtual void phaseEnded(const PhaseRecord& phase) { (void)phase; }
    // The whole run, every phase included.
    virtual void workflowEnded(const WorkflowRecord& run) { (void)run; }
};

// The observer of every workflow run (none by default). The caller keeps ownership; nullptr
// removes it. Set it before workflows start; the observer is called from worker threads.
void setPhaseObserver(PhaseObserver* observer);
PhaseObserver* phaseObserver();

}  // namespace vst::ops
