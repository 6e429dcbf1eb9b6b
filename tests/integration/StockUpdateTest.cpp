// The stock update's outcome per case against a simulated device: the row colour, the firmware
// step only when the version differs, and no temporary file left behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/Texts.h"
#include "ops/StockUpdate.h"
#include "support/FirmwareFile.h"
#include "support/TempDir.h"
#include "Testbed.h"

using namespace vst;

namespace {

// A window whose operator confirms the configuration as shown, or cancels the assistant.
class StockWindow : public test::RecordingChannel {
public:
    bool confirm = true;
    std::optional<std::string> askConfiguration(const std::string& configuration, bool) override
    {
        if (!confirm) return std::nullopt;
        return configuration;
    }
};

class StockUpdate : public test::Testbed {};

}  // namespace

TEST_F(StockUpdate, RowColourAndFirmwareStepPerCase)
{
    setTimeScale(100);
    auto d = test::simulatedDevice("192.168.0.101", 1, "Lager");
    d.password = "730";
    d.restartMs = 20;
    std::stringstream config;
    config << std::ifstream(VST_DEMO_CONFIG).rdbuf();
    d.configuration = devsim::parseBackupText(config.str()).value();
    addDeviceAddress("192.168.0.101/24");
    startSimulator({d});

    test::TempDir dir;
    dir.write("VestrolanV105.hex", test::firmwareImage("1.05"));
    dir.write("VestrolanV104.hex", test::firmwareImage("1.04"));
    struct Case {
        const char* name;
        bool confirm;
        std::string firmware;
        int32_t rowStatus;
        bool updated;
    };
    const std::vector<Case> cases = {
        {"same version", true, dir.file("VestrolanV105.hex"), 2, false},
        {"assistant cancelled", false, dir.file("VestrolanV105.hex"), 3, false},
        {"older file", true, dir.file("VestrolanV104.hex"), 2, true},
        {"update fails", true, dir.file("VestrolanV106.hex"), 3, true},  // no such file
    };
    for (const auto& c : cases) {
        StockWindow window;
        window.confirm = c.confirm;
        ops::StockUpdateParams p;
        p.channel = &window;
        p.card = card0;
        p.target = 0xC0A80065;
        p.password.assign("730");
        p.firmwarePath.assign(c.firmware);
        p.serialNumberPath = dir.str();
        ops::runStockUpdate(p);
        ASSERT_EQ(window.devices().count(), 1) << c.name;
        EXPECT_EQ(window.devices().at(0)->rowStatus, c.rowStatus) << c.name;
        EXPECT_EQ(p.succeeded, c.rowStatus == 2) << c.name;
        const auto headings = window.texts(ops::StatusMessage::SetHeading);
        const bool updated = std::find(headings.begin(), headings.end(), app::loadText(35309)) != headings.end();
        EXPECT_EQ(updated, c.updated) << c.name;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            EXPECT_EQ(e.path().filename().string().find("_TMP"), std::string::npos) << c.name;
        }
    }
}
