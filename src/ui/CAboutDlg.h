#pragma once
// The about box: title "Info über <product>", the version line, the copyright and OK.
#include <QDialog>

class QLabel;
class QPushButton;

namespace vst::ui {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QLabel* versionLine() const { return version_; }
    QLabel* copyrightLine() const { return copyright_; }
    QPushButton* okButton() const { return ok_; }

    static constexpr int kMaxCopyrightLength = 50;

private:
    QLabel* version_ = nullptr;
    QLabel* copyright_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace vst::ui
