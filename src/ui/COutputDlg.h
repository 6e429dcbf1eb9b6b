#pragma once
// The log window of a workflow: a modeless dialog with the read-only log and an OK button. The
// worker writes the log from its own thread (appendLog, markLog, truncateLogToMark, saveLog of
// ops::LogWindow); the view follows on the window's thread and keeps the end of the log in sight.
// OK and the window's Close stay disabled until the worker allows closing; OK then hides the
// window, which tells the worker that the operator has read the log.
#include <QDialog>

#include <atomic>

#include "ops/LogWindow.h"

class QPlainTextEdit;
class QPushButton;

namespace vst::ui {

class COutputDlg : public QDialog, public ops::LogWindow {
    Q_OBJECT
public:
    explicit COutputDlg(QWidget* parent = nullptr);

    // Callable from any thread: enables (or disables) OK and the window's Close.
    void allowClose(bool allowed = true) override;
    // Callable from any thread: true once the operator closed the window.
    bool closedByOperator() const override { return closed_.load(); }

    // Places the window over its parent: centred across, at a quarter of the free height down.
    void placeOverParent();
    // Puts the caption and the button text of the current language on the window.
    void applyTexts();

    QPlainTextEdit* textControl() const { return text_; }
    QPushButton* okButton() const { return ok_; }

protected:
    void textChanged(const std::string& text) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    void showLogText();
    void applyCloseAllowed(bool allowed);

    QPlainTextEdit* text_ = nullptr;
    QPushButton* ok_ = nullptr;
    bool closeAllowed_ = false;  // window thread only
    std::atomic<bool> closed_{false};
};

}  // namespace vst::ui
