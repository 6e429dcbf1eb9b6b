#pragma once
// The device-name dialog: at most 15 characters. OK stores the name in the record's 16-byte field
// and marks it as still to be sent.
#include "ui/SingleInputDialog.h"

namespace vst::ui {

class CNameDlg : public RecordFieldDialog {
    Q_OBJECT
public:
    static constexpr int kMaxLength = 15;

    CNameDlg(app::OperatorPrompt& prompt, net::DeviceRecord& record, QWidget* parent = nullptr);

protected:
    bool takeInput() override;
};

}  // namespace vst::ui
