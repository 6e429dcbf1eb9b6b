#pragma once
// Asks for an energy sensor's transformer ratio (primary to secondary), nominal voltage and
// nominal current. OK refuses empty fields and a secondary that is not smaller than the primary.
#include <QDialog>

#include "app/OperatorPrompt.h"
#include "config/CalibrationRequest.h"

class QLabel;
class QLineEdit;

namespace vst::ui {

class CCalibEnergyDlg : public QDialog {
    Q_OBJECT
public:
    // Shows the request's sensor name, number and secondary unit; the fields start empty.
    CCalibEnergyDlg(app::OperatorPrompt& prompt, const config::CalibrationRequest& request, QWidget* parent = nullptr);

    // The numbers taken on the last OK.
    const config::CalibrationValues& values() const { return values_; }

private:
    void onOk();

    app::OperatorPrompt& prompt_;
    config::CalibrationValues values_;
    QLineEdit* primary_ = nullptr;
    QLineEdit* secondary_ = nullptr;
    QLineEdit* voltage_ = nullptr;
    QLineEdit* current_ = nullptr;
};

}  // namespace vst::ui
