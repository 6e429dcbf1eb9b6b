#include "ui/CPasswordDlg.h"

#include <QLineEdit>

#include "ui/UiText.h"

namespace vst::ui {

CPasswordDlg::CPasswordDlg(app::OperatorPrompt& prompt, QWidget* parent)
    : SingleInputDialog(prompt,
                        {10300, 10301, 10302, 10303, app::TextId{30300}, app::TextId{30301}, app::TextId{30302},
                         app::TextId{30303}},
                        parent)
{
    edit()->setEchoMode(QLineEdit::Password);
    edit()->setMaxLength(kMaxLength);
}

bool CPasswordDlg::takeInput()
{
    if (edit()->text().isEmpty()) {
        refuse(app::TextId{30304});
        return false;
    }
    password_ = toCp1252(edit()->text());
    return true;
}

}  // namespace vst::ui
