// The input dialogs, the language dialog, the about box and the message boxes, driven through
// their real widgets.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include "app/CApp.h"
#include "app/Language.h"
#include "app/Texts.h"
#include "platform/CodePage.h"
#include "support/MemorySettings.h"
#include "support/TempDir.h"
#include "ui/CAboutDlg.h"
#include "ui/CIpAddressCtrl.h"
#include "ui/CLangDlg.h"
#include "ui/QtPrompt.h"
#include "ScriptedUiPrompt.h"

using namespace vst;

namespace {

QString german(app::TextId id) { return QString::fromStdString(platform::cp1252ToUtf8(app::textAt(id))); }

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override { app::CApp::instance().setTextIdOffset(app::kGermanOffset); }
    void TearDown() override { app::CApp::instance().setTextIdOffset(app::kGermanOffset); }

    // The one message shown so far, with its style.
    void expectOnlyMessage(app::TextId id, uint32_t style)
    {
        ASSERT_EQ(prompt.shown.size(), 1u);
        EXPECT_EQ(prompt.shown[0].text, app::loadText(id));
        EXPECT_EQ(prompt.shown[0].style, style);
    }

    test::ScriptedUiPrompt prompt;
};

net::DeviceRecord deviceRecord()
{
    net::DeviceRecord r;
    r.name.assign("Kesselhaus");
    r.serialNumber = 42;
    r.address = net::toNetworkOrder(0xC0A80065);
    r.mask = net::toNetworkOrder(0xFFFFFF00);
    r.gateway = net::toNetworkOrder(0xC0A80001);
    r.dns1 = net::toNetworkOrder(0x08080808);
    r.dns2 = 0;
    return r;
}

}  // namespace

// ---- operator sign ----

TEST_F(Dialogs, SignListTakesNineCharactersAndOnlyEndedLines)
{
    EXPECT_EQ(ui::CPersDlg::parseSignList("AB\nCDEFGHIJKLM\nXY"), (std::vector<std::string>{"AB", "CDEFGHIJK"}));
    EXPECT_EQ(ui::CPersDlg::parseSignList("AB\r\n\r\nCD\n"), (std::vector<std::string>{"AB", "", "CD"}));
    EXPECT_TRUE(ui::CPersDlg::parseSignList("XY").empty());
}

TEST_F(Dialogs, SignDialogOffersTheFileAndReturnsTheChoice)
{
    test::TempDir dir;
    dir.write("MA.LST", "AB\nCDEFGHIJKLM\nXY");
    ui::CPersDlg dialog(prompt, dir.str());
    ASSERT_TRUE(dialog.loadList());
    ASSERT_EQ(dialog.signList()->count(), 2);
    EXPECT_EQ(dialog.signList()->itemText(0), "AB");
    EXPECT_EQ(dialog.signList()->itemText(1), "CDEFGHIJK");
    EXPECT_EQ(dialog.signList()->currentIndex(), 0);
    dialog.signList()->setCurrentIndex(1);
    dialog.okButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.sign(), "CDEFGHIJK");
    EXPECT_EQ(dialog.findChild<QPushButton*>("10803"), nullptr) << "the sign dialog has no cancel button";
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(Dialogs, SignDialogTrimsSignsAndRefusesInnerBlanks)
{
    test::TempDir dir;
    dir.write("MA.LST", "AB \nA B\n\tCD\r\n");
    ui::CPersDlg dialog(prompt, dir.str());
    ASSERT_TRUE(dialog.loadList());
    ASSERT_EQ(dialog.signList()->count(), 3);
    EXPECT_EQ(dialog.signList()->itemText(0), "AB");
    EXPECT_EQ(dialog.signList()->itemText(2), "CD");
    dialog.signList()->setCurrentIndex(1);
    dialog.okButton()->click();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    expectOnlyMessage(37200, app::kMbIconExclamation);
    dialog.signList()->setCurrentIndex(0);
    dialog.okButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.sign(), "AB");
}

TEST_F(Dialogs, SignDialogEndsWithErrorWhenTheListIsMissingOrEmpty)
{
    test::TempDir dir;
    {
        ui::CPersDlg dialog(prompt, dir.str());
        EXPECT_FALSE(dialog.loadList());
        EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    }
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].text, app::loadText(30803));
    EXPECT_EQ(prompt.shown[0].style, app::kMbIconError);

    prompt.shown.clear();
    dir.write("MA.LST", "XY");  // a single line without its line end
    ui::CPersDlg dialog(prompt, dir.str());
    EXPECT_FALSE(dialog.loadList());
    expectOnlyMessage(30804, app::kMbIconError);
}

// ---- password ----

TEST_F(Dialogs, PasswordNeedsTextAndIsTakenAsTyped)
{
    ui::CPasswordDlg dialog(prompt);
    EXPECT_EQ(dialog.windowTitle(), german(30300));
    EXPECT_EQ(dialog.edit()->echoMode(), QLineEdit::Password);
    dialog.okButton()->click();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    expectOnlyMessage(30304, app::kMbIconExclamation);

    QTest::keyClicks(dialog.edit(), QString(60, QLatin1Char('x')));
    EXPECT_EQ(dialog.edit()->text().size(), 49);
    dialog.edit()->setText(QStringLiteral(" 40317 "));
    dialog.okButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.password(), " 40317 ");
}

// ---- repair number ----

TEST_F(Dialogs, RepairNumberNeedsTextAndCannotLeaveItsFolder)
{
    ui::CRepNoDlg dialog(prompt);
    dialog.okButton()->click();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    expectOnlyMessage(30904, app::kMbIconExclamation);

    // Separators, reserved characters and a trailing dot or blank are refused with 37050.
    for (const char* bad : {"R-12/..", "x:y", "a*?", "a\"b", "<a>", "a|b", "a\\b", "R1.", "R1 "}) {
        prompt.shown.clear();
        dialog.edit()->setText(QString::fromUtf8(bad));
        dialog.okButton()->click();
        EXPECT_NE(dialog.result(), QDialog::Accepted) << bad;
        expectOnlyMessage(37050, app::kMbIconExclamation);
    }
    dialog.edit()->setText(QString(25, QLatin1Char('7')));
    EXPECT_EQ(dialog.edit()->text().size(), 19);
    dialog.okButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.repairNumber(), std::string(19, '7'));

    EXPECT_TRUE(ui::CRepNoDlg::isFolderNameText(QStringLiteral("2024 Nr. 5 (Kunde)")));
    EXPECT_FALSE(ui::CRepNoDlg::isFolderNameText(QStringLiteral("a\tb")));
}

// ---- serial number ----

TEST_F(Dialogs, SerialNumberShowsTheRecordsNumberAndCancelKeepsIt)
{
    net::DeviceRecord record = deviceRecord();
    ui::CSerialNoDlg dialog(prompt, record);
    EXPECT_EQ(dialog.edit()->text(), "00000042");
    dialog.edit()->setText(QStringLiteral("7"));
    dialog.cancelButton()->click();
    EXPECT_EQ(record.serialNumber, 42u);
    EXPECT_FALSE(record.serialModified);
    record.serialNumber = net::kNoSerialNumber;
    EXPECT_EQ(ui::CSerialNoDlg(prompt, record).edit()->text(), "");
}

TEST_F(Dialogs, SerialNumberRangeAndInputLimits)
{
    net::DeviceRecord record = deviceRecord();
    ui::CSerialNoDlg dialog(prompt, record);
    dialog.edit()->clear();
    dialog.okButton()->click();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    dialog.edit()->setText(QStringLiteral("00000000"));
    dialog.okButton()->click();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(prompt.texts(), (std::vector<std::string>{app::loadText(30604), app::loadText(30605)}));
    EXPECT_EQ(record.serialNumber, 42u);
    EXPECT_FALSE(record.serialModified);

    dialog.edit()->clear();
    QTest::keyClicks(dialog.edit(), QStringLiteral("12a3456789"));
    EXPECT_EQ(dialog.edit()->text(), "12345678") << "digits only, eight at most";
    dialog.edit()->setText(QStringLiteral("99999999"));
    dialog.okButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(record.serialNumber, 99999999u);
    EXPECT_TRUE(record.serialModified);
}

// ---- device name ----

TEST_F(Dialogs, NameIsStoredWithItsTerminatorAndMarked)
{
    net::DeviceRecord record = deviceRecord();
    ui::CNameDlg dialog(prompt, record);
    EXPECT_EQ(dialog.edit()->text(), "Kesselhaus");
    dialog.edit()->clear();
    dialog.okButton()->click();
    expectOnlyMessage(30504, app::kMbIconExclamation);
    EXPECT_EQ(record.name.str(), "Kesselhaus");
    EXPECT_FALSE(record.nameModified);

    dialog.edit()->setText(QStringLiteral("Z\u00e4hlerschrank-Ost"));
    EXPECT_EQ(dialog.edit()->text().size(), 15);
    dialog.okButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(record.name.str(), "Z\xE4hlerschrank-O");
    EXPECT_EQ(record.name.bytes()[15], '\0');
    EXPECT_TRUE(record.nameModified);
}

// ---- network configuration ----

TEST_F(Dialogs, NetworkDialogShowsTheRecord)
{
    net::DeviceRecord record = deviceRecord();
    record.name.assign("<b>Halle</b>");
    record.dhcpClient = true;
    ui::CNetDlg dialog(prompt, record);
    EXPECT_EQ(dialog.deviceText()->text(), "<b>Halle</b> (#00000042)");
    EXPECT_EQ(dialog.deviceText()->textFormat(), Qt::PlainText);
    EXPECT_EQ(dialog.dhcpList()->currentIndex(), 1);
    EXPECT_EQ(dialog.dhcpList()->itemText(2), german(30405));
    EXPECT_EQ(dialog.field(ui::CNetDlg::kAddress)->text(), "192.168.0.101");
    EXPECT_EQ(dialog.field(ui::CNetDlg::kMask)->text(), "255.255.255.0");
    EXPECT_EQ(dialog.field(ui::CNetDlg::kDns1)->text(), "8.8.8.8");
    EXPECT_EQ(dialog.field(ui::CNetDlg::kDns2)->text(), "0.0.0.0");

    record.serialNumber = net::kNoSerialNumber;
    record.dhcpServer = true;
    ui::CNetDlg second(prompt, record);
    EXPECT_EQ(second.deviceText()->text(), "<b>Halle</b>");
    EXPECT_EQ(second.dhcpList()->currentIndex(), 2);
}

TEST_F(Dialogs, NetworkDialogNamesTheFirstBadField)
{
    struct Case {
        std::vector<QString> fields;
        app::TextId refusal;
    };
    const QString ok = QStringLiteral("10.0.0.1");
    const std::vector<Case> cases = {
        {{QStringLiteral("192.168..5"), ok, ok, ok, ok}, 30413},
        {{QStringLiteral("0.0.0.0"), ok, ok, ok, ok}, 30413},
        {{ok, QStringLiteral("255.255.255."), QStringLiteral("1..1.1"), ok, ok}, 30414},
        {{ok, ok, QStringLiteral("..."), ok, ok}, 30415},
        {{ok, ok, ok, QStringLiteral("8.8.8"), ok}, 30416},
        {{ok, ok, ok, ok, QStringLiteral(".4.4.4")}, 30417},
    };
    for (const auto& c : cases) {
        net::DeviceRecord record = deviceRecord();
        const net::DeviceRecord before = record;
        test::ScriptedUiPrompt local;
        ui::CNetDlg dialog(local, record);
        dialog.dhcpList()->setCurrentIndex(1);  // DHCP does not excuse an empty field
        for (int f = 0; f < 5; ++f) dialog.field(static_cast<ui::CNetDlg::Field>(f))->setText(c.fields[static_cast<size_t>(f)]);
        dialog.okButton()->click();
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        ASSERT_EQ(local.shown.size(), 1u) << c.refusal;
        EXPECT_EQ(local.shown[0].text, app::loadText(c.refusal));
        EXPECT_EQ(local.shown[0].style, app::kMbIconExclamation);
        EXPECT_EQ(record.address, before.address);
        EXPECT_FALSE(record.networkModified);
    }
}

TEST_F(Dialogs, NetworkDialogStoresTheSettingsAsEdited)
{
    net::DeviceRecord record = deviceRecord();
    ui::CNetDlg dialog(prompt, record);
    dialog.dhcpList()->setCurrentIndex(2);
    dialog.field(ui::CNetDlg::kAddress)->setText(QStringLiteral("172.16.5.5"));
    dialog.field(ui::CNetDlg::kMask)->setText(QStringLiteral("255.255.0.0"));
    dialog.field(ui::CNetDlg::kGateway)->setText(QStringLiteral("0.0.0.0"));
    dialog.field(ui::CNetDlg::kDns1)->setText(QStringLiteral("0.0.0.0"));
    dialog.field(ui::CNetDlg::kDns2)->setText(QStringLiteral("1.2.3.4"));
    dialog.okButton()->click();
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_TRUE(record.networkModified);
    EXPECT_EQ(record.previousAddress, net::toNetworkOrder(0xC0A80065));
    EXPECT_EQ(record.previousMask, net::toNetworkOrder(0xFFFFFF00));
    EXPECT_EQ(net::addressText(record.address), "172.16.5.5");
    EXPECT_EQ(net::addressText(record.mask), "255.255.0.0");
    EXPECT_EQ(record.gateway, 0u);
    EXPECT_EQ(net::addressText(record.dns2), "1.2.3.4");
    EXPECT_TRUE(record.dhcpServer);
    EXPECT_FALSE(record.dhcpClient);
}

TEST_F(Dialogs, AddressFieldCountsFilledPartsAndTakesOnlyOctets)
{
    ui::CIpAddressCtrl field;
    field.show();
    field.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&field));
    EXPECT_EQ(field.filledParts(), 0);
    // Typed as an operator types: a dot or a third digit moves on to the next part.
    field.part(0)->setFocus();
    for (const char c : std::string("192.16.0.256")) QTest::keyClick(QApplication::focusWidget(), c);
    EXPECT_EQ(field.text(), "192.16.0.25") << "a part holds 0 to 255";
    EXPECT_EQ(field.filledParts(), 4);
    field.part(3)->clear();
    EXPECT_EQ(field.filledParts(), 3);
    field.setText(QStringLiteral("1.300.x.4"));
    EXPECT_EQ(field.text(), "1...4");
    EXPECT_EQ(field.filledParts(), 2);
    field.setAddress(0x0A14FFFE);
    EXPECT_EQ(field.text(), "10.20.255.254");
}

// ---- language and about ----

TEST_F(Dialogs, LanguageDialogSwitchesAndStoresOnlyOnOk)
{
    test::MemorySettings store;
    app::CApp::instance().setTextIdOffset(app::kEnglishOffset);
    {
        ui::CLangDlg dialog(store);
        EXPECT_EQ(dialog.windowTitle(), "language");
        EXPECT_EQ(dialog.cancelButton()->text(), "Abort");
        EXPECT_TRUE(dialog.englishButton()->isChecked());
        QTest::mouseClick(dialog.germanPicture(), Qt::LeftButton);
        EXPECT_TRUE(dialog.germanButton()->isChecked()) << "the flag selects its button";
        dialog.cancelButton()->click();
    }
    EXPECT_EQ(app::CApp::instance().textIdOffset(), app::kEnglishOffset);
    EXPECT_EQ(store.writes, 0);

    ui::CLangDlg dialog(store);
    dialog.germanButton()->setChecked(true);
    dialog.okButton()->click();
    EXPECT_EQ(app::CApp::instance().textIdOffset(), app::kGermanOffset);
    EXPECT_EQ(store.readNumber(app::kStationKey, app::kLanguageValue), 0u);
}

TEST_F(Dialogs, AboutBoxShowsProductVersionAndCopyright)
{
    ui::CAboutDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), german(30100) + " Vestrolan-Manager");
    EXPECT_EQ(dialog.versionLine()->text(), "Vestrolan-Manager, Version 1.05");
    EXPECT_FALSE(dialog.copyrightLine()->text().isEmpty());
    EXPECT_LE(dialog.copyrightLine()->text().size(), 50);
    EXPECT_EQ(dialog.okButton()->text(), german(30102));
}

// ---- message boxes ----

TEST_F(Dialogs, MessageBoxFollowsTheStyleAndShowsPlainText)
{
    QMessageBox question;
    ui::prepareMessageBox(question, QStringLiteral("<b>Ger\u00e4t</b> antwortet?"), 0x134);
    EXPECT_EQ(question.textFormat(), Qt::PlainText);
    EXPECT_EQ(question.text(), "<b>Ger\u00e4t</b> antwortet?");
    EXPECT_EQ(question.icon(), QMessageBox::Warning);
    EXPECT_EQ(question.standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(question.defaultButton(), question.button(QMessageBox::No)) << "0x100 presets the second button";
    EXPECT_EQ(question.windowTitle(), german(30000));

    QMessageBox error;
    ui::prepareMessageBox(error, QStringLiteral("x"), app::kMbIconError);
    EXPECT_EQ(error.icon(), QMessageBox::Critical);
    EXPECT_EQ(error.standardButtons(), QMessageBox::Ok);
    QMessageBox info;
    ui::prepareMessageBox(info, QStringLiteral("x"), 64);
    EXPECT_EQ(info.icon(), QMessageBox::Information);

    EXPECT_EQ(ui::messageBoxAnswer(QMessageBox::Yes), app::kIdYes);
    EXPECT_EQ(ui::messageBoxAnswer(QMessageBox::No), app::kIdNo);
    EXPECT_EQ(ui::messageBoxAnswer(QMessageBox::Ok), app::kIdOk);
}
