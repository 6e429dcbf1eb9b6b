// The main window: start-up layout per operating mode, texts and language, the enabling routine,
// the device selection, the double-click shortcuts and the refusals of the service commands.
#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>

#include <fstream>
#include <iterator>
#include <set>

#include "app/Journal.h"
#include "ops/DeviceListCsv.h"
#include "ui/CIpAddressCtrl.h"
#include "ui/COutputDlg.h"
#include "ui/CProgressTextCtrl.h"
#include "ui/ReportPage.h"
#include "WindowFixture.h"

using namespace vst;
using app::OperatingMode;

namespace {

class MainWindow : public test::WindowFixture {
protected:
    // Opens the window in `mode` with a batch in its label, then selects a newly listed device.
    bool openAndSelectWithBatch(OperatingMode mode)
    {
        if (!open(modeSettings(mode))) return false;
        qobject_cast<QLabel*>(control(10003))->setText(QStringLiteral("Charge 7"));
        window->addDevice(test::record(1));
        list()->selectOnly(0);
        return true;
    }
};

const std::vector<int> kAllControls = {10000, 10001, 10002, 10003, 10004, 10005, 10006, 10007, 10008, 10009,
                                       10010, 10011, 10012, 10013, 10014, 10015, 10016, 10017, 10018, 10019,
                                       10020, 10021, 10022, 10023, 10024, 10026, 10027, 10028};

}  // namespace

TEST_F(MainWindow, ServiceStationStartsWithTemplateStates)
{
    ASSERT_TRUE(open({}));
    std::set<int> visible;
    for (int id : kAllControls) {
        if (shown(id)) visible.insert(id);
    }
    EXPECT_EQ(visible, (std::set<int>{10006, 10008, 10009, 10010, 10012, 10013, 10014, 10015, 10024, 10026, 10028}));
    for (int id : {10010, 10012, 10013, 10014, 10015}) EXPECT_FALSE(enabled(id)) << id;
    for (int id : {10006, 10009, 10024, 10026}) EXPECT_TRUE(enabled(id)) << id;
    EXPECT_EQ(window->windowTitle(), "Vestrolan-Manager");
    EXPECT_EQ(button(10006)->text(), test::german(30011));
    EXPECT_EQ(labelText(10008), test::german(30013));
    EXPECT_EQ(list()->horizontalHeaderItem(2)->text(), test::german(30032));
    EXPECT_EQ(list()->height(), window->serviceListHeight());
    EXPECT_TRUE(prompt.signLists.empty()) << "no sign is asked without a serial-number folder";
    EXPECT_EQ(window->selectedCard(), nullptr);
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_FALSE(window->menuAction(20013)->isVisible()) << "no report in service mode";
}

TEST_F(MainWindow, ControlsAreNamedByIdAndCaption)
{
    ASSERT_TRUE(open({}));
    for (int id : kAllControls) {
        ASSERT_NE(control(id), nullptr) << id;
        if (id == 10027 || id == 10028) continue;  // named by what they show
        EXPECT_FALSE(control(id)->accessibleName().isEmpty()) << id;
    }
    window->setStep({"Starte Suche", 10});
    EXPECT_EQ(control(10028)->accessibleName(), "Starte Suche (10%)");
    EXPECT_EQ(control(10016)->accessibleName(), "Suchen und Updaten");
    EXPECT_EQ(control(10009)->accessibleName(), test::german(30013)) << "a field is named by its label";
    EXPECT_EQ(window->addressField()->part(3)->accessibleName(), test::german(30013) + " 4/4");
    EXPECT_EQ(window->menuAction(20011)->text(), test::german(30002));
    EXPECT_EQ(window->menuAction(20021)->text(), test::german(30004));
    EXPECT_EQ(window->menuAction(20022)->text(), test::german(30005));
}

TEST_F(MainWindow, IsExposedAsAWindowNamedByItsTitle)
{
    prompt.signChoices = {1};
    ASSERT_TRUE(open(modeSettings(OperatingMode::Production)));
    window->show();
    QAccessibleInterface* self = QAccessible::queryAccessibleInterface(window.get());
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->role(), QAccessible::Window);
    EXPECT_EQ(self->text(QAccessible::Name), "Vestrolan-Manager - Bearbeiter: MM");
    // The log window, like every dialog of the station, is described as a dialog with its title.
    window->createLogWindow();
    QAccessibleInterface* log = QAccessible::queryAccessibleInterface(window->logWindows().at(0));
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->role(), QAccessible::Dialog);
    EXPECT_EQ(log->text(QAccessible::Name), "Log-Ausgabe");
    // Every caption stays the accessible name of its control, found through the window.
    std::set<QString> names;
    for (int i = 0; i < self->childCount(); ++i) {
        if (QAccessibleInterface* child = self->child(i)) names.insert(child->text(QAccessible::Name));
    }
    for (int id : {10019, 10020, 10021, 10024}) {
        EXPECT_TRUE(names.count(button(id)->text().replace('\n', ' '))) << id;
    }
    prompt.languageChoices = {true};
    window->menuAction(20021)->trigger();
    EXPECT_EQ(self->text(QAccessible::Name), "Vestrolan-Manager - editor: MM") << "the name follows the title";
}

TEST_F(MainWindow, ModeLayoutsShowTheirControlsAndShrinkTheList)
{
    struct Expected {
        OperatingMode mode;
        std::set<int> visible;
    };
    const std::vector<Expected> modes = {
        {OperatingMode::Stock, {10000, 10001, 10004, 10005, 10016, 10024, 10026, 10027, 10028}},
        {OperatingMode::Endurance, {10000, 10001, 10002, 10003, 10017, 10018, 10024, 10026, 10027, 10028}},
        {OperatingMode::Production,
         {10000, 10001, 10002, 10003, 10004, 10005, 10019, 10020, 10021, 10022, 10023, 10024, 10026, 10027, 10028}},
    };
    for (const auto& expected : modes) {
        prompt.signChoices = {1};
        ASSERT_TRUE(open(modeSettings(expected.mode)));
        std::set<int> visible;
        for (int id : kAllControls) {
            if (shown(id)) visible.insert(id);
        }
        EXPECT_EQ(visible, expected.visible) << static_cast<int>(expected.mode);
        EXPECT_EQ(list()->height(), static_cast<int>(window->serviceListHeight() * 130.0 / 150.0));
        EXPECT_EQ(labelText(10001), "MM");
        EXPECT_EQ(window->windowTitle(), "Vestrolan-Manager - " + test::german(30006) + " MM");
        EXPECT_EQ(window->operatorSign(), "MM");
        EXPECT_TRUE(window->programmingAllowed() || expected.mode == OperatingMode::Production);
        EXPECT_TRUE(window->menuAction(20013)->isVisible()) << "the report, in every production mode";
        EXPECT_EQ(window->menuAction(20013)->text(), test::german(37502));
        window.reset();
    }
}

TEST_F(MainWindow, SerialNumberButtonNeedsInternalUseAndALog)
{
    app::AppSettings s;
    ASSERT_TRUE(open(s));
    EXPECT_FALSE(shown(10011));
    s.internalMode = true;
    ASSERT_TRUE(open(s));
    EXPECT_FALSE(shown(10011));
    s.noSerialLog = true;
    ASSERT_TRUE(open(s));
    EXPECT_TRUE(shown(10011));
    s.noSerialLog = false;
    s.serialNumberPath = records.str();
    ASSERT_TRUE(open(s));
    EXPECT_TRUE(shown(10011));
    EXPECT_EQ(prompt.signLists.size(), 1u);
}

TEST_F(MainWindow, NoSerialLogInServiceModeAsksNoSign)
{
    app::AppSettings s;
    s.serialNumberPath = records.str();
    s.noSerialLog = true;
    ASSERT_TRUE(open(s));
    EXPECT_TRUE(prompt.signLists.empty());
    EXPECT_EQ(window->windowTitle(), "Vestrolan-Manager");
}

TEST_F(MainWindow, CardOptionPreselectsACardAndShowsTheList)
{
    app::AppSettings s;
    s.networkCardIndex = 1;
    s.targetAddress = 0xC0A800C8u;
    ASSERT_TRUE(open(s));
    auto* cards = qobject_cast<QComboBox*>(control(10007));
    EXPECT_TRUE(shown(10007));
    EXPECT_FALSE(shown(10008));
    ASSERT_EQ(cards->count(), 2);
    EXPECT_EQ(cards->itemText(0), "LAN-Karte");
    EXPECT_EQ(cards->currentIndex(), 1);
    EXPECT_EQ(window->selectedCard(), &window->cards()[1]);
    EXPECT_EQ(window->addressField()->text(), "192.168.0.200");

    s.networkCardIndex = 7;  // no such card: the first
    ASSERT_TRUE(open(s));
    EXPECT_EQ(window->selectedCard(), &window->cards()[0]);
    cards = qobject_cast<QComboBox*>(control(10007));
    emit cards->activated(1);
    EXPECT_EQ(window->selectedCard(), &window->cards()[1]);
}

TEST_F(MainWindow, InitialProgrammingNeedsEveryProductionSetting)
{
    auto s = modeSettings(OperatingMode::Production);
    s.programmerPath = records.str();
    ASSERT_TRUE(open(s));
    EXPECT_TRUE(window->programmingAllowed());
    EXPECT_TRUE(enabled(10020));

    for (int missing = 0; missing < 4; ++missing) {
        auto partial = s;
        if (missing == 0) partial.firmwarePath.clear();
        if (missing == 1) partial.programmerPath.clear();
        if (missing == 2) partial.networkCardIndex = -1;
        if (missing == 3) partial.targetAddress = 0;
        ASSERT_TRUE(open(partial));
        EXPECT_FALSE(window->programmingAllowed()) << missing;
        EXPECT_FALSE(enabled(10020)) << missing;
        ui::ControlSwitches all{true, true, true, true, true, true, true};
        window->enableControls(all);
        EXPECT_FALSE(enabled(10020)) << "the switch never overrides a missing setting";
    }
}

TEST_F(MainWindow, EnablingRoutineSwitchesItsGroups)
{
    ASSERT_TRUE(open(modeSettings(OperatingMode::Production)));
    const std::vector<std::pair<int, std::vector<int>>> groups = {
        {0, {10006, 10016, 10019}},
        {1, {10007, 10009}},
        {2, {10010, 10011, 10012, 10013, 10014, 10015, 10021, 10022, 10023}},
        {4, {10026}},
        {5, {10017}},
        {6, {10018}},
    };
    for (const auto& [index, ids] : groups) {
        ui::ControlSwitches on;
        bool* switches[] = {&on.search, &on.address, &on.device, &on.programming, &on.list, &on.enduranceStart,
                            &on.enduranceStop};
        *switches[index] = true;
        window->enableControls(on);
        for (int id : {10006, 10007, 10009, 10010, 10015, 10016, 10017, 10018, 10019, 10021, 10023, 10026}) {
            const bool inGroup = std::find(ids.begin(), ids.end(), id) != ids.end();
            EXPECT_EQ(enabled(id), inGroup) << "switch " << index << " control " << id;
        }
        EXPECT_TRUE(enabled(10024)) << "closing is no switch of the routine";
    }
}

TEST_F(MainWindow, SelectingADeviceMakesItCurrent)
{
    ASSERT_TRUE(open({}));
    window->addDevice(test::record(1, 0, "Kessel", 42));
    window->addDevice(test::record(2, 1, "Zähler"));
    list()->selectOnly(0);
    EXPECT_EQ(window->currentDevice(), list()->recordAt(0));
    EXPECT_EQ(labelText(10005), "Kessel (#00000042)");
    for (int id : {10010, 10012, 10013, 10014, 10015}) EXPECT_TRUE(enabled(id)) << id;

    list()->selectOnly(1);
    EXPECT_EQ(labelText(10005), "Zähler");
    for (int id : {10010, 10012, 10013, 10014, 10015}) EXPECT_FALSE(enabled(id)) << "kind 1 has no service buttons";

    list()->clearSelection();
    EXPECT_EQ(window->currentDevice(), nullptr);
    EXPECT_EQ(labelText(10005), "-");
    EXPECT_FALSE(enabled(10013));
}

TEST_F(MainWindow, SelectionResetsTheBatchLabelExceptInEnduranceMode)
{
    ASSERT_TRUE(openAndSelectWithBatch(OperatingMode::Production));
    EXPECT_EQ(labelText(10003), "-");
    EXPECT_TRUE(enabled(10021)) << "production mode enables the device buttons";

    ASSERT_TRUE(openAndSelectWithBatch(OperatingMode::Endurance));
    EXPECT_EQ(labelText(10003), "Charge 7");
    EXPECT_FALSE(enabled(10010)) << "endurance mode leaves the controls as they are";
}

TEST_F(MainWindow, DoubleClickRunsTheColumnsCommand)
{
    app::AppSettings s;
    ASSERT_TRUE(open(s));
    window->addDevice(test::record(1, 0, "Kessel"));
    window->addDevice(test::record(10, 3, "Funk"));
    list()->selectOnly(0);

    emit list()->cellDoubleClicked(0, 1);
    EXPECT_EQ(prompt.nameDialogs, 1);
    emit list()->cellDoubleClicked(0, 2);
    EXPECT_EQ(prompt.networkDialogs, 1);
    emit list()->cellDoubleClicked(0, 5);
    EXPECT_EQ(prompt.fileRequests.size(), 1u) << "Update asks for a file without a firmware folder";
    EXPECT_EQ(prompt.fileRequests[0].filter, "Vestrolan Firmware (*.hex)");
    emit list()->cellDoubleClicked(0, 4);
    emit list()->cellDoubleClicked(0, 3);
    emit list()->cellDoubleClicked(0, 6);
    EXPECT_EQ(prompt.serialDialogs, 0) << "the serial number needs internal use and a log";
    EXPECT_TRUE(prompt.openedUrls.empty());

    list()->selectOnly(1);
    emit list()->cellDoubleClicked(1, 2);
    emit list()->cellDoubleClicked(1, 1);
    emit list()->cellDoubleClicked(1, 5);
    EXPECT_EQ(prompt.openedUrls, (std::vector<std::string>{"http://192.168.0.110", "http://192.168.0.110"}));
    EXPECT_EQ(prompt.nameDialogs, 1);
}

TEST_F(MainWindow, DoubleClickOnTheSerialColumnNeedsInternalUseAndOnlyServiceMode)
{
    app::AppSettings s;
    s.internalMode = true;
    s.noSerialLog = true;
    ASSERT_TRUE(open(s));
    window->addDevice(test::record(1));
    list()->selectOnly(0);
    emit list()->cellDoubleClicked(0, 4);
    EXPECT_EQ(prompt.serialDialogs, 1);

    // Outside service mode a double click does nothing.
    ASSERT_TRUE(open(modeSettings(OperatingMode::Production)));
    window->addDevice(test::record(1));
    list()->selectOnly(0);
    const int dialogsBefore = prompt.nameDialogs + prompt.networkDialogs + prompt.serialDialogs;
    for (int column = 1; column <= 5; ++column) emit list()->cellDoubleClicked(0, column);
    EXPECT_EQ(prompt.nameDialogs + prompt.networkDialogs + prompt.serialDialogs, dialogsBefore);
    EXPECT_TRUE(prompt.fileRequests.empty());
}

TEST_F(MainWindow, SearchWithoutNetworkCardsIsRefused)
{
    ASSERT_TRUE(open({}, {}));
    window->addDevice(test::record(1));
    list()->selectOnly(0);
    button(10006)->click();
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, app::loadText(30037));
    EXPECT_EQ(prompt.shown[0].style, app::kMbIconExclamation);
    EXPECT_EQ(window->runningWorkers(), 0);
    EXPECT_EQ(list()->count(), 0) << "the list is emptied first";
    EXPECT_EQ(labelText(10005), "-");
    EXPECT_FALSE(window->busy());
}

TEST_F(MainWindow, NoNewSearchWhileTheWorkersOfTheLastOneRun)
{
    ASSERT_TRUE(open({}));
    button(10006)->click();
    const int workers = window->runningWorkers();
    ASSERT_GT(workers, 0);
    // One job of the search has ended (busy is clear) while the others still run: a click now
    // must not start a search that their end would cut short.
    window->searchEnded();
    window->addDevice(test::record(1));
    button(10006)->click();
    EXPECT_EQ(window->runningWorkers(), workers);
    EXPECT_EQ(list()->count(), 1) << "the list is left as it is";
    window->waitForWorkers();
    EXPECT_EQ(window->runningWorkers(), 0);
}

TEST_F(MainWindow, UpdateRefusesAFileThatIsNoFirmware)
{
    ASSERT_TRUE(open({}));
    window->addDevice(test::record(1));
    list()->selectOnly(0);
    prompt.files = {std::string("/tmp/firmware.hex")};
    button(10010)->click();
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, app::loadText(30038));
    EXPECT_EQ(window->runningWorkers(), 0);
    prompt.files = {std::nullopt};
    button(10010)->click();
    EXPECT_EQ(prompt.shown.size(), 1u) << "a cancelled file dialog ends quietly";
}

TEST_F(MainWindow, CancelledDialogsLeaveTheDeviceAsItWas)
{
    ASSERT_TRUE(open({}));
    auto protectedDevice = test::record(1, 0, "Alt");
    protectedDevice->passwordRequired = true;
    window->addDevice(std::move(protectedDevice));
    list()->selectOnly(0);
    const net::DeviceRecord before = *window->currentDevice();

    prompt.names = {QStringLiteral("Neu")};
    prompt.passwords = {std::nullopt};  // the password step is cancelled
    button(10013)->click();
    EXPECT_EQ(prompt.passwordDialogs, 1);
    EXPECT_EQ(window->runningWorkers(), 0);
    EXPECT_EQ(window->currentDevice()->name.str(), "Alt");
    EXPECT_FALSE(window->currentDevice()->nameModified);

    prompt.networks = {test::NetworkEntry{1, "10.0.0.5", "255.0.0.0", "0.0.0.0", "0.0.0.0", "0.0.0.0"}};
    prompt.passwords = {QString()};  // an empty password is refused and the operator gives up
    button(10012)->click();
    EXPECT_EQ(prompt.texts().back(), app::loadText(30304));
    EXPECT_EQ(window->currentDevice()->address, before.address);
    EXPECT_FALSE(window->currentDevice()->networkModified);
    EXPECT_EQ(window->runningWorkers(), 0);

    prompt.networks = {std::nullopt};
    button(10012)->click();
    EXPECT_EQ(window->currentDevice()->address, before.address);
}

TEST_F(MainWindow, ServiceButtonsNeedACurrentDevice)
{
    ASSERT_TRUE(open({}));
    for (auto command : {&ui::CMainDlg::update, &ui::CMainDlg::networkConfiguration, &ui::CMainDlg::deviceName,
                         &ui::CMainDlg::backup, &ui::CMainDlg::restore, &ui::CMainDlg::serialNumber}) {
        (window.get()->*command)();
    }
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_TRUE(prompt.fileRequests.empty());
    EXPECT_EQ(prompt.nameDialogs + prompt.networkDialogs + prompt.serialDialogs, 0);
}

TEST_F(MainWindow, BackupAsksForASaveFileWithItsDefaultName)
{
    ASSERT_TRUE(open({}));
    window->addDevice(test::record(1));
    list()->selectOnly(0);
    prompt.files = {std::nullopt, std::nullopt};
    button(10014)->click();
    button(10015)->click();
    ASSERT_EQ(prompt.fileRequests.size(), 2u);
    EXPECT_EQ(prompt.fileRequests[0].kind, ui::FileDialogRequest::Kind::Save);
    EXPECT_EQ(prompt.fileRequests[0].defaultName, "config-processlist");
    EXPECT_EQ(prompt.fileRequests[0].defaultExtension, "bak");
    EXPECT_EQ(prompt.fileRequests[0].filter, "Vestrolan Backup (*.bak)");
    EXPECT_EQ(prompt.fileRequests[1].kind, ui::FileDialogRequest::Kind::Open);
    EXPECT_EQ(window->runningWorkers(), 0);
}

TEST_F(MainWindow, ExportListWritesTheListAsCsv)
{
    ASSERT_TRUE(open({}));
    window->addDevice(test::record(1, 0, "K\xC3\xA4lte;1"));
    window->addDevice(test::record(2, 1, "=cmd"));
    EXPECT_EQ(window->menuAction(20012)->text(), test::german(37350));
    const std::string file = records.file("liste.csv");
    prompt.files = {std::nullopt, file, records.file("no-such-folder/liste.csv")};  // cancelled, chosen, unusable
    for (int i = 0; i < 3; ++i) window->menuAction(20012)->trigger();
    ASSERT_EQ(prompt.fileRequests.size(), 3u);
    EXPECT_EQ(prompt.fileRequests[0].kind, ui::FileDialogRequest::Kind::Save);
    EXPECT_EQ(prompt.fileRequests[0].defaultExtension, "csv");
    const std::string bytes = records.read("liste.csv");
    EXPECT_EQ(bytes, ops::deviceListCsv(list()->devices()));
    EXPECT_NE(bytes.find("\"K\xC3\xA4lte;1\";"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("\r\n'=cmd;"), std::string::npos) << bytes;
    ASSERT_EQ(prompt.shown.size(), 1u) << "only the file that cannot be made is refused";
    EXPECT_EQ(prompt.shown[0].text, app::loadText(35224));
}

TEST_F(MainWindow, OverlongPathsAreRefusedInsteadOfCut)
{
    ASSERT_TRUE(open({}));
    window->addDevice(test::record(1));
    list()->selectOnly(0);
    prompt.files = {"/tmp/" + std::string(300, 'x') + ".bak"};
    button(10014)->click();
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, app::loadText(35224));
    EXPECT_EQ(window->runningWorkers(), 0);
}

TEST_F(MainWindow, LanguageChoiceAppliesEveryTextAtOnce)
{
    prompt.signChoices = {1};
    ASSERT_TRUE(open(modeSettings(OperatingMode::Production)));
    window->createLogWindow();
    prompt.languageChoices = {true};
    window->menuAction(20021)->trigger();
    EXPECT_EQ(window->logWindows()[0]->windowTitle(), "log output") << "an open log window follows too";
    EXPECT_EQ(app::CApp::instance().textIdOffset(), app::kEnglishOffset);
    EXPECT_EQ(window->windowTitle(), "Vestrolan-Manager - editor: MM");
    EXPECT_EQ(button(10019)->text(), "Search\ndevices");
    EXPECT_EQ(button(10019)->accessibleName(), "Search devices");
    EXPECT_EQ(button(10021)->text(), "Final test");
    EXPECT_EQ(labelText(10002), "rep. / batch:");
    EXPECT_EQ(list()->horizontalHeaderItem(5)->text(), "app ver.");
    EXPECT_EQ(window->menuAction(20011)->text(), "Exit");
    auto menus = window->findChildren<QMenu*>();
    QStringList titles;
    for (auto* m : menus) titles << m->title();
    EXPECT_TRUE(titles.contains("File") && titles.contains("Help"));
    EXPECT_EQ(store.readNumber(app::kStationKey, app::kLanguageValue), 10000u);

    prompt.languageChoices.clear();  // cancelled: nothing changes
    window->menuAction(20021)->trigger();
    EXPECT_EQ(button(10021)->text(), "Final test");
    EXPECT_TRUE(prompt.shown.empty());
}

// A choice that cannot be stored still switches the language for this run, and the operator is
// told in the new language why it will be gone at the next start.
TEST_F(MainWindow, LanguageChoiceThatCannotBeStoredIsReported)
{
    ASSERT_TRUE(open({}));
    store.failWrites = true;
    prompt.languageChoices = {true};
    window->menuAction(20021)->trigger();
    EXPECT_EQ(app::CApp::instance().textIdOffset(), app::kEnglishOffset);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, "The setting could not be saved (memory: writes refused).");
    EXPECT_EQ(prompt.shown[0].style, app::kMbIconExclamation);
}

TEST_F(MainWindow, CloseItemsCloseTheIdleWindow)
{
    ASSERT_TRUE(open({}));
    window->show();
    window->menuAction(20011)->trigger();
    EXPECT_FALSE(window->isVisible());
    window->show();
    button(10024)->click();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindow, EnterAndEscapeNeverCloseTheWindow)
{
    ASSERT_TRUE(open({}));
    window->show();
    window->activateWindow();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    QTest::keyClick(window.get(), Qt::Key_Return);
    QTest::keyClick(window.get(), Qt::Key_Enter);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindow, CaptionsFitTheirControlsInBothLanguages)
{
    for (int offset : {app::kGermanOffset, app::kEnglishOffset}) {
        for (auto mode : {OperatingMode::Service, OperatingMode::Stock, OperatingMode::Endurance,
                          OperatingMode::Production}) {
            app::CApp::instance().setTextIdOffset(offset);
            prompt.signChoices = {0};
            auto s = mode == OperatingMode::Service ? app::AppSettings{} : modeSettings(mode);
            ASSERT_TRUE(open(s));
            window->addDevice(test::record(1, 0, "Kesselhaus-Nord", 12345678));
            list()->selectOnly(0);
            window->show();
            QApplication::processEvents();
            for (int id : kAllControls) {
                QWidget* w = control(id);
                if (w->isHidden()) continue;
                QString text;
                if (auto* b = qobject_cast<QPushButton*>(w)) text = b->text();
                else if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
                else continue;
                const QRect needed = w->fontMetrics().boundingRect(QRect(), Qt::TextShowMnemonic, text);
                EXPECT_LE(needed.width(), w->contentsRect().width()) << id << " '" << text.toStdString() << "'";
                EXPECT_LE(needed.height(), w->contentsRect().height()) << id;
            }
            // No two controls overlap.
            for (int a : kAllControls) {
                for (int b : kAllControls) {
                    if (a >= b || control(a)->isHidden() || control(b)->isHidden()) continue;
                    EXPECT_FALSE(control(a)->geometry().intersects(control(b)->geometry())) << a << " and " << b;
                }
            }
            for (int column = 1; column < ui::CDeviceListCtrl::kColumns; ++column) {
                const QString header = list()->horizontalHeaderItem(column)->text();
                EXPECT_LE(list()->fontMetrics().horizontalAdvance(header), list()->columnWidth(column)) << column;
                const QString cell = list()->item(0, column)->text();
                EXPECT_LE(list()->fontMetrics().horizontalAdvance(cell), list()->columnWidth(column)) << column;
            }
            window.reset();
        }
    }
}

// Closing the window never cancels a workflow, not even one that uses the busy flag for a search of
// its own; the window closes only by the operator's next try after the workflow ended.
TEST_F(MainWindow, ClosingDuringAWorkflowNeitherCancelsItNorClosesTheWindow)
{
    ASSERT_TRUE(open({}));
    window->show();
    std::atomic<bool> release{false};
    std::atomic<bool> stillBusy{false};
    window->startWorkflow(
        [&](ops::WorkerChannel& channel) {
            channel.searchStarted();  // the workflow's own search sets the busy flag
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            stillBusy = channel.mayContinue();
        },
        ops::WorkerEnd::FinishedThenSearchEnded);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->busy(); }, 5000));
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->busy());
    EXPECT_FALSE(enabled(10024));
    release = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->runningWorkers() == 0 && !window->busy(); }, 5000));
    EXPECT_TRUE(stillBusy);
    QTest::qWait(50);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(enabled(10024));
}

TEST_F(MainWindow, TitleSaysWhenTheWlanJoinIsTheTestDouble)
{
    ::setenv("VESTROLAN_WLAN_DOUBLE", "1", 1);
    const bool opened = open({});
    ::unsetenv("VESTROLAN_WLAN_DOUBLE");
    ASSERT_TRUE(opened);
    EXPECT_TRUE(window->windowTitle().endsWith(QStringLiteral("[WLAN test double]"))) << window->windowTitle().toStdString();
}

// "Urladen" and "Suchen und Updaten" refuse without a firmware file or a card, start nothing and
// leave the list as it was.
TEST_F(MainWindow, ProductionButtonsRefuseWithoutFirmwareOrCard)
{
    struct Case {
        OperatingMode mode;
        int button;
        bool withCards;
        int text;
    };
    const Case cases[] = {
        {OperatingMode::Production, 10020, true, 30039},
        {OperatingMode::Stock, 10016, true, 30039},
        {OperatingMode::Stock, 10016, false, 30037},
    };
    for (const auto& c : cases) {
        auto s = modeSettings(c.mode);
        s.programmerPath = records.str();
        ASSERT_TRUE(open(s, c.withCards ? test::fakeCards() : std::vector<app::NetworkCard>{}));
        window->addDevice(test::record(1, 0, "Bleibt"));
        const size_t before = prompt.shown.size();
        ASSERT_TRUE(enabled(c.button)) << c.button;
        static_cast<QPushButton*>(control(c.button))->click();
        ASSERT_EQ(prompt.shown.size(), before + 1) << c.button;
        EXPECT_EQ(prompt.shown.back().text, app::loadText(c.text));
        EXPECT_EQ(window->runningWorkers(), 0);
        EXPECT_EQ(list()->devices().count(), 1);
    }
}

// The menu's report page covers the last 30 days, today included, and tells when it cannot be
// written.
TEST(ReportPage, CoversTheLast30Days)
{
    test::TempDir records;
    const app::JournalInstant now = app::journalNow();
    const struct {
        const char* batch;
        int daysAgo;
    } runs[] = {{"BATCH-RECENT", 29}, {"BATCH-OLD", 31}};
    for (const auto& run : runs) {
        app::JournalRecord r;
        r.id = app::randomUuid();
        r.workflow = app::JournalWorkflow::FinalTest;
        r.outcome = app::RunOutcome::Passed;
        r.startedMs = now.utcMs - int64_t{run.daysAgo} * 86400000;
        r.endedMs = r.startedMs + 1000;
        r.utcOffsetMin = now.utcOffsetMin;
        r.station = app::thisStation("vestrolan-manager", "");
        r.device.mac = {0x02, 0, 0, 0, 0, static_cast<uint8_t>(run.daysAgo)};
        r.batch = run.batch;
        ASSERT_TRUE(app::appendJournalRecord(records.str(), r).ok);
    }
    const auto page = ui::writeRecentReportPage(records.str(), records.str(), now);
    ASSERT_TRUE(page);
    std::ifstream in(*page, std::ios::binary);
    const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u) << html.substr(0, 100);
    EXPECT_NE(html.find("BATCH-RECENT"), std::string::npos);
    EXPECT_EQ(html.find("BATCH-OLD"), std::string::npos);
    EXPECT_FALSE(ui::writeRecentReportPage(records.str(), records.file("no-such-folder"), now));
}
