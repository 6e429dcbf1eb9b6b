#pragma once
// The configuration assistant: the operator picks a base device, adds extensions and single
// sensors, moves and changes them, and chooses the language of the names; OK writes the device
// configuration. In view-only mode only the language of the given configuration can change.
#include <QDialog>

#include <array>
#include <functional>
#include <string>

#include "app/OperatorPrompt.h"
#include "config/ConfigurationAssistant.h"

class QComboBox;
class QPushButton;
class QRadioButton;

namespace vst::ui {

class CSensorDlg;
class CSensorListCtrl;

class CDeviceDlg : public QDialog {
    Q_OBJECT
public:
    // `templateFolder` holds "setup.ini" (the "_Vorlagen" folder below the serial-number path).
    CDeviceDlg(app::OperatorPrompt& prompt, std::string configuration, bool editable, std::string templateFolder,
               QWidget* parent = nullptr);

    // Loads the catalogue, fills the controls and reads the configuration into the list. False
    // (after the message 31019) when the catalogue cannot be used; the dialog is then cancelled.
    bool initialise();
    // Initialises (once) and runs the dialog modally.
    int exec() override;

    // The configuration: the input until OK, the new one after it.
    const std::string& configuration() const { return assistant_.configuration(); }
    const config::ConfigurationAssistant& assistant() const { return assistant_; }

    // Runs the sensor dialog for a row and tells whether it was confirmed; tests replace it.
    std::function<bool(CSensorDlg&)> runSensorDialog;

    // Changes the selected row through the sensor dialog (button 11009 and a double click).
    void changeSelectedRow();

private:
    void buildControls();
    void applyMode();
    void refreshList(std::optional<size_t> select = std::nullopt);
    void updateRowButtons();
    void onBaseDeviceChosen(int index);
    // Adds what `choice` names from the catalogue (an extension's sensors or a single sensor).
    using AddFromCatalogue = config::AssistantResult (config::ConfigurationAssistant::*)(size_t);
    void addChosen(QComboBox* choice, AddFromCatalogue add);
    void onMove(bool up);
    void onRemove();
    void onOk();
    void warn(app::TextId id);

    app::OperatorPrompt& prompt_;
    config::ConfigurationAssistant assistant_;
    std::string templateFolder_;
    bool initialised_ = false;

    QRadioButton* german_ = nullptr;
    QRadioButton* english_ = nullptr;
    QComboBox* baseDevices_ = nullptr;
    QComboBox* extensions_ = nullptr;
    QPushButton* addExtension_ = nullptr;
    CSensorListCtrl* list_ = nullptr;
    // The buttons that act on the list's selected row, from left to right.
    struct RowButtons {
        QPushButton* change = nullptr;
        QPushButton* up = nullptr;
        QPushButton* down = nullptr;
        QPushButton* remove = nullptr;
        std::array<QPushButton*, 4> all() const { return {change, up, down, remove}; }
    } rowButtons_;
    QComboBox* sensors_ = nullptr;
    QPushButton* addSensor_ = nullptr;
};

}  // namespace vst::ui
