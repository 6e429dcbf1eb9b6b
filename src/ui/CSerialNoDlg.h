#pragma once
// The serial-number dialog: at most eight digits, a number from 1 to 99999999. OK stores it in the
// record and marks it as still to be sent.
#include "ui/SingleInputDialog.h"

namespace vst::ui {

class CSerialNoDlg : public RecordFieldDialog {
    Q_OBJECT
public:
    CSerialNoDlg(app::OperatorPrompt& prompt, net::DeviceRecord& record, QWidget* parent = nullptr);

protected:
    bool takeInput() override;
};

}  // namespace vst::ui
