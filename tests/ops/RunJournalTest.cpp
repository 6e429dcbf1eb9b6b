// A run's journal as the phase observer: it passes every call on to the observer of every run,
// marks a test that found faults as the failed step, and splits a run of several devices into
// one line per device it found.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "integration/JournalLines.h"
#include "ops/RunJournal.h"
#include "support/TempDir.h"

using namespace vst;

namespace {

struct Recording : ops::PhaseObserver {
    std::vector<std::string> calls;
    void workflowStarted(const ops::WorkflowRecord&) override { calls.push_back("start"); }
    void phaseStarted(const ops::PhaseRecord& p) override { calls.push_back("begin " + std::to_string(p.heading)); }
    void phaseEnded(const ops::PhaseRecord& p) override { calls.push_back("end " + std::to_string(p.heading)); }
    void workflowEnded(const ops::WorkflowRecord&) override { calls.push_back("done"); }
};

ops::PhaseRecord phase(app::TextId heading, ops::PhaseOutcome outcome, int device = 0,
                       std::vector<app::TextId> results = {})
{
    ops::PhaseRecord p;
    p.heading = heading;
    p.headingText = "step " + std::to_string(heading);
    p.deviceNumber = device;
    p.outcome = outcome;
    p.results = std::move(results);
    return p;
}

void runPhase(ops::PhaseObserver& o, const ops::PhaseRecord& p)
{
    if (p.outcome != ops::PhaseOutcome::Skipped) o.phaseStarted(p);
    o.phaseEnded(p);
}

}  // namespace

TEST(RunJournal, PassesEveryCallOnAndMarksAFaultFindingTestFailed)
{
    test::TempDir root;
    Recording next;
    ops::RunJournal journal(root.str(), app::JournalWorkflow::FinalTest, &next);
    net::DeviceRecord device;
    device.mac = {0x02, 0, 0, 0, 0, 0x01};
    device.serialNumber = 1001;
    device.appVersion = 1.05f;
    journal.deviceBefore(device);
    journal.setBatch("CH-1");

    ops::WorkflowRecord run;
    journal.workflowStarted(run);
    runPhase(journal, phase(35305, ops::PhaseOutcome::Passed));
    // The CPU test reached its verdict (the workflow goes on) but found faults.
    const auto cpu = phase(35313, ops::PhaseOutcome::Passed, 0, {35255});
    journal.phaseStarted(cpu);
    journal.stepFailed();
    journal.phaseEnded(cpu);
    runPhase(journal, phase(35314, ops::PhaseOutcome::Passed));
    journal.workflowEnded(run);

    EXPECT_EQ(next.calls, (std::vector<std::string>{"start", "begin 35305", "end 35305", "begin 35313", "end 35313",
                                                    "begin 35314", "end 35314", "done"}));
    ASSERT_TRUE(journal.written());
    const auto lines = test::journalLines(root.str());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(test::textAt(lines[0], "outcome"), "failed");
    EXPECT_EQ(test::jsonAt(lines[0], "failed_step"), "35313");
    EXPECT_EQ(test::eachOf(lines[0], "steps", "outcome"),
              (std::vector<std::string>{"\"passed\"", "\"failed\"", "\"passed\""}));
    EXPECT_EQ(test::eachOf(lines[0], "steps", "messages"), (std::vector<std::string>{"[]", "[35255]", "[]"}));
    EXPECT_EQ(test::jsonAt(lines[0], "device.serial"), "1001");
    EXPECT_EQ(test::textAt(lines[0], "batch"), "CH-1");
}

TEST(RunJournal, OneLinePerFoundDeviceAndNoneWithoutARoot)
{
    test::TempDir root;
    Recording next;
    ops::DeviceJournals journals(root.str(), app::JournalWorkflow::Endurance, 3, &next);
    ops::WorkflowRecord run;
    journals.workflowStarted(run);
    runPhase(journals, phase(35300, ops::PhaseOutcome::Passed, 1));
    runPhase(journals, phase(35300, ops::PhaseOutcome::Failed, 2));
    runPhase(journals, phase(35300, ops::PhaseOutcome::Passed, 3));
    runPhase(journals, phase(35313, ops::PhaseOutcome::Failed, 3));
    runPhase(journals, phase(35313, ops::PhaseOutcome::Passed, 1));
    journals.device(1).setOutcome(app::RunOutcome::Passed);
    journals.device(2).skip();  // not found
    journals.device(3).setOutcome(app::RunOutcome::Failed);
    journals.workflowEnded(run);
    EXPECT_EQ(next.calls.size(), 12u) << "each call passed on once";

    const auto lines = test::journalLines(root.str());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(test::eachOf(lines[0], "steps", "id"), (std::vector<std::string>{"35300", "35313"}));
    EXPECT_EQ(test::textAt(lines[0], "outcome"), "passed");
    EXPECT_EQ(test::eachOf(lines[1], "steps", "id"), (std::vector<std::string>{"35300", "35313"}));
    EXPECT_EQ(test::textAt(lines[1], "outcome"), "failed");
    EXPECT_EQ(test::jsonAt(lines[1], "failed_step"), "35313");

    // Without a records root nothing is written and nothing fails.
    ops::RunJournal none("", app::JournalWorkflow::Programming, nullptr);
    none.workflowStarted(run);
    none.workflowEnded(run);
    EXPECT_TRUE(none.written());
}
