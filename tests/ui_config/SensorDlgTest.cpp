#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "app/CApp.h"
#include "support/ScriptedPrompt.h"
#include "ui/config/CHexEdit.h"
#include "ui/config/CSensorDlg.h"

using namespace vst;

TEST(HexEdit, RefusesNonHexCharactersAndAThirdDigit)
{
    ui::CHexEdit edit;
    QSignalSpy refused(&edit, &ui::CHexEdit::characterRefused);
    QTest::keyClicks(&edit, "G4");
    EXPECT_EQ(edit.text(), "4");
    EXPECT_EQ(refused.count(), 1);
    QTest::keyClicks(&edit, "aB");
    EXPECT_EQ(edit.text(), "4a");
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), "4");
    edit.insert("zz");  // pasted text obeys the same rule
    EXPECT_EQ(edit.text(), "4");
    EXPECT_EQ(refused.count(), 1);
}

class SensorDlgTest : public ::testing::Test {
protected:
    void SetUp() override { app::CApp::instance().setTextIdOffset(app::kGermanOffset); }

    test::ScriptedPrompt prompt;
    config::ConfiguredSensor sensor{"Klima SHT", 2, 0, 0, 0x44, 0};
    ui::CSensorDlg dialog{prompt, sensor, 2, {0x44, 0x45}, {0x00, 0x01}};

    void enter(const char* address, const char* aux)
    {
        dialog.addressEdit()->setText(address);
        dialog.auxAddressEdit()->setText(aux);
        dialog.findChild<QPushButton*>("11110")->click();
    }
};

TEST_F(SensorDlgTest, ShowsTheSensorsPlace)
{
    EXPECT_EQ(dialog.addressEdit()->text(), "44");
    EXPECT_EQ(dialog.auxAddressEdit()->text(), "00");
    ASSERT_EQ(dialog.moduleList()->count(), 2);
    EXPECT_EQ(dialog.moduleList()->itemText(1), "I2C2");
    EXPECT_EQ(dialog.windowTitle(), "Sensor-Konfiguration");
    EXPECT_EQ(dialog.addressEdit()->accessibleName(), "Adresse:");
}

TEST_F(SensorDlgTest, StaysOpenWhileAnAddressIsOutOfRange)
{
    enter("46", "0");
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, "Die eingebene Adresse ist ung\xFCltig. Der Wert muss zwsichen 0x44 und 0x45 liegen!");
    EXPECT_EQ(prompt.shown[0].style, app::kMbIconExclamation);
    EXPECT_NE(dialog.result(), QDialog::Accepted);

    enter("45", "2");
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[1].text,
              "Die eingegebene Aux-Adresse ist ung\xFCltig. Der Wert muss zwischen 0x00 und 0x01 liegen!");
    EXPECT_NE(dialog.result(), QDialog::Accepted);

    dialog.moduleList()->setCurrentIndex(1);
    enter("45", "1");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.sensor(), (config::ConfiguredSensor{"Klima SHT", 2, 0, 1, 0x45, 1}));
}
