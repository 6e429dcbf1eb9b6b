#pragma once
// The ids of the main window's controls and menu items. Each control carries its id as its object
// name, so tests and the accessibility tree find it by the id.
namespace vst::ui {

enum ControlId : int {
    // The header: captions and value fields of operator, repair or batch number, and device.
    kOperatorCaption = 10000, kOperatorField, kNumberCaption, kNumberField, kDeviceCaption, kDeviceField,
    // The search row.
    kSearchButton = 10006, kCardList, kAddressCaption, kAddressField,
    // The service buttons, then the workflow buttons of the operating modes, then "Beenden".
    kUpdateButton = 10010, kSerialNumberButton, kNetworkButton, kNameButton, kBackupButton, kRestoreButton,
    kStockUpdateButton = 10016, kEnduranceStartButton, kEnduranceStopButton, kProductionSearchButton,
    kProgrammingButton = 10020, kFinalTestButton, kRepairStartButton, kRepairEndButton, kExitButton,
    // The device list and the two progress bars.
    kDeviceListControl = 10026, kHeadingProgress, kStepProgress,
};

enum MenuId : int { kExitMenu = 20011, kExportMenu = 20012, kReportMenu = 20013, kLanguageMenu = 20021, kAboutMenu = 20022 };

}  // namespace vst::ui
