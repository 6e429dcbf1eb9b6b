#include "ui/config/CDeviceDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/config/CSensorDlg.h"
#include "ui/config/CSensorListCtrl.h"
#include "ui/config/DialogText.h"

namespace vst::ui {

using namespace dialogtext;

namespace {

template <typename Entry>
void fill(QComboBox* combo, const std::vector<Entry>& entries)
{
    for (const Entry& entry : entries) combo->addItem(fromCp1252(entry.name));
    if (combo->count() > 0) combo->setCurrentIndex(0);
}

}  // namespace

CDeviceDlg::CDeviceDlg(app::OperatorPrompt& prompt, std::string configuration, bool editable,
                       std::string templateFolder, QWidget* parent)
    : QDialog(parent),
      runSensorDialog([](CSensorDlg& dialog) { return dialog.exec() == QDialog::Accepted; }),
      prompt_(prompt),
      assistant_(std::move(configuration), editable),
      templateFolder_(std::move(templateFolder))
{
    buildControls();
}

void CDeviceDlg::buildControls()
{
    setWindowTitle(uiText(app::TextId{31000}));

    auto* languageLabel = makeLabel(this, 11000, app::TextId{31001});
    german_ = new QRadioButton(uiText(app::TextId{31002}), this);
    identify(german_, 11001, german_->text());
    english_ = new QRadioButton(uiText(app::TextId{31003}), this);
    identify(english_, 11002, english_->text());
    german_->setChecked(true);

    auto* baseLabel = makeLabel(this, 11003, app::TextId{31004});
    baseDevices_ = new QComboBox(this);
    identify(baseDevices_, 11004, baseLabel->text());
    baseLabel->setBuddy(baseDevices_);

    auto* extensionLabel = makeLabel(this, 11005, app::TextId{31005});
    extensions_ = new QComboBox(this);
    identify(extensions_, 11006, extensionLabel->text());
    extensionLabel->setBuddy(extensions_);
    addExtension_ = makeButton(this, 11007, app::TextId{31006});

    list_ = new CSensorListCtrl(this);
    identify(list_, 11008, windowTitle());
    list_->setSensors(&assistant_.sensors());

    rowButtons_.change = makeButton(this, 11009, app::TextId{31011});
    rowButtons_.up = makeButton(this, 11010, app::TextId{31012});
    rowButtons_.down = makeButton(this, 11011, app::TextId{31013});
    rowButtons_.remove = makeButton(this, 11012, app::TextId{31014});

    auto* sensorLabel = makeLabel(this, 11013, app::TextId{31015});
    sensors_ = new QComboBox(this);
    identify(sensors_, 11014, sensorLabel->text());
    sensorLabel->setBuddy(sensors_);
    addSensor_ = makeButton(this, 11015, app::TextId{31016});

    const auto closing = makeClosingRow(this, 11016, app::TextId{31017}, 11017, app::TextId{31018});

    auto* language = new QHBoxLayout;
    language->addWidget(languageLabel);
    language->addWidget(german_);
    language->addWidget(english_);
    language->addStretch();

    auto* choices = new QGridLayout;
    choices->addWidget(baseLabel, 0, 0);
    choices->addWidget(baseDevices_, 0, 1);
    choices->addWidget(extensionLabel, 1, 0);
    choices->addWidget(extensions_, 1, 1);
    choices->addWidget(addExtension_, 1, 2);
    choices->setColumnStretch(1, 1);

    auto* rowButtons = new QHBoxLayout;
    for (QPushButton* b : rowButtons_.all()) rowButtons->addWidget(b);
    rowButtons->addStretch();

    auto* single = new QGridLayout;
    single->addWidget(sensorLabel, 0, 0);
    single->addWidget(sensors_, 0, 1);
    single->addWidget(addSensor_, 0, 2);
    single->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(language);
    layout->addLayout(choices);
    layout->addWidget(list_, 1);
    layout->addLayout(rowButtons);
    layout->addLayout(single);
    layout->addLayout(closing.layout);
    resize(560, 460);

    connect(baseDevices_, &QComboBox::activated, this, [this](int index) { onBaseDeviceChosen(index); });
    connect(addExtension_, &QPushButton::clicked, this,
            [this] { addChosen(extensions_, &config::ConfigurationAssistant::addExtension); });
    connect(addSensor_, &QPushButton::clicked, this,
            [this] { addChosen(sensors_, &config::ConfigurationAssistant::addSensor); });
    connect(list_, &QTableWidget::itemSelectionChanged, this, [this] { updateRowButtons(); });
    connect(list_, &QTableWidget::cellDoubleClicked, this, [this](int, int) { changeSelectedRow(); });
    connect(rowButtons_.change, &QPushButton::clicked, this, [this] { changeSelectedRow(); });
    connect(rowButtons_.up, &QPushButton::clicked, this, [this] { onMove(true); });
    connect(rowButtons_.down, &QPushButton::clicked, this, [this] { onMove(false); });
    connect(rowButtons_.remove, &QPushButton::clicked, this, [this] { onRemove(); });
    connect(closing.ok, &QPushButton::clicked, this, [this] { onOk(); });
    updateRowButtons();
}

bool CDeviceDlg::initialise()
{
    initialised_ = true;
    if (assistant_.loadCatalogueFromFolder(templateFolder_) != config::AssistantResult::Ok) {
        prompt_.messageBox(app::loadText(app::TextId{31019}), app::kMbOk | app::kMbIconError);
        return false;
    }
    for (const auto& notice : assistant_.catalogueNotices()) {
        prompt_.messageBox(notice, app::kMbOk | app::kMbIconExclamation);
    }
    const auto& catalogue = assistant_.catalogue();
    fill(baseDevices_, catalogue.baseDevices);
    fill(extensions_, catalogue.extensions);
    fill(sensors_, catalogue.sensors);
    german_->setChecked(true);
    applyMode();
    const auto read = assistant_.readInput();
    if (assistant_.english()) english_->setChecked(true);
    refreshList();
    if (read != config::AssistantResult::Ok) warn(config::textIdOf(read));
    return true;
}

int CDeviceDlg::exec()
{
    if (!initialised_ && !initialise()) {
        setResult(QDialog::Rejected);
        return QDialog::Rejected;
    }
    return QDialog::exec();
}

void CDeviceDlg::applyMode()
{
    if (assistant_.editable()) return;
    for (QWidget* w : std::initializer_list<QWidget*>{baseDevices_, extensions_, addExtension_, list_, sensors_,
                                                      addSensor_}) {
        w->setEnabled(false);
    }
    for (QPushButton* b : rowButtons_.all()) b->setEnabled(false);
}

void CDeviceDlg::refreshList(std::optional<size_t> select)
{
    list_->refresh();
    if (select) list_->selectSensor(*select);
    updateRowButtons();
}

void CDeviceDlg::updateRowButtons()
{
    const bool current = assistant_.editable() && list_->selectedSensor().has_value();
    for (QPushButton* b : rowButtons_.all()) b->setEnabled(current);
}

void CDeviceDlg::warn(app::TextId id)
{
    prompt_.messageBox(app::loadText(id), app::kMbOk | app::kMbIconExclamation);
}

void CDeviceDlg::onBaseDeviceChosen(int index)
{
    if (index < 0) return;
    if (!assistant_.sensors().empty()) {
        const int answer = prompt_.messageBox(app::loadText(app::TextId{31020}),
                                              app::kMbYesNo | app::kMbIconQuestion | app::kMbDefaultButton2);
        if (answer != app::kIdYes) return;
    }
    const auto result = assistant_.selectBaseDevice(static_cast<size_t>(index));
    refreshList();
    if (result != config::AssistantResult::Ok) warn(config::textIdOf(result));
}

void CDeviceDlg::addChosen(QComboBox* choice, AddFromCatalogue add)
{
    if (choice->currentIndex() < 0) return;
    // New rows go to the end of the list, so the current row keeps its place and stays selected.
    const auto current = list_->selectedSensor();
    const auto result = (assistant_.*add)(static_cast<size_t>(choice->currentIndex()));
    refreshList(current);
    if (result != config::AssistantResult::Ok) warn(config::textIdOf(result));
}

void CDeviceDlg::changeSelectedRow()
{
    const auto row = list_->selectedSensor();
    if (!row || !assistant_.editable()) return;
    const config::CatalogueSensor* entry = assistant_.catalogueSensorOf(*row);
    if (!entry) return;
    config::SensorList& sensors = assistant_.sensors();
    const config::ConfiguredSensor before = sensors.at(*row);
    config::ConfiguredSensor edited = before;
    bool keep = false;
    for (;;) {
        CSensorDlg dialog(prompt_, edited, assistant_.catalogue().moduleCount, config::addressRangeOf(*entry),
                          config::auxAddressRangeOf(*entry), this);
        if (!runSensorDialog(dialog)) break;
        edited = dialog.sensor();
        sensors.setPlace(*row, edited.module, edited.address, edited.auxAddress);
        if (!assistant_.placeTakenByOther(*row, edited.module, edited.address)) {
            keep = true;
            break;
        }
        const int answer = prompt_.messageBox(app::loadText(app::TextId{31024}),
                                              app::kMbYesNo | app::kMbIconQuestion | app::kMbDefaultButton2);
        if (answer != app::kIdYes) break;
    }
    if (!keep) sensors.setPlace(*row, before.module, before.address, before.auxAddress);
    refreshList(*row);
}

void CDeviceDlg::onMove(bool up)
{
    const auto row = list_->selectedSensor();
    if (!row) return;
    const bool moved = up ? assistant_.sensors().moveUp(*row) : assistant_.sensors().moveDown(*row);
    if (!moved) return;
    refreshList(up ? *row - 1 : *row + 1);
}

void CDeviceDlg::onRemove()
{
    const auto row = list_->selectedSensor();
    if (!row) return;
    assistant_.sensors().remove(*row);
    refreshList();
}

void CDeviceDlg::onOk()
{
    assistant_.setEnglish(english_->isChecked());
    assistant_.finish();
    accept();
}

}  // namespace vst::ui
