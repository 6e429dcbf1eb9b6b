#include "ui/COutputDlg.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <QVBoxLayout>

#include "ui/UiText.h"

namespace vst::ui {

COutputDlg::COutputDlg(QWidget* parent) : QDialog(parent)
{
    setModal(false);
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("11300"));
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_->installEventFilter(this);
    ok_ = new QPushButton(this);
    ok_->setObjectName(QStringLiteral("11301"));
    ok_->setDefault(true);
    ok_->setEnabled(false);
    applyTexts();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addWidget(ok_, 0, Qt::AlignHCenter);

    const DialogUnits du(this);
    resize(du.x(300), du.y(165));
    connect(ok_, &QPushButton::clicked, this, [this] { close(); });
}

void COutputDlg::applyTexts()
{
    setWindowTitle(uiText(app::TextId{31300}));
    text_->setAccessibleName(windowTitle());
    ok_->setText(uiText(app::TextId{31301}));
    ok_->setAccessibleName(ok_->text());
}

void COutputDlg::placeOverParent()
{
    QWidget* main = parentWidget();
    if (!main) return;
    const QRect outer = main->frameGeometry();
    const QSize own = frameGeometry().size();
    move(outer.left() + (outer.width() - own.width()) / 2, outer.top() + (outer.height() - own.height()) / 4);
}

void COutputDlg::textChanged(size_t kept, const std::string& appended)
{
    // Called on the writer's thread. The change is merged into what waits for the next redraw;
    // only the first change after a redraw schedules one.
    bool schedule = false;
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        if (!redrawQueued_) {
            pendingKeep_ = shownBytes_;
            pendingTail_.clear();
        }
        if (kept >= pendingKeep_) {
            pendingTail_.resize(std::min(pendingTail_.size(), kept - pendingKeep_));
        } else {
            pendingKeep_ = kept;
            pendingTail_.clear();
        }
        pendingTail_ += appended;
        schedule = !redrawQueued_;
        redrawQueued_ = true;
    }
    if (schedule) {
        QMetaObject::invokeMethod(
            this, [this] { QTimer::singleShot(kRedrawDelayMs, this, [this] { showLogText(); }); },
            Qt::QueuedConnection);
    }
}

int COutputDlg::viewPosition(size_t bytes) const
{
    const auto crs = std::lower_bound(shownCrAt_.begin(), shownCrAt_.end(), bytes) - shownCrAt_.begin();
    return static_cast<int>(bytes - static_cast<size_t>(crs));
}

void COutputDlg::showLogText()
{
    size_t keep;
    std::string tail;
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        if (!redrawQueued_) return;
        keep = std::min(pendingKeep_, shownBytes_);
        tail.swap(pendingTail_);
        shownBytes_ = keep + tail.size();
        redrawQueued_ = false;
    }
    QTextCursor cursor(text_->document());
    cursor.movePosition(QTextCursor::End);
    const int end = cursor.position();
    const int from = viewPosition(keep);
    if (from < end) {
        cursor.setPosition(from);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    while (!shownCrAt_.empty() && shownCrAt_.back() >= keep) shownCrAt_.pop_back();
    for (size_t i = tail.find('\r'); i != std::string::npos; i = tail.find('\r', i + 1)) shownCrAt_.push_back(keep + i);
    QString piece = fromCp1252(tail);
    piece.remove(QLatin1Char('\r'));
    if (!piece.isEmpty()) {
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(piece);
    }
    text_->moveCursor(QTextCursor::End);
    text_->verticalScrollBar()->setValue(text_->verticalScrollBar()->maximum());
}

void COutputDlg::setCloseAllowed(bool allowed)
{
    QMetaObject::invokeMethod(this, [this, allowed] { applyCloseAllowed(allowed); }, Qt::AutoConnection);
}

void COutputDlg::applyCloseAllowed(bool allowed)
{
    closeAllowed_ = allowed;
    ok_->setEnabled(allowed);
    if (allowed) ok_->setFocus();
}

void COutputDlg::closeEvent(QCloseEvent* event)
{
    if (!closeAllowed_) {
        event->ignore();
        return;
    }
    // The window only hides; the worker that owns it sees that and has it destroyed.
    closed_ = true;
    event->accept();
}

void COutputDlg::reject()
{
    // Escape ends the log window only where OK would.
    if (closeAllowed_) close();
}

bool COutputDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == text_ && event->type() == QEvent::FocusIn) {
        // Focus never selects the whole log: the caret goes to the end with nothing selected.
        QMetaObject::invokeMethod(this, [this] { text_->moveCursor(QTextCursor::End); }, Qt::QueuedConnection);
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace vst::ui
