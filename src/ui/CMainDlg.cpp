#include "ui/CMainDlg.h"

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
#include "ops/Search.h"
#include "ops/UdpCommands.h"
#include "ops/WebOperations.h"
#include "ops/Worker.h"
#include "platform/FileSystem.h"
#include "ui/CDeviceListCtrl.h"
#include "ui/CIpAddressCtrl.h"
#include "ui/COutputDlg.h"
#include "ui/CProgressTextCtrl.h"
#include "ui/UiPrompt.h"
#include "ui/UiText.h"
#include "ui/WindowChannel.h"

namespace vst::ui {
namespace {

using app::OperatingMode;

struct Caption {
    int control;
    app::TextId text;
};

// The captions of template 100 (labels and buttons).
constexpr Caption kCaptions[] = {
    {10000, app::TextId{30006}}, {10002, app::TextId{30008}}, {10004, app::TextId{30007}},
    {10006, app::TextId{30011}}, {10008, app::TextId{30013}}, {10010, app::TextId{30014}},
    {10011, app::TextId{30015}}, {10012, app::TextId{30016}}, {10013, app::TextId{30017}},
    {10014, app::TextId{30018}}, {10015, app::TextId{30019}}, {10016, app::TextId{30020}},
    {10017, app::TextId{30021}}, {10018, app::TextId{30022}}, {10019, app::TextId{30023}},
    {10020, app::TextId{30025}}, {10021, app::TextId{30026}}, {10022, app::TextId{30027}},
    {10023, app::TextId{30028}}, {10024, app::TextId{30029}},
};

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
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(45, 85, 140));
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
        QFont font;
        font.setBold(true);
        font.setPixelSize(size * 3 / 4);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("V"));
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

CMainDlg::CMainDlg(UiPrompt& prompt, std::vector<app::NetworkCard> cards, QWidget* parent)
    : QWidget(parent), prompt_(prompt), cards_(std::move(cards))
{
    static const bool described = (QAccessible::installFactory(describeMainWindow), true);
    (void)described;
    channel_ = std::make_unique<WindowChannel>(*this);
    buildControls();
}

CMainDlg::~CMainDlg()
{
    // Nothing may still talk to the window: stop what can be stopped and let the rest finish.
    busy_ = false;
    enduranceActive_ = false;
    waitForWorkers();
    for (COutputDlg* log : logs_) delete log;
    logs_.clear();
}

ops::WorkerChannel& CMainDlg::channel() { return *channel_; }

QPushButton* CMainDlg::addButton(int id)
{
    auto* button = new QPushButton(this);
    identify(button, id);
    button->setAutoDefault(false);
    return button;
}

QLabel* CMainDlg::addLabel(int id)
{
    auto* label = new QLabel(this);
    identify(label, id);
    label->setTextFormat(Qt::PlainText);
    return label;
}

void CMainDlg::buildControls()
{
    const DialogUnits du(this);

    menuBar_ = new QMenuBar(this);
    fileMenu_ = menuBar_->addMenu(QString());
    exportAction_ = fileMenu_->addAction(QString());
    exportAction_->setObjectName(QStringLiteral("20012"));
    fileMenu_->addSeparator();
    exitAction_ = fileMenu_->addAction(QString());
    exitAction_->setObjectName(QStringLiteral("20011"));
    helpMenu_ = menuBar_->addMenu(QString());
    languageAction_ = helpMenu_->addAction(QString());
    languageAction_->setObjectName(QStringLiteral("20021"));
    aboutAction_ = helpMenu_->addAction(QString());
    aboutAction_->setObjectName(QStringLiteral("20022"));

    // Header: operator, repair or batch number, device (shown outside service mode).
    auto* header = new QHBoxLayout;
    auto* operatorCaption = addLabel(10000);
    signLabel_ = addLabel(10001);
    auto* batchCaption = addLabel(10002);
    batchLabel_ = addLabel(10003);
    auto* deviceCaption = addLabel(10004);
    deviceLabel_ = addLabel(10005);
    signLabel_->setText(QString::fromLatin1(kNone));
    batchLabel_->setText(QString::fromLatin1(kNone));
    deviceLabel_->setText(QString::fromLatin1(kNone));
    // The value fields keep their width whatever they show, so the window never changes its size
    // when a device is selected; the widths hold a sign, "Reparatur" with a 19-character number,
    // and a 15-character name with its serial number.
    signLabel_->setFixedWidth(du.x(40));
    batchLabel_->setFixedWidth(du.x(125));
    deviceLabel_->setFixedWidth(du.x(130));
    header->addWidget(operatorCaption);
    header->addWidget(signLabel_);
    header->addSpacing(du.x(8));
    header->addWidget(batchCaption);
    header->addWidget(batchLabel_);
    header->addSpacing(du.x(8));
    header->addWidget(deviceCaption);
    header->addWidget(deviceLabel_);
    header->addStretch(1);

    // Search row: search button, card list or address label, the direct address.
    auto* searchRow = new QHBoxLayout;
    auto* searchButton = addButton(10006);
    cardList_ = new QComboBox(this);
    identify(cardList_, 10007);
    cardList_->setMinimumWidth(du.x(110));
    cardList_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cardList_->setMinimumContentsLength(20);
    auto* addressCaption = addLabel(10008);
    address_ = new CIpAddressCtrl(this);
    identify(address_, 10009);
    addressCaption->setBuddy(address_);
    searchRow->addWidget(searchButton);
    searchRow->addSpacing(du.x(8));
    searchRow->addWidget(cardList_);
    searchRow->addWidget(addressCaption);
    searchRow->addWidget(address_);
    searchRow->addStretch(1);

    list_ = new CDeviceListCtrl(this);
    identify(list_, 10026);
    serviceListHeight_ = du.y(kListHeightUnits);
    list_->setMinimumWidth(du.x(kListWidthUnits));
    list_->setFixedHeight(serviceListHeight_);

    progress1_ = new CProgressTextCtrl(this);
    identify(progress1_, 10027);
    progress2_ = new CProgressTextCtrl(this);
    identify(progress2_, 10028);
    progress1_->setFixedHeight(du.y(12));
    progress2_->setFixedHeight(du.y(12));

    // Buttons: the service buttons, the workflow buttons of the modes, and "Beenden".
    auto* buttons = new QHBoxLayout;
    // The buttons of a row share its height, that of the caption with the most lines.
    for (int id = 10010; id <= 10023; ++id) {
        QPushButton* button = addButton(id);
        button->setMinimumWidth(du.x(50));
        button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    QPushButton* exitButton = addButton(10024);
    exitButton->setMinimumWidth(du.x(50));
    exitButton->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    buttons->addWidget(exitButton);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar_);
    layout->addLayout(header);
    layout->addLayout(searchRow);
    layout->addWidget(list_);
    layout->addWidget(progress1_);
    layout->addWidget(progress2_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Initial states of template 100.
    for (int id : {10000, 10001, 10002, 10003, 10004, 10005, 10007, 10011, 10016, 10017, 10018, 10019, 10020, 10021,
                   10022, 10023, 10027}) {
        control(id)->hide();
    }
    for (int id : {10010, 10011, 10012, 10013, 10014, 10015, 10018, 10021, 10022, 10023}) {
        control(id)->setEnabled(false);
    }

    connect(searchButton, &QPushButton::clicked, this, &CMainDlg::search);
    connect(static_cast<QPushButton*>(control(10019)), &QPushButton::clicked, this, &CMainDlg::search);
    connect(static_cast<QPushButton*>(control(10010)), &QPushButton::clicked, this, &CMainDlg::update);
    connect(static_cast<QPushButton*>(control(10011)), &QPushButton::clicked, this, &CMainDlg::serialNumber);
    connect(static_cast<QPushButton*>(control(10012)), &QPushButton::clicked, this, &CMainDlg::networkConfiguration);
    connect(static_cast<QPushButton*>(control(10013)), &QPushButton::clicked, this, &CMainDlg::deviceName);
    connect(static_cast<QPushButton*>(control(10014)), &QPushButton::clicked, this, &CMainDlg::backup);
    connect(static_cast<QPushButton*>(control(10015)), &QPushButton::clicked, this, &CMainDlg::restore);
    connect(static_cast<QPushButton*>(control(10016)), &QPushButton::clicked, this, &CMainDlg::stockUpdate);
    connect(static_cast<QPushButton*>(control(10020)), &QPushButton::clicked, this, &CMainDlg::initialProgramming);
    connect(static_cast<QPushButton*>(control(10017)), &QPushButton::clicked, this, &CMainDlg::enduranceStart);
    connect(static_cast<QPushButton*>(control(10018)), &QPushButton::clicked, this, &CMainDlg::enduranceStop);
    for (int id : {10021, 10022, 10023}) {
        connect(static_cast<QPushButton*>(control(id)), &QPushButton::clicked, this, [this, id] { productionStart(id); });
    }
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);
    connect(exitAction_, &QAction::triggered, this, &QWidget::close);
    connect(languageAction_, &QAction::triggered, this, &CMainDlg::onLanguage);
    connect(aboutAction_, &QAction::triggered, this, [this] { prompt_.showAbout(); });
    connect(exportAction_, &QAction::triggered, this, &CMainDlg::exportList);
    connect(cardList_, qOverload<int>(&QComboBox::activated), this, &CMainDlg::onCardChosen);
    connect(list_, &QTableWidget::itemSelectionChanged, this, &CMainDlg::onListSelectionChanged);
    connect(list_, &QTableWidget::cellDoubleClicked, this, &CMainDlg::onListDoubleClicked);
}

QWidget* CMainDlg::control(int id) const { return findChild<QWidget*>(QString::number(id)); }

QAction* CMainDlg::menuAction(int id) const { return findChild<QAction*>(QString::number(id)); }

// ---------------------------------------------------------------------------------------------
// Start-up and texts

bool CMainDlg::initialise()
{
    const auto& app = theApp();
    applyTexts();

    if (app.internalMode() && (!app.serialNumberPath().empty() || app.noSerialLog())) control(10011)->show();

    if (app.networkCardIndex() != -1) {
        for (const auto& card : cards_) cardList_->insertItem(card.index, fromCp1252(card.description));
        selectedCard_ = nullptr;
        for (const auto& card : cards_) {
            if (card.index == app.networkCardIndex()) selectedCard_ = &card;
        }
        if (!selectedCard_ && !cards_.empty()) selectedCard_ = &cards_.front();
        if (selectedCard_) cardList_->setCurrentIndex(selectedCard_->index);
        control(10008)->hide();
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
    if (!programmingAllowed_) control(10020)->setEnabled(false);
    return true;
}

void CMainDlg::applyModeLayout()
{
    signLabel_->setText(sign_.empty() ? QString::fromLatin1(kNone) : fromCp1252(sign_));
    for (int id = 10006; id <= 10015; ++id) control(id)->hide();
    list_->setFixedHeight(static_cast<int>(serviceListHeight_ * 130.0 / 150.0));
    control(10000)->show();
    control(10001)->show();
    if (mode() != OperatingMode::Stock) {
        control(10002)->show();
        control(10003)->show();
    }
    if (mode() != OperatingMode::Endurance) {
        control(10004)->show();
        control(10005)->show();
    }
    progress1_->show();
    switch (mode()) {
    case OperatingMode::Stock: control(10016)->show(); break;
    case OperatingMode::Endurance:
        control(10017)->show();
        control(10018)->show();
        break;
    case OperatingMode::Production:
        for (int id = 10019; id <= 10023; ++id) control(id)->show();
        break;
    case OperatingMode::Service: break;
    }
}

void CMainDlg::applyTexts()
{
    fileMenu_->setTitle(uiText(app::TextId{30001}));
    exportAction_->setText(uiText(app::TextId{37350}));
    exitAction_->setText(uiText(app::TextId{30002}));
    helpMenu_->setTitle(uiText(app::TextId{30003}));
    languageAction_->setText(uiText(app::TextId{30004}));
    aboutAction_->setText(uiText(app::TextId{30005}));
    for (const auto& caption : kCaptions) {
        QWidget* widget = control(caption.control);
        const QString text = uiText(caption.text);
        if (auto* button = qobject_cast<QPushButton*>(widget)) button->setText(text);
        else if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(text);
        widget->setAccessibleName(oneLine(text));
    }
    setSearchCaptions(searching_);
    // Value fields are named after their labels.
    const std::pair<int, int> named[] = {{10001, 10000}, {10003, 10002}, {10005, 10004}, {10007, 10008}, {10009, 10008}};
    for (const auto& [field, label] : named) {
        control(field)->setAccessibleName(oneLine(static_cast<QLabel*>(control(label))->text()));
    }
    address_->setLabel(oneLine(static_cast<QLabel*>(control(10008))->text()));
    list_->applyHeaderTexts();
    for (COutputDlg* log : logs_) log->applyTexts();
    applyTitle();
}

void CMainDlg::applyTitle()
{
    QString title = uiText(app::TextId{30000});
    if (!sign_.empty()) title += QStringLiteral(" - ") + uiText(app::TextId{30006}) + QLatin1Char(' ') + fromCp1252(sign_);
    // A CPU test must never pass over the WLAN stand-in of the test network unnoticed.
    if (platform::wlanDoubleActive()) title += QStringLiteral(" [WLAN test double]");
    setWindowTitle(title);
}

void CMainDlg::setSearchCaptions(bool searching)
{
    auto* search = static_cast<QPushButton*>(control(10006));
    auto* productionSearch = static_cast<QPushButton*>(control(10019));
    search->setText(uiText(searching ? app::TextId{30012} : app::TextId{30011}));
    productionSearch->setText(uiText(searching ? app::TextId{30024} : app::TextId{30023}));
    search->setAccessibleName(oneLine(search->text()));
    productionSearch->setAccessibleName(oneLine(productionSearch->text()));
}

// ---------------------------------------------------------------------------------------------
// Enabling and closing

void CMainDlg::enableControls(const ControlSwitches& on)
{
    for (int id : {10006, 10016, 10019}) control(id)->setEnabled(on.search);
    for (int id : {10007, 10009}) control(id)->setEnabled(on.address);
    for (int id : {10011, 10012, 10013, 10014, 10015, 10021, 10022, 10023}) control(id)->setEnabled(on.device);
    control(10010)->setEnabled(on.device || on.update);
    control(10020)->setEnabled(on.programming && programmingAllowed_);
    list_->setEnabled(on.list);
    control(10017)->setEnabled(on.enduranceStart);
    control(10018)->setEnabled(on.enduranceStop);
}

ControlSwitches CMainDlg::idleSwitches() const
{
    ControlSwitches on;
    on.search = on.address = on.programming = on.list = on.enduranceStart = true;
    const net::DeviceRecord* device = list_->current();
    on.device = device && device->productKind == 0;
    // Several selected rows: "Update" updates those of them that are of the served kind.
    const auto rows = list_->selectedRows();
    if (mode() == OperatingMode::Service && rows.size() > 1) {
        on.update = std::any_of(rows.begin(), rows.end(), [this](int row) {
            const net::DeviceRecord* r = list_->recordAt(row);
            return r && r->productKind == 0;
        });
    }
    on.enduranceStop = false;
    return on;
}

void CMainDlg::setCloseEnabled(bool enabled)
{
    exitAction_->setEnabled(enabled);
    control(10024)->setEnabled(enabled);
}

void CMainDlg::closeEvent(QCloseEvent* event)
{
    if (running_ == 0) {
        event->accept();
        return;
    }
    // A search started by the search button is cancelled and the window closes once its workers
    // have ended. Any other worker is waited for and never cancelled: a workflow (stock update and
    // initial programming use the busy flag for their own search too) runs to its end, and its
    // records and messages belong to this window.
    if (searchButtonRunning_) {
        busy_ = false;
        closePending_ = true;
    }
    event->ignore();
}

// ---------------------------------------------------------------------------------------------
// Workers

void CMainDlg::launch(std::thread worker)
{
    workers_.push_back(std::move(worker));
}

template <typename Params>
void CMainDlg::startDeviceWorker(bool (*operation)(Params&), std::unique_ptr<Params> params)
{
    params->window = channel_.get();
    // A password the device refuses is forgotten; the single-device operations report the refusal
    // as their result, which the window sees as the worker's message.
    if constexpr (requires { params->device; }) workerDevice_ = params->device->mac;
    else workerDevice_.reset();
    enableControls({});
    setCloseEnabled(false);
    ++running_;
    launch(ops::startWorker(operation, std::move(params), ops::WorkerEnd::Finished, threadEndNotice()));
}

std::optional<std::string> CMainDlg::repairNumber() { return prompt_.askRepairNumber(); }

void CMainDlg::productionStart(int button)
{
    if (!theApp().internalMode() || mode() != OperatingMode::Production) return;
    net::DeviceRecord* device = list_->current();
    if (!device) return;
    ops::ProductionSettings settings;
    settings.root = theApp().serialNumberPath();
    settings.showNumber = [this](const std::string& text) { batchLabel_->setText(fromCp1252(text)); };
    if (button == 10021) ops::startFinalTest(*this, device, settings);
    else if (button == 10022) ops::startRepairStart(*this, device, settings);
    else ops::startRepairEnd(*this, device, settings);
}

void CMainDlg::startWorkflow(std::function<void(ops::WorkerChannel&)> body, ops::WorkerEnd end)
{
    // The start steps; only the endurance run's stop button stays on while that run is active.
    ControlSwitches on;
    on.enduranceStop = enduranceActive_;
    enableControls(on);
    setCloseEnabled(false);
    ++running_;
    launch(ops::startWorkflowThread(*channel_, std::move(body), end, threadEndNotice()));
}

std::function<void()> CMainDlg::threadEndNotice()
{
    // Runs on the worker thread as its last action: posts (never waits) the news that the thread
    // can now be joined without blocking the window.
    return [this] {
        const std::thread::id worker = std::this_thread::get_id();
        QMetaObject::invokeMethod(
            this, [this, worker] {
                finished_.push_back(worker);
                reapWorkers();
            },
            Qt::QueuedConnection);
    };
}

void CMainDlg::workerFinished()
{
    if (running_ > 0) --running_;
    if (running_ == 0) {
        enduranceActive_ = false;
        workerDevice_.reset();
        enableControls(idleSwitches());
        setCloseEnabled(true);
        searchButtonRunning_ = false;
        if (closePending_) QTimer::singleShot(0, this, &QWidget::close);
    }
    // A workflow may still send messages after this one (WM_USER+17); its thread is joined only
    // once it has said that it ends (threadEndNotice).
}

void CMainDlg::reapWorkers()
{
    for (auto it = workers_.begin(); it != workers_.end();) {
        const auto done = std::find(finished_.begin(), finished_.end(), it->get_id());
        if (done != finished_.end()) {
            it->join();
            finished_.erase(done);
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void CMainDlg::waitForWorkers()
{
    // Every thread is joined only after it said that it ends; until then its messages are served.
    while (running_ > 0 || !workers_.empty()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        reapWorkers();
        if (!workers_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (auto& worker : workers_) {
        if (worker.joinable()) worker.join();
    }
    workers_.clear();
    finished_.clear();
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

app::SerialLog CMainDlg::serialLog() const
{
    return app::SerialLog(theApp().serialNumberPath(), theApp().noSerialLog(), sign_);
}

// "Suchen und Updaten": the stock update of the one device at the entered address.
void CMainDlg::stockUpdate()
{
    if (!theApp().settings().internalMode || mode() != OperatingMode::Stock) return;
    if (busy_) {
        busy_ = false;
        return;
    }
    if (running_ > 0) return;
    ops::ProductionStart start = productionStart();
    // The entered address as far as it goes; the field need not be complete here.
    start.target = ops::parseFourPartAddress(toCp1252(address_->text())).value_or(0);
    start.serialNumberPath = theApp().serialNumberPath();
    ops::startStockUpdate(*this, start);
}

// "Urladen": the initial programming of a blank board with the programmer tool.
void CMainDlg::initialProgramming()
{
    if (!theApp().settings().internalMode || mode() != OperatingMode::Production) return;
    if (running_ > 0) return;
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
    if (running_ > 0 || enduranceActive_) return;
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
    start.showNumber = [this](const std::string& text) { batchLabel_->setText(fromCp1252(text)); };
    start.beforeStart = [this] {
        clearDevices();
        enduranceActive_ = true;
    };
    ops::startEnduranceRun(*this, start);
}

// "Dauerlauf stoppen": the run sees the cleared flag at its next look and ends.
void CMainDlg::enduranceStop()
{
    if (!theApp().settings().internalMode || mode() != OperatingMode::Endurance || !enduranceActive_) return;
    enableControls({});
    enduranceActive_ = false;
}

ops::ProductionStart CMainDlg::productionStart()
{
    ops::ProductionStart start;
    start.card = selectedCard_;
    start.firmwareFolder = theApp().firmwarePath();
    start.beforeStart = [this] {
        clearDevices();
        busy_ = true;
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
    if (busy_) {
        busy_ = false;
        return;
    }
    // The workers of the previous search have not all ended yet: a new search now would be cut
    // short by their end.
    if (running_ > 0) return;
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
    busy_ = true;

    const bool production = mode() == OperatingMode::Production;
    uint32_t target = 0;
    if (!production && address_->filledParts() == 4) {
        target = ops::parseFourPartAddress(toCp1252(address_->text())).value_or(0);
    }
    auto jobs = std::make_shared<ops::SearchJobList>();
    for (const auto& card : cards_) {
        if (selectedCard_ && !production && &card != selectedCard_) continue;
        ops::SearchJob& job = jobs->add();
        job.window = channel_.get();
        job.card = &card;
        job.target = target;
        job.directedOnly = !production && theApp().targetAddress() != 0;
    }
    for (const auto& job : jobs->jobs()) {
        ++running_;
        launch(ops::startSearchWorker(jobs, *job, threadEndNotice()));
    }
}

std::optional<std::string> CMainDlg::devicePassword(const net::DeviceRecord& device)
{
    if (theApp().internalMode()) return std::string(kServicePassword);
    if (!device.passwordRequired) return std::string();
    // Each protected device is asked for once while the station runs.
    if (auto known = passwords_.recall(device.mac)) return known;
    auto typed = prompt_.askPassword();
    if (typed) passwords_.remember(device.mac, *typed);
    return typed;
}

std::optional<std::string> CMainDlg::firmwareFile()
{
    const std::string folder = theApp().firmwarePath();
    if (!folder.empty()) {
        std::string newest = app::newestFirmwareFile(folder);
        if (!newest.empty()) return newest;
    }
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Open;
    request.defaultExtension = kFirmwareExtension;
    request.filter = kFirmwareFilter;
    auto chosen = prompt_.chooseFile(request);
    if (!chosen) return std::nullopt;
    float version = 0;
    if (!app::firmwareVersionFromFileName(*chosen, version)) {
        refuse(app::TextId{30038}, app::kMbIconExclamation);
        return std::nullopt;
    }
    return chosen;
}

bool CMainDlg::firmwareFileSound(const std::string& file)
{
    // A path the operation's 260-byte field cannot hold would be cut to another file's name.
    if (file.size() >= 260) {
        refuse(app::TextId{35226}, app::kMbIconError);
        return false;
    }
    // A broken file never reaches a device.
    app::FirmwareFault fault;
    switch (app::checkFirmwareFile(file, &fault)) {
    case app::FirmwareFileCheck::Good: return true;
    case app::FirmwareFileCheck::CannotOpen: refuse(app::TextId{35211}, app::kMbIconError); return false;
    case app::FirmwareFileCheck::Faulty:
        prompt_.messageBox(app::firmwareFaultText(fault), app::kMbIconExclamation);
        return false;
    }
    return false;
}

void CMainDlg::update()
{
    const std::vector<int> rows = list_->selectedRows();
    const bool several = mode() == OperatingMode::Service && rows.size() > 1;
    net::DeviceRecord* device = list_->current();
    if (!device && !several) return;
    const auto file = firmwareFile();
    if (!file || !firmwareFileSound(*file)) return;
    if (several) return updateSelected(rows, *file);
    const auto password = devicePassword(*device);
    if (!password) return;
    auto params = std::make_unique<ops::UpdateParams>();
    params->device = device;
    params->password.assign(*password);
    params->firmwarePath.assign(*file);
    startDeviceWorker(ops::updateFirmware, std::move(params));
}

void CMainDlg::updateSelected(const std::vector<int>& rows, const std::string& file)
{
    auto params = std::make_unique<ops::BulkUpdateParams>();
    params->firmwarePath.assign(file);
    for (int row : rows) {
        const net::DeviceRecord* device = list_->recordAt(row);
        if (!device) continue;
        ops::BulkUpdateDevice entry;
        entry.mac = device->mac;
        // Passwords are asked for before the run, so that it needs no one; other kinds are skipped
        // by the run and need none.
        if (device->productKind == 0) {
            const auto password = devicePassword(*device);
            if (!password) return;
            entry.password.assign(*password);
        }
        params->devices.push_back(entry);
    }
    startDeviceWorker(ops::bulkUpdate, std::move(params));
}

void CMainDlg::serialNumber()
{
    net::DeviceRecord* device = list_->current();
    if (!theApp().internalMode() || !device) return;
    if (!enterSerialNumber()) return;
    auto params = std::make_unique<ops::SerialParams>();
    params->device = list_->current();
    params->password.assign(kServicePassword);
    startDeviceWorker(ops::setSerialNumber, std::move(params));
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
    if (!(prompt_.*edit)(*device) || !(device->*modified)) {
        *device = before;
        return;
    }
    const auto password = devicePassword(*device);
    if (!password) {
        *device = before;
        return;
    }
    auto params = std::make_unique<ops::UdpCommandParams>();
    params->device = device;
    params->password.assign(*password);
    startDeviceWorker(operation, std::move(params));
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
    // The operation's path field holds 259 characters: a longer path would name another file.
    if (file->size() >= 260) {
        refuse(pathTooLong, app::kMbIconError);
        return;
    }
    const auto password = devicePassword(*device);
    if (!password) return;
    auto params = std::make_unique<ops::UdpCommandParams>();
    params->device = device;
    params->password.assign(*password);
    params->filePath.assign(*file);
    startDeviceWorker(operation, std::move(params));
}

// ---------------------------------------------------------------------------------------------
// Card list, device list, menu

void CMainDlg::onCardChosen(int index)
{
    for (const auto& card : cards_) {
        if (card.index == index) selectedCard_ = &card;
    }
}

void CMainDlg::showDevice(const net::DeviceRecord* record)
{
    if (!record) {
        deviceLabel_->setText(QString::fromLatin1(kNone));
        return;
    }
    const QString name = fromCp1252(record->name.str());
    if (record->serialNumber == net::kNoSerialNumber) deviceLabel_->setText(name);
    else deviceLabel_->setText(QStringLiteral("%1 (#%2)").arg(name, QString::asprintf("%08d", static_cast<int>(record->serialNumber))));
}

void CMainDlg::onListSelectionChanged()
{
    const int row = list_->focusedSelectedRow();
    net::DeviceRecord* record = row >= 0 ? list_->recordAt(row) : nullptr;
    list_->setCurrent(record);
    showDevice(record);
    if (mode() != OperatingMode::Endurance) batchLabel_->setText(QString::fromLatin1(kNone));
    // While a worker runs the controls stay as it needs them, whoever changed the selection.
    if ((mode() == OperatingMode::Service || mode() == OperatingMode::Production) && running_ == 0) {
        enableControls(idleSwitches());
    }
}

void CMainDlg::onListDoubleClicked(int row, int column)
{
    if (mode() != OperatingMode::Service || running_ > 0) return;
    net::DeviceRecord* device = list_->current();
    if (!device || list_->recordAt(row) != device) return;
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
    busy_ = true;
}

void CMainDlg::searchEnded()
{
    searching_ = false;
    setSearchCaptions(false);
    cardList_->setEnabled(true);
    address_->setEnabled(true);
    busy_ = false;
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
