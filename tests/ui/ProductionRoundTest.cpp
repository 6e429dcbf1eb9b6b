// The production round of the main window against a simulated device in the private test
// network: final test, repair start and repair end started by their buttons, the dialogs and the
// log window answered by the scripted operator, the records checked in the serial-number tree.
#include <QTimer>

#include "app/Format.h"
#include "app/Records.h"
#include "support/FirmwareFile.h"
#include "ui/COutputDlg.h"

#include "JournalLines.h"
#include "WindowRound.h"

using namespace vst;

namespace {

constexpr int kWorkerTimeoutMs = 120000;

class ProductionRound : public test::WindowRound {
protected:
    ProductionRound() : WindowRound(kWorkerTimeoutMs, 100) {}

    std::string read(const std::string& name) const { return app::fileExists(records.file(name)) ? records.read(name) : ""; }

    // Presses a workflow button and waits until its worker has ended; the operator closes the log.
    void run(int id)
    {
        QTimer operatorHand;
        operatorHand.setInterval(20);
        QObject::connect(&operatorHand, &QTimer::timeout, [&] {
            for (auto* log : window->findChildren<ui::COutputDlg*>()) {
                if (log->isVisible() && log->okButton()->isEnabled()) log->okButton()->click();
            }
        });
        operatorHand.start();
        button(id)->click();
        EXPECT_GT(window->runningWorkers(), 0);
        ASSERT_TRUE(idle());
        EXPECT_TRUE(button(10024)->isEnabled());
    }

    // Devices 1..count without a serial number at 192.168.0.151 and up, answering at 192.168.0.201
    // and up once they have moved there, the firmware, the run folder, and the window in endurance
    // mode.
    void openEnduranceRound(int count)
    {
        std::vector<devsim::Device> fleet;
        for (int k = 1; k <= count; ++k) {
            addDeviceAddress("192.168.0." + std::to_string(200 + k) + "/24");
            auto d = test::simulatedDevice("192.168.0." + std::to_string(150 + k), static_cast<uint8_t>(0x50 + k), "Neu");
            d.password = "730";
            d.serialNumber = net::kNoSerialNumber;
            d.restartMs = 20;
            fleet.push_back(d);
        }
        startSimulator(fleet);
        std::filesystem::create_directories(records.file("_Dauerlauf"));
        std::filesystem::create_directories(records.file("fw"));
        records.write("fw/VestrolanV106.hex", test::firmwareImage("1.06"));
        app::AppSettings s;
        s.internalMode = true;
        s.operatingMode = app::OperatingMode::Endurance;
        s.serialNumberPath = records.str();
        s.firmwarePath = records.file("fw");
        s.targetAddress = 0xC0A800C9;
        s.networkCardIndex = card0->index;
        prompt.signChoices = {0};
        openWindow(s);
    }

    // Waits until the endurance run's log says that testing has begun.
    bool testingBegun()
    {
        return QTest::qWaitFor(
            [&] {
                const auto logs = window->findChildren<ui::COutputDlg*>();
                return !logs.empty() && logs.front()->text().find(app::loadText(36023)) != std::string::npos;
            },
            kWorkerTimeoutMs);
    }
};

}  // namespace

TEST_F(ProductionRound, FinalTestRepairStartAndRepairEndFromTheirButtons)
{
    addDeviceAddress("192.168.0.101/24");
    auto d = test::simulatedDevice("192.168.0.101", 1, "Kessel");
    d.password = "730";
    d.configuration.userLines = {"[User]", "Ort=Halle"};
    d.configuration.processLines = {"#PCN 1"};
    startSimulator({d});
    std::filesystem::create_directory(records.file("SNR_00001001"));
    records.write("SNR_00001001/Charge.txt", "CH-9\r\n");
    records.write("SNR_00001001/config-processlist.bak", "[User]\nOrt=Werk\n\n#PCN 2\n");

    app::AppSettings s;
    s.internalMode = true;
    s.operatingMode = app::OperatingMode::Production;
    s.serialNumberPath = records.str();
    prompt.signChoices = {0};
    ASSERT_NO_FATAL_FAILURE(openWindow(s));
    button(10019)->click();
    ASSERT_TRUE(idle());
    ASSERT_EQ(window->deviceList()->count(), 1);
    window->deviceList()->selectOnly(0);
    ASSERT_TRUE(button(10021)->isEnabled());

    // The window's CPU test joins the devices' WLAN, which this PC cannot: every round finds that
    // error, so no success text is shown, the records are written all the same, and the customer
    // configuration stays out of the device at the repair end.
    const std::string wlanFinding = "      * " + app::loadText(35261) + "\r\n";
    prompt.shown.clear();
    run(10021);
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(lastText(), "");
    EXPECT_EQ(window->control(10003)->property("text").toString(), test::german(30010) + QStringLiteral(" CH-9"));
    const std::string finalLog = read("SNR_00001001/Endtest.log");
    EXPECT_EQ(finalLog.rfind(app::loadText(36031), 0), 0u) << finalLog;
    EXPECT_NE(finalLog.find("  - Chargennummer: CH-9\r\n"), std::string::npos);
    EXPECT_NE(finalLog.find(wlanFinding), std::string::npos);
    EXPECT_EQ(finalLog.find(app::loadText(35412)), std::string::npos);
    EXPECT_EQ(simulator->device(0).configuration.userLines, (std::vector<std::string>{"[User]", "Ort=Werk"}));

    // Repair start with the test configuration from the assistant, then the repair end.
    const std::string test = "[User]\r\nOrt=Test\r\n\r\n#PCN 3\r\n";
    prompt.repairNumbers = {QStringLiteral("R7")};
    prompt.configurations = {test};
    run(10022);
    EXPECT_EQ(lastText(), app::loadText(35414));
    EXPECT_EQ(read("SNR_00001001/REP_R7/config-processlist_DEF.bak"), test);
    EXPECT_EQ(read("SNR_00001001/REP_R7/config-processlist_KD.bak"), "[User]\nOrt=Werk\n\n#PCN 2\n");
    EXPECT_EQ(simulator->device(0).configuration.userLines, (std::vector<std::string>{"[User]", "Ort=Test"}));

    prompt.shown.clear();
    prompt.repairNumbers = {QStringLiteral("R7")};
    run(10023);
    EXPECT_EQ(lastText(), "");
    EXPECT_EQ(simulator->device(0).configuration.userLines, (std::vector<std::string>{"[User]", "Ort=Test"}));
    const std::string repairLog = read("SNR_00001001/REP_R7/Reparatur.log");
    EXPECT_EQ(repairLog.rfind(app::loadText(36034), 0), 0u);
    const size_t end = repairLog.find("\r\n\r\n" + app::loadText(36038));
    ASSERT_NE(end, std::string::npos) << repairLog;
    EXPECT_NE(repairLog.find(wlanFinding, end), std::string::npos);

    // The journal of the three runs, written by the window's program.
    const auto journal = test::journalLines(records.str());
    ASSERT_EQ(journal.size(), 3u);
    const char* workflows[] = {"final-test", "repair-start", "repair-end"};
    for (size_t i = 0; i < journal.size(); ++i) {
        EXPECT_EQ(test::textAt(journal[i], "workflow"), workflows[i]);
        EXPECT_EQ(test::textAt(journal[i], "station.program"), "vestrolan-manager");
        EXPECT_EQ(test::textAt(journal[i], "operator"), "AB") << journal[i];
        EXPECT_EQ(test::textAt(journal[i], "outcome"), "failed") << journal[i];
        // The WLAN finding fails the CPU test.
        EXPECT_EQ(test::jsonAt(journal[i], "failed_step"), "35313") << journal[i];
    }
    EXPECT_EQ(test::textAt(journal[0], "batch"), "CH-9");
    EXPECT_EQ(test::textAt(journal[2], "text_record"), "SNR_00001001/REP_R7/Reparatur.log");

    // A repair number that cannot name a folder is refused by the dialog; nothing starts.
    prompt.repairNumbers = {QStringLiteral("R/8")};
    button(10022)->click();
    EXPECT_EQ(window->runningWorkers(), 0);
    EXPECT_EQ(lastText(), app::loadText(37050));
}

// The endurance run from its buttons: the dialog and the assistant, only the stop button enabled
// while the run is active, the stop, and the run's records.
TEST_F(ProductionRound, EnduranceRunStartedAndStoppedFromItsButtons)
{
    ASSERT_NO_FATAL_FAILURE(openEnduranceRound(1));
    ASSERT_TRUE(button(10017)->isEnabled());
    EXPECT_FALSE(button(10018)->isEnabled());
    button(10018)->click();  // no run active: nothing happens
    EXPECT_EQ(window->runningWorkers(), 0);

    // A batch number no folder can carry is refused by the dialog.
    prompt.enduranceRuns = {test::EnduranceEntry{false, QStringLiteral("W:1"), QStringLiteral("1"), {}}};
    button(10017)->click();
    EXPECT_EQ(lastText(), app::loadText(37050));
    EXPECT_EQ(window->runningWorkers(), 0);

    prompt.enduranceRuns = {test::EnduranceEntry{false, QStringLiteral("W1"), QStringLiteral("1"), {QStringLiteral("7001")}}};
    prompt.configurations = {std::string("[User]\r\nOrt=DL\r\n\r\n#PCN 1\r\n")};
    prompt.onMessage = [&](const std::string& text) {
        if (text == app::formatText(app::loadText(35407), 1)) addDeviceAddress("192.168.0.151/24");
    };
    button(10017)->click();
    ASSERT_GT(window->runningWorkers(), 0);
    EXPECT_EQ(window->control(10003)->property("text").toString(), test::german(30010) + QStringLiteral(" W1"));
    // Testing has begun: the run is stopped at once.
    ASSERT_TRUE(testingBegun());
    EXPECT_TRUE(button(10018)->isEnabled());
    EXPECT_FALSE(button(10017)->isEnabled());
    EXPECT_FALSE(button(10024)->isEnabled());
    run(10018);
    ASSERT_FALSE(HasFailure());
    EXPECT_FALSE(button(10018)->isEnabled());
    EXPECT_TRUE(button(10017)->isEnabled());
    const std::string log = read("_Dauerlauf/CHRG_W1/Dauerlauf.log");
    EXPECT_NE(log.find(app::formatText(app::loadText(36026), 1)), std::string::npos) << log;
    EXPECT_EQ(read("_Dauerlauf/CHRG_W1/config-processlist.bak"), "[User]\r\nOrt=DL\r\n\r\n#PCN 1\r\n");
    EXPECT_EQ(read("SNR_00007001/Charge.txt"), "W1");
    EXPECT_EQ(window->deviceList()->count(), 1);
    EXPECT_EQ(simulator->device(0).serialNumber, 7001u);
    // Stopped after its device passed a test pass: the device's line says passed.
    const auto journal = test::journalLines(records.str());
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(test::textAt(journal[0], "workflow"), "endurance");
    EXPECT_EQ(test::textAt(journal[0], "outcome"), "passed") << journal[0];
    EXPECT_EQ(test::textAt(journal[0], "station.program"), "vestrolan-manager");
    EXPECT_EQ(test::textAt(journal[0], "run"), "CHRG_W1");
    EXPECT_EQ(test::jsonAt(journal[0], "device.serial"), "7001");
}

// The list sorted against the found order (MAC addresses descending): the run still gives device k
// the serial number of line k, since workers work on the found order and only the view is sorted.
TEST_F(ProductionRound, EnduranceRunUnderASortedListNumbersDevicesInFoundOrder)
{
    ASSERT_NO_FATAL_FAILURE(openEnduranceRound(3));
    window->deviceList()->sortBy({3, true});

    prompt.enduranceRuns = {test::EnduranceEntry{
        false, QStringLiteral("W2"), QStringLiteral("3"), {QStringLiteral("7001"), QStringLiteral("7002"), QStringLiteral("7003")}}};
    prompt.configurations = {std::string("[User]\r\nOrt=DL\r\n\r\n#PCN 1\r\n")};
    prompt.onMessage = [&](const std::string& text) {
        // The operator connects device k when asked for it.
        for (int k = 1; k <= 3; ++k) {
            if (text == app::formatText(app::loadText(35407), k)) addDeviceAddress("192.168.0." + std::to_string(150 + k) + "/24");
        }
    };
    button(10017)->click();
    ASSERT_GT(window->runningWorkers(), 0);
    ASSERT_TRUE(testingBegun());
    run(10018);
    ASSERT_FALSE(HasFailure());
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(simulator->device(k).serialNumber, 7001u + static_cast<uint32_t>(k)) << "device " << k + 1;
        EXPECT_EQ(window->deviceList()->recordAt(k)->mac[5], 0x51 + k) << "the list keeps the found order";
    }
    EXPECT_EQ(window->deviceList()->recordAtView(0)->mac[5], 0x53) << "the view stays sorted";
}
