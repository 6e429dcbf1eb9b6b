#pragma once
// The log window of a workflow: a modeless dialog with the read-only log and an OK button. The
// worker writes the log from its own thread (appendLog, markLog, truncateLogToMark, saveLog of
// ops::LogWindow); the view follows on the window's thread and keeps the end of the log in sight.
// OK and the window's Close stay disabled until the worker allows closing; OK then hides the
// window, which tells the worker that the operator has read the log.
#include <QDialog>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "ops/LogWindow.h"

class QPlainTextEdit;
class QPushButton;

namespace vst::ui {

class UiPrompt;

class COutputDlg : public QDialog, public ops::LogWindow {
    Q_OBJECT
public:
    explicit COutputDlg(QWidget* parent = nullptr);

    // Callable from any thread: enables OK and the window's Close.
    void allowClose() override { setCloseAllowed(true); }
    void setCloseAllowed(bool allowed);
    // Callable from any thread: true once the operator closed the window.
    bool closedByOperator() const override { return closed_.load(); }

    // Places the window over its parent: centred across, at a quarter of the free height down.
    void placeOverParent();
    // Puts the caption and the button text of the current language on the window.
    void applyTexts();

    QPlainTextEdit* textControl() const { return text_; }
    // Shows the changes that wait for the next redraw at once (window thread).
    void showPendingText() { showLogText(); }
    QPushButton* okButton() const { return ok_; }
    QPushButton* copyButton() const { return copy_; }
    QPushButton* saveButton() const { return save_; }

    // The prompt that chooses the file of "Speichern…" and reports a failed write.
    void setPrompt(UiPrompt* prompt) { prompt_ = prompt; }
    // "Kopieren": the whole log to the clipboard.
    void copyLog();
    // "Speichern…": the whole log as UTF-8 with CR LF into the file the operator chooses.
    void saveLogAs();
    // The log as such a file holds it.
    std::string utf8Text() const;

protected:
    void textChanged(size_t kept, const std::string& appended) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    // Applies the changes gathered since the last redraw (window thread).
    void showLogText();
    // The view's position of a byte offset of the shown log (CR bytes are not shown).
    int viewPosition(size_t bytes) const;
    void applyCloseAllowed(bool allowed);

    QPlainTextEdit* text_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* save_ = nullptr;
    UiPrompt* prompt_ = nullptr;
    bool closeAllowed_ = false;  // window thread only
    std::atomic<bool> closed_{false};

    // Changes wait here until the next redraw, so a burst of lines costs one redraw. The shown log
    // becomes its first `pendingKeep_` bytes followed by `pendingTail_`.
    static constexpr int kRedrawDelayMs = 40;
    std::mutex pendingMutex_;
    size_t pendingKeep_ = 0;
    std::string pendingTail_;
    bool redrawQueued_ = false;
    size_t shownBytes_ = 0;           // bytes of the log the view shows (guarded by pendingMutex_)
    std::vector<size_t> shownCrAt_;   // byte offsets of the CRs in them (window thread)
};

}  // namespace vst::ui
