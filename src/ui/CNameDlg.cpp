#include "ui/CNameDlg.h"

#include <QLineEdit>

#include "ui/UiText.h"

namespace vst::ui {

CNameDlg::CNameDlg(app::OperatorPrompt& prompt, net::DeviceRecord& record, QWidget* parent)
    : RecordFieldDialog(prompt, Layout::numbered(10500, 30500), record, parent)
{
    edit()->setMaxLength(kMaxLength);
    edit()->setText(fromCp1252(record.name.str()));
}

bool CNameDlg::takeInput()
{
    if (edit()->text().isEmpty()) {
        refuse(app::TextId{30504});
        return false;
    }
    // One Windows-1252 byte per character: 15 characters fill at most 15 of the 16 bytes, and the
    // field is zero-padded behind them.
    record_.name.assign(toCp1252(edit()->text()));
    record_.nameModified = true;
    return true;
}

}  // namespace vst::ui
