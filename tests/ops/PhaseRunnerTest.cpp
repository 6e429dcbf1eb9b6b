// The phase runner: headings and progress per phase, the stop at the first failure, the phases
// not reached, the conclusion, clean-up, records and closing in their order, and what the
// observer is told (outcomes, result ids, times from the station's clock).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Format.h"
#include "app/Texts.h"
#include "ops/PhaseRunner.h"
#include "ops/Reporting.h"
#include "platform/ManualClock.h"
#include "support/RecordingChannel.h"

using namespace vst;
using ops::PhaseOutcome;
using ops::StatusMessage;

namespace {

class Journal : public ops::PhaseObserver {
public:
    std::vector<std::string> events;
    ops::WorkflowRecord last;
    void workflowStarted(const ops::WorkflowRecord& run) override { events.push_back("start " + std::to_string(run.workflow)); }
    void phaseStarted(const ops::PhaseRecord& p) override { events.push_back("begin " + std::to_string(p.heading)); }
    void phaseEnded(const ops::PhaseRecord& p) override
    {
        events.push_back("end " + std::to_string(p.heading) + " " + std::to_string(static_cast<int>(p.outcome)));
    }
    void workflowEnded(const ops::WorkflowRecord& run) override
    {
        events.push_back(std::string("done ") + (run.passed ? "passed" : "failed"));
        last = run;
    }
};

}  // namespace

TEST(PhaseRunner, StopsAtTheFirstFailureThenConcludesCleansUpWritesAndCloses)
{
    struct Case {
        const char* name;
        std::vector<bool> steps;       // what each of the three steps returns
        bool thirdWanted;              // the third phase's `when`
        std::vector<PhaseOutcome> outcomes;
        std::vector<std::string> headings;  // logged (first bar), clean-up included
        bool notReached;               // the third phase's give-back ran
        bool passed;
    };
    const auto P = PhaseOutcome::Passed, F = PhaseOutcome::Failed, S = PhaseOutcome::Skipped;
    const Case cases[] = {
        {"all pass", {true, true, true}, true, {P, P, P, P}, {"35305", "35312", "35313", "35315"}, false, true},
        {"first fails", {false, true, true}, true, {F, S, S, P}, {"35305", "35315"}, true, false},
        {"second fails", {true, false, true}, true, {P, F, S, P}, {"35305", "35312", "35315"}, true, false},
        {"third not wanted", {true, true, true}, false, {P, P, S, P}, {"35305", "35312", "35315"}, false, true},
        {"failure, third not wanted", {false, true, true}, false, {F, S, S, P}, {"35305", "35315"}, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::ManualClock clock;
        platform::ScopedClock useClock(clock);
        test::RecordingChannel channel;
        ops::Reporter report(channel, nullptr);
        Journal journal;
        ops::PhaseRunner runner(report, &journal);
        std::vector<std::string> order;
        int ran = 0;
        bool gaveBack = false;
        bool concludedWith = !c.passed;

        auto stepAt = [&](size_t i) {
            return [&, i] {
                ++ran;
                clock.advance(250);
                if (i == 1) runner.noteResult(35412);
                return c.steps[i];
            };
        };
        ops::WorkflowPlan plan;
        plan.record = 36031;
        ops::Phase third{35313, 60, stepAt(2)};
        third.when = [&] { return c.thirdWanted; };
        third.notReached = [&] { gaveBack = true; };
        plan.phases = {{35305, 20, stepAt(0)}, {35312, 40, stepAt(1)}, third};
        plan.conclude = [&](bool ok) {
            order.push_back("conclude");
            runner.noteResult(35405);
            concludedWith = ok;
            return ok;
        };
        plan.cleanUp = {{35315, 95, [&] {
                             order.push_back("clean");
                             return true;
                         }}};
        plan.records = [&] { order.push_back("records"); };
        plan.close = [&] { order.push_back("close"); };

        const bool passed = runner.run(plan);
        EXPECT_EQ(passed, c.passed);
        EXPECT_EQ(concludedWith, c.passed);
        EXPECT_EQ(gaveBack, c.notReached);
        EXPECT_EQ(order, (std::vector<std::string>{"conclude", "clean", "records", "close"}));

        std::vector<std::string> headings;
        for (const auto& text : channel.texts(StatusMessage::SetHeading)) {
            for (unsigned id : {35305u, 35312u, 35313u, 35315u}) {
                if (text == app::loadText(id)) headings.push_back(std::to_string(id));
            }
        }
        EXPECT_EQ(headings, c.headings);

        const ops::WorkflowRecord& run = journal.last;
        ASSERT_EQ(run.phases.size(), c.outcomes.size());
        for (size_t i = 0; i < c.outcomes.size(); ++i) {
            EXPECT_EQ(run.phases[i].outcome, c.outcomes[i]) << i;
            EXPECT_EQ(run.phases[i].headingText, app::loadText(run.phases[i].heading));
            const uint32_t took = run.phases[i].end.tick - run.phases[i].start.tick;
            EXPECT_EQ(took, i < 3 && c.outcomes[i] != S ? 250u : 0u) << i;
        }
        // A result noted in a phase belongs to that phase only.
        EXPECT_EQ(run.phases[1].results, (c.outcomes[1] == P || c.outcomes[1] == F ? std::vector<app::TextId>{35412}
                                                                                     : std::vector<app::TextId>{}));
        EXPECT_TRUE(run.phases[0].results.empty());
        // A result logged between the phases belongs to the run.
        EXPECT_EQ(run.results, std::vector<app::TextId>{35405});
        EXPECT_EQ(run.workflow, 36031u);
        EXPECT_EQ(run.passed, c.passed);
        EXPECT_EQ(run.end.tick - run.start.tick, 250u * static_cast<uint32_t>(ran));
        EXPECT_EQ(journal.events.front(), "start 36031");
        EXPECT_EQ(journal.events.back(), std::string("done ") + (c.passed ? "passed" : "failed"));
    }
}

TEST(PhaseRunner, SinglePhasesOfADeviceCarryItsNumberAndAShownHeadingIsNotLogged)
{
    test::RecordingChannel channel;
    ops::LogWindow log;
    ops::Reporter report(channel, &log);
    Journal journal;
    ops::PhaseRunner runner(report, &journal);
    runner.begin(36010);
    ops::Phase logged{35306, 40, [] { return false; }};
    ops::Phase shown{35316, 25, [] { return true; }};
    shown.style = ops::HeadingStyle::Shown;
    EXPECT_FALSE(runner.runPhase(logged, 3));
    EXPECT_TRUE(runner.runPhase(shown, 0));
    runner.end(false);

    const std::string numbered = app::formatText("%s #%d", app::loadText(35306).c_str(), 3);
    EXPECT_EQ(channel.texts(StatusMessage::SetHeading), (std::vector<std::string>{numbered, app::loadText(35316)}));
    EXPECT_NE(log.text().find(numbered), std::string::npos);
    EXPECT_EQ(log.text().find(app::loadText(35316)), std::string::npos);
    ASSERT_EQ(journal.last.phases.size(), 2u);
    EXPECT_EQ(journal.last.phases[0].deviceNumber, 3);
    EXPECT_EQ(journal.last.phases[0].headingText, numbered);
    EXPECT_EQ(journal.last.phases[0].outcome, PhaseOutcome::Failed);
    EXPECT_FALSE(journal.last.passed);
}
