#pragma once
// Changes one sensor's module, address and aux address. OK checks both addresses against the
// sensor's ranges and stays open with a message while one is outside.
#include <QDialog>

#include "app/OperatorPrompt.h"
#include "config/SensorList.h"

class QComboBox;

namespace vst::ui {

class CHexEdit;

class CSensorDlg : public QDialog {
    Q_OBJECT
public:
    CSensorDlg(app::OperatorPrompt& prompt, const config::ConfiguredSensor& sensor, int moduleCount,
               const config::AddressRange& addressRange, const config::AddressRange& auxRange,
               QWidget* parent = nullptr);

    // The sensor with the values taken on OK.
    const config::ConfiguredSensor& sensor() const { return sensor_; }

    QComboBox* moduleList() const { return modules_; }
    CHexEdit* addressEdit() const { return address_; }
    CHexEdit* auxAddressEdit() const { return auxAddress_; }

private:
    void onOk();

    app::OperatorPrompt& prompt_;
    config::ConfiguredSensor sensor_;
    config::AddressRange addressRange_;
    config::AddressRange auxRange_;
    QComboBox* modules_ = nullptr;
    CHexEdit* address_ = nullptr;
    CHexEdit* auxAddress_ = nullptr;
};

}  // namespace vst::ui
