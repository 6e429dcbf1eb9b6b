#pragma once
// The assistant's sensor list: one row per fitted sensor with its name, module, address and aux
// address, full-row selection and grid lines. The rows show the assistant's SensorList, which
// owns the sensors; refresh() redraws them after a change.
#include <QTableWidget>

#include <cstddef>
#include <optional>

#include "config/SensorList.h"

namespace vst::ui {

class CSensorListCtrl : public QTableWidget {
    Q_OBJECT
public:
    explicit CSensorListCtrl(QWidget* parent = nullptr);

    void setSensors(const config::SensorList* sensors);
    // Rebuilds the rows from the list; the selection is cleared.
    void refresh();
    std::optional<size_t> selectedSensor() const;
    // Selects the row and makes it the current one.
    void selectSensor(size_t row);

    // The texts of a row's columns 1-4.
    static QString moduleText(const config::ConfiguredSensor& sensor);
    static QString addressText(uint8_t address);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitColumns();
    const config::SensorList* sensors_ = nullptr;
};

}  // namespace vst::ui
