// The journal line, its JSON, the journal's path and the builder that the phase observer feeds.
#include <gtest/gtest.h>

#include "app/CApp.h"
#include "app/Journal.h"
#include "app/Json.h"
#include "app/Sha256.h"
#include "app/Texts.h"
#include "app/Version.h"
#include "platform/FileSystem.h"
#include "support/TempDir.h"

using namespace vst;
using namespace vst::app;

namespace {

// 2026-03-08 14:05:09.250 UTC
constexpr int64_t kStart = 1772978709250;

JournalRecord finalTestRecord()
{
    JournalRecord r;
    r.id = "0b7e6a2c-5f1d-4c3e-9a8b-1234567890ab";
    r.workflow = JournalWorkflow::FinalTest;
    r.outcome = RunOutcome::Failed;
    r.failedStep = 35301;
    r.startedMs = kStart;
    r.endedMs = kStart + 61005;
    r.utcOffsetMin = 60;
    r.station = {"PR\xDC" "F-1", "vestrolan-cli", "1.05", "192.168.0.1"};
    r.operatorSign = "M\"M\\";
    r.device.mac = {0x00, 0x1A, 0x2B, 0xC3, 0xD4, 0xEF};
    r.device.serial = 4711;
    r.device.ip = "192.168.0.101";
    r.device.firmwareBefore = json::fromFloat(1.05f);
    r.batch = "CH\t7";
    JournalStep restore{35301, "Konfiguration wiederherstellen", kStart + 1000, kStart + 2500, StepOutcome::Failed,
                        {35217, 35218}};
    JournalStep skipped{35315, "Bereinige SD-Karte", kStart + 3000, kStart + 3000, StepOutcome::Skipped, {}};
    r.steps = {restore, skipped};
    JournalMeasurement cal;
    cal.item = "Energie\xB9";
    cal.primary = 100;
    cal.secondary = 1;
    cal.voltage = 230;
    cal.current = 0.5;
    JournalMeasurement cpu;
    cpu.kind = JournalMeasurement::Kind::CpuFindings;
    cpu.ids = {35330, 35331};
    r.measurements = {cal, cpu};
    r.textRecord = "SNR_00004711/Endtest.log";
    return r;
}

}  // namespace

// The exact line: field order, UTF-8 of Windows-1252 texts, escapes, nulls, numbers as written,
// the fields that apply only where they apply.
TEST(Journal, LineIsExactlyTheJsonOfTheRecord)
{
    const std::string expected =
        "{\"schema\":\"vestrolan-record/1\",\"id\":\"0b7e6a2c-5f1d-4c3e-9a8b-1234567890ab\","
        "\"workflow\":\"final-test\",\"outcome\":\"failed\",\"failed_step\":35301,"
        "\"started\":\"2026-03-08T14:05:09.250Z\",\"ended\":\"2026-03-08T14:06:10.255Z\",\"utc_offset_min\":60,"
        "\"station\":{\"host\":\"PR\xC3\x9C" "F-1\",\"program\":\"vestrolan-cli\",\"version\":\"1.05\",\"card\":\"192.168.0.1\"},"
        "\"operator\":\"M\\\"M\\\\\","
        "\"device\":{\"mac\":\"00:1A:2B:C3:D4:EF\",\"serial\":4711,\"ip\":\"192.168.0.101\",\"firmware_before\":1.05,"
        "\"firmware_after\":null},"
        "\"batch\":\"CH\\t7\","
        "\"steps\":[{\"id\":35301,\"text\":\"Konfiguration wiederherstellen\",\"started\":\"2026-03-08T14:05:10.250Z\","
        "\"ended\":\"2026-03-08T14:05:11.750Z\",\"outcome\":\"failed\",\"messages\":[35217,35218]},"
        "{\"id\":35315,\"text\":\"Bereinige SD-Karte\",\"started\":\"2026-03-08T14:05:12.250Z\","
        "\"ended\":\"2026-03-08T14:05:12.250Z\",\"outcome\":\"skipped\",\"messages\":[]}],"
        "\"measurements\":[{\"name\":\"calibration\",\"item\":\"Energie\xC2\xB9\",\"primary\":100,\"secondary\":1,"
        "\"voltage\":230,\"current\":0.5},{\"name\":\"cpu-findings\",\"ids\":[35330,35331]}],"
        "\"text_record\":\"SNR_00004711/Endtest.log\"}\n";
    EXPECT_EQ(journalLine(finalTestRecord()), expected);

    // A programming run: no serial, no firmware versions read, a firmware image, no text record,
    // and none of batch, repair and run.
    JournalRecord p;
    p.id = "u";
    p.workflow = JournalWorkflow::Programming;
    p.outcome = RunOutcome::Passed;
    p.startedMs = 0;
    p.endedMs = 999;
    p.utcOffsetMin = -300;
    p.station = {"h", "vestrolan-manager", "1.05", "10.0.0.1"};
    p.operatorSign = "A";
    p.device.ip = "10.0.0.2";
    p.device.firmwareAfter = 1.1;
    p.firmware = JournalRecord::Firmware{"VestrolanV110.hex", "ab01"};
    EXPECT_EQ(journalLine(p),
              "{\"schema\":\"vestrolan-record/1\",\"id\":\"u\",\"workflow\":\"programming\",\"outcome\":\"passed\","
              "\"failed_step\":null,\"started\":\"1970-01-01T00:00:00.000Z\",\"ended\":\"1970-01-01T00:00:00.999Z\","
              "\"utc_offset_min\":-300,\"station\":{\"host\":\"h\",\"program\":\"vestrolan-manager\",\"version\":\"1.05\","
              "\"card\":\"10.0.0.1\"},\"operator\":\"A\",\"device\":{\"mac\":\"00:00:00:00:00:00\",\"serial\":null,"
              "\"ip\":\"10.0.0.2\",\"firmware_before\":null,\"firmware_after\":1.1},"
              "\"firmware\":{\"file\":\"VestrolanV110.hex\",\"sha256\":\"ab01\"},\"steps\":[],\"measurements\":[],"
              "\"text_record\":null}\n");
}

TEST(Journal, StringsAndNumbers)
{
    struct StringCase {
        std::string in;
        std::string out;
    };
    const StringCase strings[] = {
        {"plain", "\"plain\""},
        {"a\"b\\c/d", "\"a\\\"b\\\\c/d\""},
        {"\r\n\t\b\f", "\"\\r\\n\\t\\b\\f\""},
        {std::string("\x01\x1F\x7F", 3), "\"\\u0001\\u001f\x7F\""},
        {std::string("nul\0x", 5), "\"nul\\u0000x\""},
        {"\xC3\xA4\xE2\x82\xAC", "\"\xC3\xA4\xE2\x82\xAC\""},  // UTF-8 stays as it is
    };
    for (const auto& c : strings) {
        std::string out;
        json::appendString(out, c.in);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(json::stringValue(out), c.in) << c.out;  // and reads back
    }
    struct NumberCase {
        double in;
        const char* out;
    };
    const NumberCase numbers[] = {{1.05, "1.05"},   {json::fromFloat(1.05f), "1.05"}, {json::fromFloat(0.9999f), "0.9999"},
                                  {230, "230"},     {-0.5, "-0.5"},                   {-0.0, "0"},
                                  {1e21, "1e+21"},  {0.1 + 0.2, "0.30000000000000004"}, {1.0 / 0.0, "null"}};
    for (const auto& c : numbers) {
        std::string out;
        json::appendNumber(out, c.in);
        EXPECT_EQ(out, c.out);
    }
}

// The reader checks a line whole: anything torn, foreign or malformed is refused, never half-read.
TEST(Journal, ReaderRefusesWhatIsNotJson)
{
    const std::string good = journalLine(finalTestRecord());
    const auto members = json::objectMembers(good);
    ASSERT_TRUE(members);
    EXPECT_EQ(json::stringValue(*json::member(*members, "workflow")), "final-test");
    EXPECT_EQ(json::numberValue(*json::member(*members, "failed_step")), 35301);
    const auto device = json::objectMembers(*json::member(*members, "device"));
    ASSERT_TRUE(device);
    EXPECT_EQ(json::stringValue(*json::member(*device, "mac")), "00:1A:2B:C3:D4:EF");
    EXPECT_TRUE(json::isNull(*json::member(*device, "firmware_after")));
    EXPECT_EQ(json::numberValue(*json::member(*device, "firmware_before")), 1.05);
    EXPECT_EQ(json::stringValue(*json::member(*members, "operator")), "M\"M\\");
    const auto steps = json::arrayElements(*json::member(*members, "steps"));
    ASSERT_TRUE(steps);
    EXPECT_EQ(steps->size(), 2u);

    for (size_t cut = 0; cut + 1 < good.size(); cut += 7) {
        EXPECT_FALSE(json::objectMembers(good.substr(0, cut))) << "torn at " << cut;
    }
    const char* bad[] = {
        "",
        "Endtest.log",
        "[1,2]",
        "{\"a\":1,}",
        "{\"a\" 1}",
        "{\"a\":01}",
        "{\"a\":1.}",
        "{\"a\":.5}",
        "{\"a\":+1}",
        "{\"a\":tru}",
        "{\"a\":\"x\ty\"}",    // a raw control character in a string
        "{\"a\":\"\\x\"}",     // an unknown escape
        "{\"a\":\"\\u12G4\"}",
        "{\"a\":1}{\"b\":2}",
        "{\"a\":1} x",
        "{'a':1}",
    };
    for (const char* line : bad) EXPECT_FALSE(json::objectMembers(line)) << line;
    EXPECT_TRUE(json::objectMembers(" {\"a\" : [ ] , \"b\":{}}\r"));
    // Deep nesting is refused, not followed down.
    EXPECT_FALSE(json::objectMembers("{\"a\":" + std::string(100000, '[') + std::string(100000, ']') + "}"));
    // Strings: invalid UTF-8 and lone surrogates are refused; a pair becomes one character.
    EXPECT_FALSE(json::stringValue("\"\xC3\""));
    EXPECT_FALSE(json::stringValue("\"\xC0\xAF\""));
    EXPECT_FALSE(json::stringValue("\"\\ud800\""));
    EXPECT_EQ(json::stringValue("\"\\ud83d\\ude00\\u00e4\""), "\xF0\x9F\x98\x80\xC3\xA4");
    EXPECT_FALSE(json::numberValue("1e999"));
}

TEST(Journal, TimesDatesAndPath)
{
    EXPECT_EQ(isoUtcText(kStart), "2026-03-08T14:05:09.250Z");
    EXPECT_EQ(parseIsoUtc("2026-03-08T14:05:09.250Z"), kStart);
    EXPECT_EQ(isoUtcText(-1), "1969-12-31T23:59:59.999Z");
    for (const char* bad : {"2026-03-08T14:05:09Z", "2026-13-08T14:05:09.250Z", "2026-03-08 14:05:09.250Z", ""}) {
        EXPECT_FALSE(parseIsoUtc(bad)) << bad;
    }
    for (int64_t days : {-719468LL, -1LL, 0LL, 11016LL, 20520LL, 2932896LL}) {
        EXPECT_EQ(daysFromCivil(civilFromDays(days)), days);
    }
    const CivilDate leap = civilFromDays(daysFromCivil({2024, 2, 29}) + 1);
    EXPECT_EQ(leap.month, 3);
    EXPECT_EQ(leap.day, 1);

    // The month is the local one: 31 Dec 23:30 UTC is already January at UTC+1, still December at UTC-5.
    const int64_t newYearsEve = (daysFromCivil({2026, 12, 31}) * 24 + 23) * 3600000 + 30 * 60000;
    const std::string sep(1, platform::kPathSeparator);
    EXPECT_EQ(journalPath("R", "pr\xFC" "f.platz-1_a", {newYearsEve, 60}),
              "R" + sep + "_Records" + sep + "pr_f_platz-1_a" + sep + "2027-01.jsonl");
    EXPECT_EQ(journalPath("R", "h", {newYearsEve, -300}), "R" + sep + "_Records" + sep + "h" + sep + "2026-12.jsonl");

    EXPECT_EQ(relativeRecordPath("R" + sep, "R" + sep + "SNR_00004711" + sep + "REP_7" + sep + "Reparatur.log"),
              "SNR_00004711/REP_7/Reparatur.log");
    EXPECT_EQ(relativeRecordPath("R", "R" + sep + "_Dauerlauf" + sep + "CHRG_1" + sep + "Dauerlauf.log"),
              "_Dauerlauf/CHRG_1/Dauerlauf.log");
    EXPECT_FALSE(relativeRecordPath("R", "RX" + sep + "Endtest.log"));
    EXPECT_FALSE(relativeRecordPath("R", "R" + sep));
    EXPECT_FALSE(relativeRecordPath("", sep + "Endtest.log"));
    const auto station = thisStation("vestrolan-cli", "192.168.0.1");
    EXPECT_EQ(station.version, programVersionText());
    EXPECT_EQ(station.program, "vestrolan-cli");

    const std::string a = randomUuid(), b = randomUuid();
    EXPECT_NE(a, b);
    ASSERT_EQ(a.size(), 36u);
    EXPECT_EQ(a[14], '4');
    EXPECT_NE(std::string("89ab").find(a[19]), std::string::npos);
}

// What a phase observer sees becomes steps in order, the outcome and the failed step.
TEST(Journal, BuilderTurnsPhasesIntoARecord)
{
    int64_t t = kStart;
    auto now = [&] {
        t += 100;
        return JournalInstant{t, 60};
    };
    struct Case {
        const char* name;
        JournalWorkflow workflow;
        std::vector<std::pair<TextId, std::vector<TextId>>> phases;  // heading, messages
        bool lastFails;
        bool stop;
        RunOutcome outcome;
        std::optional<TextId> failedStep;
    };
    const Case cases[] = {
        {"passed", JournalWorkflow::FinalTest, {{35301, {}}, {35315, {35412}}}, false, false, RunOutcome::Passed, {}},
        {"failed second", JournalWorkflow::FinalTest, {{35301, {}}, {35302, {35217}}}, true, false, RunOutcome::Failed, 35302},
        {"no success text", JournalWorkflow::RepairEnd, {{35301, {}}}, false, false, RunOutcome::Failed, {}},
        {"other workflow's success", JournalWorkflow::RepairEnd, {{35301, {35412}}}, false, false, RunOutcome::Failed, {}},
        {"assistant cancelled", JournalWorkflow::RepairStart, {{35301, {36037}}}, true, false, RunOutcome::Cancelled, {}},
        {"serial cancelled", JournalWorkflow::StockUpdate, {{35301, {36008}}}, true, false, RunOutcome::Cancelled, {}},
        {"endurance stop", JournalWorkflow::Endurance, {{35301, {}}}, false, true, RunOutcome::Cancelled, {}},
        {"endurance device", JournalWorkflow::Endurance, {{35301, {36026}}}, false, false, RunOutcome::Passed, {}},
    };
    for (const auto& c : cases) {
        JournalBuilder builder(now);
        builder.beginRun(c.workflow);
        builder.record().device.serial = 7;
        for (size_t i = 0; i < c.phases.size(); ++i) {
            builder.phaseStarted(c.phases[i].first, "H" + std::to_string(i));
            for (TextId id : c.phases[i].second) builder.message(id);
            const bool last = i + 1 == c.phases.size();
            if (!(last && c.lastFails)) builder.phaseEnded(StepOutcome::Passed);  // a failing phase stays open
        }
        if (c.stop) builder.cancelled();
        const JournalRecord& r = builder.endRun();
        EXPECT_EQ(r.outcome, c.outcome) << c.name;
        EXPECT_EQ(r.failedStep, c.failedStep) << c.name;
        ASSERT_EQ(r.steps.size(), c.phases.size()) << c.name;
        for (size_t i = 0; i < r.steps.size(); ++i) {
            EXPECT_EQ(r.steps[i].id, c.phases[i].first) << c.name;
            EXPECT_EQ(r.steps[i].messages, c.phases[i].second) << c.name;
            EXPECT_LT(r.steps[i].startedMs, r.steps[i].endedMs) << c.name;
        }
        EXPECT_EQ(r.device.serial, 7u);
        EXPECT_EQ(r.utcOffsetMin, 60);
        EXPECT_LT(r.startedMs, r.endedMs);
        EXPECT_EQ(r.id.size(), 36u);
    }
    // Skipped phases and measurements keep their order.
    JournalBuilder builder(now);
    builder.beginRun(JournalWorkflow::FinalTest);
    builder.phaseStarted(35301, "a");
    builder.calibration("E", 100, 1, 230, 0.5);
    builder.phaseSkipped(35302, "b");
    builder.cpuFindings({35330});
    builder.message(35412);
    const JournalRecord& r = builder.endRun();
    ASSERT_EQ(r.steps.size(), 2u);
    EXPECT_EQ(r.steps[0].outcome, StepOutcome::Passed);
    EXPECT_EQ(r.steps[1].outcome, StepOutcome::Skipped);
    ASSERT_EQ(r.measurements.size(), 2u);
    EXPECT_EQ(r.measurements[0].kind, JournalMeasurement::Kind::Calibration);
    EXPECT_EQ(r.measurements[1].ids, std::vector<TextId>{35330});
    EXPECT_EQ(r.outcome, RunOutcome::Passed);
}

// The station's own journal: folders made on first use, one line per run, a torn last line (a
// writer that died half-way) is cut before the next run's line, no root means no journal and no
// failure.
TEST(Journal, AppendWritesWholeLinesIntoTheHostsMonthlyFile)
{
    test::TempDir dir;
    JournalRecord r = finalTestRecord();
    r.station.host = "pc 1";
    EXPECT_TRUE(appendJournalRecord("", r).ok);

    const auto first = appendJournalRecord(dir.str(), r);
    ASSERT_TRUE(first.ok) << first.reason;
    const std::string file = "_Records/pc_1/2026-03.jsonl";
    EXPECT_EQ(dir.read(file), journalLine(r));
    ASSERT_TRUE(platform::appendFile(dir.path() / file, "{\"schema\":\"vestr"));
    ASSERT_TRUE(appendJournalRecord(dir.str(), r).ok);
    EXPECT_EQ(dir.read(file), journalLine(r) + journalLine(r));

    // A records root that is missing: the path and the system's reason in text 37500.
    const auto failed = appendJournalRecord(dir.file("missing"), r);
    EXPECT_FALSE(failed.ok);
    EXPECT_FALSE(failed.reason.empty());
    CApp::instance().setTextIdOffset(kEnglishOffset);
    EXPECT_EQ(journalFailureText(failed), "The journal entry " + failed.path + " could not be written (" + failed.reason + ")!");
    CApp::instance().setTextIdOffset(kGermanOffset);
    EXPECT_EQ(journalFailureText(failed),
              "Der Eintrag im Protokoll " + failed.path + " konnte nicht geschrieben werden (" + failed.reason + ")!");
}

// The firmware image's digest: the standard vectors, and lengths around the block's padding
// boundary (55, 56, 64, 119 bytes), where a wrong tail shows.
TEST(JournalFirmwareDigest, KnownDigests)
{
    const struct {
        std::string bytes;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) EXPECT_EQ(sha256Hex(c.bytes), c.digest) << c.bytes.size();

    test::TempDir dir;
    dir.write("fw.hex", "abc");
    EXPECT_EQ(fileSha256Hex(dir.file("fw.hex")), cases[1].digest);
    EXPECT_FALSE(fileSha256Hex(dir.file("missing.hex")));
}
