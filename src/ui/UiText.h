#pragma once
// Text conversions of the window layer: the station's texts are Windows-1252, Qt's are Unicode.
// Captions from the string table may carry CR LF line breaks, which Qt writes as a single LF.
#include <QString>
#include <QWidget>

#include <string>

#include "app/Texts.h"
#include "platform/CodePage.h"

namespace vst::ui {

inline QString fromCp1252(const std::string& text) { return QString::fromStdString(platform::cp1252ToUtf8(text)); }

inline std::string toCp1252(const QString& text) { return platform::utf8ToCp1252(text.toStdString()); }

// The text of the id in the current language, with CR LF as a line break.
inline QString uiText(app::TextId id)
{
    QString text = fromCp1252(app::loadText(id));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

// A caption as one line, for accessible names.
inline QString oneLine(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

// Names a control by its id, as tests and accessibility tools find it.
inline void identify(QWidget* widget, int id, const QString& accessibleName = QString())
{
    widget->setObjectName(QString::number(id));
    if (!accessibleName.isNull()) widget->setAccessibleName(oneLine(accessibleName));
}

// Dialog units of a font, as dialog templates measure: a quarter of the average character width
// across, an eighth of the character height down.
struct DialogUnits {
    explicit DialogUnits(const QWidget* widget);
    int x(int units) const;
    int y(int units) const;

    int averageCharWidth;
    int charHeight;
};

// Resizes the widget to a size in dialog units of its font.
void resizeInDialogUnits(QWidget* widget, int x, int y);

}  // namespace vst::ui
