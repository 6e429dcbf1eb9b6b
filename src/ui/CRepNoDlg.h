#pragma once
// The repair-number dialog: at most 19 characters, taken as typed. The number becomes part of a
// folder name of the production records, so the edit does not take the characters that a folder
// name cannot hold (path separators among them).
#include <string>

#include "ui/SingleInputDialog.h"

namespace vst::ui {

class CRepNoDlg : public SingleInputDialog {
    Q_OBJECT
public:
    static constexpr int kMaxLength = 19;

    explicit CRepNoDlg(app::OperatorPrompt& prompt, QWidget* parent = nullptr);

    // The repair number (Windows-1252) after OK.
    const std::string& repairNumber() const { return repairNumber_; }

    // Whether the text can stand in a folder name: no control characters and none of \ / : * ? " < > |.
    static bool isFolderNameText(const QString& text);

protected:
    bool takeInput() override;

private:
    std::string repairNumber_;
};

}  // namespace vst::ui
