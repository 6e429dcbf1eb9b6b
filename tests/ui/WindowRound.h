#pragma once
// A round of the main window against simulated devices in the private test network: the scripted
// operator with its settings, a record folder with the serial-number log and the sign list, and
// the window, which is closed before the test network goes.
#include "Testbed.h"
#include "WindowFixture.h"

namespace vst::test {

class WindowRound : public Testbed {
protected:
    // `workerTimeoutMs`: how long a worker may take; `timeScale`: the pace of protocol time.
    explicit WindowRound(int workerTimeoutMs, double timeScale = kTimeScale)
        : workerTimeoutMs_(workerTimeoutMs), timeScale_(timeScale)
    {
    }

    void SetUp() override
    {
        Testbed::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        setTimeScale(timeScale_);
        app::CApp::instance().setTextIdOffset(app::kGermanOffset);
        prompt.settings = &store;
        records.write("SNR.LOG", "");
        records.write("MA.LST", "AB\nMM\n");
    }

    void TearDown() override
    {
        window.reset();
        app::CApp::instance().setSettings({});
        Testbed::TearDown();
    }

    void openWindow(const app::AppSettings& settings)
    {
        app::CApp::instance().setSettings(settings);
        window = std::make_unique<ui::CMainDlg>(prompt, cards);
        ASSERT_TRUE(window->initialise());
        window->show();
    }

    // Waits until every worker of the window has ended.
    bool idle() { return QTest::qWaitFor([&] { return window->runningWorkers() == 0; }, workerTimeoutMs_); }
    QPushButton* button(int id) const { return qobject_cast<QPushButton*>(window->control(id)); }
    std::string lastText() const { return prompt.shown.empty() ? std::string() : prompt.shown.back().text; }

    ScriptedUiPrompt prompt;
    MemorySettings store;
    TempDir records;
    std::unique_ptr<ui::CMainDlg> window;

private:
    int workerTimeoutMs_;
    double timeScale_;
};

}  // namespace vst::test
