#include "ui/config/ConfigDialogs.h"

#include "app/CApp.h"
#include "config/ConfigurationCatalogue.h"
#include "ui/config/CCalibEnergyDlg.h"
#include "ui/config/CDeviceDlg.h"

namespace vst::ui {

std::optional<std::string> runConfigurationAssistant(QWidget* parent, app::OperatorPrompt& prompt,
                                                     const std::string& configuration, bool editable)
{
    CDeviceDlg dialog(prompt, configuration, editable,
                      config::templateFolder(app::CApp::instance().serialNumberPath()), parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.configuration();
}

bool runEnergyCalibration(QWidget* parent, app::OperatorPrompt& prompt, config::CalibrationRequest& request)
{
    CCalibEnergyDlg dialog(prompt, request, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    config::completeRequest(request, dialog.values());
    return true;
}

}  // namespace vst::ui
