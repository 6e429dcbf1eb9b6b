// The main window's controls, their captions and layouts per operating mode, and which of them
// are enabled.
#include "ui/CMainDlg.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/CApp.h"
#include "platform/WlanDouble.h"
#include "ui/CDeviceListCtrl.h"
#include "ui/CIpAddressCtrl.h"
#include "ui/COutputDlg.h"
#include "ui/CProgressTextCtrl.h"
#include "ui/DeviceStatusBar.h"
#include "ui/ControlIds.h"
#include "ui/UiText.h"

namespace vst::ui {
namespace {

using app::OperatingMode;

struct Caption {
    int control;
    app::TextId text;
};

// The captions of template 100 (labels and buttons).
constexpr Caption kCaptions[] = {
    {kOperatorCaption, app::TextId{30006}}, {kNumberCaption, app::TextId{30008}}, {kDeviceCaption, app::TextId{30007}},
    {kSearchButton, app::TextId{30011}}, {kAddressCaption, app::TextId{30013}}, {kUpdateButton, app::TextId{30014}},
    {kSerialNumberButton, app::TextId{30015}}, {kNetworkButton, app::TextId{30016}}, {kNameButton, app::TextId{30017}},
    {kBackupButton, app::TextId{30018}}, {kRestoreButton, app::TextId{30019}}, {kStockUpdateButton, app::TextId{30020}},
    {kEnduranceStartButton, app::TextId{30021}}, {kEnduranceStopButton, app::TextId{30022}}, {kProductionSearchButton, app::TextId{30023}},
    {kProgrammingButton, app::TextId{30025}}, {kFinalTestButton, app::TextId{30026}}, {kRepairStartButton, app::TextId{30027}},
    {kRepairEndButton, app::TextId{30028}}, {kExitButton, app::TextId{30029}},
};

const app::CApp& theApp() { return app::CApp::instance(); }
OperatingMode mode() { return theApp().operatingMode(); }

constexpr const char* kNone = "-";

// A row of the widgets from the left, closed by a stretch; a null entry leaves a gap of `gap`.
QHBoxLayout* rowOf(std::initializer_list<QWidget*> widgets, int gap)
{
    auto* row = new QHBoxLayout;
    for (QWidget* widget : widgets) {
        if (widget) row->addWidget(widget);
        else row->addSpacing(gap);
    }
    row->addStretch(1);
    return row;
}

// A button of the bottom row: at least 50 dialog units wide and as tall as the row.
QPushButton* sizedAsRowButton(QPushButton* button, const DialogUnits& du)
{
    button->setMinimumWidth(du.x(50));
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    return button;
}

}  // namespace

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
    buildMenu();
    QHBoxLayout* header = buildHeader(du);
    QHBoxLayout* searchRow = buildSearchRow(du);

    QLineEdit* filter = buildFilter();
    list_ = new CDeviceListCtrl(this);
    identify(list_, kDeviceListControl);
    statusBar_ = new DeviceStatusBar(this);
    serviceListHeight_ = du.y(kListHeightUnits);
    list_->setMinimumWidth(du.x(kListWidthUnits));
    list_->setFixedHeight(serviceListHeight_);

    progress1_ = new CProgressTextCtrl(this);
    identify(progress1_, kHeadingProgress);
    progress2_ = new CProgressTextCtrl(this);
    identify(progress2_, kStepProgress);
    progress1_->setFixedHeight(du.y(12));
    progress2_->setFixedHeight(du.y(12));

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar_);
    layout->addLayout(header);
    layout->addLayout(searchRow);
    layout->addWidget(filter);
    layout->addWidget(list_);
    layout->addWidget(statusBar_);
    layout->addWidget(progress1_);
    layout->addWidget(progress2_);
    layout->addLayout(buildButtons(du));
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Initial states of template 100.
    for (int id : {kOperatorCaption, kOperatorField, kNumberCaption, kNumberField, kDeviceCaption, kDeviceField,
                   kCardList, kSerialNumberButton, kStockUpdateButton, kEnduranceStartButton, kEnduranceStopButton,
                   kProductionSearchButton, kProgrammingButton, kFinalTestButton, kRepairStartButton, kRepairEndButton,
                   kHeadingProgress}) {
        control(id)->hide();
    }
    for (int id : {kUpdateButton, kSerialNumberButton, kNetworkButton, kNameButton, kBackupButton, kRestoreButton,
                   kEnduranceStopButton, kFinalTestButton, kRepairStartButton, kRepairEndButton}) {
        control(id)->setEnabled(false);
    }
    connectControls();
    connectViewControls();
}

void CMainDlg::buildMenu()
{
    menuBar_ = new QMenuBar(this);
    fileMenu_ = menuBar_->addMenu(QString());
    exportAction_ = fileMenu_->addAction(QString());
    exportAction_->setObjectName(QString::number(kExportMenu));
    reportAction_ = fileMenu_->addAction(QString());
    reportAction_->setObjectName(QString::number(kReportMenu));
    reportAction_->setVisible(false);
    fileMenu_->addSeparator();
    exitAction_ = fileMenu_->addAction(QString());
    exitAction_->setObjectName(QString::number(kExitMenu));
    helpMenu_ = menuBar_->addMenu(QString());
    languageAction_ = helpMenu_->addAction(QString());
    languageAction_->setObjectName(QString::number(kLanguageMenu));
    aboutAction_ = helpMenu_->addAction(QString());
    aboutAction_->setObjectName(QString::number(kAboutMenu));
}

// Header: operator, repair or batch number, device (shown outside service mode).
QHBoxLayout* CMainDlg::buildHeader(const DialogUnits& du)
{
    auto* operatorCaption = addLabel(kOperatorCaption);
    signLabel_ = addLabel(kOperatorField);
    auto* batchCaption = addLabel(kNumberCaption);
    batchLabel_ = addLabel(kNumberField);
    auto* deviceCaption = addLabel(kDeviceCaption);
    deviceLabel_ = addLabel(kDeviceField);
    signLabel_->setText(QString::fromLatin1(kNone));
    batchLabel_->setText(QString::fromLatin1(kNone));
    deviceLabel_->setText(QString::fromLatin1(kNone));
    // The value fields keep their width whatever they show, so the window never changes its size
    // when a device is selected; the widths hold a sign, "Reparatur" with a 19-character number,
    // and a 15-character name with its serial number.
    signLabel_->setFixedWidth(du.x(40));
    batchLabel_->setFixedWidth(du.x(125));
    deviceLabel_->setFixedWidth(du.x(130));
    return rowOf({operatorCaption, signLabel_, nullptr, batchCaption, batchLabel_, nullptr, deviceCaption, deviceLabel_},
                 du.x(8));
}

// Search row: search button, card list or address label, the direct address.
QHBoxLayout* CMainDlg::buildSearchRow(const DialogUnits& du)
{
    auto* searchButton = addButton(kSearchButton);
    cardList_ = new QComboBox(this);
    identify(cardList_, kCardList);
    cardList_->setMinimumWidth(du.x(110));
    cardList_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cardList_->setMinimumContentsLength(20);
    auto* addressCaption = addLabel(kAddressCaption);
    address_ = new CIpAddressCtrl(this);
    identify(address_, kAddressField);
    addressCaption->setBuddy(address_);
    return rowOf({searchButton, nullptr, cardList_, addressCaption, address_}, du.x(8));
}

// Buttons: the service buttons, the workflow buttons of the modes, and "Beenden".
QHBoxLayout* CMainDlg::buildButtons(const DialogUnits& du)
{
    auto* buttons = new QHBoxLayout;
    // The buttons of a row share its height, that of the caption with the most lines.
    for (int id = kUpdateButton; id <= kRepairEndButton; ++id) buttons->addWidget(sizedAsRowButton(addButton(id), du));
    buttons->addStretch(1);
    buttons->addWidget(sizedAsRowButton(addButton(kExitButton), du));
    return buttons;
}

void CMainDlg::connectControls()
{
    const std::pair<int, void (CMainDlg::*)()> buttons[] = {
        {kSearchButton, &CMainDlg::search},
        {kProductionSearchButton, &CMainDlg::search},
        {kUpdateButton, &CMainDlg::update},
        {kSerialNumberButton, &CMainDlg::serialNumber},
        {kNetworkButton, &CMainDlg::networkConfiguration},
        {kNameButton, &CMainDlg::deviceName},
        {kBackupButton, &CMainDlg::backup},
        {kRestoreButton, &CMainDlg::restore},
        {kStockUpdateButton, &CMainDlg::stockUpdate},
        {kProgrammingButton, &CMainDlg::initialProgramming},
        {kEnduranceStartButton, &CMainDlg::enduranceStart},
        {kEnduranceStopButton, &CMainDlg::enduranceStop},
    };
    for (const auto& [id, handler] : buttons) {
        connect(static_cast<QPushButton*>(control(id)), &QPushButton::clicked, this, handler);
    }
    for (int id : {kFinalTestButton, kRepairStartButton, kRepairEndButton}) {
        connect(static_cast<QPushButton*>(control(id)), &QPushButton::clicked, this, [this, id] { productionStart(id); });
    }
    connect(static_cast<QPushButton*>(control(kExitButton)), &QPushButton::clicked, this, &QWidget::close);
    connect(exitAction_, &QAction::triggered, this, &QWidget::close);
    connect(languageAction_, &QAction::triggered, this, &CMainDlg::onLanguage);
    connect(aboutAction_, &QAction::triggered, this, [this] { prompt_.showAbout(); });
    connect(exportAction_, &QAction::triggered, this, &CMainDlg::exportList);
    connect(reportAction_, &QAction::triggered, this, &CMainDlg::showReport);
    connect(cardList_, qOverload<int>(&QComboBox::activated), this, &CMainDlg::onCardChosen);
    connect(list_, &QTableWidget::itemSelectionChanged, this, &CMainDlg::onListSelectionChanged);
    connect(list_, &QTableWidget::cellDoubleClicked, this, &CMainDlg::onListDoubleClicked);
}

QWidget* CMainDlg::control(int id) const { return findChild<QWidget*>(QString::number(id)); }

QAction* CMainDlg::menuAction(int id) const { return findChild<QAction*>(QString::number(id)); }

void CMainDlg::applyModeLayout()
{
    setValue(signLabel_, sign_.empty() ? QString::fromLatin1(kNone) : fromCp1252(sign_));
    for (int id = kSearchButton; id <= kRestoreButton; ++id) control(id)->hide();
    reportAction_->setVisible(true);
    list_->setFixedHeight(static_cast<int>(serviceListHeight_ * 130.0 / 150.0));
    control(kOperatorCaption)->show();
    control(kOperatorField)->show();
    if (mode() != OperatingMode::Stock) {
        control(kNumberCaption)->show();
        control(kNumberField)->show();
    }
    if (mode() != OperatingMode::Endurance) {
        control(kDeviceCaption)->show();
        control(kDeviceField)->show();
    }
    progress1_->show();
    switch (mode()) {
    case OperatingMode::Stock: control(kStockUpdateButton)->show(); break;
    case OperatingMode::Endurance:
        control(kEnduranceStartButton)->show();
        control(kEnduranceStopButton)->show();
        break;
    case OperatingMode::Production:
        for (int id = kProductionSearchButton; id <= kRepairEndButton; ++id) control(id)->show();
        break;
    case OperatingMode::Service: break;
    }
}

void CMainDlg::applyTexts()
{
    fileMenu_->setTitle(uiText(app::TextId{30001}));
    exportAction_->setText(uiText(app::TextId{37350}));
    reportAction_->setText(uiText(app::TextId{37502}));
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
    // Value fields are named after their labels, with their values.
    nameValues();
    const std::pair<int, int> named[] = {{kCardList, kAddressCaption}, {kAddressField, kAddressCaption}};
    for (const auto& [field, label] : named) {
        control(field)->setAccessibleName(oneLine(static_cast<QLabel*>(control(label))->text()));
    }
    address_->setLabel(oneLine(static_cast<QLabel*>(control(kAddressCaption))->text()));
    list_->applyHeaderTexts();
    filter_->setPlaceholderText(uiText(app::TextId{37450}));
    filter_->setAccessibleName(filter_->placeholderText());
    statusBar_->applyTexts();
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
    auto* search = static_cast<QPushButton*>(control(kSearchButton));
    auto* productionSearch = static_cast<QPushButton*>(control(kProductionSearchButton));
    search->setText(uiText(searching ? app::TextId{30012} : app::TextId{30011}));
    productionSearch->setText(uiText(searching ? app::TextId{30024} : app::TextId{30023}));
    search->setAccessibleName(oneLine(search->text()));
    productionSearch->setAccessibleName(oneLine(productionSearch->text()));
}

void CMainDlg::enableControls(const ControlSwitches& on)
{
    for (int id : {kSearchButton, kStockUpdateButton, kProductionSearchButton}) control(id)->setEnabled(on.search);
    for (int id : {kCardList, kAddressField}) control(id)->setEnabled(on.address);
    for (int id : {kSerialNumberButton, kNetworkButton, kNameButton, kBackupButton, kRestoreButton, kFinalTestButton, kRepairStartButton, kRepairEndButton}) control(id)->setEnabled(on.device);
    control(kUpdateButton)->setEnabled(on.device || on.update);
    control(kProgrammingButton)->setEnabled(on.programming && programmingAllowed_);
    list_->setEnabled(on.list);
    filter_->setEnabled(on.list);
    control(kEnduranceStartButton)->setEnabled(on.enduranceStart);
    control(kEnduranceStopButton)->setEnabled(on.enduranceStop);
}

ControlSwitches CMainDlg::idleSwitches() const
{
    ControlSwitches on;
    on.search = on.address = on.programming = on.list = on.enduranceStart = true;
    const net::DeviceRecord* device = list_->current();
    on.device = device && device->productKind == 0;
    // Several selected rows: "Update" updates those of them that are of the served kind.
    const auto rows = list_->selectedRecords();
    if (mode() == OperatingMode::Service && rows.size() > 1) {
        on.update = std::any_of(rows.begin(), rows.end(), [](const net::DeviceRecord* r) { return r && r->productKind == 0; });
    }
    on.enduranceStop = false;
    return on;
}

void CMainDlg::setCloseEnabled(bool enabled)
{
    exitAction_->setEnabled(enabled);
    control(kExitButton)->setEnabled(enabled);
}

void CMainDlg::showDevice(const net::DeviceRecord* record)
{
    if (!record) {
        setValue(deviceLabel_, QString::fromLatin1(kNone));
        return;
    }
    const QString name = fromCp1252(record->name.str());
    if (record->serialNumber == net::kNoSerialNumber) setValue(deviceLabel_, name);
    else setValue(deviceLabel_, QStringLiteral("%1 (#%2)").arg(name, QString::asprintf("%08d", static_cast<int>(record->serialNumber))));
}

}  // namespace vst::ui
