#pragma once
// Text conversions of the configuration dialogs: the station's texts are Windows-1252, Qt's are
// Unicode.
#include <QString>
#include <QWidget>

#include <string>

#include "app/Texts.h"
#include "platform/CodePage.h"

namespace vst::ui::dialogtext {

inline QString fromCp1252(const std::string& text)
{
    return QString::fromStdString(platform::cp1252ToUtf8(text));
}

inline std::string toCp1252(const QString& text)
{
    return platform::utf8ToCp1252(text.toStdString());
}

// The text of the id in the current language.
inline QString uiText(app::TextId id) { return fromCp1252(app::loadText(id)); }

// Names a control by its id, as tests and accessibility tools find it.
inline void identify(QWidget* widget, int id, const QString& accessibleName)
{
    widget->setObjectName(QString::number(id));
    widget->setAccessibleName(accessibleName);
}

}  // namespace vst::ui::dialogtext
