// The main window's view of its devices beyond the template: the filter above the list, the
// count and the countdown under it, the keys, the values screen readers read, and the place,
// columns and sort order kept for the next start.
#include "ui/CMainDlg.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/CDeviceListCtrl.h"
#include "ui/ControlIds.h"
#include "ui/DeviceStatusBar.h"
#include "ui/UiText.h"
#include "ui/WindowState.h"

namespace vst::ui {

namespace {

// Escape in the filter field empties it and goes no further.
class EscapeClears : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* field = qobject_cast<QLineEdit*>(watched);
        if (field && event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            field->clear();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

QLineEdit* CMainDlg::buildFilter()
{
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("filter"));
    filter_->setClearButtonEnabled(true);
    filter_->installEventFilter(new EscapeClears(filter_));
    return filter_;
}

void CMainDlg::connectViewControls()
{
    connect(filter_, &QLineEdit::textChanged, this, &CMainDlg::onFilterChanged);
    connect(list_, &CDeviceListCtrl::shownRowsChanged, this, &CMainDlg::showCount);
    showCount();

    // The keys act through their buttons and menu items, so a disabled one does nothing: F5 is
    // the visible search button (search or cancel), Ctrl+Q "Beenden", Ctrl+E the list export.
    exitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    exportAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    auto* searchKey = new QAction(this);
    searchKey->setShortcut(QKeySequence(Qt::Key_F5));
    addAction(searchKey);
    connect(searchKey, &QAction::triggered, this, [this] {
        for (int id : {kSearchButton, kProductionSearchButton}) {
            auto* button = static_cast<QPushButton*>(control(id));
            if (!button->isHidden() && button->isEnabled()) return button->click();
        }
    });
}

void CMainDlg::onFilterChanged(const QString& text)
{
    const net::DeviceRecord* before = list_->current();
    list_->setFilter(text);
    // A current device the filter hides is no longer the one the buttons act on.
    if (before && !list_->current()) {
        showDevice(nullptr);
        if (pool_.idle()) enableControls(idleSwitches());
    }
}

void CMainDlg::showCount() { statusBar_->setCount(list_->shownCount(), list_->count()); }

void CMainDlg::announceWait(const std::string& step, int seconds) { statusBar_->startCountdown(step, seconds); }

void CMainDlg::setValue(QLabel* field, const QString& text)
{
    field->setText(text);
    nameValues();
}

void CMainDlg::nameValues()
{
    const std::pair<int, QLabel*> values[] = {
        {kOperatorCaption, signLabel_}, {kNumberCaption, batchLabel_}, {kDeviceCaption, deviceLabel_}};
    for (const auto& [caption, field] : values) {
        field->setAccessibleName(oneLine(static_cast<QLabel*>(control(caption))->text() + QLatin1Char(' ') + field->text()));
    }
}

void CMainDlg::restoreState()
{
    if (stateStore_) applyWindowState(*this, *list_, readWindowState(*stateStore_));
}

void CMainDlg::saveState()
{
    if (stateStore_) writeWindowState(*stateStore_, currentWindowState(*this, *list_));
}

}  // namespace vst::ui
