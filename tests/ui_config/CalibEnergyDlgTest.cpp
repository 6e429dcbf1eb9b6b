#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/CApp.h"
#include "support/ScriptedPrompt.h"
#include "ui/config/CCalibEnergyDlg.h"
#include "ui/config/ConfigDialogs.h"

using namespace vst;

namespace {

config::CalibrationRequest request(uint8_t secondaryIsCurrent)
{
    config::CalibrationRequest r;
    r.sensorName.assign("Energiez\xE4hler 2");
    r.sensorNumber = 3;
    r.secondaryIsCurrent = secondaryIsCurrent;
    return r;
}

void fill(QDialog& dialog, const char* primary, const char* secondary, const char* voltage, const char* current)
{
    dialog.findChild<QLineEdit*>("11403")->setText(QString::fromUtf8(primary));
    dialog.findChild<QLineEdit*>("11406")->setText(QString::fromUtf8(secondary));
    dialog.findChild<QLineEdit*>("11409")->setText(QString::fromUtf8(voltage));
    dialog.findChild<QLineEdit*>("11413")->setText(QString::fromUtf8(current));
    dialog.findChild<QPushButton*>("11414")->click();
}

}  // namespace

TEST(CalibEnergyDlg, ShowsTheSensorAndTheSecondaryUnit)
{
    app::CApp::instance().setTextIdOffset(app::kGermanOffset);
    test::ScriptedPrompt prompt;
    ui::CCalibEnergyDlg voltage(prompt, request(0));
    EXPECT_EQ(voltage.findChild<QLabel*>("11401")->text(), QString::fromUtf8("Energiezähler 2 (3)"));
    EXPECT_EQ(voltage.findChild<QLabel*>("11407")->text(), "V");
    EXPECT_EQ(voltage.findChild<QLineEdit*>("11403")->text(), "");
    EXPECT_EQ(voltage.windowTitle(), QString::fromUtf8("Kalibrierung für Energy-Sensoren"));
    ui::CCalibEnergyDlg current(prompt, request(1));
    EXPECT_EQ(current.findChild<QLabel*>("11407")->text(), "A");
}

TEST(CalibEnergyDlg, RefusesEmptyFieldsAndASecondaryNotBelowThePrimary)
{
    app::CApp::instance().setTextIdOffset(app::kGermanOffset);
    test::ScriptedPrompt prompt;
    ui::CCalibEnergyDlg dialog(prompt, request(1));
    fill(dialog, "100", "5", "230", "");
    fill(dialog, "5", "5", "230", "10");
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].text, "Bitte f\xFCllen Sie alle Felder des Formulars aus!");
    EXPECT_EQ(prompt.shown[1].text, "Der Sekund\xE4rwert muss kleiner als der Prim\xE4rwert sein!");
    EXPECT_EQ(prompt.shown[1].style, app::kMbIconExclamation);
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    fill(dialog, "100,5", "5", "230", "10");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_DOUBLE_EQ(dialog.values().primary, 100.5);
}

TEST(CalibEnergyDlg, RunFillsTheRequestOnlyOnOk)
{
    test::ScriptedPrompt prompt;
    auto answer = [](bool ok) {
        QTimer::singleShot(0, [ok] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            if (ok) fill(*dialog, "400", "1", "230", "5,5");
            else dialog->findChild<QPushButton*>("11415")->click();
        });
    };
    auto r = request(1);
    answer(false);
    EXPECT_FALSE(ui::runEnergyCalibration(nullptr, prompt, r));
    EXPECT_EQ(r.primary, 0.0);
    answer(true);
    EXPECT_TRUE(ui::runEnergyCalibration(nullptr, prompt, r));
    EXPECT_DOUBLE_EQ(r.primary, 400.0);
    EXPECT_DOUBLE_EQ(r.secondary, 1.0);
    EXPECT_DOUBLE_EQ(r.voltage, 230.0);
    EXPECT_DOUBLE_EQ(r.current, 5.5);
}
