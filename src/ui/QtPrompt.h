#pragma once
// The operator's prompt: message boxes and the station's real dialogs, modal over the main window.
#include <QMessageBox>

#include "platform/SettingsStore.h"
#include "ui/UiPrompt.h"

class QWidget;

namespace vst::ui {

class QtPrompt : public UiPrompt {
public:
    explicit QtPrompt(platform::SettingsStore& settings);

    // The window the dialogs are modal to.
    void setParentWindow(QWidget* parent) { parent_ = parent; }

    int messageBox(const std::string& text, uint32_t style) override;
    std::optional<std::string> askPassword() override;
    std::optional<std::string> chooseFile(const FileDialogRequest& request) override;
    std::optional<std::string> askOperatorSign(const std::string& serialNumberPath) override;
    std::optional<std::string> askRepairNumber() override;
    std::optional<EnduranceRunChoice> askEnduranceRun(const app::NetworkCard* card, uint32_t target) override;
    bool editSerialNumber(net::DeviceRecord& record) override;
    bool editDeviceName(net::DeviceRecord& record) override;
    bool editNetworkSettings(net::DeviceRecord& record) override;
    LanguageChoice chooseLanguage() override;
    void showAbout() override;
    std::optional<std::string> runConfigurationAssistant(const std::string& configuration, bool editable) override;
    bool calibrateEnergySensor(config::CalibrationRequest& request) override;
    void openUrl(const std::string& url) override;

private:
    platform::SettingsStore& settings_;
    QWidget* parent_ = nullptr;
};

// Sets a message box up as a Windows message-box style asks: the text as plain text (never
// markup, whatever a device sent), the icon (0x10 error, 0x20 question, 0x30 exclamation, 0x40
// information), the buttons (0 OK, 1 OK/Cancel, 3 Yes/No/Cancel, 4 Yes/No, 5 Retry/Cancel) and
// the default button (0x100 the second, 0x200 the third).
void prepareMessageBox(QMessageBox& box, const QString& text, uint32_t style);
// The Windows answer (IDOK, IDCANCEL, IDYES, IDNO, IDRETRY) of a standard button.
int messageBoxAnswer(QMessageBox::StandardButton button);

// Loads Qt's own texts (standard buttons, file dialogs) in the station's current language.
void applyQtTranslation();

}  // namespace vst::ui
