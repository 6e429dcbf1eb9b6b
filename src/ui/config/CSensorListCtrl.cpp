#include "ui/config/CSensorListCtrl.h"

#include <QHeaderView>
#include <QResizeEvent>

#include "ui/config/DialogText.h"

namespace vst::ui {

using dialogtext::fromCp1252;
using dialogtext::uiText;

CSensorListCtrl::CSensorListCtrl(QWidget* parent) : QTableWidget(parent)
{
    setColumnCount(5);
    setHorizontalHeaderLabels(
        {QString(), uiText(app::TextId{31007}), uiText(app::TextId{31008}), uiText(app::TextId{31009}),
         uiText(app::TextId{31010})});
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setStretchLastSection(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fitColumns();
}

void CSensorListCtrl::setSensors(const config::SensorList* sensors)
{
    sensors_ = sensors;
    refresh();
}

QString CSensorListCtrl::moduleText(const config::ConfiguredSensor& sensor)
{
    return QString::asprintf("I2C%u", static_cast<unsigned>(sensor.module) + 1);
}

QString CSensorListCtrl::addressText(uint8_t address)
{
    return QString::asprintf("0x%02X", static_cast<unsigned>(address));
}

void CSensorListCtrl::refresh()
{
    const int rows = sensors_ ? static_cast<int>(sensors_->size()) : 0;
    setRowCount(rows);
    for (int row = 0; row < rows; ++row) {
        const config::ConfiguredSensor& sensor = sensors_->at(static_cast<size_t>(row));
        const QString texts[5] = {QString(), fromCp1252(sensor.name), moduleText(sensor), addressText(sensor.address),
                                  addressText(sensor.auxAddress)};
        for (int column = 0; column < 5; ++column) setItem(row, column, new QTableWidgetItem(texts[column]));
    }
    // no row stays selected or current: the rows may stand for other sensors now
    selectionModel()->clear();
}

std::optional<size_t> CSensorListCtrl::selectedSensor() const
{
    const auto rows = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    if (rows.isEmpty()) return std::nullopt;
    return static_cast<size_t>(rows.first().row());
}

void CSensorListCtrl::selectSensor(size_t row)
{
    if (row >= static_cast<size_t>(rowCount())) return;
    selectRow(static_cast<int>(row));
    setCurrentCell(static_cast<int>(row), 1);
}

void CSensorListCtrl::resizeEvent(QResizeEvent* event)
{
    QTableWidget::resizeEvent(event);
    fitColumns();
}

// Column 0 is hidden; the others share the width left of the vertical scroll bar 4:2:2:2.
void CSensorListCtrl::fitColumns()
{
    const int width = viewport()->width();
    setColumnWidth(0, 0);
    setColumnWidth(1, width * 4 / 10);
    for (int column = 2; column < 5; ++column) setColumnWidth(column, width * 2 / 10);
}

}  // namespace vst::ui
