#include "ui/SingleInputDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/UiText.h"

namespace vst::ui {

SingleInputDialog::SingleInputDialog(app::OperatorPrompt& prompt, const Layout& layout, QWidget* parent)
    : QDialog(parent), prompt_(prompt)
{
    setWindowTitle(uiText(layout.title));
    label_ = new QLabel(uiText(layout.labelText), this);
    identify(label_, layout.labelId, label_->text());
    edit_ = new QLineEdit(this);
    identify(edit_, layout.editId, label_->text());
    label_->setBuddy(edit_);
    ok_ = new QPushButton(uiText(layout.okText), this);
    identify(ok_, layout.okId, ok_->text());
    ok_->setDefault(true);
    cancel_ = new QPushButton(uiText(layout.cancelText), this);
    identify(cancel_, layout.cancelId, cancel_->text());

    const DialogUnits du(this);
    edit_->setMinimumWidth(du.x(110));

    auto* grid = new QGridLayout(this);
    grid->addWidget(label_, 0, 0);
    grid->addWidget(edit_, 0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    grid->addLayout(buttons, 1, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(ok_, &QPushButton::clicked, this, &SingleInputDialog::onOk);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void SingleInputDialog::refuse(app::TextId text)
{
    prompt_.messageBox(app::loadText(text), app::kMbIconExclamation);
    edit_->setFocus();
}

void SingleInputDialog::onOk()
{
    if (takeInput()) accept();
}

}  // namespace vst::ui
