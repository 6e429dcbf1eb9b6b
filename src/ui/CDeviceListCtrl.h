#pragma once
// The list of found devices: seven centred columns (column 0 empty and zero wide), full-row
// selection, grid lines, one background colour per row from the record's rowStatus, and a lock
// beside the name of a password-protected device (a decoration only: the texts stay). The
// list owns one DeviceRecord per row (an ops::DeviceList in the order the devices were found) and
// identifies devices by MAC address. A click on a column header sorts the view, the filter hides
// rows; neither changes the device list: "row" below is a row of the device list (found order),
// "view row" one of the drawn table.
#include <QColor>
#include <QIcon>
#include <QTableWidget>

#include <array>
#include <memory>
#include <vector>

#include "net/DeviceRecord.h"
#include "ops/DeviceList.h"
#include "ui/DeviceSortFilter.h"

namespace vst::ui {

class CDeviceListCtrl : public QTableWidget {
    Q_OBJECT
public:
    static constexpr int kColumns = 7;
    // Column widths as fractions of the client width without a vertical scroll bar.
    static constexpr std::array<double, kColumns> kWidthFractions = {0.0, 0.175, 0.2, 0.2, 0.175, 0.125, 0.125};

    explicit CDeviceListCtrl(QWidget* parent = nullptr);

    const ops::DeviceList& devices() const { return devices_; }
    int count() const { return devices_.count(); }
    // The record of a row; nullptr outside 0..count-1.
    net::DeviceRecord* recordAt(int row) const { return devices_.at(row); }
    int rowOf(const net::DeviceRecord& record) const { return devices_.rowOf(record); }

    // Appends the device unless one with the same MAC is listed; then the new record is dropped
    // and nullptr returned.
    net::DeviceRecord* addDevice(std::unique_ptr<net::DeviceRecord> record);
    // The row with the same MAC takes the record and shows it; the old record is dropped. A
    // device not listed yet is appended.
    net::DeviceRecord* replaceDevice(std::unique_ptr<net::DeviceRecord> record);
    // Drops the row with the same MAC, and its record.
    void removeDevice(const net::DeviceRecord& record);
    // Drops every row, the last first.
    void removeAll();

    net::DeviceRecord* current() const { return devices_.current(); }
    void setCurrent(net::DeviceRecord* record) { devices_.setCurrent(record); }

    // The record drawn in a view row; nullptr outside the table.
    net::DeviceRecord* recordAtView(int viewRow) const;
    // The view row that draws the record, or -1.
    int viewRowOf(const net::DeviceRecord& record) const;

    // Selects only this view row and puts the selection mark on it (-1 clears the selection).
    void selectOnly(int viewRow);
    int selectedRow() const;
    // Several rows may be selected at once (service mode), or only one.
    void allowSeveralRows(bool several);
    // The selected view rows, top to bottom.
    std::vector<int> selectedRows() const;
    // Selects every row the filter shows (Ctrl+A).
    void selectAll() override;
    // The records of the selected rows, in found order.
    std::vector<net::DeviceRecord*> selectedRecords() const;
    // The view row that got the focus last, while it is selected (a single selected row always
    // is); -1 when there is none.
    int focusedSelectedRow() const;

    // Sorts the view by a column (-1: found order) and shows the header's indicator.
    void sortBy(const SortOrder& order);
    const SortOrder& sortOrder() const { return sortOrder_; }
    // Keeps only the rows that contain the text; hidden rows are deselected.
    void setFilter(const QString& text);
    const QString& filter() const { return filter_; }
    // The rows the filter lets through.
    int shownCount() const;
    bool isShown(const net::DeviceRecord& record) const;
    // Column widths the operator chose earlier (columns 1 to 6; empty: the fractions).
    void setColumnWidths(const std::vector<int>& widths);

    // Rewrites the texts and colours of every row from its record.
    void refreshRows();
    void applyHeaderTexts();

    // The background of a row status: yellow, green, red; invalid (the default) for any other.
    static QColor rowColour(int32_t rowStatus);
    // The lock in the name cell of a password-protected device.
    static QIcon lockIcon();

signals:
    // Rows came, went or were filtered: the count of shown rows may have changed.
    void shownRowsChanged();
    // The operator sorted the view by a header click.
    void sortedByOperator();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showRow(int viewRow);
    void fitColumns();
    void onHeaderClicked(int column);
    // Draws the view in the order of the sort again when that order changed, keeping the selection.
    void resort();
    // The view row where a new record goes.
    int insertionRow(const net::DeviceRecord& record) const;

    ops::DeviceList devices_;
    std::vector<int> order_;  // view row -> row
    DeviceSortFilter sorter_;
    SortOrder sortOrder_;
    QString filter_;
    std::vector<int> savedWidths_;
};

}  // namespace vst::ui
