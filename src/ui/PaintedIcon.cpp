#include "ui/PaintedIcon.h"

#include <QPainter>
#include <QPixmap>

namespace vst::ui {

QIcon paintedIcon(std::initializer_list<int> sizes, const std::function<void(QPainter&, int size)>& paint)
{
    QIcon icon;
    for (int size : sizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        paint(painter, size);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace vst::ui
