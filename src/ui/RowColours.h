#pragma once
// The colours of a device row: the background the workflows choose through the record's
// rowStatus, a text colour that stays readable on it, and what the colour means in words.
#include <QColor>
#include <QString>

#include <cstdint>

namespace vst::ui {

// The row states that colour a row: in progress (yellow), passed (green), failed (red).
inline constexpr int32_t kRowStates[] = {1, 2, 3};

// The background of a row status; invalid (the default colours) for any other status.
QColor rowBackground(int32_t rowStatus);

// The contrast ratio of two colours as the web accessibility guidelines define it, from 1 (the
// same luminance) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b);

// Black or white, whichever reads better on `background`.
QColor readableTextColour(const QColor& background);

// What a row's colour means ("In Bearbeitung", "Bestanden", "Fehlgeschlagen"); empty for a row
// without a colour.
QString rowStateText(int32_t rowStatus);

}  // namespace vst::ui
