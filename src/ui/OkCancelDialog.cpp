#include "ui/OkCancelDialog.h"

#include <QHBoxLayout>
#include <QPushButton>

#include "ui/UiText.h"

namespace vst::ui {

QHBoxLayout* OkCancelDialog::addOkCancelRow(int okId, app::TextId okText, int cancelId, app::TextId cancelText)
{
    ok_ = new QPushButton(uiText(okText), this);
    identify(ok_, okId, ok_->text());
    ok_->setDefault(true);
    cancel_ = new QPushButton(uiText(cancelText), this);
    identify(cancel_, cancelId, cancel_->text());
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok_);
    row->addWidget(cancel_);
    return row;
}

}  // namespace vst::ui
