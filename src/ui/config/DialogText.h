#pragma once
// Text conversions of the configuration dialogs (the station's texts are Windows-1252, Qt's are
// Unicode) and the captioned controls they build from them.
#include <QString>
#include <QWidget>

#include <string>

#include "app/Texts.h"
#include "platform/CodePage.h"

class QDialog;
class QHBoxLayout;
class QLabel;
class QPushButton;

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

// A label with the text, named by its control id.
QLabel* makeLabel(QWidget* parent, int id, const QString& text);
QLabel* makeLabel(QWidget* parent, int id, app::TextId text);

// A push button with the text of the id, named by its control id.
QPushButton* makeButton(QWidget* parent, int id, app::TextId text);

// OK (the default button) and Cancel of a dialog, right-aligned in the closing row. Cancel rejects
// the dialog; what OK does is the caller's.
struct ClosingRow {
    QPushButton* ok;
    QPushButton* cancel;
    QHBoxLayout* layout;
};
ClosingRow makeClosingRow(QDialog* dialog, int okId, app::TextId okText, int cancelId, app::TextId cancelText);

}  // namespace vst::ui::dialogtext
