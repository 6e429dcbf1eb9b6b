#pragma once
// The operator-sign dialog: a list of the short signs in "MA.LST" of the serial-number folder and
// an OK button. A list that cannot be read or is empty ends the dialog with cancel after a message.
#include <QDialog>

#include <string>
#include <string_view>
#include <vector>

#include "app/OperatorPrompt.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace vst::ui {

class CPersDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr size_t kMaxSignLength = 9;

    CPersDlg(app::OperatorPrompt& prompt, std::string serialNumberPath, QWidget* parent = nullptr);

    // Fills the list from the file; false (after the error message) when it cannot be read or
    // holds no line.
    bool loadList();
    // Loads the list and runs the dialog; Rejected when the list could not be offered.
    int exec() override;

    // The sign chosen with OK (Windows-1252).
    const std::string& sign() const { return sign_; }

    QComboBox* signList() const { return list_; }
    QPushButton* okButton() const { return ok_; }

    // The entries of a sign list: one per line ended by LF (a CR before the LF is dropped), each
    // cut to nine characters; a last line without a line end is not taken.
    static std::vector<std::string> parseSignList(std::string_view bytes);

private:
    void onOk();

    app::OperatorPrompt& prompt_;
    std::string serialNumberPath_;
    std::vector<std::string> signs_;  // as read, Windows-1252
    std::string sign_;
    QLabel* label_ = nullptr;
    QComboBox* list_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace vst::ui
