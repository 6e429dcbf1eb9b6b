// The final test, repair start and repair end from the console against a simulated device: the
// scripted operator, the exit status, and the record files in the serial-number tree.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/Format.h"
#include "app/SerialLog.h"
#include "app/Texts.h"
#include "platform/CodePage.h"
#include "support/RunCommand.h"
#include "support/TempDir.h"
#include "JournalLines.h"
#include "Testbed.h"

using namespace vst;
using vst::test::eachOf;
using vst::test::jsonAt;
using vst::test::textAt;
namespace fs = std::filesystem;

namespace {

constexpr const char* kMac = "02:00:00:00:00:01";

class CliRecordWorkflows : public test::CommandTestbed {
protected:
    devsim::Configuration customer{{"Name=Kunde", "Intervall=60"}, {"P1=Zaehler"}};

    void prepare() override
    {
        fs::create_directory(dir.file("snr"));
        dir.write("snr/SNR.LOG", "");
        fs::copy(VST_TEMPLATES_PATH, dir.file("snr/_Vorlagen"), fs::copy_options::recursive);
        addDeviceAddress("192.168.0.101/24");
    }

    void start(std::function<void(devsim::Device&)> configure = {})
    {
        if (simulator) simulator->stop();
        simulator.reset();
        auto d = test::simulatedDevice("192.168.0.101", 1, "Prüfling");
        d.password = "730";
        d.configuration = customer;
        d.restartMs = 100;  // back before the station looks for it again
        if (configure) configure(d);
        startSimulator({d});
    }

    Run cli(const std::string& arguments)
    {
        // Protocol time 20 times faster than real time: the station's shortest waits (1000 ms for a
        // device's answer) stay long enough for a simulator on a busy machine.
        const std::string command = "VESTROLAN_TIME_SCALE=20 VESTROLAN_SETTINGS=" + dir.file("settings.ini") + " " +
                                    VST_CLI_PATH + " --lang en --target 192.168.0.101 --directed-only --snr " +
                                    dir.file("snr") + " --ssid '' " + arguments;
        return test::runCommand(command, dir.file("stderr.txt"));
    }

    std::string read(const std::string& name) const
    {
        std::stringstream s;
        s << std::ifstream(dir.file("snr/" + name), std::ios::binary).rdbuf();
        return s.str();
    }
    bool exists(const std::string& name) const { return fs::exists(dir.file("snr/" + name)); }
    // The names in a folder of the tree that begin with `prefix`.
    std::vector<std::string> named(const std::string& folder, const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir.file("snr/" + folder))) {
            const std::string name = e.path().filename().string();
            if (name.rfind(prefix, 0) == 0) out.push_back(name);
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    static std::string en(int germanId) { return app::textAt(static_cast<unsigned>(germanId + 10000)); }
    static std::string line(int germanId) { return platform::cp1252ToUtf8(en(germanId)) + "\n"; }
    // The "date" value of a header, as the log wrote it.
    static std::string dateIn(const std::string& log, size_t from = 0)
    {
        const size_t at = log.find("  - date: ", from) + 10;
        return log.substr(at, log.find("\r\n", at) - at);
    }
};

}  // namespace

TEST_F(CliRecordWorkflows, FinalTestWritesItsRecordAndSetsTheOldOneAside)
{
    start();
    fs::create_directory(dir.file("snr/SNR_00001001"));
    dir.write("snr/SNR_00001001/Charge.txt", "CH-7\r\n");
    dir.write("snr/SNR_00001001/Endtest.log", "old log");
    dir.write("snr/SNR_00001001/config-processlist.bak", "Name=Lieferung\r\n\r\nP1=Lieferung\r\n");

    // No to 30045 leaves everything as it was.
    Run r = cli("endtest 02:00:00:00:00:01");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read("SNR_00001001/Endtest.log"), "old log");

    r = cli("--answer 30045=yes endtest 02:00:00:00:00:01");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, line(35412));
    const std::string log = read("SNR_00001001/Endtest.log");
    const std::string header =
        app::formatText(en(36032), en(36031).c_str(), "CLI", "CH-7", 1001, dateIn(log).c_str()) +
        "\r\ndevice information:\r\n  - MAC address: 02:00:00:00:00:01\r\n  - app version: 1.0500\r\n"
        "  - bootloader version: 1.0200\r\n\r\n" + en(35305) + ":\r\n";
    EXPECT_EQ(log.substr(0, header.size()), header);
    EXPECT_NE(log.find("MSG: " + en(35412) + "\r\n"), std::string::npos);
    EXPECT_NE(log.find(en(35315)), std::string::npos);
    const auto aside = named("SNR_00001001", "Endtest_");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(read("SNR_00001001/" + aside[0]), "old log");
    EXPECT_EQ(simulator->device(0).configuration, (devsim::Configuration{{"Name=Lieferung"}, {"P1=Lieferung"}}));

    // A record that cannot be written is told to the operator (35224) and the exit status is 1.
    fs::remove(dir.file("snr/SNR_00001001/Endtest.log"));
    fs::create_directories(dir.file("snr/SNR_00001001/Endtest.log/blocked"));
    r = cli("endtest 02:00:00:00:00:01");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, line(35412) + line(35224));
}

// Each failure ends without the success text and with exit 1, and the record is still written.
TEST_F(CliRecordWorkflows, FinalTestFailures)
{
    struct Case {
        const char* name;
        std::string configuration;
        std::function<void(devsim::Device&)> device;
        std::string inLog;  // an English text the log must hold
    };
    const std::vector<Case> cases = {
        {"restore fails", std::string("Name=\0x\r\n", 9), {}, ""},
        {"CPU findings", "Name=L\r\n", [](devsim::Device& d) { d.web.devInfo.push_back({"extrtc", "RTC steht"}); },
         en(35255)},
        {"calibration cancelled", "Name=L\r\n",
         [](devsim::Device& d) { d.web.calibrationItems = {"ENG;AIN1;3;1,0.5,2.0"}; }, en(35247)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start(c.device);
        fs::remove_all(dir.file("snr/SNR_00001001"));
        fs::create_directory(dir.file("snr/SNR_00001001"));
        dir.write("snr/SNR_00001001/config-processlist.bak", c.configuration);
        Run r = cli("--answer 30044=yes endtest 02:00:00:00:00:01");
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(r.out.find(line(35412)), std::string::npos);
        const std::string log = read("SNR_00001001/Endtest.log");
        EXPECT_NE(log.find("  - batch number: ???\r\n"), std::string::npos);
        EXPECT_EQ(log.find("MSG: " + en(35412)), std::string::npos);
        EXPECT_NE(log.find(en(35315)), std::string::npos);  // the cleanup still ran
        if (!c.inLog.empty()) {
            EXPECT_NE(log.find(c.inLog), std::string::npos) << log;
        }
    }
}

TEST_F(CliRecordWorkflows, RepairStartThenRepairEnd)
{
    start([](devsim::Device& d) { d.serialNumber = devsim::kNoSerialNumber; });
    // A device without a number gets the one given, after the test configuration went in.
    Run r = cli("--config keep --serial 4711 repair-start 02:00:00:00:00:01 R-1");
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_GE(r.out.size(), line(35413).size());
    EXPECT_EQ(r.out.substr(r.out.size() - line(35413).size()), line(35413));
    EXPECT_EQ(simulator->device(0).serialNumber, 4711u);
    const std::string folder = "SNR_00004711/REP_R-1/";
    EXPECT_EQ(devsim::parseBackupText(read(folder + "config-processlist_KD.bak")), customer);
    EXPECT_TRUE(exists(folder + "config-processlist_DEF.bak"));
    const std::string startLog = read(folder + "Reparatur.log");
    EXPECT_EQ(startLog.substr(0, startLog.find("  - date: ")),
              en(36034) + "  - editor: CLI\r\n  - repair number: R-1\r\n  - device: 00004711\r\n");
    ASSERT_GE(startLog.size(), 4u);
    EXPECT_EQ(startLog.substr(startLog.size() - 4), "\r\n\r\n");
    EXPECT_LT(startLog.find(en(35305)), startLog.find(en(35308)));

    // The end: the tests pass, the customer's configuration goes back, the log is appended.
    start([](devsim::Device& d) {
        d.serialNumber = 4711;
        d.configuration = {{"Name=Test"}, {}};
    });
    r = cli("repair-end 02:00:00:00:00:01 R-1");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, line(35415));
    EXPECT_EQ(simulator->device(0).configuration, customer);
    const std::string whole = read(folder + "Reparatur.log");
    ASSERT_EQ(whole.substr(0, startLog.size()), startLog);
    const std::string endLog = whole.substr(startLog.size());
    EXPECT_EQ(endLog.substr(0, endLog.find("  - date: ")),
              en(36038) + "  - editor: CLI\r\n  - repair number: R-1\r\n  - device: 00004711\r\n");
    EXPECT_NE(endLog.find(en(35304) + ":\r\n"), std::string::npos);

    // A second end is asked about (30051) whichever language wrote the first.
    r = cli("--lang de repair-end 02:00:00:00:00:01 R-1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(read(folder + "Reparatur.log"), whole);
}

TEST_F(CliRecordWorkflows, RepairFailuresAndRefusals)
{
    start();
    // The assistant cancelled: the customer configuration is saved, no test configuration.
    Run r = cli("repair-start 02:00:00:00:00:01 R2");
    EXPECT_EQ(r.status, 1);
    const std::string folder = "SNR_00001001/REP_R2/";
    EXPECT_TRUE(exists(folder + "config-processlist_KD.bak"));
    EXPECT_FALSE(exists(folder + "config-processlist_DEF.bak"));
    EXPECT_NE(read(folder + "Reparatur.log").find(en(36037)), std::string::npos);

    // Errors found at the start: 35414 and exit 1; at the end no message and the test
    // configuration stays in the device.
    start([](devsim::Device& d) { d.web.devInfo.push_back({"spstate", "halt"}); });
    r = cli("--config keep --answer 30049=yes repair-start 02:00:00:00:00:01 R2");
    EXPECT_EQ(r.status, 1);
    ASSERT_GE(r.out.size(), line(35414).size());
    EXPECT_EQ(r.out.substr(r.out.size() - line(35414).size()), line(35414));
    EXPECT_EQ(named("SNR_00001001/REP_R2", "Reparatur_").size(), 1u);  // the first log set aside
    r = cli("repair-end 02:00:00:00:00:01 R2");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(simulator->device(0).configuration, devsim::parseBackupText(read(folder + "config-processlist_DEF.bak")));
    EXPECT_EQ(read(folder + "Reparatur.log").find(en(35304)), std::string::npos);

    // Customer configuration absent: with Yes to 30053 the end succeeds without restoring it.
    start();
    fs::remove(dir.file("snr/" + folder + "config-processlist_KD.bak"));
    r = cli("--answer 30051=yes --answer 30053=yes repair-end 02:00:00:00:00:01 R2");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, line(35415));
    EXPECT_EQ(read(folder + "Reparatur.log").rfind(en(35304)), std::string::npos);

    // Numbers that cannot be folder names, and an unknown repair, start nothing.
    const size_t requests = simulator->device(0).webState.requests;
    for (const char* bad : {"'R/3'", "'R3.'", "'R 3 '", "'a|b'"}) {
        r = cli(std::string("repair-start 02:00:00:00:00:01 ") + bad);
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(r.out, line(37050)) << bad;
    }
    r = cli("repair-start 02:00:00:00:00:01 R12345678901234567890");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(": vestrolan-cli --help\n"), std::string::npos);  // a usage error
    r = cli("repair-end 02:00:00:00:00:01 R9");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, line(30054));
    EXPECT_EQ(simulator->device(0).webState.requests, requests);
    EXPECT_FALSE(exists("SNR_00001001/REP_R9"));
}

// A device that answers its new serial number with success but keeps none (35220): the re-find
// replaced its record, the repair start ends there without tests, and the SD-card cleanup still
// reaches the device through its current record.
TEST_F(CliRecordWorkflows, RepairStartOnDeviceThatKeepsItsOwnNumber)
{
    start([](devsim::Device& d) {
        d.serialNumber = devsim::kNoSerialNumber;
        d.web.serialKept = true;
    });
    Run r = cli("--config keep --serial 4712 repair-start 02:00:00:00:00:01 R-5");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find(line(35413)), std::string::npos);
    EXPECT_EQ(r.out.find(line(35414)), std::string::npos);
    const std::string log = read("SNR_00004712/REP_R-5/Reparatur.log");
    EXPECT_NE(log.find(en(35220)), std::string::npos) << log;
    EXPECT_EQ(log.find(en(35313)), std::string::npos) << "no tests after a failed serial number";
    EXPECT_NE(log.find(en(35315)), std::string::npos);
    EXPECT_FALSE(simulator->device(0).webState.deleteRequests.empty()) << "the cleanup reached the device";
    EXPECT_EQ(simulator->device(0).serialNumber, devsim::kNoSerialNumber);
}

// A repair start that ends anywhere between the number's assigned line and the set-serial step
// answers that line with "#SNR NOT FOUND": the number is free again, and the next try takes it
// without the release question.
TEST_F(CliRecordWorkflows, RepairStartEndedEarlyLeavesItsNumberFree)
{
    struct Case {
        const char* name;
        std::string options;
        std::function<void()> arrange;
        std::function<void(devsim::Device&)> device;
    };
    const std::vector<Case> cases = {
        {"30049 answered No", "--config keep",
         [&] { fs::create_directories(dir.file("snr/SNR_00004711/REP_R1")); }, {}},
        {"device folder blocked by a file", "--config keep", [&] { dir.write("snr/SNR_00004711", "file"); }, {}},
        {"backup fails", "--config keep", {}, [](devsim::Device& d) { d.faults.wrongPassword = true; }},
        {"assistant cancelled", "", {}, {}},
        // The device is still restarting when the station looks for it after the restore.
        {"restore fails", "--config keep", {}, [](devsim::Device& d) { d.restartMs = 600000; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir.file("snr/SNR_00004711"));
        start([&](devsim::Device& d) {
            d.serialNumber = devsim::kNoSerialNumber;
            if (c.device) c.device(d);
        });
        if (c.arrange) c.arrange();
        Run r = cli(c.options + " --serial 4711 repair-start 02:00:00:00:00:01 R1");
        EXPECT_EQ(r.status, 1) << r.err;
        const std::string log = read("SNR.LOG");
        const size_t assigned = log.rfind(" CLI 00004711\n");
        ASSERT_NE(assigned, std::string::npos) << log;
        // The assigned line is the last but one; the last answers it (after date, time and blank).
        const size_t next = log.find('\n', assigned) + 1;
        ASSERT_LT(next + 20, log.size()) << log;
        EXPECT_EQ(log.substr(next + 20), "CLI #SNR NOT FOUND 00004711\n") << log;
        EXPECT_FALSE(app::SerialLog(dir.file("snr"), false, "CLI").findSerialUse(4711).used()) << log;
        EXPECT_EQ(simulator->device(0).serialNumber, devsim::kNoSerialNumber);
        EXPECT_EQ(read("SNR_00004711/REP_R1/Reparatur.log").find(en(35308)), std::string::npos)
            << "the start ended before the set-serial step";
    }

    fs::remove_all(dir.file("snr/SNR_00004711"));
    start([](devsim::Device& d) { d.serialNumber = devsim::kNoSerialNumber; });
    Run r = cli("--config keep --serial 4711 repair-start 02:00:00:00:00:01 R1");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(simulator->device(0).serialNumber, 4711u);
}

// Each run of the final test, repair start and repair end leaves one journal line: its workflow,
// outcome, failed step, its steps in order with their outcomes, and the facts of the device, the
// station and the text record.
TEST_F(CliRecordWorkflows, EachRunLeavesOneJournalLine)
{
    struct Case {
        const char* name;
        std::function<void(devsim::Device&)> device;
        std::function<void()> arrange;
        std::string command;
        int status;
        std::string workflow;
        std::string outcome;
        std::string failedStep;  // raw JSON
        std::vector<std::string> steps;
        std::vector<std::string> stepOutcomes;
        std::function<void(const std::string&)> check;  // further checks of the line
    };
    const std::string serialFolder = "SNR_00001001";
    auto finalTestFolder = [&](const std::string& configuration) {
        return [&, configuration] {
            fs::remove_all(dir.file("snr/" + serialFolder));
            fs::create_directory(dir.file("snr/" + serialFolder));
            dir.write("snr/" + serialFolder + "/Charge.txt", "CH-7\r\n");
            dir.write("snr/" + serialFolder + "/config-processlist.bak", configuration);
        };
    };
    const std::vector<std::string> finalSteps = {"35305", "35312", "35313", "35314", "35315"};
    const std::vector<Case> cases = {
        {"final test passes", {}, finalTestFolder("Name=L\r\n"), "endtest", 0, "final-test", "passed", "null",
         finalSteps, {"\"passed\"", "\"passed\"", "\"passed\"", "\"passed\"", "\"passed\""},
         [&](const std::string& l) {
             EXPECT_EQ(textAt(l, "schema"), "vestrolan-record/1");
             EXPECT_EQ(textAt(l, "id").size(), 36u);
             EXPECT_EQ(textAt(l, "station.program"), "vestrolan-cli");
             EXPECT_EQ(textAt(l, "operator"), "CLI");
             EXPECT_EQ(textAt(l, "device.mac"), "02:00:00:00:00:01");
             EXPECT_EQ(jsonAt(l, "device.serial"), "1001");
             EXPECT_EQ(textAt(l, "device.ip"), "192.168.0.101");
             EXPECT_EQ(jsonAt(l, "device.firmware_before"), "1.05");
             EXPECT_EQ(jsonAt(l, "device.firmware_after"), "1.05");
             EXPECT_EQ(textAt(l, "batch"), "CH-7");
             EXPECT_EQ(jsonAt(l, "repair"), "<absent>");
             EXPECT_EQ(jsonAt(l, "firmware"), "<absent>");
             EXPECT_EQ(textAt(l, "text_record"), "SNR_00001001/Endtest.log");
             EXPECT_EQ(eachOf(l, "measurements", "name"), (std::vector<std::string>{"\"cpu-findings\""}));
             EXPECT_EQ(eachOf(l, "steps", "text")[0], "\"" + en(35305) + "\"");
             // The success text is the run's, logged after the last phase, in no step.
             for (const auto& messages : eachOf(l, "steps", "messages")) {
                 EXPECT_EQ(messages.find("35412"), std::string::npos) << messages;
             }
         }},
        {"final test with CPU findings", [](devsim::Device& d) { d.web.devInfo.push_back({"extrtc", "RTC steht"}); },
         finalTestFolder("Name=L\r\n"), "endtest", 1, "final-test", "failed", "35313", finalSteps,
         {"\"passed\"", "\"passed\"", "\"failed\"", "\"passed\"", "\"passed\""},
         [&](const std::string& l) {
             const auto ids = eachOf(l, "measurements", "ids");
             ASSERT_EQ(ids.size(), 1u);
             EXPECT_NE(ids[0].find("35255"), std::string::npos) << ids[0];
         }},
        {"final test restore fails", {}, finalTestFolder(std::string("Name=\0x\r\n", 9)), "endtest", 1, "final-test",
         "failed", "35305", finalSteps, {"\"failed\"", "\"skipped\"", "\"skipped\"", "\"skipped\"", "\"passed\""},
         {}},
        {"final test calibration", [](devsim::Device& d) { d.web.calibrationItems = {"ENG;AIN1;3;1,0.5,2.0"}; },
         finalTestFolder("Name=L\r\n"), "--calibrate 100,5,230,2.5 endtest", 0, "final-test", "passed", "null",
         finalSteps, {"\"passed\"", "\"passed\"", "\"passed\"", "\"passed\"", "\"passed\""},
         [&](const std::string& l) {
             EXPECT_EQ(eachOf(l, "measurements", "name"),
                       (std::vector<std::string>{"\"calibration\"", "\"cpu-findings\""}));
             EXPECT_EQ(eachOf(l, "measurements", "item")[0], "\"ENG\"");
             EXPECT_EQ(eachOf(l, "measurements", "primary")[0], "100");
             EXPECT_EQ(eachOf(l, "measurements", "secondary")[0], "5");
             EXPECT_EQ(eachOf(l, "measurements", "voltage")[0], "230");
             EXPECT_EQ(eachOf(l, "measurements", "current")[0], "2.5");
         }},
        {"final test whose text record cannot be written", {},
         [&, arrange = finalTestFolder("Name=L\r\n")] {
             arrange();
             fs::create_directories(dir.file("snr/" + serialFolder + "/Endtest.log/blocked"));
         },
         "endtest", 1, "final-test", "failed", "null", finalSteps,
         {"\"passed\"", "\"passed\"", "\"passed\"", "\"passed\"", "\"passed\""}, {}},
        {"repair start cancelled in the assistant", {}, [&] { fs::remove_all(dir.file("snr/" + serialFolder)); },
         "repair-start", 1, "repair-start", "cancelled", "null",
         {"35302", "35316", "35305", "35308", "35313", "35314", "35315"},
         {"\"passed\"", "\"failed\"", "\"skipped\"", "\"skipped\"", "\"skipped\"", "\"skipped\"", "\"passed\""},
         [&](const std::string& l) {
             EXPECT_EQ(textAt(l, "repair"), "R1");
             EXPECT_EQ(jsonAt(l, "batch"), "<absent>");
             EXPECT_EQ(textAt(l, "text_record"), "SNR_00001001/REP_R1/Reparatur.log");
         }},
        {"repair start passes", {}, [&] { fs::remove_all(dir.file("snr/" + serialFolder)); },
         "--config keep repair-start", 0, "repair-start", "passed", "null",
         {"35302", "35316", "35305", "35308", "35313", "35314", "35315"},
         {"\"passed\"", "\"passed\"", "\"passed\"", "\"skipped\"", "\"passed\"", "\"passed\"", "\"passed\""}, {}},
        {"repair end with the process list halted", [](devsim::Device& d) { d.web.devInfo.push_back({"spstate", "halt"}); },
         {}, "--answer 30051=yes repair-end", 1, "repair-end", "failed", "35313",
         {"35305", "35313", "35314", "35304", "35315"},
         {"\"passed\"", "\"failed\"", "\"failed\"", "\"skipped\"", "\"passed\""}, {}},
        {"repair end passes", {}, {}, "--answer 30051=yes repair-end", 0, "repair-end", "passed", "null",
         {"35305", "35313", "35314", "35304", "35315"},
         {"\"passed\"", "\"passed\"", "\"passed\"", "\"passed\"", "\"passed\""},
         [&](const std::string& l) { EXPECT_EQ(textAt(l, "repair"), "R1"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start(c.device);
        if (c.arrange) c.arrange();
        const size_t before = test::journalLines(dir.file("snr")).size();
        const bool repair = c.workflow != "final-test";
        Run r = cli("--answer 30044=yes --answer 30045=yes --answer 30049=yes " + c.command + " " + kMac +
                    (repair ? " R1" : ""));
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        const auto lines = test::journalLines(dir.file("snr"));
        ASSERT_EQ(lines.size(), before + 1) << r.out << r.err;
        const std::string& l = lines.back();
        EXPECT_EQ(textAt(l, "workflow"), c.workflow);
        EXPECT_EQ(textAt(l, "outcome"), c.outcome);
        EXPECT_EQ(jsonAt(l, "failed_step"), c.failedStep);
        EXPECT_EQ(eachOf(l, "steps", "id"), c.steps) << l;
        EXPECT_EQ(eachOf(l, "steps", "outcome"), c.stepOutcomes) << l;
        EXPECT_LE(textAt(l, "started"), textAt(l, "ended"));
        if (c.check) c.check(l);
    }
}

// No journal can be written (_Records is a file): the operator is told (37500), the run counts
// as failed, and the text record is still written.
TEST_F(CliRecordWorkflows, JournalThatCannotBeWrittenFailsTheRun)
{
    start();
    fs::create_directory(dir.file("snr/SNR_00001001"));
    dir.write("snr/SNR_00001001/config-processlist.bak", "Name=L\r\n");
    dir.write("snr/_Records", "not a folder");
    Run r = cli("--answer 30044=yes endtest 02:00:00:00:00:01");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.out.find(line(35412)), std::string::npos) << r.out;
    const std::string told = platform::cp1252ToUtf8(en(37500));
    EXPECT_NE(r.out.find(told.substr(0, told.find("%s"))), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("_Records"), std::string::npos) << r.out;
    EXPECT_TRUE(exists("SNR_00001001/Endtest.log"));
    EXPECT_EQ(read("_Records"), "not a folder");
}

// A start refused before its worker runs writes no journal line.
TEST_F(CliRecordWorkflows, RefusedStartWritesNoJournal)
{
    start();
    Run r = cli("repair-end 02:00:00:00:00:01 R9");  // no such repair
    EXPECT_EQ(r.status, 1);
    r = cli("endtest 02:00:00:00:00:01");  // 30044 answered No
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(test::journalLines(dir.file("snr")).empty());
    EXPECT_FALSE(exists("_Records"));
}
