#include "ui/CMainDlg.h"

#include "ui/ControlIds.h"
#include "ui/PaintedIcon.h"

#include "platform/WlanDouble.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QPainter>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

#include "app/CApp.h"
#include "app/FirmwareCheck.h"
#include "app/Format.h"
#include "app/Records.h"
#include "ops/BulkUpdate.h"
#include "ops/DeviceListCsv.h"
#include "ops/Endurance.h"
#include "ops/FunctionTests.h"
#include "ops/InputChecks.h"
#include "ops/Production.h"
#include "ops/RunJournal.h"
#include "ops/Search.h"
#include "ops/UdpCommands.h"
#include "ops/WebOperations.h"
#include "ops/Worker.h"
#include "platform/FileSystem.h"
#include "ui/CDeviceListCtrl.h"
#include "ui/CIpAddressCtrl.h"
#include "ui/COutputDlg.h"
#include "ui/ReportPage.h"
#include "ui/CProgressTextCtrl.h"
#include "ui/DeviceStatusBar.h"
#include "ui/UiPrompt.h"
#include "ui/UiText.h"
#include "ui/WindowChannel.h"

namespace vst::ui {
namespace {

using app::OperatingMode;

const app::CApp& theApp() { return app::CApp::instance(); }

// A plain widget at the top level reaches accessibility tools as a nameless filler panel. The main
// window is the station's top-level window, so it is described as one; the description takes its
// name from the window title, as it does for the dialogs.
QAccessibleInterface* describeMainWindow(const QString& className, QObject* object)
{
    if (className != QLatin1String(CMainDlg::staticMetaObject.className())) return nullptr;
    auto* widget = qobject_cast<QWidget*>(object);
    return widget ? new QAccessibleWidget(widget, QAccessible::Window) : nullptr;
}

OperatingMode mode() { return theApp().operatingMode(); }

constexpr const char* kNone = "-";

// The station's window icon: a blue tile with a white "V".
QIcon stationIcon()
{
    return paintedIcon({16, 32, 48}, [](QPainter& painter, int size) {
        painter.setBrush(QColor(45, 85, 140));
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
        QFont font;
        font.setBold(true);
        font.setPixelSize(size * 3 / 4);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("V"));
    });
}

}  // namespace

CMainDlg::CMainDlg(UiPrompt& prompt, std::vector<app::NetworkCard> cards, QWidget* parent)
    : QWidget(parent), prompt_(prompt), cards_(std::move(cards)),
      // A worker thread's last action posts (never waits for) the news that it can be joined.
      pool_([this] { QMetaObject::invokeMethod(this, [this] { pool_.reap(); }, Qt::QueuedConnection); })
{
    static const bool described = (QAccessible::installFactory(describeMainWindow), true);
    (void)described;
    channel_ = std::make_unique<WindowChannel>(*this);
    buildControls();
}

CMainDlg::~CMainDlg()
{
    // Nothing may still talk to the window: stop what can be stopped and let the rest finish.
    pool_.setBusy(false);
    pool_.setEnduranceActive(false);
    waitForWorkers();
    for (COutputDlg* log : logs_) delete log;
    logs_.clear();
}

ops::WorkerChannel& CMainDlg::channel() { return *channel_; }

// ---------------------------------------------------------------------------------------------
// Start-up and texts

bool CMainDlg::initialise()
{
    const auto& app = theApp();
    applyTexts();

    if (app.internalMode() && (!app.serialNumberPath().empty() || app.noSerialLog())) control(kSerialNumberButton)->show();

    if (app.networkCardIndex() != -1) {
        for (const auto& card : cards_) cardList_->insertItem(card.index, fromCp1252(card.description));
        selectedCard_ = nullptr;
        for (const auto& card : cards_) {
            if (card.index == app.networkCardIndex()) selectedCard_ = &card;
        }
        if (!selectedCard_ && !cards_.empty()) selectedCard_ = &cards_.front();
        if (selectedCard_) cardList_->setCurrentIndex(selectedCard_->index);
        control(kAddressCaption)->hide();
        cardList_->show();
    }

    if (app.targetAddress() != 0) address_->setAddress(app.targetAddress());
    setWindowIcon(stationIcon());

    if (!app.serialNumberPath().empty()) {
        const std::string logPath = platform::joinPath(app.serialNumberPath(), app::kSerialLogName);
        if (!platform::canOpenForReading(logPath) || platform::isDirectory(logPath)) {
            prompt_.messageBox(app::loadText(30040), app::kMbIconExclamation);
            return false;
        }
        if (!(app.noSerialLog() && mode() == OperatingMode::Service)) {
            const auto sign = prompt_.askOperatorSign(app.serialNumberPath());
            if (!sign) return false;
            sign_ = *sign;
            applyTitle();
        }
    }

    if (mode() != OperatingMode::Service) applyModeLayout();
    if (mode() == OperatingMode::Service) {
        // Several rows for "Update"; the row that gets the focus is the current device.
        list_->allowSeveralRows(true);
        connect(list_, &QTableWidget::currentCellChanged, this, &CMainDlg::onListSelectionChanged);
    }

    switch (mode()) {
    case OperatingMode::Stock:
    case OperatingMode::Endurance: programmingAllowed_ = true; break;
    case OperatingMode::Production:
        programmingAllowed_ = !app.firmwarePath().empty() && !app.programmerPath().empty() && selectedCard_ &&
                              app.targetAddress() != 0;
        break;
    case OperatingMode::Service: programmingAllowed_ = false; break;
    }
    if (!programmingAllowed_) control(kProgrammingButton)->setEnabled(false);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Enabling and closing

void CMainDlg::closeEvent(QCloseEvent* event)
{
    if (pool_.idle()) {
        saveState();
        event->accept();
        return;
    }
    // A search started by the search button is cancelled and the window closes once its workers
    // have ended. Any other worker is waited for and never cancelled: a workflow (stock update and
    // initial programming use the busy flag for their own search too) runs to its end, and its
    // records and messages belong to this window.
    if (searchButtonRunning_) {
        pool_.setBusy(false);
        closePending_ = true;
    }
    event->ignore();
}

// ---------------------------------------------------------------------------------------------
// Workers

void CMainDlg::startTask(std::function<void()> task)
{
    ControlSwitches on;
    on.enduranceStop = pool_.enduranceActive();
    enableControls(on);
    setCloseEnabled(false);
    pool_.start(std::move(task));
}

std::optional<std::string> CMainDlg::repairNumber() { return prompt_.askRepairNumber(); }

void CMainDlg::productionStart(int button)
{
    if (!theApp().internalMode() || mode() != OperatingMode::Production) return;
    net::DeviceRecord* device = list_->current();
    if (!device) return;
    ops::ProductionSettings settings;
    settings.root = theApp().serialNumberPath();
    settings.showNumber = [this](const std::string& text) { setValue(batchLabel_, fromCp1252(text)); };
    if (button == kFinalTestButton) ops::startFinalTest(*this, device, settings);
    else if (button == kRepairStartButton) ops::startRepairStart(*this, device, settings);
    else ops::startRepairEnd(*this, device, settings);
}

void CMainDlg::startWorkflow(std::function<void(ops::WorkerChannel&)> body, ops::WorkerEnd end)
{
    ops::setJournalStation(ops::kWindowProgram, ops::journalCardText(selectedCard_));
    startTask(ops::workflowTask(*channel_, std::move(body), end));
}

void CMainDlg::startServiceWorker(std::function<void(ops::WorkerChannel&)> body, const net::DeviceRecord* device)
{
    // A password the device refuses is forgotten; the single-device operations report the refusal
    // as their result, which the window sees as the worker's message.
    if (device) workerDevice_ = device->mac;
    else workerDevice_.reset();
    startTask(ops::workflowTask(*channel_, std::move(body), ops::WorkerEnd::Finished));
}

void CMainDlg::workerFinished()
{
    pool_.operationEnded();
    if (pool_.idle()) {
        pool_.setEnduranceActive(false);
        workerDevice_.reset();
        statusBar_->stopCountdown();
        enableControls(idleSwitches());
        setCloseEnabled(true);
        searchButtonRunning_ = false;
        if (closePending_) QTimer::singleShot(0, this, &QWidget::close);
    }
    // A workflow may still send messages after this one (WM_USER+17); its thread is joined only
    // once it has said that it ends.
}

void CMainDlg::waitForWorkers()
{
    pool_.waitForAll([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); });
}

// ---------------------------------------------------------------------------------------------
// Commands

void CMainDlg::refuse(app::TextId text, uint32_t style) { prompt_.messageBox(app::loadText(text), style); }

void CMainDlg::exportList()
{
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Save;
    request.defaultName = kDeviceListDefaultName;
    request.defaultExtension = kDeviceListExtension;
    request.filter = kDeviceListFilter;
    const auto file = prompt_.chooseFile(request);
    if (!file) return;
    if (!platform::replaceFile(platform::osPath(*file), ops::deviceListCsv(list_->devices()))) {
        refuse(app::TextId{35224}, app::kMbIconError);
    }
}

// "Bericht…": the yield report of the last 30 days in the default browser.
void CMainDlg::showReport()
{
    if (!openRecentReport(theApp().serialNumberPath())) refuse(app::TextId{35224}, app::kMbIconError);
}

app::SerialLog CMainDlg::serialLog() const
{
    return app::SerialLog(theApp().serialNumberPath(), theApp().noSerialLog(), sign_);
}

// "Suchen und Updaten": the stock update of the one device at the entered address.
void CMainDlg::stockUpdate()
{
    if (!theApp().settings().internalMode || mode() != OperatingMode::Stock) return;
    if (pool_.busy()) {
        pool_.setBusy(false);
        return;
    }
    if (!pool_.idle()) return;
    ops::ProductionStart start = productionStart();
    // The entered address as far as it goes; the field need not be complete here.
    start.target = ops::parseFourPartAddress(toCp1252(address_->text())).value_or(0);
    ops::startStockUpdate(*this, start);
}

// "Urladen": the initial programming of a blank board with the programmer tool.
void CMainDlg::initialProgramming()
{
    if (!theApp().settings().internalMode || mode() != OperatingMode::Production) return;
    if (!pool_.idle()) return;
    ops::ProductionStart start = productionStart();
    start.target = theApp().targetAddress();
    start.programmerFolder = theApp().programmerPath();
    start.testI2c = theApp().i2cTest();
    start.ssid = ops::kDeviceWlanName;
    start.programmerTimeoutSeconds = theApp().settings().programmerTimeoutSeconds;
    ops::startInitialProgramming(*this, start);
}

// "Dauerlauf starten": the dialog, then the starter shared with the console.
void CMainDlg::enduranceStart()
{
    if (!theApp().settings().internalMode || mode() != OperatingMode::Endurance) return;
    if (!pool_.idle() || pool_.enduranceActive()) return;
    const uint32_t target = theApp().targetAddress();
    const auto choice = prompt_.askEnduranceRun(selectedCard_, target);
    if (!choice) return;
    ops::EnduranceStart start;
    start.card = selectedCard_;
    start.target = target;
    start.firmwareFolder = theApp().firmwarePath();
    start.root = theApp().serialNumberPath();
    start.repair = choice->repair;
    start.number = choice->number;
    start.serials = choice->serials;
    start.showNumber = [this](const std::string& text) { setValue(batchLabel_, fromCp1252(text)); };
    start.beforeStart = [this] {
        clearDevices();
        pool_.setEnduranceActive(true);
    };
    ops::startEnduranceRun(*this, start);
}

// "Dauerlauf stoppen": the run sees the cleared flag at its next look and ends.
void CMainDlg::enduranceStop()
{
    if (!theApp().settings().internalMode || mode() != OperatingMode::Endurance || !pool_.enduranceActive()) return;
    enableControls({});
    pool_.setEnduranceActive(false);
}

ops::ProductionStart CMainDlg::productionStart()
{
    ops::ProductionStart start;
    start.card = selectedCard_;
    start.firmwareFolder = theApp().firmwarePath();
    start.serialNumberPath = theApp().serialNumberPath();  // the records root
    start.beforeStart = [this] {
        clearDevices();
        pool_.setBusy(true);
    };
    return start;
}

void CMainDlg::clearDevices()
{
    list_->removeAll();
    showDevice(nullptr);
}

void CMainDlg::search()
{
    if (pool_.busy()) {
        pool_.setBusy(false);
        return;
    }
    // The workers of the previous search have not all ended yet: a new search now would be cut
    // short by their end.
    if (!pool_.idle()) return;
    clearDevices();
    if (cards_.empty()) {
        refuse(app::TextId{30037}, app::kMbIconExclamation);
        return;
    }
    ControlSwitches on;
    on.search = true;
    enableControls(on);
    searching_ = true;
    searchButtonRunning_ = true;
    setSearchCaptions(true);
    pool_.setBusy(true);

    const bool production = mode() == OperatingMode::Production;
    ops::SearchStart start;
    start.cards = &cards_;
    start.only = production ? nullptr : selectedCard_;
    if (!production && address_->filledParts() == 4) {
        start.target = ops::parseFourPartAddress(toCp1252(address_->text())).value_or(0);
    }
    start.directedOnly = !production && theApp().targetAddress() != 0;
    const auto jobs = ops::searchJobs(*channel_, start);
    for (const auto& job : jobs->jobs()) pool_.start(ops::searchTask(jobs, *job));
}

ops::PasswordPolicy CMainDlg::passwordPolicy()
{
    ops::PasswordPolicy policy;
    policy.internal = theApp().internalMode();
    policy.memory = &passwords_;
    return policy;
}

void CMainDlg::update()
{
    const std::vector<net::DeviceRecord*> selected = list_->selectedRecords();
    ops::UpdateStart start;
    start.several = mode() == OperatingMode::Service && selected.size() > 1;
    start.devices = start.several ? selected : std::vector<net::DeviceRecord*>{list_->current()};
    start.confirm = true;
    if (!start.devices.front() && !start.several) return;
    const auto file = ops::chooseFirmwareFile(*this, theApp().firmwarePath(), [this] {
        FileDialogRequest request;
        request.kind = FileDialogRequest::Kind::Open;
        request.defaultExtension = kFirmwareExtension;
        request.filter = kFirmwareFilter;
        return prompt_.chooseFile(request);
    });
    if (!file) return;
    start.file = *file;
    ops::startUpdate(*this, passwordPolicy(), start);
}

void CMainDlg::serialNumber()
{
    net::DeviceRecord* device = list_->current();
    if (!theApp().internalMode() || !device) return;
    ops::startSerialNumber(*this, device, ops::kServicePassword);
}

void CMainDlg::networkConfiguration()
{
    editAndSend(&UiPrompt::editNetworkSettings, &net::DeviceRecord::networkModified, ops::sendNetworkConfiguration);
}

void CMainDlg::deviceName()
{
    editAndSend(&UiPrompt::editDeviceName, &net::DeviceRecord::nameModified, ops::sendDeviceName);
}

void CMainDlg::editAndSend(bool (UiPrompt::*edit)(net::DeviceRecord&), bool net::DeviceRecord::*modified,
                           bool (*operation)(ops::UdpCommandParams&))
{
    net::DeviceRecord* device = list_->current();
    if (!device) return;
    // The dialog edits the record itself; an action that does not start leaves it as it was.
    const net::DeviceRecord before = *device;
    ops::DeviceCommandStart start;
    start.device = device;
    start.operation = operation;
    if (!(prompt_.*edit)(*device) || !(device->*modified) ||
        ops::startDeviceCommand(*this, passwordPolicy(), start) != ops::StartOutcome::Started) {
        *device = before;
    }
}

void CMainDlg::backup()
{
    transferFile(FileDialogRequest::Kind::Save, app::TextId{35224}, ops::serviceBackup);
}

void CMainDlg::restore()
{
    transferFile(FileDialogRequest::Kind::Open, app::TextId{35226}, ops::restoreConfiguration);
}

void CMainDlg::transferFile(FileDialogRequest::Kind kind, app::TextId pathTooLong,
                            bool (*operation)(ops::UdpCommandParams&))
{
    net::DeviceRecord* device = list_->current();
    if (!device) return;
    FileDialogRequest request;
    request.kind = kind;
    if (kind == FileDialogRequest::Kind::Save) request.defaultName = kBackupDefaultName;
    request.defaultExtension = kBackupExtension;
    request.filter = kBackupFilter;
    const auto file = prompt_.chooseFile(request);
    if (!file) return;
    if (ops::pathTooLong(*file)) return refuse(pathTooLong, app::kMbIconError);
    ops::DeviceCommandStart start;
    start.device = device;
    start.operation = operation;
    start.file = *file;
    ops::startDeviceCommand(*this, passwordPolicy(), start);
}

// ---------------------------------------------------------------------------------------------
// Card list, device list, menu

void CMainDlg::onCardChosen(int index)
{
    for (const auto& card : cards_) {
        if (card.index == index) selectedCard_ = &card;
    }
}

void CMainDlg::onListSelectionChanged()
{
    const int row = list_->focusedSelectedRow();
    net::DeviceRecord* record = row >= 0 ? list_->recordAtView(row) : nullptr;
    list_->setCurrent(record);
    showDevice(record);
    if (mode() != OperatingMode::Endurance) setValue(batchLabel_, QString::fromLatin1(kNone));
    // While a worker runs the controls stay as it needs them, whoever changed the selection.
    if ((mode() == OperatingMode::Service || mode() == OperatingMode::Production) && pool_.idle()) {
        enableControls(idleSwitches());
    }
}

void CMainDlg::onListDoubleClicked(int row, int column)
{
    if (mode() != OperatingMode::Service || !pool_.idle()) return;
    net::DeviceRecord* device = list_->current();
    if (!device || list_->recordAtView(row) != device) return;
    const auto& app = theApp();
    if (device->productKind == 0) {
        switch (column) {
        case 1: deviceName(); break;
        case 2: networkConfiguration(); break;
        case 4:
            if (app.internalMode() && (!app.serialNumberPath().empty() || app.noSerialLog())) serialNumber();
            break;
        case 5: update(); break;
        default: break;
        }
    } else if (column == 1 || column == 2) {
        prompt_.openUrl("http://" + net::addressText(device->address));
    }
}

void CMainDlg::onLanguage()
{
    const LanguageChoice choice = prompt_.chooseLanguage();
    if (!choice.changed) return;
    applyTexts();
    // The operator's own choice that will be gone at the next start is no silent matter.
    if (choice.storeFailure) {
        prompt_.messageBox(app::formatText(app::loadText(37404), choice.storeFailure->c_str()),
                           app::kMbIconExclamation);
    }
}

// ---------------------------------------------------------------------------------------------
// Worker messages

int CMainDlg::showWorkerMessage(const ops::TextWithValue& message)
{
    if (workerDevice_ && ops::isPasswordRefusal(message.text)) passwords_.forget(*workerDevice_);
    return prompt_.messageBox(message.text, static_cast<uint32_t>(message.value));
}

void CMainDlg::setHeading(const ops::TextWithValue& heading)
{
    progress1_->setTextAndPosition(fromCp1252(heading.text), heading.value);
}

void CMainDlg::setStep(const ops::TextWithValue& step)
{
    statusBar_->stopCountdown();
    progress2_->setTextAndPosition(fromCp1252(step.text), step.value);
}

void CMainDlg::setStepPosition(int position) { progress2_->setPosition(position); }

void CMainDlg::setStepText(const std::string& text) { progress2_->setCaption(fromCp1252(text)); }

int CMainDlg::deviceCount() const { return list_->count(); }

net::DeviceRecord* CMainDlg::deviceAt(int row) const { return list_->recordAt(row); }

void CMainDlg::addDevice(std::unique_ptr<net::DeviceRecord> record) { list_->addDevice(std::move(record)); }

net::DeviceRecord* CMainDlg::replaceDevice(std::unique_ptr<net::DeviceRecord> record)
{
    const bool wasCurrent = list_->current() && record && net::sameDevice(*list_->current(), *record);
    net::DeviceRecord* listed = list_->replaceDevice(std::move(record));
    if (wasCurrent) showDevice(listed);
    return listed;
}

void CMainDlg::removeDevice(const net::DeviceRecord& record)
{
    const bool wasCurrent = list_->current() && net::sameDevice(*list_->current(), record);
    list_->removeDevice(record);
    if (wasCurrent) showDevice(nullptr);
}

void CMainDlg::selectDevice(net::DeviceRecord* record)
{
    list_->setCurrent(record);
    showDevice(list_->current());
}

net::DeviceRecord* CMainDlg::currentDevice() const { return list_->current(); }

void CMainDlg::repaintList() { list_->refreshRows(); }

void CMainDlg::searchStarted()
{
    searching_ = true;
    setSearchCaptions(true);
    cardList_->setEnabled(false);
    address_->setEnabled(false);
    pool_.setBusy(true);
}

void CMainDlg::searchEnded()
{
    searching_ = false;
    setSearchCaptions(false);
    cardList_->setEnabled(true);
    address_->setEnabled(true);
    pool_.setBusy(false);
}

net::DeviceRecord* CMainDlg::takeOnlyListedDevice()
{
    if (list_->count() == 1) {
        list_->selectOnly(0);
        list_->setCurrent(list_->recordAt(0));
        showDevice(list_->current());
        return list_->current();
    }
    refuse(list_->count() == 0 ? app::TextId{35403} : app::TextId{35402}, app::kMbIconExclamation);
    return list_->current();
}

bool CMainDlg::enterSerialNumber()
{
    net::DeviceRecord* device = list_->current();
    if (!device) return false;
    const uint32_t before = device->serialNumber;
    const bool modifiedBefore = device->serialModified;
    device->serialModified = false;
    // The release check and the assigned line in one step under the log's lock.
    if (prompt_.editSerialNumber(*device) && device->serialModified &&
        serialLog().assignSerialNumber(device->serialNumber, prompt_)) {
        return true;
    }
    // A number that was not released never stays in the record: the device still has the old one.
    device->serialNumber = before;
    device->serialModified = modifiedBefore;
    return false;
}

bool CMainDlg::releaseSerialNumber(uint32_t serial) { return serialLog().assignSerialNumber(serial, prompt_); }

void CMainDlg::serialNumberNotSet(uint32_t serial) { serialLog().logSerialConfirmation(serial, false); }

std::optional<std::string> CMainDlg::askConfiguration(const std::string& configuration, bool editable)
{
    return prompt_.runConfigurationAssistant(configuration, editable);
}

bool CMainDlg::calibrate(config::CalibrationRequest& request) { return prompt_.calibrateEnergySensor(request); }

ops::LogWindow* CMainDlg::createLogWindow()
{
    auto* log = new COutputDlg(this);
    log->setPrompt(&prompt_);
    logs_.push_back(log);
    log->show();
    log->placeOverParent();
    return log;
}

void CMainDlg::passwordRefused(const net::DeviceRecord& device) { passwords_.forget(device.mac); }

void CMainDlg::destroyLogWindow(ops::LogWindow* log)
{
    for (auto it = logs_.begin(); it != logs_.end(); ++it) {
        if (static_cast<ops::LogWindow*>(*it) == log) {
            delete *it;
            logs_.erase(it);
            return;
        }
    }
}

}  // namespace vst::ui
