#include "ui/CNetDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "ops/InputChecks.h"
#include "ui/CIpAddressCtrl.h"
#include "ui/UiText.h"

namespace vst::ui {

QString CNetDlg::deviceTitle(const net::DeviceRecord& record)
{
    const QString name = fromCp1252(record.name.str());
    if (record.serialNumber == net::kNoSerialNumber) return name;
    return QStringLiteral("%1 (#%2)").arg(name, QString::asprintf("%08d", static_cast<int>(record.serialNumber)));
}

CNetDlg::CNetDlg(app::OperatorPrompt& prompt, net::DeviceRecord& record, QWidget* parent)
    : OkCancelDialog(parent), prompt_(prompt), record_(record)
{
    setWindowTitle(uiText(app::TextId{30400}));
    auto* grid = new QGridLayout(this);

    auto* deviceLabel = new QLabel(uiText(app::TextId{30401}), this);
    identify(deviceLabel, 10400, deviceLabel->text());
    device_ = new QLabel(deviceTitle(record), this);
    device_->setTextFormat(Qt::PlainText);
    identify(device_, 10401, deviceLabel->text());
    grid->addWidget(deviceLabel, 0, 0);
    grid->addWidget(device_, 0, 1);

    auto* dhcpLabel = new QLabel(uiText(app::TextId{30402}), this);
    identify(dhcpLabel, 10402, dhcpLabel->text());
    dhcp_ = new QComboBox(this);
    identify(dhcp_, 10403, dhcpLabel->text());
    dhcp_->addItem(uiText(app::TextId{30403}));
    dhcp_->addItem(uiText(app::TextId{30404}));
    dhcp_->addItem(uiText(app::TextId{30405}));
    dhcp_->setCurrentIndex(record.dhcpServer ? 2 : record.dhcpClient ? 1 : 0);
    dhcpLabel->setBuddy(dhcp_);
    grid->addWidget(dhcpLabel, 1, 0);
    grid->addWidget(dhcp_, 1, 1, Qt::AlignLeft);

    const std::array<app::TextId, 5> labels = {app::TextId{30406}, app::TextId{30407}, app::TextId{30408},
                                               app::TextId{30409}, app::TextId{30410}};
    const std::array<uint32_t, 5> values = {record.address, record.mask, record.gateway, record.dns1, record.dns2};
    for (size_t i = 0; i < fields_.size(); ++i) {
        auto* label = new QLabel(uiText(labels[i]), this);
        identify(label, static_cast<int>(10404 + 2 * i), label->text());
        auto* field = new CIpAddressCtrl(this);
        identify(field, static_cast<int>(10405 + 2 * i));
        field->setLabel(label->text());
        field->setAddress(net::toHostOrder(values[i]));
        label->setBuddy(field);
        grid->addWidget(label, static_cast<int>(2 + i), 0);
        grid->addWidget(field, static_cast<int>(2 + i), 1, Qt::AlignLeft);
        fields_[i] = field;
    }

    // The template gives these two buttons no text of their own; they read as everywhere else.
    grid->addLayout(addOkCancelRow(10414, app::TextId{30302}, 10415, app::TextId{30303}), 7, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(okButton(), &QPushButton::clicked, this, &CNetDlg::onOk);
}

void CNetDlg::onOk()
{
    const ops::NetworkInput input{dhcp_->currentIndex(),
                                  toCp1252(fields_[kAddress]->text()),
                                  toCp1252(fields_[kMask]->text()),
                                  toCp1252(fields_[kGateway]->text()),
                                  toCp1252(fields_[kDns1]->text()),
                                  toCp1252(fields_[kDns2]->text())};
    ops::NetworkValues values{};
    if (const auto refusal = ops::checkNetworkInput(input, values)) {
        prompt_.messageBox(app::loadText(*refusal), app::kMbIconExclamation);
        const int bad = *refusal - 30413;
        if (bad >= 0 && bad < static_cast<int>(fields_.size())) fields_[static_cast<size_t>(bad)]->setFocus();
        return;
    }
    net::editNetworkSettings(record_, input.dhcpMode, net::toNetworkOrder(values.address),
                             net::toNetworkOrder(values.mask), net::toNetworkOrder(values.gateway),
                             net::toNetworkOrder(values.dns1), net::toNetworkOrder(values.dns2));
    accept();
}

}  // namespace vst::ui
