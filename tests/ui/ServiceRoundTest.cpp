// The service round of the main window against simulated devices in the private test network:
// search, select, rename, network configuration, backup, restore, firmware update and serial
// number, each started by its button with the dialogs answered by the scripted operator; the
// update of several selected devices and the remembered passwords.
#include <QAction>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include "ops/FunctionTests.h"
#include "ops/LogWindow.h"
#include "ops/Workflow.h"
#include "support/FirmwareFile.h"
#include "ui/COutputDlg.h"
#include "ui/QtPrompt.h"
#include "ui/config/CCalibEnergyDlg.h"

#include "WindowRound.h"

using namespace vst;

namespace {

constexpr int kWorkerTimeoutMs = 60000;

class ServiceRound : public test::WindowRound {
protected:
    ServiceRound() : WindowRound(kWorkerTimeoutMs) {}

    // The fleet: two kind-0 devices (the second password-protected) and a kind-1 device.
    void startFleet()
    {
        addDeviceAddress("192.168.0.101/24");
        addDeviceAddress("192.168.0.102/24");
        addDeviceAddress("192.168.0.110/24");
        auto plain = test::simulatedDevice("192.168.0.101", 1, "Kessel");
        plain.configuration.userLines = {"[User]", "Ort=Halle"};
        plain.configuration.processLines = {"#PCN 1"};
        auto locked = test::simulatedDevice("192.168.0.102", 2, "Tresor");
        locked.password = "geheim";
        locked.configuration.userLines = {"[User]", "Ort=Tresor"};  // a backup saves only a configuration
        auto meter = test::simulatedDevice("192.168.0.110", 3, "Zaehler");
        meter.kind = 1;
        meter.appVersion = 2.5;
        startSimulator({plain, locked, meter});
    }

    // Presses the search button and waits until the search has ended.
    void search()
    {
        button(10006)->click();
        ASSERT_GT(window->runningWorkers(), 0);
        ASSERT_TRUE(idle());
    }

    int rowOf(uint8_t id) const
    {
        net::DeviceRecord probe;
        probe.mac = {0x02, 0x00, 0x00, 0x00, 0x00, id};
        return window->deviceList()->rowOf(probe);
    }
    void select(uint8_t id)
    {
        const int row = rowOf(id);
        ASSERT_GE(row, 0) << "device " << int(id) << " is not listed";
        window->deviceList()->selectOnly(row);
        ASSERT_NE(window->currentDevice(), nullptr);
    }
    // Presses a button whose file dialog the operator answers with `name` in the records folder.
    void clickWithFile(int id, const std::string& name)
    {
        prompt.files = {records.file(name)};
        button(id)->click();
    }
    QString cell(uint8_t id, int column) const { return window->deviceList()->item(rowOf(id), column)->text(); }
    uint32_t lastStyle() const { return prompt.shown.empty() ? 0 : prompt.shown.back().style; }

    // The window with the operator's real dialogs, modal over it, and device 1 found and selected.
    void openWindowWithRealDialogs(ui::QtPrompt& operatorPrompt)
    {
        app::CApp::instance().setSettings({});
        window = std::make_unique<ui::CMainDlg>(operatorPrompt, cards);
        operatorPrompt.setParentWindow(window.get());
        ASSERT_TRUE(window->initialise());
        window->show();
        search();
        select(1);
    }
};

}  // namespace

TEST_F(ServiceRound, SearchListsEveryDeviceOnceAndCanBeCancelled)
{
    startFleet();
    openWindow({});
    search();
    EXPECT_EQ(window->deviceList()->count(), 3);
    EXPECT_EQ(cell(1, 1), "Kessel");
    EXPECT_EQ(cell(1, 4), "00001001");
    EXPECT_EQ(cell(3, 4), "-");
    EXPECT_EQ(cell(3, 6), "-");
    EXPECT_EQ(button(10006)->text(), test::german(30011));
    EXPECT_FALSE(window->busy());
    EXPECT_TRUE(prompt.shown.empty());

    // A second press while searching cancels; the controls come back when the workers end.
    button(10006)->click();
    EXPECT_EQ(button(10006)->text(), test::german(30012));
    EXPECT_FALSE(button(10010)->isEnabled());
    button(10006)->click();
    EXPECT_FALSE(window->busy());
    ASSERT_TRUE(idle());
    EXPECT_EQ(button(10006)->text(), test::german(30011));
    EXPECT_TRUE(button(10006)->isEnabled());
}

TEST_F(ServiceRound, SearchRunsOnTheSelectedCardOrOnEveryCard)
{
    startFleet();
    ASSERT_EQ(cards.size(), 2u);
    app::AppSettings s;
    s.networkCardIndex = static_cast<int32_t>(card1->index);
    openWindow(s);
    button(10006)->click();
    EXPECT_EQ(window->runningWorkers(), 1);
    ASSERT_TRUE(idle());
    // The whole-network scope reaches the devices through the second card as well; every answer
    // came through the selected card.
    ASSERT_EQ(window->deviceList()->count(), 3);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(window->deviceList()->recordAt(row)->card, window->selectedCard());
    }
    EXPECT_EQ(window->selectedCard()->description, card1->description);
    window.reset();

    // Production mode searches every card, whichever is selected.
    s = {};
    s.internalMode = true;
    s.operatingMode = app::OperatingMode::Production;
    s.serialNumberPath = records.str();
    s.networkCardIndex = static_cast<int32_t>(card1->index);
    prompt.signChoices = {0};
    openWindow(s);
    button(10019)->click();
    EXPECT_EQ(window->runningWorkers(), 2);
    EXPECT_EQ(button(10019)->text(), test::german(30024));
    ASSERT_TRUE(idle());
    EXPECT_EQ(window->deviceList()->count(), 3);
    EXPECT_EQ(button(10019)->text(), test::caption(30023));
}

TEST_F(ServiceRound, DirectedSearchFindsOnlyTheEnteredAddress)
{
    startFleet();
    app::AppSettings s;
    s.targetAddress = 0xC0A80066;  // 192.168.0.102
    openWindow(s);
    search();
    ASSERT_EQ(window->deviceList()->count(), 1);
    EXPECT_EQ(cell(2, 1), "Tresor");
}

TEST_F(ServiceRound, RenameAndNetworkConfigurationOfTheSelectedDevice)
{
    startFleet();
    addDeviceAddress("192.168.0.150/24");
    openWindow({});
    search();
    select(1);
    EXPECT_TRUE(button(10013)->isEnabled());

    prompt.names = {QStringLiteral("Kessel Nord")};
    button(10013)->click();
    ASSERT_TRUE(idle());
    EXPECT_EQ(lastText(), app::loadText(35223));
    EXPECT_EQ(lastStyle(), 64u);
    EXPECT_EQ(simulator->device(0).name, "Kessel Nord");
    EXPECT_EQ(cell(1, 1), "Kessel Nord");
    EXPECT_EQ(window->deviceList()->count(), 3);

    prompt.networks = {test::NetworkEntry{0, "192.168.0.150", "255.255.255.0", "192.168.0.1", "0.0.0.0", "0.0.0.0"}};
    button(10012)->click();
    // While the worker runs the window cannot be closed, by no way at all.
    EXPECT_EQ(window->runningWorkers(), 1);
    EXPECT_FALSE(button(10024)->isEnabled());
    EXPECT_FALSE(window->menuAction(20011)->isEnabled());
    EXPECT_FALSE(window->deviceList()->isEnabled());
    window->close();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(idle());
    EXPECT_EQ(lastText(), app::loadText(35222));
    EXPECT_EQ(devsim::formatIpv4(simulator->device(0).network.address), "192.168.0.150");
    EXPECT_EQ(cell(1, 2), "192.168.0.150");
    EXPECT_TRUE(button(10024)->isEnabled());
    EXPECT_TRUE(button(10012)->isEnabled()) << "the device is still current";
    EXPECT_EQ(window->currentDevice(), window->deviceList()->recordAt(rowOf(1)));
}

TEST_F(ServiceRound, ProtectedDeviceAsksForItsPassword)
{
    startFleet();
    openWindow({});
    search();
    select(2);

    prompt.names = {QStringLiteral("Falsch")};
    prompt.passwords = {QStringLiteral("raten")};
    button(10013)->click();
    ASSERT_TRUE(idle());
    EXPECT_EQ(prompt.passwordDialogs, 1);
    EXPECT_EQ(lastText(), app::loadText(35208));
    EXPECT_EQ(simulator->device(1).name, "Tresor");

    select(2);
    prompt.names = {QStringLiteral("Offen")};
    prompt.passwords = {QStringLiteral("geheim")};
    button(10013)->click();
    ASSERT_TRUE(idle());
    EXPECT_EQ(lastText(), app::loadText(35223));
    EXPECT_EQ(simulator->device(1).name, "Offen");
}

TEST_F(ServiceRound, BackupAndRestoreThroughTheFileDialogs)
{
    startFleet();
    openWindow({});
    search();
    select(1);

    clickWithFile(10014, "config-processlist.bak");
    ASSERT_TRUE(idle());
    EXPECT_EQ(lastText(), app::loadText(35225));
    EXPECT_EQ(records.read("config-processlist.bak"), "[User]\nOrt=Halle\n\n#PCN 1\n");

    records.write("neu.bak", "[User]\nOrt=Lager\n\n#PCN 2\n#PCS 3\n");
    clickWithFile(10015, "neu.bak");
    ASSERT_TRUE(idle());
    EXPECT_EQ(lastText(), app::loadText(35227));
    EXPECT_EQ(simulator->device(0).configuration.userLines, (std::vector<std::string>{"[User]", "Ort=Lager"}));
    EXPECT_EQ(simulator->device(0).configuration.processLines, (std::vector<std::string>{"#PCN 2", "#PCS 3"}));

    // A device that sends no configuration gives no backup: 37403, and the earlier file stays.
    simulator->update(0, [](devsim::Device& d) { d.configuration = {}; });
    select(1);
    clickWithFile(10014, "config-processlist.bak");
    ASSERT_TRUE(idle());
    EXPECT_EQ(lastText(), app::loadText(37403));
    EXPECT_EQ(records.read("config-processlist.bak"), "[User]\nOrt=Halle\n\n#PCN 1\n");
}

TEST_F(ServiceRound, FirmwareUpdateTakesTheNewestFileOfTheFirmwareFolder)
{
    startFleet();
    records.write("VestrolanV104.hex", ";VERSION=1.04\n:00000001FF\n");
    records.write("VestrolanV106.hex", ";VERSION=1.06\n:00000001FF\n");
    app::AppSettings s;
    s.firmwarePath = records.str();
    openWindow(s);
    search();
    select(1);
    prompt.answers = {app::kIdYes};
    button(10010)->click();
    ASSERT_TRUE(idle());
    EXPECT_TRUE(prompt.fileRequests.empty()) << "no file dialog with a firmware folder";
    EXPECT_EQ(simulator->device(0).webState.uploads, 1u) << simulator->device(0).webState.uploadProblem;
    EXPECT_EQ(cell(1, 5), "1.06") << lastText();
}

// The update's question answered No: no password is asked and no device hears of it, for one
// device and for several.
TEST_F(ServiceRound, UpdateAnsweredNoSendsNothing)
{
    startFleet();
    records.write("VestrolanV106.hex", ";VERSION=1.06\n:00000001FF\n");
    app::AppSettings s;
    s.firmwarePath = records.str();
    openWindow(s);
    search();
    const struct {
        bool all;
        std::string question;
    } cases[] = {
        {false, "Firmware von Kessel (02:00:00:00:00:01) von Version " + cell(1, 5).toStdString() +
                    " auf Version 1.06 aktualisieren?"},
        {true, "Firmware von 2 Ger\xE4ten auf Version 1.06 aktualisieren?"},
    };
    for (const auto& c : cases) {
        select(1);
        if (c.all) window->deviceList()->selectAll();
        prompt.answers = {app::kIdNo};
        button(10010)->click();
        EXPECT_EQ(window->runningWorkers(), 0);
        EXPECT_EQ(lastText(), c.question);
        EXPECT_EQ(lastStyle(), app::kMbYesNo | app::kMbIconQuestion | app::kMbDefaultButton2);
    }
    QTest::qWait(200);
    EXPECT_EQ(prompt.passwordDialogs, 0);
    for (int device = 0; device < 3; ++device) EXPECT_EQ(simulator->device(device).webState.requests, 0u) << device;
}

TEST_F(ServiceRound, SerialNumberInUseNeedsTheReleasePassword)
{
    startFleet();
    records.write("SNR.LOG", "01.02.2024 10:11:12 XY 00004711\n01.02.2024 10:12:00 XY #SNR FOUND 00004711\n");
    app::AppSettings s;
    s.internalMode = true;
    s.serialNumberPath = records.str();
    prompt.signChoices = {1};
    openWindow(s);
    ASSERT_TRUE(button(10011)->isVisibleTo(window.get()));
    search();
    select(1);

    // The number is in use: Yes to the question, then the release password.
    prompt.serialNumbers = {QStringLiteral("4711")};
    prompt.answers = {app::kIdYes};
    prompt.passwords = {QStringLiteral("40317")};
    button(10011)->click();
    ASSERT_TRUE(idle());
    EXPECT_EQ(simulator->device(0).serialNumber, 4711u) << lastText();
    EXPECT_EQ(cell(1, 4), "00004711");
    const std::string log = records.read("SNR.LOG");
    EXPECT_NE(log.find(" MM " + app::loadText(36002)), std::string::npos) << log;
    EXPECT_NE(log.find(" MM 00004711\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" MM #SNR FOUND 00004711\n"), std::string::npos) << log;

    // Refused: nothing is started and the device keeps its number.
    select(1);
    prompt.serialNumbers = {QStringLiteral("4711")};
    prompt.answers = {app::kIdNo};
    button(10011)->click();
    EXPECT_EQ(window->runningWorkers(), 0);
    EXPECT_EQ(window->currentDevice()->serialNumber, 4711u);
}

TEST_F(ServiceRound, DeviceOfAnotherKindOpensItsWebPage)
{
    startFleet();
    openWindow({});
    search();
    select(3);
    EXPECT_FALSE(button(10013)->isEnabled());
    emit window->deviceList()->cellDoubleClicked(rowOf(3), 1);
    EXPECT_EQ(prompt.openedUrls, std::vector<std::string>{"http://192.168.0.110"});
}

TEST_F(ServiceRound, ClosingDuringASearchCancelsItFirst)
{
    startFleet();
    openWindow({});
    button(10006)->click();
    ASSERT_GT(window->runningWorkers(), 0);
    window->close();
    EXPECT_FALSE(window->busy()) << "the search is cancelled";
    ASSERT_TRUE(idle());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 2000)) << "and the window closes after it";
}

TEST_F(ServiceRound, RealDialogsAreModalOverTheWindowWhileWorkersWait)
{
    startFleet();
    ui::QtPrompt operatorPrompt(store);
    ASSERT_NO_FATAL_FAILURE(openWindowWithRealDialogs(operatorPrompt));

    // An operator who answers each modal dialog as it comes up.
    std::vector<QString> answered;
    QTimer operatorHand;
    operatorHand.setInterval(20);
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* name = qobject_cast<ui::CNameDlg*>(modal)) {
            answered.push_back(name->windowTitle());
            name->edit()->setText(QStringLiteral("Echt"));
            name->okButton()->click();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            answered.push_back(box->text());
            EXPECT_EQ(box->textFormat(), Qt::PlainText);
            box->button(QMessageBox::Ok)->click();
        }
    });
    operatorHand.start();
    button(10013)->click();  // returns once the name dialog was answered and the worker started
    EXPECT_EQ(window->runningWorkers(), 1);
    ASSERT_TRUE(idle());
    EXPECT_TRUE(QTest::qWaitFor([&] { return answered.size() == 2; }, 5000));
    EXPECT_EQ(answered, (std::vector<QString>{test::german(30500), test::german(35223)}));
    EXPECT_EQ(simulator->device(0).name, "Echt");
    operatorPrompt.setParentWindow(nullptr);
}

// A workflow step as the production workflows run it: the calibration dialog of the window answers
// a real calibration run, the log window waits for the operator, and the worker's end messages
// (WM_USER+17 after WM_USER+2) reach the window without a hang.
TEST_F(ServiceRound, CalibrationDialogAnswersARealCalibrationInsideAWorkflow)
{
    addDeviceAddress("192.168.0.101/24");
    auto d = test::simulatedDevice("192.168.0.101", 1, "Kessel");
    d.password = "730";
    d.web.calibrationItems = {"ENG;AIN1;3;1,0.5,2.0"};
    startSimulator({d});
    ui::QtPrompt operatorPrompt(store);
    ASSERT_NO_FATAL_FAILURE(openWindowWithRealDialogs(operatorPrompt));

    bool dialogAnswered = false;
    bool logClosed = false;
    QTimer operatorHand;
    operatorHand.setInterval(20);
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<ui::CCalibEnergyDlg*>(QApplication::activeModalWidget())) {
            dialog->findChild<QLineEdit*>("11403")->setText(QStringLiteral("100,5"));
            dialog->findChild<QLineEdit*>("11406")->setText(QStringLiteral("5"));
            dialog->findChild<QLineEdit*>("11409")->setText(QStringLiteral("230"));
            dialog->findChild<QLineEdit*>("11413")->setText(QStringLiteral("16"));
            dialog->findChild<QPushButton*>("11414")->click();
            dialogAnswered = true;
        }
        for (auto* log : window->findChildren<ui::COutputDlg*>()) {
            if (log->isVisible() && log->okButton()->isEnabled()) {
                log->okButton()->click();
                logClosed = true;
            }
        }
    });
    operatorHand.start();

    ops::WorkerChannel& channel = window->channel();
    net::DeviceRecord* device = window->currentDevice();
    bool calibrated = false;
    std::atomic<bool> ended{false};
    std::thread worker([&] {
        ops::LogWindow* log = channel.createLogWindow();
        ops::DeviceStepParams p;
        p.channel = &channel;
        p.device = device;
        p.password.assign("730");
        p.log = log;
        calibrated = ops::runCalibration(p);
        ops::finishWorkflow(channel, log);
        channel.operationFinished();
        channel.searchEnded();
        ended = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return ended.load(); }, kWorkerTimeoutMs));
    worker.join();
    EXPECT_TRUE(dialogAnswered);
    EXPECT_TRUE(logClosed);
    EXPECT_TRUE(calibrated);
    ASSERT_EQ(simulator->device(0).webState.calibrationSteps.size(), 1u);
    EXPECT_EQ(simulator->device(0).webState.calibrationSteps[0].data, "100.500;5.000;230.000;16.000");
    EXPECT_TRUE(window->findChildren<ui::COutputDlg*>().isEmpty()) << "the log window was destroyed";
    operatorPrompt.setParentWindow(nullptr);
}

TEST_F(ServiceRound, UpdateOfSeveralSelectedDevicesInOneGo)
{
    setTimeScale(40);
    startFleet();
    records.write("VestrolanV106.hex", test::firmwareImage("1.06", 20));
    app::AppSettings s;
    s.firmwarePath = records.str();
    openWindow(s);
    search();
    auto* list = window->deviceList();

    // The row that got the focus last is the current device; the other buttons act on it alone.
    select(1);
    list->setCurrentCell(rowOf(3), 1, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(list->selectedRows().size(), 2u);
    EXPECT_EQ(window->currentDevice(), list->recordAt(rowOf(3)));
    EXPECT_FALSE(button(10013)->isEnabled()) << "the current device is of another kind";
    EXPECT_TRUE(button(10010)->isEnabled()) << "but Update has a device of the served kind";

    // All three: the protected one is asked for its password before the run, the other kind is
    // skipped, and the refused password is forgotten.
    list->selectAll();
    prompt.passwords = {QStringLiteral("falsch")};
    prompt.answers = {app::kIdYes};
    button(10010)->click();
    EXPECT_EQ(prompt.passwordDialogs, 1);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !window->logWindows().empty() && window->logWindows().front()->okButton()->isEnabled(); },
        kWorkerTimeoutMs));
    const std::string log = window->logWindows().front()->text();
    EXPECT_EQ(lastText(), "Update abgeschlossen: 1 aktualisiert, 1 fehlgeschlagen, 1 \xFC" "bersprungen");
    EXPECT_EQ(lastStyle(), 48u);
    EXPECT_EQ(prompt.shown.size(), 2u) << "two message boxes: the question and the summary";
    EXPECT_EQ(prompt.shown.front().text, "Firmware von 2 Ger\xE4ten auf Version 1.06 aktualisieren?");
    EXPECT_NE(log.find("\r\nKessel (02:00:00:00:00:01):\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("  - MSG: " + app::loadText(35212) + "\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\r\nTresor (02:00:00:00:00:02):\r\n  - " + app::loadText(35105) + "\r\n"), std::string::npos);
    EXPECT_NE(log.find("  - MSG: " + app::loadText(35208) + "\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\r\nZaehler (02:00:00:00:00:03):\r\n  - MSG: " + app::loadText(37302) + "\r\n"), std::string::npos);
    EXPECT_EQ(window->runningWorkers(), 1) << "the run waits until the log was read";
    window->logWindows().front()->okButton()->click();
    ASSERT_TRUE(idle());
    EXPECT_TRUE(window->logWindows().empty());
    EXPECT_FALSE(window->passwords().recall(list->recordAt(rowOf(2))->mac));
    EXPECT_EQ(simulator->device(0).webState.uploads, 1u);
    EXPECT_EQ(cell(1, 5), "1.06");
    EXPECT_EQ(simulator->device(1).webState.uploads, 0u);
    EXPECT_EQ(simulator->device(2).webState.requests, 0u);
    EXPECT_EQ(list->selectedRows().size(), 3u);
    EXPECT_TRUE(button(10010)->isEnabled());

    // A broken file is refused before any device hears of it.
    records.write("VestrolanV107.hex", test::firmwareImage("1.07", 2) + ":00000001FF\r\n");
    const auto requests = simulator->device(0).webState.requests;
    button(10010)->click();
    EXPECT_EQ(window->runningWorkers(), 0);
    EXPECT_EQ(lastText(), "Die Firmware-Datei ist fehlerhaft (Zeile 5: Daten nach dem Ende-Datensatz)!");
    EXPECT_EQ(prompt.passwordDialogs, 1);
    EXPECT_EQ(simulator->device(0).webState.requests, requests);
}

TEST_F(ServiceRound, PasswordIsAskedOnceAndAgainAfterARefusal)
{
    startFleet();
    openWindow({});
    search();
    // The protected device carries the lock; its texts do not change.
    auto* locked = window->deviceList()->item(rowOf(2), 1);
    EXPECT_EQ(locked->text(), "Tresor");
    EXPECT_FALSE(locked->icon().isNull());
    EXPECT_EQ(locked->data(Qt::AccessibleDescriptionRole).toString(), test::german(37303));
    EXPECT_TRUE(window->deviceList()->item(rowOf(1), 1)->icon().isNull());

    select(2);
    prompt.names = {QStringLiteral("Eins")};
    prompt.passwords = {QStringLiteral("geheim")};
    button(10013)->click();
    ASSERT_TRUE(idle());
    EXPECT_EQ(simulator->device(1).name, "Eins");
    clickWithFile(10014, "tresor.bak");
    ASSERT_TRUE(idle());
    EXPECT_EQ(lastText(), app::loadText(35225));
    EXPECT_EQ(prompt.passwordDialogs, 1) << "asked once for two operations";

    // The device's password changed: the remembered one is refused and forgotten.
    simulator->update(1, [](devsim::Device& d) { d.password = "neu"; });
    prompt.names = {QStringLiteral("Zwei")};
    button(10013)->click();
    ASSERT_TRUE(idle());
    EXPECT_EQ(lastText(), app::loadText(35208));
    EXPECT_EQ(prompt.passwordDialogs, 1);
    prompt.names = {QStringLiteral("Drei")};
    prompt.passwords = {QStringLiteral("neu")};
    button(10013)->click();
    ASSERT_TRUE(idle());
    EXPECT_EQ(prompt.passwordDialogs, 2) << "asked again after the refusal";
    EXPECT_EQ(simulator->device(1).name, "Drei");
}
