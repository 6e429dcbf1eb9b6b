#pragma once
// The window framework under the application object's start-up: the Qt application, the refusal
// message boxes, and the main window run until it closes.
#include <memory>
#include <vector>

#include "app/CApp.h"
#include "app/NetworkCards.h"

class QApplication;

namespace vst::platform {
class SettingsStore;
}

namespace vst::ui {

class CMainDlg;
class QtPrompt;
class UiPrompt;

class StationHost : public app::StartupHost {
public:
    StationHost(int& argc, char** argv, platform::SettingsStore& settings);
    ~StationHost() override;

    void constructMainWindow() override;
    void registerCommonControls(uint32_t classSet) override;
    void baseInitialise() override;
    void showStartupError(const std::string& text) override;
    bool startSockets() override;
    void runMainWindow() override;

    // Whether the main window was shown (false when its start-up ended it with cancel).
    bool mainWindowShown() const { return shown_; }

protected:
    // The prompt for message boxes and dialogs; the operator's by default.
    virtual UiPrompt& prompt();
    virtual int enumerateCards(std::vector<app::NetworkCard>* cards);
    // Runs the shown window until it closes.
    virtual void runEventLoop(CMainDlg& window);

private:
    int& argc_;
    char** argv_;
    platform::SettingsStore& settings_;
    std::unique_ptr<QApplication> application_;
    std::unique_ptr<QtPrompt> operatorPrompt_;
    std::vector<app::NetworkCard> cards_;
    bool shown_ = false;
};

}  // namespace vst::ui
