#include "ui/CIpAddressCtrl.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace vst::ui {

CIpAddressCtrl::CIpAddressCtrl(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    // 0 to 255 without leading zeros; an empty part is allowed while typing.
    static const QRegularExpression kPart(QStringLiteral("^(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])?$"));
    for (size_t i = 0; i < parts_.size(); ++i) {
        if (i > 0) layout->addWidget(new QLabel(QStringLiteral("."), this));
        auto* part = new QLineEdit(this);
        part->setObjectName(QStringLiteral("part%1").arg(i));
        part->setMaxLength(3);
        part->setAlignment(Qt::AlignCenter);
        part->setValidator(new QRegularExpressionValidator(kPart, part));
        part->setFixedWidth(part->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 8);
        part->installEventFilter(this);
        connect(part, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            // A complete part moves on to the next, as typing an address expects.
            if (text.size() == 3 && i + 1 < parts_.size()) {
                parts_[i + 1]->setFocus();
                parts_[i + 1]->selectAll();
            }
            emit edited();
        });
        parts_[i] = part;
        layout->addWidget(part);
    }
    setFocusProxy(parts_[0]);
}

int CIpAddressCtrl::indexOf(QObject* part) const
{
    for (size_t i = 0; i < parts_.size(); ++i) {
        if (parts_[i] == part) return static_cast<int>(i);
    }
    return -1;
}

bool CIpAddressCtrl::eventFilter(QObject* watched, QEvent* event)
{
    const int index = indexOf(watched);
    if (index >= 0 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        QLineEdit* part = parts_[static_cast<size_t>(index)];
        const bool separator = key->text() == QLatin1String(".") || key->text() == QLatin1String(",");
        if (separator) {
            if (!part->text().isEmpty() && index < 3) {
                parts_[static_cast<size_t>(index + 1)]->setFocus();
                parts_[static_cast<size_t>(index + 1)]->selectAll();
            }
            return true;
        }
        if (key->key() == Qt::Key_Backspace && part->text().isEmpty() && index > 0) {
            QLineEdit* previous = parts_[static_cast<size_t>(index - 1)];
            previous->setFocus();
            previous->end(false);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

int CIpAddressCtrl::filledParts() const
{
    int n = 0;
    for (const auto* part : parts_) n += part->text().isEmpty() ? 0 : 1;
    return n;
}

QString CIpAddressCtrl::text() const
{
    QStringList texts;
    for (const auto* part : parts_) texts << part->text();
    return texts.join(QLatin1Char('.'));
}

void CIpAddressCtrl::setText(const QString& text)
{
    const QStringList texts = text.split(QLatin1Char('.'));
    for (size_t i = 0; i < parts_.size(); ++i) {
        QString value = static_cast<int>(i) < texts.size() ? texts[static_cast<int>(i)].trimmed() : QString();
        int pos = 0;
        if (parts_[i]->validator()->validate(value, pos) != QValidator::Acceptable) value.clear();
        parts_[i]->setText(value);
    }
}

void CIpAddressCtrl::setAddress(uint32_t a)
{
    for (size_t i = 0; i < parts_.size(); ++i) {
        parts_[i]->setText(QString::number((a >> (24 - 8 * i)) & 0xFF));
    }
}

void CIpAddressCtrl::clear()
{
    for (auto* part : parts_) part->clear();
}

void CIpAddressCtrl::setLabel(const QString& label)
{
    setAccessibleName(label);
    for (size_t i = 0; i < parts_.size(); ++i) {
        parts_[i]->setAccessibleName(QStringLiteral("%1 %2/4").arg(label).arg(i + 1));
    }
}

}  // namespace vst::ui
