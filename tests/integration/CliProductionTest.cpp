// The console's production workflows end to end: initial programming with the stand-in
// programmer, and the stock update, against a simulated device in the test network.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/Format.h"
#include "app/Sha256.h"
#include "app/Texts.h"
#include "platform/CodePage.h"
#include "support/FirmwareFile.h"
#include "support/RunCommand.h"
#include "support/TempDir.h"
#include "JournalLines.h"
#include "Testbed.h"

using namespace vst;

namespace {

class CliProduction : public test::CommandTestbed {
protected:
    void prepare() override
    {
        std::filesystem::create_directories(dir.path() / "fw");
        std::filesystem::create_directories(dir.path() / "ipe");
        std::filesystem::create_directories(dir.path() / "snr");
        dir.write("snr/SNR.LOG", "");
        // The configuration assistant's catalogue.
        std::filesystem::copy(VST_TEMPLATES, dir.path() / "snr" / "_Vorlagen", std::filesystem::copy_options::recursive);
        std::filesystem::copy_file(VST_IPE_STANDIN, dir.file("ipe/ipecmd.exe"));
    }

    void firmware(const std::string& digits, const std::string& version)
    {
        dir.write("fw/VestrolanV" + digits + ".hex", test::firmwareImage(version));
    }

    devsim::Device device(uint32_t serial = 1001)
    {
        auto d = test::simulatedDevice("192.168.0.101", 1, "Lager");
        d.password = "730";
        d.serialNumber = serial;
        d.restartMs = 20;  // well within the station's 15 s at 50 times the speed
        std::stringstream config;
        config << std::ifstream(VST_DEMO_CONFIG).rdbuf();
        d.configuration = devsim::parseBackupText(config.str()).value();
        return d;
    }

    Run cli(const std::string& arguments)
    {
        const std::string command = "VESTROLAN_TIME_SCALE=25 VESTROLAN_SETTINGS=" + dir.file("settings.ini") + " " +
                                    VST_CLI_PATH + " --lang en --card " + std::to_string(card0->index) +
                                    " --target 192.168.0.101 --fw " + dir.file("fw") + " " + arguments;
        return test::runCommand(command, dir.file("stderr.txt"));
    }

    static std::string text(int germanId) { return platform::cp1252ToUtf8(app::textAt(germanId + 10000)); }
    static std::string line(int germanId) { return text(germanId) + "\n"; }
    static bool has(const std::string& all, const std::string& part) { return all.find(part) != std::string::npos; }

    // Temporary files the stock update left in the serial-number folder.
    int leftovers() const
    {
        int count = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir.path() / "snr")) {
            if (e.path().filename().string().find("_TMP") != std::string::npos) ++count;
        }
        return count;
    }
};

}  // namespace

// The blank board "starts" when the stand-in programs it: its address appears on the devices' side.
TEST_F(CliProduction, ProgramFindsTheStartedBoard)
{
    firmware("105", "1.05");
    startSimulator({device()});
    dir.write("ipe/ipe-standin.conf", "power-up = " + deviceAddressCommand("192.168.0.101/24") + "\n");
    Run r = cli("--ipe " + dir.file("ipe") + " --ssid \"\" program");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, line(35411));
    EXPECT_TRUE(has(r.err, text(35236))) << r.err;
    const std::string calls = dir.read("ipe/ipe-calls.txt");
    EXPECT_TRUE(has(calls, "arg\t-E\nend\ncall\n")) << calls;
    EXPECT_TRUE(has(calls, "arg\t-F" + dir.file("fw/VestrolanV105.hex") + "\narg\t-M\nend\n")) << calls;
}

TEST_F(CliProduction, ProgramFailuresAndRefusals)
{
    startSimulator({device()});
    // No firmware file: refused before the tool runs.
    Run r = cli("--ipe " + dir.file("ipe") + " program");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, line(30039));
    EXPECT_FALSE(std::filesystem::exists(dir.file("ipe/ipe-calls.txt")));

    firmware("105", "1.05");
    // The board never comes up: programmed, but no device is found.
    r = cli("--ipe " + dir.file("ipe") + " --ssid \"\" program");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, text(35236)));
    EXPECT_TRUE(has(r.err, "No single device found!")) << r.err;

    // The erase fails: nothing is programmed.
    dir.write("ipe/ipe-standin.conf", "erase = Target device was not found\n");
    std::filesystem::remove(dir.file("ipe/ipe-calls.txt"));
    r = cli("--ipe " + dir.file("ipe") + " program");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, text(35239)));
    EXPECT_FALSE(has(dir.read("ipe/ipe-calls.txt"), "arg\t-M\n"));  // not the temporary folder's name

    r = cli("--ipe " + dir.file("nowhere") + " program");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, text(35240)));
}

// A programmer tool that hangs is stopped at the limit of --programmer-timeout, else at the stored
// setting "ProgrammerTimeout"; the log names the limit before 35241 (at 25 times the speed).
TEST_F(CliProduction, HangingProgrammerIsStoppedAtItsLimit)
{
    firmware("105", "1.05");
    startSimulator({device()});
    dir.write("ipe/ipe-standin.conf", "erase-mode = hang\n");
    dir.write("settings.ini", "[SOFTWARE\\KW\\Vestrolan-Manager\\]\nProgrammerTimeout=dword:120\n");
    const struct {
        const char* option;
        int seconds;
    } cases[] = {{"--programmer-timeout 60", 60}, {"", 120}};
    for (const auto& c : cases) {
        const Run r = cli("--ipe " + dir.file("ipe") + " " + c.option + " program");
        EXPECT_EQ(r.status, 1) << c.option;
        const std::string limit = app::formatText(text(37402), c.seconds);
        const size_t at = r.err.find(limit);
        ASSERT_NE(at, std::string::npos) << r.err;
        EXPECT_NE(r.err.find(text(35241), at), std::string::npos) << r.err;
        EXPECT_FALSE(has(dir.read("ipe/ipe-calls.txt"), "arg\t-M\n"));
    }
}

TEST_F(CliProduction, StockUpdateCases)
{
    addDeviceAddress("192.168.0.101/24");
    startSimulator({device()});
    const std::string stock = "--snr " + dir.file("snr") + " --config keep stock";

    // No firmware file.
    Run r = cli(stock);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, line(30039));

    // The same version: no update, success.
    firmware("105", "1.05");
    r = cli(stock);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.err, "The most recent version is already")) << r.err;
    EXPECT_TRUE(has(r.out, line(35405)));
    EXPECT_EQ(leftovers(), 0);

    // The assistant cancelled: no success, the file is gone.
    r = cli("--snr " + dir.file("snr") + " stock");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, text(36007).substr(2, 30))) << r.err;
    EXPECT_FALSE(has(r.out, line(35405)));
    EXPECT_EQ(leftovers(), 0);

    // A newer file: the device is updated.
    firmware("106", "1.06");
    r = cli(stock);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.err, text(35309))) << r.err;
    EXPECT_EQ(leftovers(), 0);

    // No SNR.LOG: refused.
    std::filesystem::remove(dir.file("snr/SNR.LOG"));
    r = cli(stock);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, line(30040));
}

TEST_F(CliProduction, StockUpdateWithoutSerialOrDevice)
{
    firmware("105", "1.05");
    const std::string stock = "--snr " + dir.file("snr") + " --config keep stock";
    startSimulator({device(0)});
    // Nobody at the target address.
    Run r = cli(stock);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "No single device found!")) << r.err;

    addDeviceAddress("192.168.0.101/24");
    // Serial number refused (none given): red, cancelled.
    r = cli(stock);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, text(36008).substr(2, 30))) << r.err;
    // With a serial number: assigned, logged, success.
    r = cli("--serial 4711 " + stock);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(dir.read("snr/SNR.LOG"), "4711"));
    EXPECT_EQ(leftovers(), 0);
}

// Two stations share the serial-number folder; each uses a file of its own.
TEST_F(CliProduction, TwoStockUpdatesShareTheSerialFolder)
{
    firmware("105", "1.05");
    auto second = device();
    second.mac[5] = 2;
    second.network.address = devsim::parseIpv4("192.168.0.102").value();
    addDeviceAddress("192.168.0.101/24");
    addDeviceAddress("192.168.0.102/24");
    startSimulator({device(), second});
    Run a{}, b{};
    std::thread one([&] { a = cli("--snr " + dir.file("snr") + " --config keep stock"); });
    std::thread two([&] {
        test::TempDir other;
        const std::string command = "VESTROLAN_TIME_SCALE=25 VESTROLAN_SETTINGS=" + other.file("settings.ini") + " " +
                                    VST_CLI_PATH + " --lang en --card " + std::to_string(card0->index) +
                                    " --target 192.168.0.102 --fw " + dir.file("fw") + " --snr " + dir.file("snr") +
                                    " --config keep stock >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        b.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    });
    one.join();
    two.join();
    EXPECT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(b.status, 0);
    EXPECT_EQ(leftovers(), 0);
}

// Initial programming and the stock update leave one journal line per run under the records root
// --snr names: workflow, outcome, failed step, steps in order, the firmware sent or programmed
// with its digest, and the device's firmware before and after. Without --snr, no journal.
TEST_F(CliProduction, EachRunLeavesOneJournalLine)
{
    addDeviceAddress("192.168.0.101/24");
    const std::string snr = "--snr " + dir.file("snr") + " ";
    const std::string ipe = "--ipe " + dir.file("ipe") + " --ssid \"\" ";
    const std::vector<std::string> stockSteps = {"35300", "35301", "35316", "35303", "35307",
                                                 "35317", "35308", "35309", "35315"};
    struct Case {
        const char* name;
        uint32_t serial;
        std::string firmware;  // the newest image's version digits
        std::string arguments;
        int status;
        std::string workflow;
        std::string outcome;
        std::string failedStep;
        std::vector<std::string> steps;
        std::vector<std::string> stepOutcomes;
        std::string firmwareFile;  // "" for none
        std::string before;
        std::string after;
    };
    const std::vector<Case> cases = {
        {"program", 1001, "105", snr + ipe + "program", 0, "programming", "passed", "null",
         {"35311", "35300", "35307", "35313", "35315"},
         {"\"passed\"", "\"passed\"", "\"passed\"", "\"passed\"", "\"passed\""}, "fw/VestrolanV105.hex", "null",
         "1.05"},
        {"stock, same version", 1001, "105", snr + "--config keep stock", 0, "stock-update", "passed", "null",
         stockSteps,
         {"\"passed\"", "\"passed\"", "\"passed\"", "\"passed\"", "\"passed\"", "\"skipped\"", "\"skipped\"",
          "\"skipped\"", "\"passed\""},
         "", "1.05", "1.05"},
        {"stock, newer image", 1001, "106", snr + "--config keep stock", 0, "stock-update", "passed", "null",
         stockSteps,
         {"\"passed\"", "\"passed\"", "\"passed\"", "\"passed\"", "\"passed\"", "\"skipped\"", "\"skipped\"",
          "\"passed\"", "\"passed\""},
         "fw/VestrolanV106.hex", "1.05", "1.06"},
        {"stock, assistant cancelled", 1001, "105", snr + "stock", 1, "stock-update", "failed", "35316", stockSteps,
         {"\"passed\"", "\"passed\"", "\"failed\"", "\"skipped\"", "\"skipped\"", "\"skipped\"", "\"skipped\"",
          "\"skipped\"", "\"passed\""},
         "", "1.05", "1.05"},
        {"stock, serial number refused", 0, "105", snr + "--config keep stock", 1, "stock-update", "cancelled",
         "null", stockSteps,
         {"\"passed\"", "\"passed\"", "\"passed\"", "\"passed\"", "\"passed\"", "\"failed\"", "\"skipped\"",
          "\"skipped\"", "\"passed\""},
         "", "1.05", "1.05"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(dir.file("fw"));
        std::filesystem::create_directories(dir.file("fw"));
        const std::string version = c.firmware.substr(0, 1) + "." + c.firmware.substr(1);
        firmware(c.firmware, version);
        if (simulator) simulator->stop();
        simulator.reset();
        startSimulator({device(c.serial)});
        const size_t before = test::journalLines(dir.file("snr")).size();
        Run r = cli(c.arguments);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        const auto lines = test::journalLines(dir.file("snr"));
        ASSERT_EQ(lines.size(), before + 1) << r.out << r.err;
        const std::string& l = lines.back();
        EXPECT_EQ(test::textAt(l, "workflow"), c.workflow);
        EXPECT_EQ(test::textAt(l, "outcome"), c.outcome);
        EXPECT_EQ(test::jsonAt(l, "failed_step"), c.failedStep);
        EXPECT_EQ(test::eachOf(l, "steps", "id"), c.steps) << l;
        EXPECT_EQ(test::eachOf(l, "steps", "outcome"), c.stepOutcomes) << l;
        EXPECT_EQ(test::textAt(l, "station.program"), "vestrolan-cli");
        EXPECT_EQ(test::textAt(l, "station.card"), "192.168.0.1") << l;
        EXPECT_EQ(test::textAt(l, "device.mac"), "02:00:00:00:00:01");
        EXPECT_EQ(test::jsonAt(l, "device.serial"), c.serial ? std::to_string(c.serial) : "null");
        EXPECT_EQ(test::jsonAt(l, "device.firmware_before"), c.before);
        EXPECT_EQ(test::jsonAt(l, "device.firmware_after"), c.after);
        EXPECT_EQ(test::jsonAt(l, "text_record"), "null");
        if (c.firmwareFile.empty()) {
            EXPECT_EQ(test::jsonAt(l, "firmware"), "<absent>");
        } else {
            EXPECT_EQ(test::textAt(l, "firmware.file"), dir.file(c.firmwareFile));
            EXPECT_EQ(test::textAt(l, "firmware.sha256"), app::sha256Hex(dir.read(c.firmwareFile)));
        }
    }

    // Without --snr the programming writes no journal and still succeeds.
    std::filesystem::remove_all(dir.file("snr/_Records"));
    Run r = cli(ipe + "program");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(test::journalLines(dir.file("snr")).empty());
}
