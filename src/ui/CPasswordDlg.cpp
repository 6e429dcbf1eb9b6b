#include "ui/CPasswordDlg.h"

#include <QLineEdit>

#include "ui/UiText.h"

namespace vst::ui {

CPasswordDlg::CPasswordDlg(app::OperatorPrompt& prompt, QWidget* parent)
    : SingleInputDialog(prompt, Layout::numbered(10300, 30300), parent)
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
