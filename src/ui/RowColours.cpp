#include "ui/RowColours.h"

#include <cmath>

#include "app/Texts.h"
#include "ui/UiText.h"

namespace vst::ui {
namespace {

// The relative luminance of an sRGB colour.
double luminance(const QColor& colour)
{
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

}  // namespace

QColor rowBackground(int32_t rowStatus)
{
    switch (rowStatus) {
    case 1: return QColor(255, 255, 0);
    case 2: return QColor(0, 255, 0);
    case 3: return QColor(255, 0, 0);
    default: return QColor();
    }
}

double contrastRatio(const QColor& a, const QColor& b)
{
    double lighter = luminance(a);
    double darker = luminance(b);
    if (lighter < darker) std::swap(lighter, darker);
    return (lighter + 0.05) / (darker + 0.05);
}

QColor readableTextColour(const QColor& background)
{
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return contrastRatio(black, background) >= contrastRatio(white, background) ? black : white;
}

QString rowStateText(int32_t rowStatus)
{
    switch (rowStatus) {
    case 1: return uiText(app::TextId{37458});
    case 2: return uiText(app::TextId{37459});
    case 3: return uiText(app::TextId{37460});
    default: return QString();
    }
}

}  // namespace vst::ui
