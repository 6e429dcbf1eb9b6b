#pragma once
// The station's main window: the operator's sign, the repair or batch number, the current device,
// the device list, two progress bars and the buttons of the operating mode. It owns the device
// list, the network cards and the run flags. Each service button checks its preconditions, asks
// what it needs through the prompt, disables the controls and starts one worker; the worker talks
// to the window only through the worker channel, whose calls run here on the window's thread.
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/NetworkCards.h"
#include "app/SerialLog.h"
#include "app/Texts.h"
#include "net/DeviceRecord.h"
#include "ops/Starter.h"
#include "ops/WorkerPool.h"
#include "ops/PasswordMemory.h"
#include "ops/ProductionStarts.h"
#include "ops/ServiceStarts.h"
#include "ops/UdpCommands.h"
#include "ui/UiPrompt.h"
#include "ops/WorkerChannel.h"
#include "platform/SettingsStore.h"

class QAction;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;

namespace vst::config {
struct CalibrationRequest;
}

namespace vst::ui {

class CDeviceListCtrl;
class CIpAddressCtrl;
class COutputDlg;
class CProgressTextCtrl;
class DeviceStatusBar;
class WindowChannel;
struct DialogUnits;

// The switches of the control-enabling routine.
struct ControlSwitches {
    bool search = false;          // 10006, 10016, 10019
    bool address = false;         // 10007, 10009
    bool device = false;          // 10010 to 10015, 10021 to 10023
    bool update = false;          // 10010 also without a current device: several rows selected
    bool programming = false;     // 10020, while programming is allowed
    bool list = false;            // 10026
    bool enduranceStart = false;  // 10017
    bool enduranceStop = false;   // 10018
};

class CMainDlg : public QWidget, public ops::StarterHost {
    Q_OBJECT
public:
    // The list's least width and its height in service mode, in dialog units; the other modes
    // shrink its height to 130/150.
    static constexpr int kListWidthUnits = 400;
    static constexpr int kListHeightUnits = 150;

    CMainDlg(UiPrompt& prompt, std::vector<app::NetworkCard> cards, QWidget* parent = nullptr);
    ~CMainDlg() override;

    // The start-up of the window: texts, mode layout, card and address choice, the serial-number
    // log check and the operator sign. False when the window ends with cancel (the program ends).
    bool initialise();
    // Puts every text of the current language on the window: menu, captions, list headers, title.
    void applyTexts();
    void enableControls(const ControlSwitches& on);

    ops::WorkerChannel& channel();
    WindowChannel& windowChannel() { return *channel_; }

    // A control by its id.
    QWidget* control(int id) const;
    QAction* menuAction(int id) const;
    CDeviceListCtrl* deviceList() const { return list_; }
    CProgressTextCtrl* firstProgress() const { return progress1_; }
    CProgressTextCtrl* secondProgress() const { return progress2_; }
    CIpAddressCtrl* addressField() const { return address_; }
    QLineEdit* filterField() const { return filter_; }
    DeviceStatusBar* statusBar() const { return statusBar_; }
    // Where the window keeps its place, columns and sort order for the next start (none: nowhere).
    void setStateStore(platform::SettingsStore* store) { stateStore_ = store; }
    // Puts the kept place, columns and sort order on the window (after it is shown).
    void restoreState();
    void saveState();
    const std::vector<app::NetworkCard>& cards() const { return cards_; }
    const app::NetworkCard* selectedCard() const { return selectedCard_; }
    bool programmingAllowed() const { return programmingAllowed_; }
    int runningWorkers() const { return pool_.running(); }
    // The list height of service mode, in pixels.
    int serviceListHeight() const { return serviceListHeight_; }
    const std::vector<COutputDlg*>& logWindows() const { return logs_; }

    // Serves the workers' messages until no worker runs, then joins their threads.
    void waitForWorkers();

    // The service commands (buttons and the list's shortcuts).
    void search();
    void update();
    void stockUpdate();
    void initialProgramming();
    ops::ProductionStart productionStart();
    // "Dauerlauf starten" and "Dauerlauf stoppen".
    void enduranceStart();
    void enduranceStop();
    void serialNumber();
    void networkConfiguration();
    void deviceName();
    // The backup or restore file dialog, then the password step and the operation.
    void transferFile(FileDialogRequest::Kind kind, app::TextId pathTooLong,
                      bool (*operation)(ops::UdpCommandParams&));
    // The edit dialog, then (when it changed the record) the password step and the operation.
    void editAndSend(bool (UiPrompt::*edit)(net::DeviceRecord&), bool net::DeviceRecord::*modified,
                     bool (*operation)(ops::UdpCommandParams&));
    void backup();
    void restore();
    // "Export list": the listed devices into a CSV file the operator chooses.
    void exportList();
    void showReport();

    // The window side of the worker messages WM_USER+1 to +27; window thread only.
    int showWorkerMessage(const ops::TextWithValue& message);  // +1
    void workerFinished();                                     // +2
    void setHeading(const ops::TextWithValue& heading);        // +3
    void setStep(const ops::TextWithValue& step);              // +4
    void setStepPosition(int position);                        // +5
    void setStepText(const std::string& text);                 // +6
    int deviceCount() const;                                   // +7
    net::DeviceRecord* deviceAt(int row) const;                // +8
    void addDevice(std::unique_ptr<net::DeviceRecord> record);  // +9
    net::DeviceRecord* replaceDevice(std::unique_ptr<net::DeviceRecord> record);  // +10
    void removeDevice(const net::DeviceRecord& record);        // +11
    void selectDevice(net::DeviceRecord* record);              // +12
    net::DeviceRecord* currentDevice() const;                  // +13
    void repaintList();                                        // +14
    bool busy() const { return pool_.busy(); }                 // +15
    void searchStarted();                                      // +16
    void searchEnded();                                        // +17
    net::DeviceRecord* takeOnlyListedDevice();                 // +18
    bool enduranceActive() const { return pool_.enduranceActive(); }  // +19
    bool enterSerialNumber() override;                         // +20
    bool releaseSerialNumber(uint32_t serial);                 // +21
    std::optional<std::string> askConfiguration(const std::string& configuration, bool editable);  // +23

    // What the production buttons' starters ask of the window.
    app::OperatorPrompt& prompt() override { return prompt_; }
    std::optional<std::string> configurationAssistant(const std::string& configuration, bool editable) override
    {
        return askConfiguration(configuration, editable);
    }
    std::optional<std::string> repairNumber() override;
    void serialNumberNotSet(uint32_t serial) override;
    void startWorkflow(std::function<void(ops::WorkerChannel&)> body, ops::WorkerEnd end) override;
    void startServiceWorker(std::function<void(ops::WorkerChannel&)> body, const net::DeviceRecord* device) override;
    bool calibrate(config::CalibrationRequest& request);      // +24
    const std::string& operatorSign() const { return sign_; }  // +25
    ops::LogWindow* createLogWindow();                         // +26
    void destroyLogWindow(ops::LogWindow* log);                // +27
    void announceWait(const std::string& step, int seconds);
    void passwordRefused(const net::DeviceRecord& device);     // +28

    // The device passwords typed while the station runs (memory only).
    const ops::PasswordMemory& passwords() const { return passwords_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenu();
    QHBoxLayout* buildHeader(const DialogUnits& du);
    QHBoxLayout* buildSearchRow(const DialogUnits& du);
    QHBoxLayout* buildButtons(const DialogUnits& du);
    void connectControls();
    QPushButton* addButton(int id);
    QLabel* addLabel(int id);
    void applyTitle();
    void applyModeLayout();
    // The filter field above the list and the count and countdown under it; the keys.
    QLineEdit* buildFilter();
    void connectViewControls();
    void onFilterChanged(const QString& text);
    void showCount();
    // A value field's text, and its accessible name: caption and value ("Bearbeiter: XY").
    void setValue(QLabel* field, const QString& text);
    void nameValues();
    void showDevice(const net::DeviceRecord* record);
    void clearDevices();
    ControlSwitches idleSwitches() const;
    void setCloseEnabled(bool enabled);
    void setSearchCaptions(bool searching);

    void onCardChosen(int index);
    void onListSelectionChanged();
    void onListDoubleClicked(int row, int column);
    void onLanguage();
    // "Endtest" (10021), "Reparaturstart" (10022), "Reparaturende" (10023): the button's starter.
    void productionStart(int button);

    // Where the service operations' device passwords come from.
    ops::PasswordPolicy passwordPolicy();
    // Controls off (only the endurance run's stop button stays while that run is active),
    // closing off, then the task on a worker thread.
    void startTask(std::function<void()> task);
    app::SerialLog serialLog() const;
    void refuse(app::TextId text, uint32_t style);

    UiPrompt& prompt_;
    std::unique_ptr<WindowChannel> channel_;
    std::vector<app::NetworkCard> cards_;
    const app::NetworkCard* selectedCard_ = nullptr;
    std::string sign_;
    bool programmingAllowed_ = false;
    bool searching_ = false;
    bool closePending_ = false;
    bool searchButtonRunning_ = false;  // the running workers are a search of the search button
    ops::WorkerPool pool_;
    std::vector<COutputDlg*> logs_;
    ops::PasswordMemory passwords_;
    // The device of the running single-device worker, whose refused password is forgotten.
    std::optional<net::Mac> workerDevice_;
    int serviceListHeight_ = 0;

    QMenuBar* menuBar_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    QAction* exportAction_ = nullptr;  // 20012
    QAction* reportAction_ = nullptr;  // 20013, the production modes only
    QAction* exitAction_ = nullptr;
    QAction* languageAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    QLabel* signLabel_ = nullptr;     // 10001
    QLabel* batchLabel_ = nullptr;    // 10003
    QLabel* deviceLabel_ = nullptr;   // 10005
    QComboBox* cardList_ = nullptr;   // 10007
    CIpAddressCtrl* address_ = nullptr;  // 10009
    CDeviceListCtrl* list_ = nullptr;    // 10026
    CProgressTextCtrl* progress1_ = nullptr;  // 10027
    CProgressTextCtrl* progress2_ = nullptr;  // 10028
    QLineEdit* filter_ = nullptr;
    DeviceStatusBar* statusBar_ = nullptr;
    platform::SettingsStore* stateStore_ = nullptr;
};

}  // namespace vst::ui
