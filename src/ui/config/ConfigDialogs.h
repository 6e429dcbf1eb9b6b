#pragma once
// What the main window calls for a worker's configuration request (WM_USER+23) and its energy
// calibration request (WM_USER+24).
#include <optional>
#include <string>

#include "app/OperatorPrompt.h"
#include "config/CalibrationRequest.h"

class QWidget;

namespace vst::ui {

// Runs the configuration assistant on the template folder below the serial-number path with the
// given configuration and mode (editable false: only the language can change). The new
// configuration after OK, nullopt after cancel or when the catalogue cannot be used.
std::optional<std::string> runConfigurationAssistant(QWidget* parent, app::OperatorPrompt& prompt,
                                                     const std::string& configuration, bool editable);

// Runs the energy-sensor calibration dialog for the request; on OK the four values are copied into
// the request and the result is true, otherwise the request stays as it was.
bool runEnergyCalibration(QWidget* parent, app::OperatorPrompt& prompt, config::CalibrationRequest& request);

}  // namespace vst::ui
