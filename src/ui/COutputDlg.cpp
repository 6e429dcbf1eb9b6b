#include "ui/COutputDlg.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
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

void COutputDlg::textChanged(const std::string&)
{
    // Called on the writer's thread; the view reads the whole current text on its own thread, so
    // it always ends up showing the latest state whatever order the updates arrive in.
    QMetaObject::invokeMethod(this, [this] { showLogText(); }, Qt::QueuedConnection);
}

void COutputDlg::showLogText()
{
    QString log = fromCp1252(text());
    log.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text_->setPlainText(log);
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
