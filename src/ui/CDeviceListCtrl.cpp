#include "ui/CDeviceListCtrl.h"

#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>

#include <algorithm>

#include "app/Texts.h"
#include "ops/DeviceColumns.h"
#include "ui/PaintedIcon.h"
#include "ui/RowColours.h"
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
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setSortIndicatorShown(false);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CDeviceListCtrl::onHeaderClicked);
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
    // Names sort by the rules of the language; the descriptions follow it too.
    sorter_ = DeviceSortFilter();
    resort();
    for (int row = 0; row < rowCount(); ++row) showRow(row);
}

QIcon CDeviceListCtrl::lockIcon()
{
    static const QIcon icon = paintedIcon({16, 24, 32}, [](QPainter& painter, int size) {
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
    });
    return icon;
}

QColor CDeviceListCtrl::rowColour(int32_t rowStatus) { return rowBackground(rowStatus); }

void CDeviceListCtrl::showRow(int viewRow)
{
    const net::DeviceRecord* record = recordAtView(viewRow);
    if (!record) return;
    const QColor colour = rowColour(record->rowStatus);
    // A coloured row says what its colour means, to the eye (tooltip) and to a screen reader.
    const QString state = rowStateText(record->rowStatus);
    for (int column = 0; column < kColumns; ++column) {
        QTableWidgetItem* cell = item(viewRow, column);
        if (!cell) {
            cell = new QTableWidgetItem;
            cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            cell->setTextAlignment(Qt::AlignCenter);
            setItem(viewRow, column, cell);
        }
        // Item texts are never interpreted as markup, whatever a device sends as its name.
        cell->setText(column == 0 ? QString() : fromCp1252(ops::deviceColumnText(*record, column)));
        if (colour.isValid()) cell->setBackground(colour);
        else cell->setData(Qt::BackgroundRole, QVariant());
        // A coloured row's text takes the colour that reads best on it, whatever the palette.
        if (colour.isValid()) cell->setForeground(readableTextColour(colour));
        else cell->setData(Qt::ForegroundRole, QVariant());
        cell->setData(Qt::ToolTipRole, state.isEmpty() ? QVariant() : QVariant(state));
        QStringList description;
        if (!state.isEmpty()) description << state;
        // A protected device shows a lock beside its name; the text itself does not change.
        if (column == ops::kColumnName) {
            const bool locked = record->passwordRequired;
            cell->setData(Qt::DecorationRole, locked ? QVariant(lockIcon()) : QVariant());
            if (locked) description << uiText(app::TextId{37303});
        }
        cell->setData(Qt::AccessibleDescriptionRole,
                      description.isEmpty() ? QVariant() : QVariant(description.join(QStringLiteral(", "))));
    }
    const bool hidden = !DeviceSortFilter::matches(*record, filter_);
    if (hidden != isRowHidden(viewRow)) setRowHidden(viewRow, hidden);
}

net::DeviceRecord* CDeviceListCtrl::recordAtView(int viewRow) const
{
    if (viewRow < 0 || viewRow >= static_cast<int>(order_.size())) return nullptr;
    return devices_.at(order_[static_cast<size_t>(viewRow)]);
}

int CDeviceListCtrl::viewRowOf(const net::DeviceRecord& record) const
{
    const int row = devices_.rowOf(record);
    const auto it = std::find(order_.begin(), order_.end(), row);
    return row < 0 || it == order_.end() ? -1 : static_cast<int>(it - order_.begin());
}

int CDeviceListCtrl::insertionRow(const net::DeviceRecord& record) const
{
    if (sortOrder_.column < 0) return static_cast<int>(order_.size());
    // After every row it does not sort before: equal rows keep the found order.
    const auto it = std::upper_bound(order_.begin(), order_.end(), &record, [this](const net::DeviceRecord* r, int row) {
        return sorter_.before(*r, *devices_.at(row), sortOrder_);
    });
    return static_cast<int>(it - order_.begin());
}

net::DeviceRecord* CDeviceListCtrl::addDevice(std::unique_ptr<net::DeviceRecord> record)
{
    net::DeviceRecord* listed = devices_.add(std::move(record));
    if (!listed) return nullptr;
    const int viewRow = insertionRow(*listed);
    order_.insert(order_.begin() + viewRow, devices_.count() - 1);
    insertRow(viewRow);
    showRow(viewRow);
    emit shownRowsChanged();
    return listed;
}

net::DeviceRecord* CDeviceListCtrl::replaceDevice(std::unique_ptr<net::DeviceRecord> record)
{
    if (!record) return nullptr;
    const int before = devices_.count();
    net::DeviceRecord* listed = devices_.replace(std::move(record));
    if (devices_.count() > before) {
        const int viewRow = insertionRow(*listed);
        order_.insert(order_.begin() + viewRow, devices_.count() - 1);
        insertRow(viewRow);
        showRow(viewRow);
    } else {
        showRow(viewRowOf(*listed));
        // New values may move the row.
        resort();
    }
    emit shownRowsChanged();
    return listed;
}

void CDeviceListCtrl::removeDevice(const net::DeviceRecord& record)
{
    const int row = devices_.rowOf(record);
    if (row < 0) return;
    const int viewRow = viewRowOf(record);
    // The records go first, so that a selection change announced while the view drops the row
    // finds the view and the records in step.
    devices_.remove(record);
    order_.erase(order_.begin() + viewRow);
    for (int& later : order_) {
        if (later > row) --later;
    }
    removeRow(viewRow);
    emit shownRowsChanged();
}

void CDeviceListCtrl::removeAll()
{
    devices_.clear();
    order_.clear();
    for (int row = rowCount() - 1; row >= 0; --row) removeRow(row);
    emit shownRowsChanged();
}

void CDeviceListCtrl::selectOnly(int viewRow)
{
    clearSelection();
    if (viewRow < 0 || viewRow >= rowCount()) return;
    setCurrentCell(viewRow, 1, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
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
    // A row the filter hides is never acted on, even when a select-all took it in.
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        if (!isRowHidden(index.row())) rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CDeviceListCtrl::selectAll()
{
    if (selectionMode() != QAbstractItemView::ExtendedSelection) return;
    QItemSelection shown;
    for (int row = 0; row < rowCount(); ++row) {
        if (!isRowHidden(row)) shown.select(model()->index(row, 0), model()->index(row, kColumns - 1));
    }
    selectionModel()->select(shown, QItemSelectionModel::ClearAndSelect);
}

std::vector<net::DeviceRecord*> CDeviceListCtrl::selectedRecords() const
{
    std::vector<int> rows;
    for (int viewRow : selectedRows()) rows.push_back(order_[static_cast<size_t>(viewRow)]);
    std::sort(rows.begin(), rows.end());
    std::vector<net::DeviceRecord*> records;
    for (int row : rows) records.push_back(devices_.at(row));
    return records;
}

int CDeviceListCtrl::focusedSelectedRow() const
{
    const int focused = currentRow();
    if (focused >= 0 && !isRowHidden(focused) && selectionModel()->isRowSelected(focused, QModelIndex())) return focused;
    const auto rows = selectedRows();
    return rows.size() == 1 ? rows.front() : -1;
}

void CDeviceListCtrl::refreshRows()
{
    resort();
    for (int row = 0; row < rowCount(); ++row) showRow(row);
    viewport()->update();
}

void CDeviceListCtrl::onHeaderClicked(int column)
{
    if (column < ops::kColumnName || column >= kColumns) return;
    SortOrder order;
    order.column = column;
    order.descending = sortOrder_.column == column && !sortOrder_.descending;
    sortBy(order);
    emit sortedByOperator();
}

void CDeviceListCtrl::sortBy(const SortOrder& order)
{
    sortOrder_ = order.column >= ops::kColumnName && order.column < kColumns ? order : SortOrder{};
    horizontalHeader()->setSortIndicatorShown(sortOrder_.column >= 0);
    if (sortOrder_.column >= 0) {
        horizontalHeader()->setSortIndicator(sortOrder_.column,
                                             sortOrder_.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
    resort();
}

void CDeviceListCtrl::resort()
{
    std::vector<int> order = sorter_.viewOrder(devices_, sortOrder_);
    if (order == order_) return;
    // The selection and the focus stay with their devices, without telling anyone: the same
    // devices stay selected.
    const std::vector<net::DeviceRecord*> selected = selectedRecords();
    const net::DeviceRecord* focused = recordAtView(currentRow());
    order_ = std::move(order);
    const QSignalBlocker blocker(selectionModel());
    selectionModel()->clear();
    for (int row = 0; row < rowCount(); ++row) showRow(row);
    for (const net::DeviceRecord* record : selected) {
        selectionModel()->select(model()->index(viewRowOf(*record), 0),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    if (focused) selectionModel()->setCurrentIndex(model()->index(viewRowOf(*focused), 1), QItemSelectionModel::NoUpdate);
    viewport()->update();
}

void CDeviceListCtrl::setFilter(const QString& text)
{
    filter_ = text;
    for (int row = 0; row < rowCount(); ++row) {
        const bool hidden = !DeviceSortFilter::matches(*recordAtView(row), filter_);
        if (hidden != isRowHidden(row)) setRowHidden(row, hidden);
        // A row the filter hides is not acted on.
        if (hidden && selectionModel()->isRowSelected(row, QModelIndex())) {
            selectionModel()->select(model()->index(row, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        }
    }
    const net::DeviceRecord* current = devices_.current();
    if (current && !isShown(*current)) devices_.setCurrent(nullptr);
    emit shownRowsChanged();
}

int CDeviceListCtrl::shownCount() const
{
    int shown = 0;
    for (int row = 0; row < rowCount(); ++row) shown += isRowHidden(row) ? 0 : 1;
    return shown;
}

bool CDeviceListCtrl::isShown(const net::DeviceRecord& record) const
{
    const int viewRow = viewRowOf(record);
    return viewRow >= 0 && !isRowHidden(viewRow);
}

void CDeviceListCtrl::setColumnWidths(const std::vector<int>& widths)
{
    savedWidths_ = widths;
    fitColumns();
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
    // Widths the operator chose are kept while they still fit the list.
    if (savedWidths_.size() == kColumns - 1) {
        int sum = 0;
        for (int width : savedWidths_) sum += width < 0 ? available + 1 : width;
        if (sum <= available * 2) {
            setColumnWidth(0, 0);
            for (int column = 1; column < kColumns; ++column) setColumnWidth(column, savedWidths_[static_cast<size_t>(column - 1)]);
            return;
        }
    }
    for (int column = 0; column < kColumns; ++column) {
        setColumnWidth(column, static_cast<int>(available * kWidthFractions[static_cast<size_t>(column)]));
    }
}

}  // namespace vst::ui
