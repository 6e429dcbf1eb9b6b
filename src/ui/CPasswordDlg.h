#pragma once
// The password dialog: at most 49 hidden characters; OK needs a password, which is taken as typed.
#include <string>

#include "ui/SingleInputDialog.h"

namespace vst::ui {

class CPasswordDlg : public SingleInputDialog {
    Q_OBJECT
public:
    static constexpr int kMaxLength = 49;

    explicit CPasswordDlg(app::OperatorPrompt& prompt, QWidget* parent = nullptr);

    // The password (Windows-1252) after OK.
    const std::string& password() const { return password_; }

protected:
    bool takeInput() override;

private:
    std::string password_;
};

}  // namespace vst::ui
