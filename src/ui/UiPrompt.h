#pragma once
// Every message box and modal dialog the main window shows goes through this interface, so that
// tests can answer them from a script. QtPrompt is the operator's: real message boxes and the real
// dialogs.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/OperatorPrompt.h"

namespace vst::net {
struct DeviceRecord;
}
namespace vst::app {
struct NetworkCard;
}
namespace vst::config {
struct CalibrationRequest;
}

namespace vst::ui {

// What the endurance-run dialog yields on OK.
struct EnduranceRunChoice {
    bool repair = false;
    std::string number;
    std::vector<uint32_t> serials;  // one per device
};

struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    std::string defaultName;       // Windows-1252; the file name offered by a save dialog
    std::string defaultExtension;  // without the dot: "hex", "bak"
    std::string filter;            // "Vestrolan Firmware (*.hex)"
};

// The fixed file-dialog filters and names of the station.
inline constexpr const char* kFirmwareFilter = "Vestrolan Firmware (*.hex)";
inline constexpr const char* kFirmwareExtension = "hex";
inline constexpr const char* kBackupFilter = "Vestrolan Backup (*.bak)";
inline constexpr const char* kBackupExtension = "bak";
inline constexpr const char* kBackupDefaultName = "config-processlist";
inline constexpr const char* kDeviceListFilter = "CSV (*.csv)";
inline constexpr const char* kDeviceListExtension = "csv";
inline constexpr const char* kDeviceListDefaultName = "Vestrolan-devices";
inline constexpr const char* kLogFilter = "Log (*.log)";
inline constexpr const char* kLogExtension = "log";
inline constexpr const char* kLogDefaultName = "Log";

// What the language dialog did.
struct LanguageChoice {
    bool changed = false;                     // OK was pressed: the text language is switched
    std::optional<std::string> storeFailure;  // the choice was not stored: the reason (Windows-1252)
};

class UiPrompt : public app::OperatorPrompt {
public:
    // An open or save file dialog (a save dialog asks before it overwrites a file). The chosen
    // path (Windows-1252), or nullopt when cancelled.
    virtual std::optional<std::string> chooseFile(const FileDialogRequest& request) = 0;

    // CPersDlg over "MA.LST" in the serial-number folder: the chosen sign, or nullopt when the
    // dialog was cancelled or the list could not be offered.
    virtual std::optional<std::string> askOperatorSign(const std::string& serialNumberPath) = 0;
    // CRepNoDlg: the repair number, or nullopt.
    virtual std::optional<std::string> askRepairNumber() = 0;
    // CDauerlaufDlg (OK checks the addresses on `card` from `target` when a card is given): the
    // choice, or nullopt when it was cancelled.
    virtual std::optional<EnduranceRunChoice> askEnduranceRun(const app::NetworkCard* card, uint32_t target)
    {
        (void)card;
        (void)target;
        return std::nullopt;
    }

    // The device dialogs change the record only on OK and answer whether OK was pressed.
    virtual bool editSerialNumber(net::DeviceRecord& record) = 0;     // CSerialNoDlg
    virtual bool editDeviceName(net::DeviceRecord& record) = 0;       // CNameDlg
    virtual bool editNetworkSettings(net::DeviceRecord& record) = 0;  // CNetDlg

    // CLangDlg: whether OK changed the language (the offset is already switched) and, when the
    // choice could not be stored, why.
    virtual LanguageChoice chooseLanguage() = 0;
    virtual void showAbout() = 0;

    // The configuration assistant: the new configuration, or nullopt.
    virtual std::optional<std::string> runConfigurationAssistant(const std::string& configuration, bool editable) = 0;
    // The energy-sensor calibration dialog: true when OK filled in the request.
    virtual bool calibrateEnergySensor(config::CalibrationRequest& request) = 0;

    // Opens an address with the system's default program (a device's web page in the browser).
    virtual void openUrl(const std::string& url) = 0;
};

}  // namespace vst::ui
