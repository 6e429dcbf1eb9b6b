#include "ui/SingleInputDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/UiText.h"

namespace vst::ui {

SingleInputDialog::SingleInputDialog(app::OperatorPrompt& prompt, const Layout& layout, QWidget* parent)
    : OkCancelDialog(parent), prompt_(prompt)
{
    setWindowTitle(uiText(layout.title));
    label_ = new QLabel(uiText(layout.labelText), this);
    identify(label_, layout.labelId, label_->text());
    edit_ = new QLineEdit(this);
    identify(edit_, layout.editId, label_->text());
    label_->setBuddy(edit_);
    auto* closing = addOkCancelRow(layout.okId, layout.okText, layout.cancelId, layout.cancelText);

    const DialogUnits du(this);
    edit_->setMinimumWidth(du.x(110));

    auto* grid = new QGridLayout(this);
    grid->addWidget(label_, 0, 0);
    grid->addWidget(edit_, 0, 1);
    grid->addLayout(closing, 1, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(okButton(), &QPushButton::clicked, this, &SingleInputDialog::onOk);
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
