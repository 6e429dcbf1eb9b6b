#include "ui/config/CCalibEnergyDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/config/DialogText.h"

namespace vst::ui {

using namespace dialogtext;

namespace {

QLineEdit* makeEdit(QWidget* parent, int id, QLabel* label)
{
    auto* e = new QLineEdit(parent);
    identify(e, id, label->text());
    label->setBuddy(e);
    return e;
}

}  // namespace

CCalibEnergyDlg::CCalibEnergyDlg(app::OperatorPrompt& prompt, const config::CalibrationRequest& request,
                                 QWidget* parent)
    : QDialog(parent), prompt_(prompt)
{
    setWindowTitle(uiText(app::TextId{31400}));

    auto* sensorLabel = makeLabel(this, 11400, uiText(app::TextId{31401}));
    auto* sensor = makeLabel(this, 11401,
                             fromCp1252(request.sensorName.str()) +
                                 QString::asprintf(" (%u)", static_cast<unsigned>(request.sensorNumber)));
    auto* ratioLabel = makeLabel(this, 11402, uiText(app::TextId{31402}));
    primary_ = makeEdit(this, 11403, ratioLabel);
    auto* primaryUnit = makeLabel(this, 11404, QStringLiteral("A"));
    auto* toLabel = makeLabel(this, 11405, uiText(app::TextId{31403}));
    secondary_ = makeEdit(this, 11406, toLabel);
    auto* secondaryUnit =
        makeLabel(this, 11407, request.secondaryIsCurrent ? QStringLiteral("A") : QStringLiteral("V"));
    auto* voltageLabel = makeLabel(this, 11408, uiText(app::TextId{31404}));
    voltage_ = makeEdit(this, 11409, voltageLabel);
    auto* voltageUnit = makeLabel(this, 11410, QStringLiteral("V"));
    auto* currentLabel = makeLabel(this, 11411, uiText(app::TextId{31405}));
    current_ = makeEdit(this, 11413, currentLabel);
    auto* currentUnit = makeLabel(this, 11412, QStringLiteral("A"));

    const auto closing = makeClosingRow(this, 11414, app::TextId{31406}, 11415, app::TextId{31407});
    connect(closing.ok, &QPushButton::clicked, this, [this] { onOk(); });

    auto* grid = new QGridLayout;
    grid->addWidget(sensorLabel, 0, 0);
    grid->addWidget(sensor, 0, 1, 1, 5);
    grid->addWidget(ratioLabel, 1, 0);
    grid->addWidget(primary_, 1, 1);
    grid->addWidget(primaryUnit, 1, 2);
    grid->addWidget(toLabel, 1, 3);
    grid->addWidget(secondary_, 1, 4);
    grid->addWidget(secondaryUnit, 1, 5);
    grid->addWidget(voltageLabel, 2, 0);
    grid->addWidget(voltage_, 2, 1);
    grid->addWidget(voltageUnit, 2, 2);
    grid->addWidget(currentLabel, 3, 0);
    grid->addWidget(current_, 3, 1);
    grid->addWidget(currentUnit, 3, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(closing.layout);
}

void CCalibEnergyDlg::onOk()
{
    const std::array<std::string, 4> texts = {toCp1252(primary_->text()), toCp1252(secondary_->text()),
                                              toCp1252(voltage_->text()), toCp1252(current_->text())};
    const auto check = config::checkCalibrationEntries(texts, values_);
    if (check != config::CalibrationCheck::Accepted) {
        prompt_.messageBox(app::loadText(config::textIdOf(check)), app::kMbOk | app::kMbIconExclamation);
        return;
    }
    accept();
}

}  // namespace vst::ui
