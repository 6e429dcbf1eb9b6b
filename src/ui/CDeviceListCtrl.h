#pragma once
// The list of found devices: seven centred columns (column 0 empty and zero wide), full-row
// selection, grid lines, one background colour per row from the record's rowStatus, and a lock
// beside the name of a password-protected device (a decoration only: the texts stay). The
// list owns one DeviceRecord per row (an ops::DeviceList kept row for row with the view) and
// identifies devices by MAC address.
#include <QColor>
#include <QIcon>
#include <QTableWidget>

#include <array>
#include <memory>
#include <vector>

#include "net/DeviceRecord.h"
#include "ops/DeviceList.h"

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

    // Selects only this row and puts the selection mark on it (-1 clears the selection).
    void selectOnly(int row);
    int selectedRow() const;
    // Several rows may be selected at once (service mode), or only one.
    void allowSeveralRows(bool several);
    // The selected rows, top to bottom.
    std::vector<int> selectedRows() const;
    // The row that got the focus last, while it is selected (a single selected row always is);
    // -1 when there is none.
    int focusedSelectedRow() const;

    // Rewrites the texts and colours of every row from its record.
    void refreshRows();
    void applyHeaderTexts();

    // The background of a row status: yellow, green, red; invalid (the default) for any other.
    static QColor rowColour(int32_t rowStatus);
    // The lock in the name cell of a password-protected device.
    static QIcon lockIcon();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showRow(int row);
    void fitColumns();

    ops::DeviceList devices_;
};

}  // namespace vst::ui
