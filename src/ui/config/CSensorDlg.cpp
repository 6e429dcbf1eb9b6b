#include "ui/config/CSensorDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "config/ConfigurationAssistant.h"
#include "ui/config/CHexEdit.h"
#include "ui/config/DialogText.h"

namespace vst::ui {

using dialogtext::fromCp1252;
using dialogtext::identify;
using dialogtext::toCp1252;
using dialogtext::uiText;

CSensorDlg::CSensorDlg(app::OperatorPrompt& prompt, const config::ConfiguredSensor& sensor, int moduleCount,
                       const config::AddressRange& addressRange, const config::AddressRange& auxRange, QWidget* parent)
    : QDialog(parent), prompt_(prompt), sensor_(sensor), addressRange_(addressRange), auxRange_(auxRange)
{
    setWindowTitle(uiText(app::TextId{31100}));

    auto* sensorLabel = new QLabel(uiText(app::TextId{31101}), this);
    identify(sensorLabel, 11100, sensorLabel->text());
    auto* sensorName = new QLabel(fromCp1252(sensor.name), this);
    identify(sensorName, 11101, sensorName->text());

    auto* moduleLabel = new QLabel(uiText(app::TextId{31102}), this);
    identify(moduleLabel, 11102, moduleLabel->text());
    modules_ = new QComboBox(this);
    identify(modules_, 11103, moduleLabel->text());
    for (int module = 1; module <= std::clamp(moduleCount, 0, config::kMaxModules); ++module) {
        modules_->addItem(QString::asprintf("I2C%u", static_cast<unsigned>(module)));
    }
    if (sensor.module < modules_->count()) modules_->setCurrentIndex(sensor.module);
    moduleLabel->setBuddy(modules_);

    auto* addressLabel = new QLabel(uiText(app::TextId{31103}), this);
    identify(addressLabel, 11104, addressLabel->text());
    auto* addressPrefix = new QLabel(QStringLiteral("0x"), this);
    identify(addressPrefix, 11105, addressPrefix->text());
    address_ = new CHexEdit(this);
    identify(address_, 11106, addressLabel->text());
    address_->setText(QString::asprintf("%02X", static_cast<unsigned>(sensor.address)));
    addressLabel->setBuddy(address_);

    auto* auxLabel = new QLabel(uiText(app::TextId{31104}), this);
    identify(auxLabel, 11107, auxLabel->text());
    auto* auxPrefix = new QLabel(QStringLiteral("0x"), this);
    identify(auxPrefix, 11108, auxPrefix->text());
    auxAddress_ = new CHexEdit(this);
    identify(auxAddress_, 11109, auxLabel->text());
    auxAddress_->setText(QString::asprintf("%02X", static_cast<unsigned>(sensor.auxAddress)));
    auxLabel->setBuddy(auxAddress_);

    auto* ok = new QPushButton(uiText(app::TextId{31105}), this);
    identify(ok, 11110, ok->text());
    ok->setDefault(true);
    auto* cancel = new QPushButton(uiText(app::TextId{31106}), this);
    identify(cancel, 11111, cancel->text());
    connect(ok, &QPushButton::clicked, this, [this] { onOk(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(sensorLabel, 0, 0);
    grid->addWidget(sensorName, 0, 1, 1, 2);
    grid->addWidget(moduleLabel, 1, 0);
    grid->addWidget(modules_, 1, 1, 1, 2);
    grid->addWidget(addressLabel, 2, 0);
    grid->addWidget(addressPrefix, 2, 1);
    grid->addWidget(address_, 2, 2);
    grid->addWidget(auxLabel, 3, 0);
    grid->addWidget(auxPrefix, 3, 1);
    grid->addWidget(auxAddress_, 3, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
}

void CSensorDlg::onOk()
{
    config::SensorEntries entries;
    const auto result = config::checkSensorEntries(toCp1252(address_->text()), toCp1252(auxAddress_->text()),
                                                   addressRange_, auxRange_, entries);
    if (result != config::AssistantResult::Ok) {
        const auto& range = result == config::AssistantResult::AddressInvalid ? addressRange_ : auxRange_;
        prompt_.messageBox(config::addressComplaint(result, range), app::kMbOk | app::kMbIconExclamation);
        return;
    }
    sensor_.module = static_cast<uint8_t>(std::max(modules_->currentIndex(), 0));
    sensor_.address = entries.address;
    sensor_.auxAddress = entries.auxAddress;
    accept();
}

}  // namespace vst::ui
