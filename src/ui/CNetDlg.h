#pragma once
// The network-configuration dialog of one device: DHCP mode and five address fields. OK checks the
// fields in order (address, mask, gateway, two DNS servers; every part filled, the address not
// 0.0.0.0) and stores the settings in the record as edited network settings.
#include <array>

#include "app/OperatorPrompt.h"
#include "net/DeviceRecord.h"
#include "ui/OkCancelDialog.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace vst::ui {

class CIpAddressCtrl;

class CNetDlg : public OkCancelDialog {
    Q_OBJECT
public:
    enum Field { kAddress, kMask, kGateway, kDns1, kDns2 };

    CNetDlg(app::OperatorPrompt& prompt, net::DeviceRecord& record, QWidget* parent = nullptr);

    QLabel* deviceText() const { return device_; }
    QComboBox* dhcpList() const { return dhcp_; }
    CIpAddressCtrl* field(Field f) const { return fields_[f]; }

    // The device as the dialog names it: its name, with " (#serial)" when it has a serial number.
    static QString deviceTitle(const net::DeviceRecord& record);

private:
    void onOk();

    app::OperatorPrompt& prompt_;
    net::DeviceRecord& record_;
    QLabel* device_ = nullptr;
    QComboBox* dhcp_ = nullptr;
    std::array<CIpAddressCtrl*, 5> fields_{};
};

}  // namespace vst::ui
