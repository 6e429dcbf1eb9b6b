// The console's function-test commands and its scripted operator, end to end against a simulated
// device: the program itself, its streams and its exit status.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/Texts.h"
#include "platform/CodePage.h"
#include "support/RunCommand.h"
#include "support/TempDir.h"
#include "Testbed.h"

using namespace vst;

namespace {

class CliFunctionTests : public test::CommandTestbed {
protected:
    void prepare() override
    {
        auto d = test::simulatedDevice("192.168.0.101", 1, "Prüfling");
        d.password = "730";
        d.web.processTestLines[0] = {"Teste Analog-Eingänge", "NEED => MODE=1"};
        d.web.processTestLines[1] = {"Strom ok"};
        d.web.calibrationItems = {"ENG;AIN1;3;1,0.5,2.0"};
        addDeviceAddress("192.168.0.101/24");
        startSimulator({d});
    }

    Run cli(const std::string& arguments, const std::string& environment = "")
    {
        const std::string command = environment + "VESTROLAN_TIME_SCALE=20 VESTROLAN_SETTINGS=" + dir.file("settings.ini") + " " +
                                    VST_CLI_PATH + " --lang en --target 192.168.0.101 --directed-only " + arguments;
        return test::runCommand(command, dir.file("stderr.txt"));
    }

    static std::string line(int germanId) { return platform::cp1252ToUtf8(app::textAt(germanId + 10000)) + "\n"; }
};

}  // namespace

TEST_F(CliFunctionTests, CpuTestPrintsItsResultAndFindings)
{
    Run r = cli("cputest 02:00:00:00:00:01 --ssid \"\"");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, line(35253));
    EXPECT_NE(r.err.find("  - MSG: "), std::string::npos);  // the log went to the error stream

    // Without a WLAN service of this PC the default network name fails the test.
    r = cli("cputest 02:00:00:00:00:01");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, line(35254) + platform::cp1252ToUtf8(app::textAt(45261)) + "\n");
    EXPECT_NE(r.err.find(platform::cp1252ToUtf8(app::textAt(45248))), std::string::npos);

    // A wrong password ends at the login; its text is the result.
    r = cli("--password nein cputest 02:00:00:00:00:01 --ssid \"\"");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, line(35208));
}

TEST_F(CliFunctionTests, ProcessTestShowsTheNoticeAndRunsItsHook)
{
    Run r = cli("proctest 02:00:00:00:00:01 --on-notice '35262=echo hook ran; exit 4'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, line(35262) + line(35263));
    EXPECT_NE(r.err.find("hook ran\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("exit status 4"), std::string::npos) << r.err;
    EXPECT_EQ(simulator->device(0).webState.processTestModes, (std::vector<uint32_t>{0, 1}));

    r = cli("proctest 02:00:00:00:00:01 --skip-follow-up");
    EXPECT_EQ(r.out, line(35263));
}

TEST_F(CliFunctionTests, CalibrationTakesTheScriptedValues)
{
    Run r = cli("calibrate 02:00:00:00:00:01 --calibrate 100.5,5,230,16");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, line(35246));
    ASSERT_EQ(simulator->device(0).webState.calibrationSteps.size(), 1u);
    EXPECT_EQ(simulator->device(0).webState.calibrationSteps[0].data, "100.500;5.000;230.000;16.000");

    r = cli("calibrate 02:00:00:00:00:01");  // no values: the dialog counts as cancelled
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, line(35247));

    // Values the dialog would refuse, or a malformed option, start nothing.
    const size_t requests = simulator->device(0).webState.requests;
    r = cli("calibrate 02:00:00:00:00:01 --calibrate 5,10,230,16");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, line(31409));
    for (const char* bad : {"1,2,3", "1,2,3,4,5", "1;2;3;4", "1,2,3,4x", "1,0.5,230,16,"}) {
        r = cli(std::string("calibrate 02:00:00:00:00:01 --calibrate '") + bad + "'");
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(r.out, "") << bad;
        EXPECT_NE(r.err.find(": vestrolan-cli --help\n"), std::string::npos) << bad;  // a usage error
    }
    EXPECT_EQ(simulator->device(0).webState.requests, requests);
}

TEST_F(CliFunctionTests, SdCleanupDeletesTheFiveFiles)
{
    Run r = cli("sdclean 02:00:00:00:00:01");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, line(35265));
    EXPECT_TRUE(simulator->device(0).sdFiles.empty());
}

TEST_F(CliFunctionTests, CpuTestWithTheDefaultNetworkNamePassesThroughTheWlanDouble)
{
    simulator->update(0, [](devsim::Device& d) { d.wlan = true; });
    Run r = cli("cputest 02:00:00:00:00:01", "VESTROLAN_WLAN_DOUBLE=1 ");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, line(35253));
    EXPECT_NE(r.err.find("the WLAN join is the test double"), std::string::npos);
}
