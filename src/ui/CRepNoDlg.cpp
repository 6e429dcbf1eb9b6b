#include "ui/CRepNoDlg.h"

#include <QLineEdit>

#include "ops/InputChecks.h"
#include "ui/UiText.h"

namespace vst::ui {
namespace {

}  // namespace

bool CRepNoDlg::isFolderNameText(const QString& text)
{
    static const QString kForbidden = QStringLiteral("\\/:*?\"<>|");
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || kForbidden.contains(c)) return false;
    }
    return true;
}

CRepNoDlg::CRepNoDlg(app::OperatorPrompt& prompt, QWidget* parent)
    : SingleInputDialog(prompt, Layout::numbered(10900, 30900), parent)
{
    edit()->setMaxLength(kMaxLength);
}

bool CRepNoDlg::takeInput()
{
    // The number becomes part of a folder name: what cannot be is refused, never dropped silently.
    const std::string number = toCp1252(edit()->text());
    if (auto refusal = ops::checkFolderNumber(number, app::TextId{30904})) {
        refuse(*refusal);
        return false;
    }
    repairNumber_ = number;
    return true;
}

}  // namespace vst::ui
