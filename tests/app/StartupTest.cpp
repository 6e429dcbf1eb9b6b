#include "app/CApp.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/Language.h"
#include "platform/CodePage.h"
#include "support/MemorySettings.h"

using namespace vst::app;
using vst::test::MemorySettings;

namespace {

class RecordingHost : public StartupHost {
public:
    std::vector<std::string> steps;
    std::vector<std::string> errors;
    bool socketsStart = true;
    int32_t offsetSeenAtError = -1;

    void constructMainWindow() override { steps.push_back("construct"); }
    void registerCommonControls(uint32_t classSet) override
    {
        steps.push_back("controls " + std::to_string(classSet));
    }
    void baseInitialise() override { steps.push_back("base"); }
    void showStartupError(const std::string& text) override
    {
        steps.push_back("error");
        errors.push_back(vst::platform::cp1252ToUtf8(text));
    }
    bool startSockets() override
    {
        steps.push_back("sockets");
        return socketsStart;
    }
    void runMainWindow() override { steps.push_back("run"); }
};

struct Startup : ::testing::Test {
    RecordingHost host;
    MemorySettings store;
    void TearDown() override
    {
        CApp::instance().setTextIdOffset(0);
        CApp::instance().setSettings({});
    }
    StartupResult start(const char* commandLine) { return CApp::instance().initInstance(host, commandLine, store); }
    using Steps = std::vector<std::string>;
};

}  // namespace

TEST_F(Startup, ServiceStationRunsStepsInOrder)
{
    EXPECT_EQ(start(""), StartupResult::MainWindowClosed);
    EXPECT_EQ(host.steps, (Steps{"construct", "controls 255", "base", "sockets", "run"}));
    EXPECT_EQ(CApp::instance().operatingMode(), OperatingMode::Service);
}

TEST_F(Startup, ModeWithoutInternalUseIsIgnoredSilently)
{
    EXPECT_EQ(start("-LAGER"), StartupResult::MainWindowClosed);
    EXPECT_TRUE(host.errors.empty());
    EXPECT_EQ(CApp::instance().operatingMode(), OperatingMode::Service);
}

TEST_F(Startup, EnduranceWithoutCardIsRefusedBeforeSockets)
{
    EXPECT_EQ(start("-VAZIR -DL -DSTIP=192.168.0.5 -FW=/fw -SNR=/snr"), StartupResult::Refused);
    EXPECT_EQ(host.steps, (Steps{"construct", "controls 255", "base", "error"}));
    EXPECT_EQ(host.errors, (std::vector<std::string>{
                               "Für den Lager- oder Dauerlauf-Modus muss eine Netzwerkkarte angegeben werden!"}));
}

TEST_F(Startup, CardGivenWithoutValueMeansCardZero)
{
    EXPECT_EQ(start("-VAZIR -DL -NETCARD -DSTIP=192.168.0.5 -FW=/fw -SNR=/snr"), StartupResult::MainWindowClosed);
    EXPECT_EQ(CApp::instance().networkCardIndex(), 0);
    EXPECT_EQ(CApp::instance().operatingMode(), OperatingMode::Endurance);
}

TEST_F(Startup, ChecksInOrder)
{
    struct Case {
        const char* commandLine;
        TextId refusal;
    };
    const Case cases[] = {
        {"-VAZIR -LAGER -NETCARD=0 -FW=/fw -SNR=/s", 35002},
        {"-VAZIR -LAGER -NETCARD=0 -DSTIP=10.0.0.9 -SNR=/s", 35003},
        {"-VAZIR -LAGER -NETCARD=0 -DSTIP=10.0.0.9 -FW=/fw", 35004},
        {"-VAZIR -PROREP", 35004},
        {"-VAZIR -LAGER", 35001},
    };
    for (const auto& c : cases) {
        RecordingHost fresh;
        host = fresh;
        EXPECT_EQ(start(c.commandLine), StartupResult::Refused) << c.commandLine;
        ASSERT_EQ(host.errors.size(), 1u);
        EXPECT_EQ(host.errors[0], vst::platform::cp1252ToUtf8(textAt(c.refusal))) << c.commandLine;
    }
}

TEST_F(Startup, ProductionNeedsOnlySerialPathAndNonAddressPasses)
{
    EXPECT_EQ(start("-VAZIR -PROREP -SNR=/s"), StartupResult::MainWindowClosed);
    host = RecordingHost();
    // A target that is not an address becomes 255.255.255.255 and passes the target check.
    EXPECT_EQ(start("-VAZIR -LAGER -NETCARD=1 -DSTIP=nohost -FW=/fw -SNR=/s"), StartupResult::MainWindowClosed);
    EXPECT_EQ(CApp::instance().targetAddress(), 0xFFFFFFFFu);
}

TEST_F(Startup, RefusalsUseLanguageReadBeforeTheChecks)
{
    store.values[{kStationKey, kLanguageValue}] = uint32_t{10000};
    EXPECT_EQ(start("-VAZIR -PROREP"), StartupResult::Refused);
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0],
              "You have to specify the serial number path when using the stock, long run or production/repair mode!");
}

TEST_F(Startup, SocketFailureIsReported)
{
    host.socketsStart = false;
    EXPECT_EQ(start(""), StartupResult::Refused);
    EXPECT_EQ(host.steps, (Steps{"construct", "controls 255", "base", "sockets", "error"}));
    EXPECT_EQ(host.errors, (std::vector<std::string>{"Fehler beim Initialisieren der Windows-Sockets!"}));
}

// The programmer's time limit comes from the stored value when it lies in 60..86400 seconds;
// anything else (missing, out of range, a text) leaves the 600 s the station has always used.
TEST_F(Startup, ProgrammerTimeoutFromTheStoredSetting)
{
    const struct {
        std::optional<MemorySettings::Value> stored;
        uint32_t expected;
    } cases[] = {
        {std::nullopt, 600},
        {MemorySettings::Value{uint32_t{60}}, 60},
        {MemorySettings::Value{uint32_t{86400}}, 86400},
        {MemorySettings::Value{uint32_t{1800}}, 1800},
        {MemorySettings::Value{uint32_t{59}}, 600},
        {MemorySettings::Value{uint32_t{0}}, 600},
        {MemorySettings::Value{uint32_t{86401}}, 600},
        {MemorySettings::Value{std::string("1800")}, 600},
    };
    for (const auto& c : cases) {
        store.values.clear();
        if (c.stored) store.values[{kStationKey, kProgrammerTimeoutValue}] = *c.stored;
        EXPECT_EQ(storedProgrammerTimeout(store), c.expected);
        ASSERT_EQ(start("-VAZIR -PROREP -SNR=x"), StartupResult::MainWindowClosed);
        EXPECT_EQ(CApp::instance().settings().programmerTimeoutSeconds, c.expected);
    }
}
