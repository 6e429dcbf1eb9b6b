#include "ops/PhaseRunner.h"

#include <atomic>

#include "app/Format.h"
#include "ops/Reporting.h"

namespace vst::ops {
namespace {

std::atomic<PhaseObserver*> observerOfEveryRun{nullptr};

}  // namespace

PhaseTime phaseTimeNow()
{
    PhaseTime now;
    now.tick = platform::clock().tickCount();
    now.local = platform::clock().localTime();
    return now;
}

void setPhaseObserver(PhaseObserver* observer) { observerOfEveryRun = observer; }

PhaseObserver* phaseObserver() { return observerOfEveryRun; }

PhaseRunner::PhaseRunner(Reporter& report, PhaseObserver* observer) : report_(report), observer_(observer) {}

void PhaseRunner::begin(app::TextId record)
{
    run_ = WorkflowRecord{};
    open_ = false;
    run_.workflow = record;
    run_.start = phaseTimeNow();
    if (observer_) observer_->workflowStarted(run_);
}

PhaseRecord& PhaseRunner::open(const Phase& phase, int deviceNumber)
{
    PhaseRecord record;
    record.heading = phase.heading;
    record.deviceNumber = deviceNumber;
    const std::string heading = app::loadText(phase.heading);
    record.headingText = deviceNumber > 0 ? app::formatText("%s #%d", heading.c_str(), deviceNumber) : heading;
    record.start = phaseTimeNow();
    run_.phases.push_back(std::move(record));
    return run_.phases.back();
}

void PhaseRunner::skip(const Phase& phase, int deviceNumber)
{
    PhaseRecord& record = open(phase, deviceNumber);
    record.end = record.start;
    record.outcome = PhaseOutcome::Skipped;
    if (observer_) observer_->phaseEnded(record);
}

void PhaseRunner::startPhase(const Phase& phase, int deviceNumber)
{
    if (open_) endPhase(PhaseOutcome::Passed);
    PhaseRecord& record = open(phase, deviceNumber);
    if (phase.style == HeadingStyle::Logged) report_.logHeading(record.headingText, phase.position);
    else report_.setHeading(record.headingText, phase.position);
    open_ = true;
    if (observer_) observer_->phaseStarted(record);
}

void PhaseRunner::endPhase(PhaseOutcome outcome)
{
    if (!open_) return;
    open_ = false;
    // Results noted since the start belong to the phase, the last of the list still.
    PhaseRecord& done = run_.phases.back();
    done.end = phaseTimeNow();
    done.outcome = outcome;
    if (observer_) observer_->phaseEnded(done);
}

bool PhaseRunner::runPhase(const Phase& phase, int deviceNumber)
{
    if (phase.when && !phase.when()) {
        if (open_) endPhase(PhaseOutcome::Passed);
        if (phase.otherwise) phase.otherwise();
        skip(phase, deviceNumber);
        return true;
    }
    startPhase(phase, deviceNumber);
    const bool passed = phase.step ? phase.step() : true;
    endPhase(passed ? PhaseOutcome::Passed : PhaseOutcome::Failed);
    return passed;
}

void PhaseRunner::noteResult(app::TextId text)
{
    if (open_) run_.phases.back().results.push_back(text);
    else run_.results.push_back(text);
}

void PhaseRunner::end(bool passed)
{
    if (open_) endPhase(PhaseOutcome::Passed);
    run_.passed = passed;
    run_.end = phaseTimeNow();
    if (observer_) observer_->workflowEnded(run_);
}

bool PhaseRunner::run(const WorkflowPlan& plan)
{
    begin(plan.record);
    bool phasesPassed = true;
    for (const Phase& phase : plan.phases) {
        if (!phasesPassed) {
            if (!phase.when || phase.when()) {
                if (phase.notReached) phase.notReached();
            }
            skip(phase, 0);
            continue;
        }
        phasesPassed = runPhase(phase);
    }
    const bool passed = plan.conclude ? plan.conclude(phasesPassed) : phasesPassed;
    for (const Phase& phase : plan.cleanUp) runPhase(phase);
    if (plan.records) plan.records();
    end(passed);
    if (plan.close) plan.close();
    return passed;
}

}  // namespace vst::ops
