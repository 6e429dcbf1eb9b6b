#include "ui/config/CHexEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QRegularExpressionValidator>

namespace vst::ui {

CHexEdit::CHexEdit(QWidget* parent) : QLineEdit(parent)
{
    setMaxLength(2);
    // Pasted text must obey the same rule as typed text.
    setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,2}")), this));
}

bool CHexEdit::isHexCharacter(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

void CHexEdit::keyPressEvent(QKeyEvent* event)
{
    const QString typed = event->text();
    const bool controlShortcut = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (!controlShortcut && typed.size() == 1 && typed[0].isPrint() && !isHexCharacter(typed[0])) {
        QApplication::beep();
        event->accept();
        emit characterRefused();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

}  // namespace vst::ui
