// The window side of the worker messages: each call from a worker thread runs on the window's
// thread while the worker waits, and has the effect the message stands for.
#include <QComboBox>
#include <QPlainTextEdit>

#include <fstream>

#include "app/SerialLog.h"
#include "ops/LogWindow.h"
#include "ui/CIpAddressCtrl.h"
#include "ui/COutputDlg.h"
#include "ui/CProgressTextCtrl.h"
#include "ui/WindowChannel.h"
#include "WindowFixture.h"

using namespace vst;

namespace {

class WorkerChannel : public test::WindowFixture {
protected:
    ops::WorkerChannel& channel() { return window->channel(); }
};

}  // namespace

TEST_F(WorkerChannel, MessagesRunOnTheWindowThreadAndReturnTheAnswer)
{
    ASSERT_TRUE(open({}));
    QThread* seenOn = nullptr;
    prompt.onMessage = [&](const std::string&) { seenOn = QThread::currentThread(); };
    prompt.answers = {app::kIdYes};
    const int answer = test::fromWorker([&] { return channel().showMessage({"Frage?", 0x124}); });
    EXPECT_EQ(answer, app::kIdYes);
    EXPECT_EQ(seenOn, window->thread());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].style, 0x124u);
}

TEST_F(WorkerChannel, ProgressBarsTakeHeadingsStepsAndPositions)
{
    ASSERT_TRUE(open(modeSettings(app::OperatingMode::Production)));
    test::fromWorker([&] {
        channel().setHeading({"Kalibrierung", 40});
        channel().setStep({"Verbindung wird hergestellt", 10});
        channel().setStepPosition(55);
        channel().setStepText("Trenne Verbindung");
    });
    EXPECT_EQ(window->firstProgress()->overlayText(), "Kalibrierung (40%)");
    EXPECT_EQ(window->secondProgress()->overlayText(), "Trenne Verbindung (55%)");
    test::fromWorker([&] { channel().setStep({"", 0}); });
    EXPECT_EQ(window->secondProgress()->overlayText(), "") << "the cleared step shows the bar alone";
}

TEST_F(WorkerChannel, DeviceListMessages)
{
    ASSERT_TRUE(open({}));
    test::fromWorker([&] {
        channel().addDevice(test::record(1, 0, "Eins"));
        channel().addDevice(test::record(2, 0, "Zwei"));
        channel().addDevice(test::record(1, 0, "Doppelt"));
    });
    EXPECT_EQ(test::fromWorker([&] { return channel().deviceCount(); }), 2);
    EXPECT_EQ(test::fromWorker([&] { return channel().deviceAt(1); }), list()->recordAt(1));
    EXPECT_EQ(test::fromWorker([&] { return channel().deviceAt(2); }), nullptr);
    EXPECT_EQ(test::fromWorker([&] { return channel().deviceAt(-1); }), nullptr);

    net::DeviceRecord* first = list()->recordAt(0);
    test::fromWorker([&] { channel().selectDevice(first); });
    EXPECT_EQ(labelText(10005), "Eins");
    EXPECT_EQ(test::fromWorker([&] { return channel().currentDevice(); }), first);

    net::DeviceRecord* replaced = test::fromWorker([&] { return channel().replaceDevice(test::record(1, 0, "Neu", 5)); });
    EXPECT_EQ(list()->item(0, 1)->text(), "Neu");
    EXPECT_EQ(window->currentDevice(), replaced);
    EXPECT_EQ(labelText(10005), "Neu (#00000005)") << "the current device's label follows its new record";

    replaced->rowStatus = 2;
    test::fromWorker([&] { channel().repaintList(); });
    EXPECT_EQ(list()->item(0, 2)->background().color(), QColor(0, 255, 0));

    test::fromWorker([&] { channel().removeDevice(*replaced); });
    EXPECT_EQ(list()->count(), 1);
    EXPECT_EQ(window->currentDevice(), nullptr);
    EXPECT_EQ(labelText(10005), "-");
    test::fromWorker([&] { channel().selectDevice(nullptr); });
    EXPECT_EQ(labelText(10005), "-");
}

TEST_F(WorkerChannel, OnlyListedDeviceNeedsExactlyOneRow)
{
    ASSERT_TRUE(open(modeSettings(app::OperatingMode::Production)));
    EXPECT_EQ(test::fromWorker([&] { return channel().onlyListedDevice(); }), nullptr);
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{app::loadText(35403)});

    window->addDevice(test::record(1, 0, "Eins"));
    net::DeviceRecord* only = test::fromWorker([&] { return channel().onlyListedDevice(); });
    EXPECT_EQ(only, list()->recordAt(0));
    EXPECT_EQ(window->currentDevice(), only);
    EXPECT_EQ(list()->selectedRow(), 0);
    EXPECT_EQ(labelText(10005), "Eins");

    window->addDevice(test::record(2, 0, "Zwei"));
    EXPECT_EQ(test::fromWorker([&] { return channel().onlyListedDevice(); }), only) << "the current device stays";
    EXPECT_EQ(prompt.texts().back(), app::loadText(35402));
    EXPECT_EQ(prompt.shown.back().style, app::kMbIconExclamation);
}

TEST_F(WorkerChannel, SearchStartAndEndSwitchTheSearchButtons)
{
    ASSERT_TRUE(open({}));
    test::fromWorker([&] { channel().searchStarted(); });
    EXPECT_EQ(button(10006)->text(), test::german(30012));
    EXPECT_EQ(button(10019)->text(), test::german(30024));
    EXPECT_FALSE(enabled(10009));
    EXPECT_FALSE(enabled(10007));
    EXPECT_TRUE(test::fromWorker([&] { return channel().mayContinue(); }));

    test::fromWorker([&] { channel().searchEnded(); });
    EXPECT_EQ(button(10006)->text(), test::german(30011));
    EXPECT_EQ(button(10019)->text(), "Ger\u00e4te\nSuchen");
    EXPECT_TRUE(enabled(10009));
    EXPECT_FALSE(test::fromWorker([&] { return channel().mayContinue(); }));
    EXPECT_FALSE(test::fromWorker([&] { return channel().enduranceActive(); }));
}

TEST_F(WorkerChannel, FinishedWorkerEnablesTheControlsForTheCurrentDevice)
{
    ASSERT_TRUE(open({}));
    window->addDevice(test::record(1));
    list()->selectOnly(0);
    window->enableControls({});
    test::fromWorker([&] { channel().operationFinished(); });
    EXPECT_TRUE(enabled(10006));
    EXPECT_TRUE(enabled(10009));
    EXPECT_TRUE(enabled(10026));
    EXPECT_TRUE(enabled(10013));
    EXPECT_FALSE(enabled(10018));
    EXPECT_TRUE(enabled(10024));
    EXPECT_TRUE(window->menuAction(20011)->isEnabled());
}

TEST_F(WorkerChannel, SerialNumberInputIsLoggedAfterTheReleaseCheck)
{
    auto s = modeSettings(app::OperatingMode::Production);
    prompt.signChoices = {1};
    ASSERT_TRUE(open(s));
    window->addDevice(test::record(1, 0, "Eins", 7));
    list()->selectOnly(0);

    // No current device: nothing asked.
    list()->clearSelection();
    EXPECT_FALSE(test::fromWorker([&] { return channel().enterSerialNumber(); }));
    EXPECT_EQ(prompt.serialDialogs, 0);
    list()->selectOnly(0);

    prompt.serialNumbers = {QStringLiteral("1234")};
    EXPECT_TRUE(test::fromWorker([&] { return channel().enterSerialNumber(); }));
    EXPECT_EQ(window->currentDevice()->serialNumber, 1234u);
    EXPECT_TRUE(window->currentDevice()->serialModified);
    const std::string log = records.read("SNR.LOG");
    EXPECT_NE(log.find(" MM 00001234\n"), std::string::npos) << log;

    prompt.serialNumbers = {std::nullopt};
    EXPECT_FALSE(test::fromWorker([&] { return channel().enterSerialNumber(); }));
}

TEST_F(WorkerChannel, UsedSerialNumberNeedsTheReleasePassword)
{
    prompt.signChoices = {1};
    ASSERT_TRUE(open(modeSettings(app::OperatingMode::Production)));
    records.write("SNR.LOG", "01.02.2024 10:11:12 XY 00000500\n01.02.2024 10:12:00 XY #SNR FOUND 00000500\n");
    window->addDevice(test::record(1, 0, "Eins", 7));
    list()->selectOnly(0);

    // Refused: No to the question; the record keeps the device's own number.
    prompt.serialNumbers = {QStringLiteral("500")};
    prompt.answers = {app::kIdNo};
    EXPECT_FALSE(test::fromWorker([&] { return channel().enterSerialNumber(); }));
    EXPECT_EQ(window->currentDevice()->serialNumber, 7u);
    EXPECT_FALSE(window->currentDevice()->serialModified);
    ASSERT_FALSE(prompt.shown.empty());
    EXPECT_EQ(prompt.shown.back().style, 0x134u);
    EXPECT_NE(prompt.shown.back().text.find(app::loadText(35400)), std::string::npos);

    // A wrong password shows 35401 and refuses.
    prompt.shown.clear();
    prompt.answers = {app::kIdYes};
    prompt.passwords = {QStringLiteral("40317 ")};
    EXPECT_FALSE(test::fromWorker([&] { return channel().releaseSerialNumber(500); }));
    EXPECT_EQ(prompt.texts().back(), app::loadText(35401));

    // The exact release password allows the number.
    prompt.answers = {app::kIdYes};
    prompt.passwords = {QStringLiteral("40317")};
    EXPECT_TRUE(test::fromWorker([&] { return channel().releaseSerialNumber(500); }));
    const std::string log = records.read("SNR.LOG");
    EXPECT_NE(log.find(app::loadText(36002)), std::string::npos);
    EXPECT_NE(log.find(app::loadText(36003)), std::string::npos);

    EXPECT_FALSE(test::fromWorker([&] { return channel().releaseSerialNumber(100000000); }));
}

TEST_F(WorkerChannel, OperatorSignAndConfigurationRequests)
{
    prompt.signChoices = {0};
    ASSERT_TRUE(open(modeSettings(app::OperatingMode::Production)));
    EXPECT_EQ(test::fromWorker([&] { return channel().operatorSign(); }), "AB");
    EXPECT_EQ(test::fromWorker([&] { return channel().askConfiguration("[User]\n", true); }), std::nullopt);
    EXPECT_EQ(prompt.configurationRequests, 1);
    config::CalibrationRequest request;
    EXPECT_FALSE(test::fromWorker([&] { return window->windowChannel().calibrate(request); }));
    EXPECT_EQ(prompt.calibrationRequests, 1);
}

TEST_F(WorkerChannel, LogWindowIsCreatedOverTheWindowAndDestroyed)
{
    ASSERT_TRUE(open({}));
    window->move(100, 80);
    window->show();
    ops::LogWindow* log = test::fromWorker([&] { return channel().createLogWindow(); });
    ASSERT_NE(log, nullptr);
    ASSERT_EQ(window->logWindows().size(), 1u);
    ui::COutputDlg* dialog = window->logWindows()[0];
    EXPECT_EQ(static_cast<ops::LogWindow*>(dialog), log);
    EXPECT_TRUE(dialog->isVisible());
    const QRect main = window->frameGeometry();
    const QRect own = dialog->frameGeometry();
    EXPECT_EQ(own.left(), main.left() + (main.width() - own.width()) / 2);
    EXPECT_EQ(own.top(), main.top() + (main.height() - own.height()) / 4);

    test::fromWorker([&] { log->appendLog("Endtest:\r\n"); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->textControl()->toPlainText() == "Endtest:\n"; }, 2000));

    test::fromWorker([&] { channel().destroyLogWindow(log); });
    EXPECT_TRUE(window->logWindows().empty());
}
