#pragma once
// A workflow as a table of phases. Each phase is a row (heading text, progress position, step);
// the runner logs the heading, sets the progress, runs the step and stops at the first failure.
// After the phases the workflow concludes (its result line), then the clean-up phases it names run
// whatever came before (the SD-card cleanup), then its records are written and the closing
// sequence hands the log window back to the operator. Every phase's start, end, outcome and
// result lines go to the phase observer.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/Texts.h"
#include "ops/PhaseObserver.h"

namespace vst::ops {

class Reporter;

enum class HeadingStyle {
    Logged,  // "\r\nheading:\r\n" in the log and the first progress bar
    Shown,   // the first progress bar only (a question to the operator follows)
};

struct Phase {
    Phase() = default;
    Phase(app::TextId headingText, int32_t progress, std::function<bool()> work)
        : heading(headingText), position(progress), step(std::move(work))
    {
    }

    app::TextId heading = 0;
    int32_t position = 0;
    // The phase's work; false: the phase failed and the workflow stops here.
    std::function<bool()> step;
    HeadingStyle style = HeadingStyle::Logged;
    // When given, the phase runs only when this says so; otherwise it is skipped (no heading).
    std::function<bool()> when;
    // Runs when `when` says the phase is not wanted (a line in the log why it is left out).
    std::function<void()> otherwise;
    // Runs when the phase is not reached because an earlier one failed (and `when` holds): what
    // the phase would have given back (a serial number's log line) is given back here.
    std::function<void()> notReached;
};

struct WorkflowPlan {
    app::TextId record = 0;  // the workflow's record heading, for the observer
    std::vector<Phase> phases;
    // After the phases, with whether they all passed: logs the result line and returns whether
    // the workflow passed. None: the workflow passed when its phases did.
    std::function<bool(bool phasesPassed)> conclude;
    // Run whatever came before, in order; a failure here does not change the workflow's outcome.
    std::vector<Phase> cleanUp;
    // Writes the workflow's records, after the clean-up and before the closing sequence.
    std::function<void()> records;
    // The closing sequence (finishWorkflow as a rule); none for a workflow without a log window.
    std::function<void()> close;
};

class PhaseRunner {
public:
    explicit PhaseRunner(Reporter& report, PhaseObserver* observer = phaseObserver());

    // Runs a whole plan; true when the workflow passed.
    bool run(const WorkflowPlan& plan);

    // For a workflow that drives its phases itself (the endurance run turns over its devices):
    // the start and end of the run, and one phase at a time; `deviceNumber` > 0 adds " #n" to the
    // heading.
    void begin(app::TextId record);
    bool runPhase(const Phase& phase, int deviceNumber = 0);
    void end(bool passed);
    // A phase whose work the workflow does between these two calls (its step is not used): the
    // heading is logged at once, the outcome given at the end. A phase still open when another
    // starts or the run ends counts as passed.
    void startPhase(const Phase& phase, int deviceNumber = 0);
    void endPhase(PhaseOutcome outcome);
    bool phaseOpen() const { return open_; }

    // A result line logged: it belongs to the running phase, else to the run itself.
    void noteResult(app::TextId text);
    // The workflow's final result text.
    void setResult(app::TextId text) { run_.result = text; }
    const WorkflowRecord& record() const { return run_; }

private:
    void skip(const Phase& phase, int deviceNumber);
    PhaseRecord& open(const Phase& phase, int deviceNumber);

    Reporter& report_;
    PhaseObserver* observer_;
    WorkflowRecord run_;
    bool open_ = false;
};

}  // namespace vst::ops
