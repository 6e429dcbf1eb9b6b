#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/CApp.h"
#include "config/ConfigurationFile.h"
#include "support/ScriptedPrompt.h"
#include "support/TempDir.h"
#include "ui/config/CDeviceDlg.h"
#include "ui/config/CHexEdit.h"
#include "ui/config/CSensorDlg.h"
#include "ui/config/CSensorListCtrl.h"
#include "ui/config/ConfigDialogs.h"

using namespace vst;

namespace {

const std::string kTemplates = std::string(VST_TEMPLATE_ROOT) + "/_Vorlagen";

class DeviceDlgTest : public ::testing::Test {
protected:
    void SetUp() override { app::CApp::instance().setTextIdOffset(app::kGermanOffset); }

    std::unique_ptr<ui::CDeviceDlg> open(const std::string& configuration = "", bool editable = true)
    {
        auto dialog = std::make_unique<ui::CDeviceDlg>(prompt, configuration, editable, kTemplates);
        EXPECT_TRUE(dialog->initialise());
        return dialog;
    }
    template <typename Widget>
    static Widget* control(const QDialog& dialog, int id)
    {
        auto* w = dialog.findChild<Widget*>(QString::number(id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }
    static void choose(QDialog& dialog, int comboId, const char* name)
    {
        auto* combo = control<QComboBox>(dialog, comboId);
        const int index = combo->findText(QString::fromUtf8(name));
        ASSERT_GE(index, 0) << name;
        combo->setCurrentIndex(index);
        if (comboId == 11004) emit combo->activated(index);
    }
    static void click(QDialog& dialog, int id) { control<QPushButton>(dialog, id)->click(); }
    static int rows(const QDialog& dialog) { return control<ui::CSensorListCtrl>(dialog, 11008)->rowCount(); }
    static QString cell(const QDialog& dialog, int row, int column)
    {
        return control<ui::CSensorListCtrl>(dialog, 11008)->item(row, column)->text();
    }

    test::ScriptedPrompt prompt;
};

}  // namespace

TEST_F(DeviceDlgTest, UnusableCatalogueCancelsWithAnError)
{
    test::TempDir empty;
    ui::CDeviceDlg dialog(prompt, "kept", true, empty.str());
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text.rfind("Die Konfigurationsdatei wurde nicht gefunden", 0), 0u);
    EXPECT_EQ(prompt.shown[0].style, app::kMbIconError);
    EXPECT_EQ(dialog.configuration(), "kept");
}

TEST_F(DeviceDlgTest, BaseDeviceAsksBeforeReplacingTheList)
{
    auto dialog = open();
    EXPECT_EQ(rows(*dialog), 0);  // the first base device is shown but not added
    EXPECT_EQ(control<QComboBox>(*dialog, 11004)->currentText(), "Vestrolan Basis");
    EXPECT_TRUE(control<QRadioButton>(*dialog, 11001)->isChecked());
    EXPECT_FALSE(control<QPushButton>(*dialog, 11009)->isEnabled());
    choose(*dialog, 11004, "Vestrolan Energie");
    EXPECT_TRUE(prompt.shown.empty());
    ASSERT_EQ(rows(*dialog), 5);
    EXPECT_EQ(cell(*dialog, 0, 1), QString::fromUtf8("Energiezähler 333mV"));
    EXPECT_EQ(cell(*dialog, 4, 2), "I2C2");
    EXPECT_EQ(cell(*dialog, 4, 3), "0x48");
    EXPECT_EQ(cell(*dialog, 0, 4), "0x50");

    prompt.answers = {app::kIdNo};
    choose(*dialog, 11004, "Vestrolan Basis");
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].style, app::kMbYesNo | app::kMbIconQuestion | app::kMbDefaultButton2);
    EXPECT_EQ(rows(*dialog), 5);

    prompt.answers = {app::kIdYes};
    choose(*dialog, 11004, "Vestrolan Basis");
    EXPECT_EQ(rows(*dialog), 2);
}

TEST_F(DeviceDlgTest, RefusedAdditionsLeaveTheListUnchanged)
{
    auto dialog = open();
    choose(*dialog, 11004, "Vestrolan Energie");
    choose(*dialog, 11006, "Energie 3-phasig 5A");  // one more energy sensor fits, the second does not
    click(*dialog, 11007);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text.rfind("Die Erweiterung konnte nicht hinzugef\xFCgt werden.", 0), 0u);
    EXPECT_EQ(prompt.shown[0].style, app::kMbIconExclamation);
    EXPECT_EQ(rows(*dialog), 5);

    choose(*dialog, 11014, "Signalgeber");
    click(*dialog, 11015);
    EXPECT_EQ(rows(*dialog), 6);
    click(*dialog, 11015);
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[1].text.rfind("Der Sensor konnte nicht hinzugef\xFCgt werden.", 0), 0u);
    EXPECT_EQ(rows(*dialog), 6);
}

TEST_F(DeviceDlgTest, AddingKeepsTheCurrentRowSelected)
{
    auto dialog = open();
    choose(*dialog, 11004, "Vestrolan Basis");
    auto* list = control<ui::CSensorListCtrl>(*dialog, 11008);
    list->selectSensor(1);
    const struct {
        const char* what;
        int combo;
        const char* entry;
        int button;
    } additions[] = {
        {"extension", 11006, "Energie 3-phasig 5A", 11007},
        {"sensor", 11014, "Signalgeber", 11015},
        {"refused sensor", 11014, "Signalgeber", 11015},
    };
    for (const auto& add : additions) {
        choose(*dialog, add.combo, add.entry);
        click(*dialog, add.button);
        EXPECT_EQ(list->selectedSensor(), 1u) << add.what;
        for (int id : {11009, 11010, 11011, 11012}) {
            EXPECT_TRUE(control<QPushButton>(*dialog, id)->isEnabled()) << add.what << " " << id;
        }
    }
    EXPECT_EQ(prompt.shown.size(), 1u) << "only the second Signalgeber is refused";
    EXPECT_GT(rows(*dialog), 3);
}

TEST_F(DeviceDlgTest, RowsMoveAndGoAway)
{
    auto dialog = open();
    choose(*dialog, 11004, "Vestrolan Basis");
    auto* list = control<ui::CSensorListCtrl>(*dialog, 11008);
    list->selectSensor(1);
    for (int id : {11009, 11010, 11011, 11012}) EXPECT_TRUE(control<QPushButton>(*dialog, id)->isEnabled()) << id;
    click(*dialog, 11010);
    EXPECT_EQ(cell(*dialog, 0, 1), "Temperatur PT1000");
    EXPECT_EQ(list->selectedSensor(), 0u);
    click(*dialog, 11010);  // already first
    click(*dialog, 11011);
    EXPECT_EQ(cell(*dialog, 1, 1), "Temperatur PT1000");
    EXPECT_EQ(list->selectedSensor(), 1u);
    click(*dialog, 11012);
    EXPECT_EQ(rows(*dialog), 1);
    EXPECT_FALSE(control<QPushButton>(*dialog, 11012)->isEnabled());
}

TEST_F(DeviceDlgTest, ChangingARowOntoAnotherOneCanBeCorrectedOrUndone)
{
    auto dialog = open();
    choose(*dialog, 11014, "Klima SHT");
    click(*dialog, 11015);
    click(*dialog, 11015);  // module 0, 0x44 and 0x45
    int opened = 0;
    dialog->runSensorDialog = [&](ui::CSensorDlg& sensorDialog) {
        if (opened++ > 0) return false;  // cancelled the second time
        sensorDialog.addressEdit()->setText("44");
        sensorDialog.findChild<QPushButton*>("11110")->click();
        return sensorDialog.result() == QDialog::Accepted;
    };
    auto* list = control<ui::CSensorListCtrl>(*dialog, 11008);

    // onto the other row, then No: the earlier values come back
    prompt.answers = {app::kIdNo};
    list->selectSensor(1);
    click(*dialog, 11009);
    EXPECT_EQ(prompt.shown.back().text.rfind("Die eingegebenen Sensor-Einstellungen", 0), 0u);
    EXPECT_EQ(cell(*dialog, 1, 3), "0x45");

    // onto the other row, Yes, then cancelled: also back
    opened = 0;
    prompt.answers = {app::kIdYes};
    list->selectSensor(1);
    click(*dialog, 11009);
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(cell(*dialog, 1, 3), "0x45");

    // a free place on the other module is kept
    opened = 0;
    dialog->runSensorDialog = [&](ui::CSensorDlg& sensorDialog) {
        ++opened;
        sensorDialog.moduleList()->setCurrentIndex(1);
        sensorDialog.findChild<QPushButton*>("11110")->click();
        return sensorDialog.result() == QDialog::Accepted;
    };
    list->selectSensor(1);
    click(*dialog, 11009);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(cell(*dialog, 1, 2), "I2C2");
}

TEST_F(DeviceDlgTest, ViewOnlyModeOnlySwitchesTheLanguage)
{
    auto composer = open();
    choose(*composer, 11004, "Vestrolan Energie");
    click(*composer, 11016);
    const std::string german = composer->configuration();

    auto dialog = open(german, false);
    EXPECT_EQ(rows(*dialog), 5);
    for (int id : {11004, 11006, 11007, 11008, 11009, 11010, 11011, 11012, 11014, 11015}) {
        EXPECT_FALSE(dialog->findChild<QWidget*>(QString::number(id))->isEnabled()) << id;
    }
    control<QRadioButton>(*dialog, 11002)->setChecked(true);
    click(*dialog, 11016);
    EXPECT_EQ(dialog->configuration(),
              config::switchConfigurationLanguage(dialog->assistant().catalogue(), german, true));
    EXPECT_NE(dialog->configuration().find("Name=Energy meter 2\n"), std::string::npos);
    // an English configuration opens with "Englisch" chosen
    EXPECT_TRUE(control<QRadioButton>(*open(dialog->configuration(), false), 11002)->isChecked());
}

TEST_F(DeviceDlgTest, FaultyConfigurationIsReportedOnce)
{
    const std::string faulty =
        "[DeviceConfig][0]\nModule=0\nSensorAddress=0x44\nSensorType=2\n[End]\n"
        "[DeviceConfig][1]\nModule=0\nSensorAddress=0x44\nSensorType=2\n[End]\n"
        "[DeviceConfig][2]\nModule=0\nSensorAddress=0x10\nSensorType=2\n[End]\n";
    auto dialog = open(faulty);
    EXPECT_EQ(rows(*dialog), 1);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text.rfind("In der Konfiguration wurden Fehler festgestellt.", 0), 0u);
    EXPECT_EQ(prompt.shown[0].style, app::kMbIconExclamation);
}

TEST_F(DeviceDlgTest, AssistantRunsOnTheSerialNumberPath)
{
    app::AppSettings settings = app::CApp::instance().settings();
    settings.serialNumberPath = VST_TEMPLATE_ROOT;
    app::CApp::instance().setSettings(settings);
    auto press = [](int id) {
        QTimer::singleShot(0, [id] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->findChild<QPushButton*>(QString::number(id))->click();
        });
    };
    press(11017);
    EXPECT_FALSE(ui::runConfigurationAssistant(nullptr, prompt, "", true));
    press(11016);
    const auto text = ui::runConfigurationAssistant(nullptr, prompt, "", true);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->rfind("[System]\n", 0), 0u);
    EXPECT_TRUE(prompt.shown.empty());
}
