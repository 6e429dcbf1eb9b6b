#include "ui/config/CSensorDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "config/ConfigurationAssistant.h"
#include "ui/config/CHexEdit.h"
#include "ui/config/DialogText.h"

namespace vst::ui {

using namespace dialogtext;

namespace {

// An address in grid row `row`: its caption, "0x" and the two-digit hex edit, with the control ids
// firstId, firstId + 1 and firstId + 2.
CHexEdit* addAddressRow(QWidget* parent, QGridLayout* grid, int row, int firstId, app::TextId caption, uint8_t value)
{
    auto* label = makeLabel(parent, firstId, caption);
    auto* prefix = makeLabel(parent, firstId + 1, QStringLiteral("0x"));
    auto* edit = new CHexEdit(parent);
    identify(edit, firstId + 2, label->text());
    edit->setText(QString::asprintf("%02X", static_cast<unsigned>(value)));
    label->setBuddy(edit);
    grid->addWidget(label, row, 0);
    grid->addWidget(prefix, row, 1);
    grid->addWidget(edit, row, 2);
    return edit;
}

}  // namespace

CSensorDlg::CSensorDlg(app::OperatorPrompt& prompt, const config::ConfiguredSensor& sensor, int moduleCount,
                       const config::AddressRange& addressRange, const config::AddressRange& auxRange, QWidget* parent)
    : QDialog(parent), prompt_(prompt), sensor_(sensor), addressRange_(addressRange), auxRange_(auxRange)
{
    setWindowTitle(uiText(app::TextId{31100}));
    auto* grid = new QGridLayout;

    auto* sensorLabel = makeLabel(this, 11100, app::TextId{31101});
    auto* sensorName = makeLabel(this, 11101, fromCp1252(sensor.name));
    grid->addWidget(sensorLabel, 0, 0);
    grid->addWidget(sensorName, 0, 1, 1, 2);

    auto* moduleLabel = makeLabel(this, 11102, app::TextId{31102});
    modules_ = new QComboBox(this);
    identify(modules_, 11103, moduleLabel->text());
    for (int module = 1; module <= std::clamp(moduleCount, 0, config::kMaxModules); ++module) {
        modules_->addItem(QString::asprintf("I2C%u", static_cast<unsigned>(module)));
    }
    if (sensor.module < modules_->count()) modules_->setCurrentIndex(sensor.module);
    moduleLabel->setBuddy(modules_);
    grid->addWidget(moduleLabel, 1, 0);
    grid->addWidget(modules_, 1, 1, 1, 2);

    address_ = addAddressRow(this, grid, 2, 11104, app::TextId{31103}, sensor.address);
    auxAddress_ = addAddressRow(this, grid, 3, 11107, app::TextId{31104}, sensor.auxAddress);

    const auto closing = makeClosingRow(this, 11110, app::TextId{31105}, 11111, app::TextId{31106});
    connect(closing.ok, &QPushButton::clicked, this, [this] { onOk(); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(closing.layout);
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
