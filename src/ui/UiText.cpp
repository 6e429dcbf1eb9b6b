#include "ui/UiText.h"

#include <QFontMetrics>

namespace vst::ui {

DialogUnits::DialogUnits(const QWidget* widget)
{
    const QFontMetrics metrics = widget->fontMetrics();
    // The average width of the Latin letters, as dialog templates measure it.
    static const QString kLetters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    averageCharWidth = (metrics.horizontalAdvance(kLetters) / 26 + 1) / 2;
    charHeight = metrics.height();
}

int DialogUnits::x(int units) const { return units * averageCharWidth / 4; }

int DialogUnits::y(int units) const { return units * charHeight / 8; }

void resizeInDialogUnits(QWidget* widget, int x, int y)
{
    const DialogUnits du(widget);
    widget->resize(du.x(x), du.y(y));
}

}  // namespace vst::ui
