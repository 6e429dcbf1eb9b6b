#include "ui/CDeviceListCtrl.h"

#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

#include "app/Texts.h"
#include "ops/DeviceColumns.h"
#include "ui/UiText.h"

namespace vst::ui {

CDeviceListCtrl::CDeviceListCtrl(QWidget* parent) : QTableWidget(0, kColumns, parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setSortingEnabled(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    horizontalHeader()->setMinimumSectionSize(0);
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
    applyHeaderTexts();
    fitColumns();
}

void CDeviceListCtrl::applyHeaderTexts()
{
    QStringList headers;
    headers << QString() << uiText(30031) << uiText(30032) << uiText(30033) << uiText(30034) << uiText(30035)
            << uiText(30036);
    setHorizontalHeaderLabels(headers);
    // The list's name for screen readers: its column headers.
    setAccessibleName(headers.mid(1).join(QStringLiteral(", ")));
    // The lock's description follows the language too.
    for (int row = 0; row < rowCount(); ++row) showRow(row);
}

QIcon CDeviceListCtrl::lockIcon()
{
    static const QIcon icon = [] {
        QIcon lock;
        for (int size : {16, 24, 32}) {
            QPixmap pixmap(size, size);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            const qreal u = size / 16.0;
            // The shackle: an arch over the body.
            QPen shackle(QColor(90, 90, 90), 1.8 * u);
            painter.setPen(shackle);
            painter.setBrush(Qt::NoBrush);
            QPainterPath arch;
            arch.moveTo(4.5 * u, 8 * u);
            arch.lineTo(4.5 * u, 5.5 * u);
            arch.arcTo(QRectF(4.5 * u, 2 * u, 7 * u, 7 * u), 180, -180);
            arch.lineTo(11.5 * u, 8 * u);
            painter.drawPath(arch);
            // The body with its keyhole.
            painter.setPen(QPen(QColor(120, 85, 10), 1 * u));
            painter.setBrush(QColor(225, 170, 40));
            painter.drawRoundedRect(QRectF(2.5 * u, 7.5 * u, 11 * u, 7.5 * u), 1.5 * u, 1.5 * u);
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(70, 50, 10));
            painter.drawEllipse(QPointF(8 * u, 10.5 * u), 1.2 * u, 1.2 * u);
            painter.drawRect(QRectF(7.5 * u, 10.5 * u, 1 * u, 2.5 * u));
            painter.end();
            lock.addPixmap(pixmap);
        }
        return lock;
    }();
    return icon;
}

QColor CDeviceListCtrl::rowColour(int32_t rowStatus)
{
    switch (rowStatus) {
    case 1: return QColor(255, 255, 0);
    case 2: return QColor(0, 255, 0);
    case 3: return QColor(255, 0, 0);
    default: return QColor();
    }
}

void CDeviceListCtrl::showRow(int row)
{
    const net::DeviceRecord* record = devices_.at(row);
    if (!record) return;
    const QColor colour = rowColour(record->rowStatus);
    for (int column = 0; column < kColumns; ++column) {
        QTableWidgetItem* cell = item(row, column);
        if (!cell) {
            cell = new QTableWidgetItem;
            cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            cell->setTextAlignment(Qt::AlignCenter);
            setItem(row, column, cell);
        }
        // Item texts are never interpreted as markup, whatever a device sends as its name.
        cell->setText(column == 0 ? QString() : fromCp1252(ops::deviceColumnText(*record, column)));
        if (colour.isValid()) cell->setBackground(colour);
        else cell->setData(Qt::BackgroundRole, QVariant());
        // A coloured row keeps black text, whatever the palette.
        if (colour.isValid()) cell->setForeground(QColor(Qt::black));
        else cell->setData(Qt::ForegroundRole, QVariant());
        // A protected device shows a lock beside its name; the text itself does not change.
        if (column == ops::kColumnName) {
            const bool locked = record->passwordRequired;
            cell->setData(Qt::DecorationRole, locked ? QVariant(lockIcon()) : QVariant());
            cell->setData(Qt::AccessibleDescriptionRole, locked ? QVariant(uiText(app::TextId{37303})) : QVariant());
        }
    }
}

net::DeviceRecord* CDeviceListCtrl::addDevice(std::unique_ptr<net::DeviceRecord> record)
{
    net::DeviceRecord* listed = devices_.add(std::move(record));
    if (!listed) return nullptr;
    const int row = rowCount();
    insertRow(row);
    showRow(row);
    return listed;
}

net::DeviceRecord* CDeviceListCtrl::replaceDevice(std::unique_ptr<net::DeviceRecord> record)
{
    if (!record) return nullptr;
    const int before = devices_.count();
    net::DeviceRecord* listed = devices_.replace(std::move(record));
    const int row = devices_.rowOf(*listed);
    if (devices_.count() > before) insertRow(row);
    showRow(row);
    return listed;
}

void CDeviceListCtrl::removeDevice(const net::DeviceRecord& record)
{
    const int row = devices_.rowOf(record);
    if (row < 0) return;
    // The records go first, so that a selection change announced while the view drops the row
    // finds the view and the records in step.
    devices_.remove(record);
    removeRow(row);
}

void CDeviceListCtrl::removeAll()
{
    devices_.clear();
    for (int row = rowCount() - 1; row >= 0; --row) removeRow(row);
}

void CDeviceListCtrl::selectOnly(int row)
{
    clearSelection();
    if (row < 0 || row >= rowCount()) return;
    setCurrentCell(row, 1, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int CDeviceListCtrl::selectedRow() const
{
    const auto rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void CDeviceListCtrl::allowSeveralRows(bool several)
{
    setSelectionMode(several ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

std::vector<int> CDeviceListCtrl::selectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int CDeviceListCtrl::focusedSelectedRow() const
{
    const int focused = currentRow();
    if (focused >= 0 && selectionModel()->isRowSelected(focused, QModelIndex())) return focused;
    const auto rows = selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.front().row() : -1;
}

void CDeviceListCtrl::refreshRows()
{
    for (int row = 0; row < rowCount(); ++row) showRow(row);
    viewport()->update();
}

void CDeviceListCtrl::resizeEvent(QResizeEvent* event)
{
    QTableWidget::resizeEvent(event);
    fitColumns();
}

void CDeviceListCtrl::fitColumns()
{
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const int available = contentsRect().width() - scrollBar;
    for (int column = 0; column < kColumns; ++column) {
        setColumnWidth(column, static_cast<int>(available * kWidthFractions[static_cast<size_t>(column)]));
    }
}

}  // namespace vst::ui
