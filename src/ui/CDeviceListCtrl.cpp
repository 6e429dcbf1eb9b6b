#include "ui/CDeviceListCtrl.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>

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
