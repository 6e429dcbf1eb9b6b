// The endurance run from the console against simulated devices that are connected one by one at
// the run's notice: the summary, the exit status, "Dauerlauf.log" and the records it files.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <regex>

#include "app/Format.h"
#include "app/Texts.h"
#include "platform/CodePage.h"
#include "support/FirmwareFile.h"
#include "support/RunCommand.h"
#include "support/TempDir.h"
#include "JournalLines.h"
#include "Testbed.h"

using namespace vst;
namespace fs = std::filesystem;

namespace {

class CliEndurance : public test::CommandTestbed {
protected:
    // Device n's connection: the addresses its notice adds on the devices' side.
    std::map<int, std::vector<std::string>> connects;

    void prepare() override
    {
        fs::create_directories(dir.path() / "snr" / "_Dauerlauf");
        fs::create_directories(dir.path() / "fw");
        dir.write("snr/SNR.LOG", "");
        dir.write("fw/VestrolanV106.hex", test::firmwareImage("1.06"));
        fs::copy(VST_TEMPLATES_PATH, dir.file("snr/_Vorlagen"), fs::copy_options::recursive);
        // The addresses the run gives its devices answer once a device has moved there.
        for (int n = 1; n <= 3; ++n) addDeviceAddress("192.168.0.20" + std::to_string(n) + "/24");
    }

    // Devices 1..count at 192.168.0.131 and up, none connected yet; device n is connected at its
    // notice unless `connects` says otherwise.
    void startDevices(int count, const std::function<void(int, devsim::Device&)>& configure = {})
    {
        std::vector<devsim::Device> devices;
        for (int n = 1; n <= count; ++n) {
            const std::string address = "192.168.0.13" + std::to_string(n);
            auto d = test::simulatedDevice(address, static_cast<uint8_t>(0x30 + n), "Neu " + std::to_string(n));
            d.password = "730";
            d.serialNumber = 0xFFFFFFFFu;
            d.restartMs = 20;
            if (configure) configure(n, d);
            devices.push_back(d);
            if (!connects.count(n)) connects[n] = {address};
        }
        startSimulator(devices);
        std::string script = "case \"$1\" in\n";
        for (const auto& [n, addresses] : connects) {
            script += std::to_string(n) + ")";
            for (const auto& a : addresses) script += " " + deviceAddressCommand(a + "/24") + ";";
            script += " ;;\n";
        }
        dir.write("connect.sh", script + "esac\n");
    }

    std::string command(const std::string& arguments, const std::string& options = "") const
    {
        // 25 times real speed: the station's 2 s answer limits stay 80 ms of real time, which the
        // simulator keeps on a loaded machine.
        return "VESTROLAN_TIME_SCALE=25 VESTROLAN_SETTINGS=" + dir.file("settings.ini") + " " + VST_CLI_PATH +
               " --lang en --card " + std::to_string(card0->index) + " --snr " + dir.file("snr") + " --fw " +
               dir.file("fw") + " --target 192.168.0.201 --config keep --sign AB --on-notice '35407=sh " +
               dir.file("connect.sh") + " $VST_DEVICE' " + options + " endurance " + arguments;
    }
    test::CommandRun run(const std::string& arguments, const std::string& options = "")
    {
        return test::runCommand(command(arguments, options), dir.file("stderr.txt"));
    }

    static std::string text(int germanId) { return platform::cp1252ToUtf8(app::textAt(germanId + 10000)); }
    template <typename... Args>
    static std::string filled(int germanId, Args... args)
    {
        return platform::cp1252ToUtf8(app::formatText(app::textAt(germanId + 10000), args...));
    }
    std::string snr(const std::string& name) const { return dir.read("snr/" + name); }
    static std::string masked(std::string text)
    {
        return std::regex_replace(text, std::regex(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d)"), "DATE");
    }
};

}  // namespace

// Three devices connected one after the other: each is configured, numbered, filed, updated and
// tested twice; passing passes leave nothing in the log.
TEST_F(CliEndurance, ProductionRunOfThreeDevices)
{
    startDevices(3, [](int n, devsim::Device& d) {
        if (n == 3) d.serialNumber = 4003;  // already carries its number: no question, still filed
    });
    const auto r = run("--type production --number CH-7 --count 3 --serials 4001,4002,4003 --passes 2");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(masked(r.out.substr(r.out.find("long run exited"))),
              "long run exited at DATE after 2 runs:\n  - device 1 has passed the long run\n"
              "  - device 2 has passed the long run\n  - device 3 has passed the long run\n");

    const std::string run = "_Dauerlauf/CHRG_CH-7/";
    const std::string log = snr(run + "Dauerlauf.log");
    EXPECT_EQ(masked(log.substr(0, log.find("\r\n\r\n"))),
              "long run:\r\n  - editor: AB\r\n  - number: CHRG_CH-7\r\n  - date: DATE");
    const std::string tail = log.substr(log.find("\r\nlong run function test running"));
    EXPECT_EQ(tail.find(text(35313)), std::string::npos) << "a passing pass is cut from the log";
    EXPECT_NE(tail.find(filled(35315) + " #3"), std::string::npos);
    EXPECT_EQ(masked(tail.substr(tail.find("\r\nlong run exited"))),
              "\r\nlong run exited at DATE after 2 runs:\r\n  - device 1 has passed the long run\r\n"
              "  - device 2 has passed the long run\r\n  - device 3 has passed the long run\r\n");
    EXPECT_NE(log.find(text(36019)), std::string::npos);

    const std::string configuration = snr(run + "config-processlist.bak");
    ASSERT_FALSE(configuration.empty());
    for (uint32_t serial : {4001u, 4002u, 4003u}) {
        const std::string folder = app::formatText("SNR_%08u/", serial);
        EXPECT_EQ(snr(folder + "Charge.txt"), "CH-7") << serial;
        EXPECT_EQ(snr(folder + "config-processlist.bak"), configuration) << serial;
        EXPECT_EQ(simulator->device(serial - 4001).serialNumber, serial);
        EXPECT_NEAR(simulator->device(serial - 4001).appVersion, 1.06, 1e-6);
    }
    EXPECT_EQ(masked(snr("SNR.LOG")), "DATE AB 00004001\nDATE AB #SNR FOUND 00004001\n"
                                      "DATE AB 00004002\nDATE AB #SNR FOUND 00004002\n");
    EXPECT_EQ(simulator->device(0).network.address, devsim::parseIpv4("192.168.0.201").value());
    EXPECT_EQ(simulator->device(2).network.address, devsim::parseIpv4("192.168.0.203").value());
}

// Device 2 never answers and the operator gives it up; devices 1 and 3 go through the run. A
// second run under the same number sets the first run's log aside.
TEST_F(CliEndurance, DeviceNotFoundIsGivenUp)
{
    connects[2] = {};
    startDevices(3);
    auto r = run("--type production --number N2 --count 3 --passes 1", "--answer 35408=no");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(masked(r.out.substr(r.out.find("long run exited"))),
              "long run exited at DATE after 1 runs:\n  - device 1 has passed the long run\n"
              "  - device 2 has failed the long run at DATE during the process \"device search\"\n"
              "  - device 3 has passed the long run\n");
    EXPECT_TRUE(fs::exists(dir.file("snr/SNR_00000100/Charge.txt")));
    EXPECT_FALSE(fs::exists(dir.file("snr/SNR_00000200")));
    EXPECT_TRUE(fs::exists(dir.file("snr/SNR_00000300/Charge.txt")));

    // Again under the same number: refused on No, old log set aside on Yes.
    r = run("--type production --number N2 --count 1", "--answer 30042=no");
    EXPECT_EQ(r.status, 1);
    r = run("--type production --number N2 --count 1 --passes 1", "--answer 30042=yes");
    EXPECT_EQ(r.status, 1) << "device 1 is already connected and moved: found twice";
    int logs = 0;
    for (const auto& e : fs::directory_iterator(dir.file("snr/_Dauerlauf/CHRG_N2"))) {
        logs += e.path().filename().string().rfind("Dauerlauf", 0) == 0;
    }
    EXPECT_EQ(logs, 2);
}

// Runs that end early: two devices answer at once and the operator aborts; a repair device has
// no serial number; every device failing ends the run by itself.
TEST_F(CliEndurance, TwoDevicesAtOnceAbort)
{
    connects[1] = {"192.168.0.131", "192.168.0.132"};
    startDevices(2);
    auto r = run("--type production --number TWO --count 2", "--answer 35409=no");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(masked(r.out.substr(r.out.find("\nlong run") + 1)), "long run aborted at DATE!\n");
    const std::string log = snr("_Dauerlauf/CHRG_TWO/Dauerlauf.log");
    EXPECT_NE(log.find(text(36016)), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 1), "!");
}

TEST_F(CliEndurance, RepairDeviceWithoutSerialNumber)
{
    startDevices(1);
    const auto r = run("--type repair --number R1");
    EXPECT_EQ(r.status, 1);
    const std::string log = snr("_Dauerlauf/REP_R1/Dauerlauf.log");
    EXPECT_NE(log.find(text(36017)), std::string::npos);
    EXPECT_EQ(masked(log.substr(log.rfind("\r\n"))), "\r\nlong run aborted at DATE!");
    EXPECT_FALSE(fs::exists(dir.file("snr/_Dauerlauf/REP_R1/config-processlist.bak")));
}

TEST_F(CliEndurance, AllDevicesFailing)
{
    startDevices(2, [](int, devsim::Device& d) { d.password = "other"; });
    const auto r = run("--type production --number F --count 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(masked(r.out.substr(r.out.find("long run exited"))),
              "long run exited at DATE after 0 runs:\n"
              "  - device 1 has failed the long run at DATE during the process \"restore default configuration\"\n"
              "  - device 2 has failed the long run at DATE during the process \"restore default configuration\"\n");
    EXPECT_NE(r.err.find(text(35315) + " #2"), std::string::npos) << "found devices get their cleanup";
}

// Ctrl+C during the tests: the running pass finishes, the cards are cleaned, the records written.
TEST_F(CliEndurance, InterruptStopsTheRun)
{
    startDevices(1);
    const std::string err = dir.file("interrupted.txt");
    const auto r = test::runCommand("(" + command("--type production --number INT --count 1") + " 2>" + err +
                                        " & pid=$!; for i in $(seq 600); do grep -q 'function test running' " + err +
                                        " && break; sleep 0.05; done; kill -INT $pid; wait $pid)",
                                    dir.file("stderr.txt"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("device 1 has passed the long run"), std::string::npos) << r.out;
    const std::string log = snr("_Dauerlauf/CHRG_INT/Dauerlauf.log");
    EXPECT_NE(log.find(text(35315) + " #1"), std::string::npos);
    EXPECT_NE(log.find("after 1 runs:"), std::string::npos) << log;
}

// What the console refuses before anything is sent or written.
TEST_F(CliEndurance, Refusals)
{
    startDevices(1);
    struct Case {
        std::string arguments, options, out;
    } cases[] = {
        {"--type production --number X --count 0", "", text(31212) + "\n"},
        {"--type production --number X --count 2 --serials 5,0", "", text(31213) + "\n"},
        {"--type production --number X --count 1 --serials 123456789", "", text(31213) + "\n"},
        {"--type production --number 'a/b' --count 1", "", text(37050) + "\n"},
        {"--type production --number X --count 1", "--target 192.168.0.1", filled(37151, 1) + "\n"},
        {"--type production --number X --count 2", "--target 192.168.0.254", filled(37151, 2) + "\n"},
    };
    for (const auto& c : cases) {
        const auto r = run(c.arguments, c.options);
        EXPECT_EQ(r.status, 1) << c.arguments;
        EXPECT_EQ(r.out, c.out) << c.arguments << c.options << r.err;
    }
    for (const char* usage : {"--type repair --number X --count 2", "--type production --number X --count 1000",
                              "--type production --number X --count 2 --serials 1", "--type x --number X"}) {
        EXPECT_EQ(run(usage).status, 1) << usage;
    }
    EXPECT_TRUE(fs::is_empty(dir.file("snr/_Dauerlauf")));
    const auto r = test::runCommand(std::string(VST_CLI_PATH) + " --lang en --snr " + dir.file("snr") +
                                        " --fw x --target 192.168.0.201 endurance --type repair --number X",
                                    dir.file("stderr.txt"));
    EXPECT_EQ(r.out, text(30037) + "\n");
}

// An endurance run leaves one journal line per device it found: the device's own steps in order,
// its outcome and failed step, the batch and the run's folder, the firmware it was given; a
// position where no device was found leaves none.
TEST_F(CliEndurance, EachFoundDeviceLeavesOneJournalLine)
{
    const std::vector<std::string> passedSteps = {"35300", "35305", "35306", "35308", "35307",
                                                  "35309", "35313", "35314", "35315"};
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::function<void(int, devsim::Device&)> device;
        int devices;
        std::string arguments;
        std::string options;
        std::vector<std::string> macs;
        std::string outcome;
        std::string failedStep;
        std::vector<std::string> steps;  // of each device
        std::string lastStepOutcome;
    };
    const std::vector<Case> cases = {
        {"device 2 not found", [&] { connects[2] = {}; }, {}, 3, "--type production --number N2 --count 3 --passes 1",
         "--answer 35408=no", {"02:00:00:00:00:31", "02:00:00:00:00:33"}, "passed", "null", passedSteps,
         "\"passed\""},
        {"every device failing", [&] { connects.clear(); }, [](int, devsim::Device& d) { d.password = "other"; }, 2,
         "--type production --number F --count 2", "", {"02:00:00:00:00:31", "02:00:00:00:00:32"}, "failed",
         "35305", {"35300", "35305", "35315"}, "\"failed\""},  // the cleanup cannot log in either
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir.file("snr/_Records"));
        if (simulator) simulator->stop();
        simulator.reset();
        if (c.arrange) c.arrange();
        startDevices(c.devices, c.device);
        const auto r = run(c.arguments, c.options);
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        const auto lines = test::journalLines(dir.file("snr"));
        ASSERT_EQ(lines.size(), c.macs.size()) << r.out << r.err;
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::string& l = lines[i];
            EXPECT_EQ(test::textAt(l, "workflow"), "endurance");
            EXPECT_EQ(test::textAt(l, "device.mac"), c.macs[i]);
            EXPECT_EQ(test::textAt(l, "outcome"), c.outcome) << l;
            EXPECT_EQ(test::jsonAt(l, "failed_step"), c.failedStep) << l;
            EXPECT_EQ(test::eachOf(l, "steps", "id"), c.steps) << l;
            EXPECT_EQ(test::eachOf(l, "steps", "outcome").back(), c.lastStepOutcome) << l;
            const std::string number = c.arguments.substr(c.arguments.find("--number ") + 9);
            const std::string batch = number.substr(0, number.find(' '));
            EXPECT_EQ(test::textAt(l, "batch"), batch);
            EXPECT_EQ(test::textAt(l, "run"), "CHRG_" + batch);
            EXPECT_EQ(test::textAt(l, "operator"), "AB");
            EXPECT_EQ(test::textAt(l, "text_record"), "_Dauerlauf/CHRG_" + batch + "/Dauerlauf.log");
            if (c.outcome == "passed") {
                EXPECT_EQ(test::textAt(l, "firmware.file"), dir.file("fw/VestrolanV106.hex"));
                EXPECT_EQ(test::jsonAt(l, "device.firmware_after"), "1.06");
            }
        }
    }
}
