#include "ui/CRepNoDlg.h"

#include <QLineEdit>
#include <QValidator>

#include "ui/UiText.h"

namespace vst::ui {
namespace {

class FolderNameValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        return CRepNoDlg::isFolderNameText(input) ? Acceptable : Invalid;
    }
};

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
    : SingleInputDialog(prompt,
                        {10900, 10901, 10902, 10903, app::TextId{30900}, app::TextId{30901}, app::TextId{30902},
                         app::TextId{30903}},
                        parent)
{
    edit()->setMaxLength(kMaxLength);
    edit()->setValidator(new FolderNameValidator(edit()));
}

bool CRepNoDlg::takeInput()
{
    if (edit()->text().isEmpty()) {
        refuse(app::TextId{30904});
        return false;
    }
    repairNumber_ = toCp1252(edit()->text());
    return true;
}

}  // namespace vst::ui
