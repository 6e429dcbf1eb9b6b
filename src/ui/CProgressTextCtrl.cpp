#include "ui/CProgressTextCtrl.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>

namespace vst::ui {

CProgressTextCtrl::CProgressTextCtrl(QWidget* parent) : QProgressBar(parent)
{
    setRange(0, 100);
    setValue(0);
    // The bar's own text is replaced by ours.
    setTextVisible(false);
}

void CProgressTextCtrl::repaintNow()
{
    ++repaints_;
    // Screen readers read what the bar shows.
    setAccessibleName(overlayText());
    repaint();
}

void CProgressTextCtrl::setTextAndPosition(const QString& caption, int position)
{
    bool changed = false;
    if (caption != caption_) {
        caption_ = caption;
        changed = true;
    }
    if (position != value()) {
        setValue(position);
        changed = true;
    }
    if (changed) repaintNow();
}

void CProgressTextCtrl::setCaption(const QString& caption)
{
    if (caption != caption_) caption_ = caption;
    repaintNow();
}

void CProgressTextCtrl::setPosition(int position)
{
    if (position != value()) setValue(position);
    repaintNow();
}

QString CProgressTextCtrl::overlayText() const
{
    const int low = minimum();
    const int high = maximum();
    const int position = value();
    if (position < low || position > high || caption_.isEmpty()) return QString();
    const int percent = high == low ? 0 : static_cast<int>((position - low) * 100.0 / (high - low));
    return QStringLiteral("%1 (%2%)").arg(caption_).arg(percent);
}

void CProgressTextCtrl::paintEvent(QPaintEvent* event)
{
    QProgressBar::paintEvent(event);
    const QString text = overlayText();
    if (text.isEmpty()) return;

    // The caption reads in the text colour over the empty part of the bar and in the highlighted
    // text colour over the filled part, so it stays legible wherever the bar ends.
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    const QRect bar = rect();
    const double fraction = maximum() == minimum() ? 0.0 : double(value() - minimum()) / (maximum() - minimum());
    const int filledWidth = static_cast<int>(bar.width() * fraction);
    const QRect filled = layoutDirection() == Qt::RightToLeft
                             ? QRect(bar.right() - filledWidth + 1, bar.top(), filledWidth, bar.height())
                             : QRect(bar.left(), bar.top(), filledWidth, bar.height());

    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setClipRegion(QRegion(bar).subtracted(filled));
    painter.drawText(bar, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip, text);
    painter.setPen(palette().color(QPalette::HighlightedText));
    painter.setClipRect(filled);
    painter.drawText(bar, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip, text);
}

}  // namespace vst::ui
