#include "ui/COutputDlg.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <QVBoxLayout>

#include "platform/FileSystem.h"
#include "ui/UiPrompt.h"
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
    // Copy and save work at any time; neither closes the window.
    copy_ = new QPushButton(this);
    copy_->setObjectName(QStringLiteral("copy"));
    save_ = new QPushButton(this);
    save_->setObjectName(QStringLiteral("save"));
    for (QPushButton* button : {copy_, save_}) button->setAutoDefault(false);
    applyTexts();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copy_);
    buttons->addWidget(save_);
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addStretch(1);
    // The same width right of OK as left of it keeps OK in the middle.
    buttons->addSpacing(copy_->sizeHint().width() + save_->sizeHint().width() + buttons->spacing());
    layout->addLayout(buttons);

    resizeInDialogUnits(this, 300, 165);
    connect(ok_, &QPushButton::clicked, this, [this] { close(); });
    connect(copy_, &QPushButton::clicked, this, &COutputDlg::copyLog);
    connect(save_, &QPushButton::clicked, this, &COutputDlg::saveLogAs);
}

void COutputDlg::applyTexts()
{
    setWindowTitle(uiText(app::TextId{31300}));
    text_->setAccessibleName(windowTitle());
    ok_->setText(uiText(app::TextId{31301}));
    ok_->setAccessibleName(ok_->text());
    copy_->setText(uiText(app::TextId{37456}));
    copy_->setAccessibleName(copy_->text());
    save_->setText(uiText(app::TextId{37457}));
    save_->setAccessibleName(save_->text());
}

std::string COutputDlg::utf8Text() const
{
    // The log's lines end in CR LF already; a bare LF a device sent gets its CR too.
    const std::string log = text();
    std::string crlf;
    crlf.reserve(log.size() + log.size() / 32);
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i] == '\n' && (i == 0 || log[i - 1] != '\r')) crlf += '\r';
        crlf += log[i];
    }
    return platform::cp1252ToUtf8(crlf);
}

void COutputDlg::copyLog() { QGuiApplication::clipboard()->setText(QString::fromStdString(utf8Text())); }

void COutputDlg::saveLogAs()
{
    if (!prompt_) return;
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Save;
    request.defaultName = kLogDefaultName;
    request.defaultExtension = kLogExtension;
    request.filter = kLogFilter;
    const auto file = prompt_->chooseFile(request);
    if (!file) return;
    if (!platform::replaceFile(platform::osPath(*file), utf8Text())) {
        prompt_->messageBox(app::loadText(35224), app::kMbIconError);
    }
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
