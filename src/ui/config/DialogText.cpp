#include "ui/config/DialogText.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace vst::ui::dialogtext {

QLabel* makeLabel(QWidget* parent, int id, const QString& text)
{
    auto* label = new QLabel(text, parent);
    identify(label, id, text);
    return label;
}

QLabel* makeLabel(QWidget* parent, int id, app::TextId text) { return makeLabel(parent, id, uiText(text)); }

QPushButton* makeButton(QWidget* parent, int id, app::TextId text)
{
    auto* button = new QPushButton(uiText(text), parent);
    identify(button, id, button->text());
    return button;
}

ClosingRow makeClosingRow(QDialog* dialog, int okId, app::TextId okText, int cancelId, app::TextId cancelText)
{
    ClosingRow row{};
    row.ok = makeButton(dialog, okId, okText);
    row.ok->setDefault(true);
    row.cancel = makeButton(dialog, cancelId, cancelText);
    QObject::connect(row.cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    row.layout = new QHBoxLayout;
    row.layout->addStretch();
    row.layout->addWidget(row.ok);
    row.layout->addWidget(row.cancel);
    return row;
}

}  // namespace vst::ui::dialogtext
