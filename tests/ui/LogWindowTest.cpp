// The log window and the progress bar with text.
#include <QClipboard>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>

#include "ui/COutputDlg.h"
#include "ui/CProgressTextCtrl.h"
#include "WindowFixture.h"

using namespace vst;

namespace {

class LogWindow : public ::testing::Test {
protected:
    void SetUp() override { app::CApp::instance().setTextIdOffset(app::kGermanOffset); }

    // Waits until the view shows the text.
    bool shows(const QString& text) const
    {
        return QTest::qWaitFor([&] { return log.textControl()->toPlainText() == text; }, 2000);
    }

    ui::COutputDlg log;
};

}  // namespace

TEST_F(LogWindow, WorkerWritesMarksAndCutsBack)
{
    log.show();
    test::fromWorker([&] {
        log.appendLog("Dauerlauf:\r\n");
        log.markLog();
        log.appendLog("  - Durchgang 1\r\n  - Durchgang 2\r\n");
    });
    EXPECT_TRUE(shows("Dauerlauf:\n  - Durchgang 1\n  - Durchgang 2\n"));
    test::fromWorker([&] { log.truncateLogToMark(); });
    EXPECT_TRUE(shows("Dauerlauf:\n"));
    EXPECT_EQ(log.text(), "Dauerlauf:\r\n");

    // Cutting back again, or to a mark at the end of the text, changes nothing.
    log.truncateLogToMark();
    EXPECT_EQ(log.text(), "Dauerlauf:\r\n");
    log.appendLog("Ende\r\n");
    log.markLog();
    test::fromWorker([&] { log.truncateLogToMark(); });
    EXPECT_EQ(log.text(), "Dauerlauf:\r\nEnde\r\n");
    EXPECT_TRUE(shows("Dauerlauf:\nEnde\n"));
}

// Changes that arrive between two redraws are shown as one, whatever mix of appends and cuts
// they are, and with line ends split across appends.
TEST_F(LogWindow, ViewFollowsBurstsOfAppendsAndCuts)
{
    log.show();
    const std::vector<std::vector<std::string>> bursts = {
        {"Kopf\r\n", "mark", "A\r", "\nB\r\n", "cut", "C\r\n"},
        {"mark", "D\r\nE\r\n", "cut", "cut", "F"},
        {"\r\nG\r\n", "mark", "H\r\n"},
        {"cut", "I\r\n"},
    };
    for (const auto& burst : bursts) {
        test::fromWorker([&] {
            for (const auto& change : burst) {
                if (change == "mark") log.markLog();
                else if (change == "cut") log.truncateLogToMark();
                else log.appendLog(change);
            }
        });
        QString expected = QString::fromStdString(log.text());
        expected.remove(QLatin1Char('\r'));
        EXPECT_TRUE(shows(expected)) << log.textControl()->toPlainText().toStdString();
    }
    EXPECT_EQ(log.text(), "Kopf\r\nC\r\nF\r\nG\r\nI\r\n");
}

TEST_F(LogWindow, TheEndOfALongLogStaysInSight)
{
    log.show();
    std::string text;
    for (int i = 0; i < 200; ++i) text += "  - Zeile " + std::to_string(i) + "\r\n";
    test::fromWorker([&] { log.appendLog(text); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.textControl()->toPlainText().contains("Zeile 199"); }, 2000));
    auto* bar = log.textControl()->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_GT(bar->maximum(), 0);
}

TEST_F(LogWindow, SavedLogIsTheWholeText)
{
    test::TempDir dir;
    log.appendLog("Endtest:\r\n  - ok\r\n");
    EXPECT_TRUE(test::fromWorker([&] { return log.saveLog(dir.file("Endtest.log"), false); }));
    EXPECT_TRUE(log.saveLog(dir.file("Endtest.log"), true));
    EXPECT_EQ(dir.read("Endtest.log"), "Endtest:\r\n  - ok\r\nEndtest:\r\n  - ok\r\n");
    EXPECT_FALSE(log.saveLog(dir.file("missing/Endtest.log"), false));
}

// "Kopieren" and "Speichern…": the whole log as UTF-8 with CR LF, at any time; a file that cannot
// be written is reported and the log stays as it is.
TEST_F(LogWindow, CopyAndSaveTakeTheWholeLogAsUtf8WithCrLf)
{
    test::TempDir dir;
    test::ScriptedUiPrompt prompt;
    log.setPrompt(&prompt);
    log.appendLog("Endtest:\r\n  - Pr\xFC" "fung\n");
    const std::string expected = "Endtest:\r\n  - Pr\xC3\xBC" "fung\r\n";
    EXPECT_EQ(log.copyButton()->text(), test::german(37456));
    EXPECT_EQ(log.saveButton()->accessibleName(), test::german(37457));
    log.copyButton()->click();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), expected);

    prompt.files = {dir.file("Kopie.log"), dir.file("missing/Kopie.log"), std::nullopt};
    for (int i = 0; i < 3; ++i) log.saveButton()->click();
    EXPECT_EQ(dir.read("Kopie.log"), expected);
    EXPECT_EQ(prompt.fileRequests.at(0).kind, ui::FileDialogRequest::Kind::Save);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, app::loadText(35224));
    EXPECT_EQ(log.text(), "Endtest:\r\n  - Pr\xFC" "fung\n");
    EXPECT_FALSE(log.closedByOperator());
}

TEST_F(LogWindow, OnlyTheWorkerLetsTheOperatorClose)
{
    log.show();
    EXPECT_EQ(log.windowTitle(), test::german(31300));
    EXPECT_FALSE(log.okButton()->isEnabled());
    log.close();
    QTest::keyClick(&log, Qt::Key_Escape);
    QTest::keyClick(&log, Qt::Key_Return);
    EXPECT_TRUE(log.isVisible()) << "no way out before the worker allows it";
    EXPECT_FALSE(log.closedByOperator());

    test::fromWorker([&] { log.allowClose(); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return log.okButton()->isEnabled(); }, 2000));
    log.okButton()->click();
    EXPECT_FALSE(log.isVisible());
    EXPECT_TRUE(log.closedByOperator());
}

TEST_F(LogWindow, FocusPutsTheCaretAtTheEndWithoutSelection)
{
    log.show();
    log.activateWindow();
    log.appendLog("eins\r\nzwei\r\n");
    ASSERT_TRUE(shows("eins\nzwei\n"));
    log.textControl()->selectAll();
    log.okButton()->setEnabled(true);
    log.okButton()->setFocus();
    log.textControl()->setFocus();
    QApplication::processEvents();
    const QTextCursor cursor = log.textControl()->textCursor();
    EXPECT_FALSE(cursor.hasSelection());
    EXPECT_EQ(cursor.position(), log.textControl()->document()->characterCount() - 1);
}

TEST(ProgressText, CaptionAndPercentage)
{
    ui::CProgressTextCtrl bar;
    EXPECT_EQ(bar.overlayText(), "") << "no caption, no text";
    bar.setTextAndPosition(QStringLiteral("Firmware-Update #2"), 70);
    EXPECT_EQ(bar.overlayText(), "Firmware-Update #2 (70%)");
    bar.setPosition(100);
    EXPECT_EQ(bar.overlayText(), "Firmware-Update #2 (100%)");
    bar.setRange(50, 150);
    bar.setPosition(75);
    EXPECT_EQ(bar.overlayText(), "Firmware-Update #2 (25%)");
    bar.reset();  // a position below the range
    EXPECT_EQ(bar.overlayText(), "");
    bar.setRange(10, 10);
    bar.setPosition(10);
    EXPECT_EQ(bar.overlayText(), "Firmware-Update #2 (0%)");
    bar.setCaption(QString());
    EXPECT_EQ(bar.overlayText(), "");
}

TEST(ProgressText, RepaintsOnlyWhenTextOrPositionChanged)
{
    ui::CProgressTextCtrl bar;
    bar.show();
    bar.setTextAndPosition(QStringLiteral("Suche"), 10);
    const int afterFirst = bar.repaintCount();
    bar.setTextAndPosition(QStringLiteral("Suche"), 10);
    EXPECT_EQ(bar.repaintCount(), afterFirst);
    bar.setTextAndPosition(QStringLiteral("Suche"), 20);
    EXPECT_EQ(bar.repaintCount(), afterFirst + 1);
    bar.setTextAndPosition(QStringLiteral("Ende"), 20);
    EXPECT_EQ(bar.repaintCount(), afterFirst + 2);
}

TEST(ProgressText, PaintsTheTextOverTheBar)
{
    ui::CProgressTextCtrl bar;
    bar.resize(300, 24);
    bar.show();
    const QImage empty = bar.grab().toImage();
    bar.setTextAndPosition(QStringLiteral("Teste I2C-Bus"), 0);
    const QImage withText = bar.grab().toImage();
    EXPECT_NE(empty, withText);
    bar.setCaption(QString());
    EXPECT_EQ(bar.grab().toImage(), empty);
}
