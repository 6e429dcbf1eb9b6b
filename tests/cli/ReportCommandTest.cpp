// The yield report over hand-made journals: retests (first-pass against final yield), two batches,
// workflows without a batch, torn and foreign lines, the date, batch and workflow filters, the
// three outputs and the command's refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/CApp.h"
#include "app/Journal.h"
#include "cli/Cli.h"
#include "cli/ConsoleChannel.h"
#include "cli/ConsoleCapture.h"
#include "cli/ReportCommand.h"
#include "ops/YieldReport.h"
#include "platform/FileSystem.h"
#include "support/TempDir.h"

using namespace vst;

namespace {

using test::Capture;
using test::runCli;

// A journal line as another program might write it: only what the report reads, in another order.
std::string line(const char* workflow, const char* outcome, int failedStep, const char* started, int offset,
                 const char* mac, const char* batch)
{
    std::string l = std::string("{\"device\":{\"mac\":\"") + mac + "\",\"serial\":null},\"schema\":\"vestrolan-record/1\"," +
                    "\"workflow\":\"" + workflow + "\",\"outcome\":\"" + outcome + "\",\"failed_step\":" +
                    (failedStep ? std::to_string(failedStep) : "null") + ",\"started\":\"" + started +
                    "\",\"utc_offset_min\":" + std::to_string(offset);
    if (*batch) l += std::string(",\"batch\":\"") + batch + "\"";
    return l + ",\"steps\":[]}\n";
}

// Devices A to E in batch CH-1 (A fails, then passes; B passes; C fails twice; D passes, then
// fails; E is cancelled, then passes), F in CH-2, G's repair start and H's programming on another
// station; a foreign line, a blank line, another schema and a torn last line.
void writeJournals(const test::TempDir& dir)
{
    std::filesystem::create_directories(dir.path() / "_Records" / "pc1");
    std::filesystem::create_directories(dir.path() / "_Records" / "pc-2");
    const std::string ok = line("final-test", "passed", 0, "2026-03-03T10:00:00.000Z", 60, "00:00:00:00:00:0F", "CH-2");
    std::string pc1 =
        line("final-test", "passed", 0, "2026-03-02T08:00:00.000Z", 60, "00:00:00:00:00:0A", "CH-1") +
        line("final-test", "failed", 35303, "2026-03-01T08:00:00.000Z", 60, "00:00:00:00:00:0a", "CH-1") +
        line("final-test", "passed", 0, "2026-03-01T09:00:00.000Z", 60, "00:00:00:00:00:0B", "CH-1") +
        line("final-test", "failed", 35303, "2026-03-01T10:00:00.000Z", 60, "00:00:00:00:00:0C", "CH-1") +
        line("final-test", "failed", 35313, "2026-03-02T10:00:00.000Z", 60, "00:00:00:00:00:0C", "CH-1") +
        "hello world\n" +
        // 23:30 UTC is already the next day at UTC+1.
        line("final-test", "passed", 0, "2026-03-01T23:30:00.000Z", 60, "00:00:00:00:00:0D", "CH-1") +
        line("final-test", "failed", 35303, "2026-03-03T07:00:00.000Z", 60, "00:00:00:00:00:0D", "CH-1") +
        line("final-test", "cancelled", 0, "2026-03-03T08:00:00.000Z", 60, "00:00:00:00:00:0E", "CH-1") + "\r\n" +
        line("final-test", "passed", 0, "2026-03-03T09:00:00.000Z", 60, "00:00:00:00:00:0E", "CH-1") + ok +
        "{\"schema\":\"other/1\",\"workflow\":\"final-test\"}\n" + ok.substr(0, 60);
    std::FILE* f = std::fopen((dir.path() / "_Records" / "pc1" / "2026-03.jsonl").string().c_str(), "wb");
    std::fwrite(pc1.data(), 1, pc1.size(), f);
    std::fclose(f);

    app::JournalRecord programming;
    programming.id = app::randomUuid();
    programming.workflow = app::JournalWorkflow::Programming;
    programming.outcome = app::RunOutcome::Passed;
    programming.startedMs = *app::parseIsoUtc("2026-02-27T13:00:00.000Z");
    programming.endedMs = programming.startedMs + 5000;
    programming.device.mac = {0, 0, 0, 0, 0, 0x11};
    const std::string pc2 = line("repair-start", "failed", 35301, "2026-02-27T12:00:00.000Z", 0, "00:00:00:00:00:10", "") +
                            app::journalLine(programming);
    f = std::fopen((dir.path() / "_Records" / "pc-2" / "2026-02.jsonl").string().c_str(), "wb");
    std::fwrite(pc2.data(), 1, pc2.size(), f);
    std::fclose(f);
    // Not a journal: never read.
    f = std::fopen((dir.path() / "_Records" / "pc-2" / "notes.txt").string().c_str(), "wb");
    std::fputs("garbage\n", f);
    std::fclose(f);
}

}  // namespace

TEST(Report, CountsDevicesRunsAndBothYieldsPerWorkflowAndBatch)
{
    test::TempDir dir;
    writeJournals(dir);
    const ops::YieldReport r = ops::readYieldReport(dir.str(), {});
    EXPECT_EQ(r.unreadableLines, 3);
    EXPECT_EQ(r.journalFiles, 2);
    struct Expected {
        app::JournalWorkflow workflow;
        std::optional<std::string> batch;
        int devices, runs, firstPass, finalPass;
        std::vector<std::pair<app::TextId, int>> failures;
    };
    const std::vector<Expected> expected = {
        {app::JournalWorkflow::FinalTest, "CH-1", 5, 9, 2, 3, {{35303, 3}, {35313, 1}}},
        {app::JournalWorkflow::FinalTest, "CH-2", 1, 1, 1, 1, {}},
        {app::JournalWorkflow::RepairStart, std::nullopt, 1, 1, 0, 0, {{35301, 1}}},
        {app::JournalWorkflow::Programming, std::nullopt, 1, 1, 1, 1, {}},
    };
    ASSERT_EQ(r.groups.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const auto& g = r.groups[i];
        const auto& e = expected[i];
        EXPECT_EQ(g.workflow, e.workflow) << i;
        EXPECT_EQ(g.batch, e.batch) << i;
        EXPECT_EQ(g.devices, e.devices) << i;
        EXPECT_EQ(g.runs, e.runs) << i;
        EXPECT_EQ(g.firstPassDevices, e.firstPass) << i;
        EXPECT_EQ(g.finalPassDevices, e.finalPass) << i;
        ASSERT_EQ(g.topFailures.size(), e.failures.size()) << i;
        for (size_t k = 0; k < e.failures.size(); ++k) {
            EXPECT_EQ(g.topFailures[k].id, e.failures[k].first);
            EXPECT_EQ(g.topFailures[k].count, e.failures[k].second);
        }
    }
    EXPECT_DOUBLE_EQ(r.groups[0].firstPassYield(), 0.4);
    EXPECT_DOUBLE_EQ(r.groups[0].finalYield(), 0.6);
    // Devices per day, from 27 February to 3 March in local time, the empty 28th included.
    const std::vector<int> perDay = {2, 0, 3, 3, 3};
    ASSERT_EQ(r.devicesPerDay.size(), perDay.size());
    for (size_t i = 0; i < perDay.size(); ++i) EXPECT_EQ(r.devicesPerDay[i].devices, perDay[i]) << i;
    EXPECT_EQ(r.devicesPerDay.front().date.day, 27);
}

// Only the five most frequent failing steps, most frequent first, the lower id first among equals.
TEST(Report, TopFiveFailingSteps)
{
    ops::YieldCounter counter({});
    int n = 0;
    for (const auto& [id, count] : std::vector<std::pair<int, int>>{{35307, 1}, {35301, 2}, {35302, 2}, {35303, 6},
                                                                    {35304, 1}, {35305, 4}, {35306, 3}}) {
        for (int k = 0; k < count; ++k) {
            char mac[32];
            std::snprintf(mac, sizeof mac, "00:00:00:00:%02X:%02X", n / 256, n % 256);
            ++n;
            std::string l = line("final-test", "failed", id, "2026-03-01T08:00:00.000Z", 0, mac, "X");
            l.pop_back();
            counter.addLine(l);
        }
    }
    const auto r = counter.report();
    ASSERT_EQ(r.groups.size(), 1u);
    std::vector<std::pair<int, int>> top;
    for (const auto& f : r.groups[0].topFailures) top.emplace_back(f.id, f.count);
    EXPECT_EQ(top, (std::vector<std::pair<int, int>>{{35303, 6}, {35305, 4}, {35306, 3}, {35301, 2}, {35302, 2}}));
    EXPECT_EQ(r.groups[0].firstPassDevices, 0);
    EXPECT_EQ(r.failures.size(), 7u);
}

TEST(Report, FiltersAndJsonOutput)
{
    test::TempDir dir;
    writeJournals(dir);
    struct Case {
        std::vector<std::string> filter;
        std::string json;
    };
    const std::string unreadable = "],\"unreadable_lines\":3}\n";
    const Case cases[] = {
        // The local day 2 March: A's retest, C's second run and D's first (23:30 UTC on the 1st).
        {{"--from", "2026-03-02", "--to", "2026-03-02"},
         "{\"groups\":[{\"workflow\":\"final-test\",\"batch\":\"CH-1\",\"devices\":3,\"runs\":3,"
         "\"first_pass_yield\":0.6666666666666666,\"final_yield\":0.6666666666666666,\"top_failures\":"
         "[{\"id\":35313,\"text\":\"function test of the CPU\",\"count\":1}]}" + unreadable},
        {{"--batch", "CH-2"},
         "{\"groups\":[{\"workflow\":\"final-test\",\"batch\":\"CH-2\",\"devices\":1,\"runs\":1,\"first_pass_yield\":1,"
         "\"final_yield\":1,\"top_failures\":[]}" + unreadable},
        {{"--workflow", "repair-start", "--to", "2026-02-28"},
         "{\"groups\":[{\"workflow\":\"repair-start\",\"batch\":null,\"devices\":1,\"runs\":1,\"first_pass_yield\":0,"
         "\"final_yield\":0,\"top_failures\":[{\"id\":35301,\"text\":\"backup device configuration\",\"count\":1}]}" +
             unreadable},
    };
    for (const auto& c : cases) {
        std::vector<std::string> words = {"--lang", "en", "--snr", dir.str(), "report", "--format", "json"};
        words.insert(words.end(), c.filter.begin(), c.filter.end());
        Capture out, err;
        EXPECT_EQ(runCli(words, out, err), 0) << err.bytes();
        EXPECT_EQ(out.bytes(), c.json);
    }
    // Nothing in the period: the report all the same, and exit status 1.
    Capture out, err;
    EXPECT_EQ(runCli({"--lang", "en", "--snr", dir.str(), "report", "--format", "json", "--from", "2030-01-01"}, out, err), 1);
    EXPECT_EQ(out.bytes(), "{\"groups\":[" + unreadable);
    EXPECT_NE(err.bytes().find("no journal entries found"), std::string::npos);
}

TEST(Report, TextInTheChosenLanguage)
{
    test::TempDir dir;
    writeJournals(dir);
    Capture out, err;
    EXPECT_EQ(runCli({"--snr", dir.str(), "--lang", "de", "report", "--batch", "CH-1"}, out, err), 0) << err.bytes();
    EXPECT_EQ(out.bytes(),
              "final-test  batch CH-1\n"
              "  devices 5, runs 9, first-pass yield 40.0 %, final yield 60.0 %\n"
              "  most frequent failing steps:\n"
              "       3  [35303] Wiederherstellen der Ger\xC3\xA4te-Konfiguration\n"
              "       1  [35313] Funktionspr\xC3\xBC" "fung der CPU\n"
              "3 unlesbare Zeilen \xC3\xBC" "bersprungen\n");
    // A records folder without journals.
    test::TempDir empty;
    Capture out2, err2;
    EXPECT_EQ(runCli({"--snr", empty.str(), "--lang", "en", "report"}, out2, err2), 1);
    EXPECT_EQ(out2.bytes(), "0 unreadable lines skipped\n");
}

// The page is well-formed XML (checked by xmllint where it is installed), self-contained and
// carries the numbers.
TEST(Report, HtmlIsOneWellFormedPageWithoutOutsideResources)
{
    test::TempDir dir;
    writeJournals(dir);
    const std::string page = dir.file("report.html");
    Capture out, err;
    EXPECT_EQ(runCli({"--lang", "en", "--snr", dir.str(), "report", "--format", "html", "--output", page, "--batch", "CH-1"},
                     out, err),
              0)
        << err.bytes();
    EXPECT_EQ(out.bytes(), "");
    const std::string html = dir.read("report.html");
    for (const char* part : {"<svg", "60.0 %", "40.0 %", "restore device configuration", "Pareto", "Devices per day",
                             "3 unreadable lines skipped", "@media print"}) {
        EXPECT_NE(html.find(part), std::string::npos) << part;
    }
    for (const char* outside : {"<script", "http:", "https:", "url(", "<link", "<img"}) {
        // The XHTML and SVG namespaces are names, not resources that are fetched.
        std::string rest = html;
        for (const char* ns : {"http://www.w3.org/1999/xhtml", "http://www.w3.org/2000/svg"}) {
            for (size_t at; (at = rest.find(ns)) != std::string::npos;) rest.erase(at, std::string(ns).size());
        }
        EXPECT_EQ(rest.find(outside), std::string::npos) << outside;
    }
    if (std::system("xmllint --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "xmllint is not installed";
    EXPECT_EQ(std::system(("xmllint --noout " + page).c_str()), 0);

    // A batch name with markup in it stays text.
    ops::YieldCounter counter({});
    std::string l = line("final-test", "passed", 0, "2026-03-01T08:00:00.000Z", 0, "00:00:00:00:00:01", "<b>&amp;\\\"'");
    l.pop_back();
    counter.addLine(l);
    const std::string tricky = dir.file("tricky.html");
    std::FILE* f = std::fopen(tricky.c_str(), "wb");
    const std::string bytes = ops::reportHtml(counter.report(), "a < b & c");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    EXPECT_EQ(std::system(("xmllint --noout " + tricky).c_str()), 0);
    EXPECT_NE(bytes.find("&lt;b&gt;&amp;amp;&quot;&#39;"), std::string::npos);
}

TEST(Report, RefusesBadOptions)
{
    test::TempDir dir;
    struct Case {
        std::vector<std::string> words;
        std::string why;
    };
    const Case cases[] = {
        {{"report"}, "report needs --snr DIR"},
        {{"--snr", dir.str(), "report", "--from", "2026-02-30"}, "--from takes a date YYYY-MM-DD"},
        {{"--snr", dir.str(), "report", "--to", "26-01-01"}, "--to takes a date YYYY-MM-DD"},
        {{"--snr", dir.str(), "report", "--from", "2026-03-02", "--to", "2026-03-01"}, "--from is after --to"},
        {{"--snr", dir.str(), "report", "--workflow", "endtest"},
         "--workflow takes final-test, repair-start, repair-end, endurance, programming or stock-update"},
        {{"--snr", dir.str(), "report", "--format", "pdf"}, "--format takes text, json or html"},
        {{"--snr", dir.str(), "report", "--card", "1"}, "report: unknown option --card"},
        {{"--snr", dir.str(), "report", "extra"}, "report: unexpected argument extra"},
        {{"--snr", dir.str(), "report", "--batch"}, "option --batch needs a value"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> words = {"--lang", "en"};
        words.insert(words.end(), c.words.begin(), c.words.end());
        Capture out, err;
        EXPECT_EQ(runCli(words, out, err), 1) << c.why;
        EXPECT_EQ(err.bytes(), "vestrolan-cli: " + c.why + "\nHelp: vestrolan-cli --help\n");
        EXPECT_EQ(out.bytes(), "");
    }
    // An output file that cannot be written: the reason, exit 1, nothing half-written.
    writeJournals(dir);
    Capture out, err;
    EXPECT_EQ(runCli({"--snr", dir.str(), "report", "--output", dir.file("no/such/folder/r.txt")}, out, err), 1);
    EXPECT_NE(err.bytes().find("cannot be written"), std::string::npos);
    Capture help, none;
    EXPECT_EQ(runCli({"--snr", dir.str(), "report", "--help"}, help, none), 0);
    EXPECT_EQ(help.bytes(), cli::reportCommandHelp());
}
