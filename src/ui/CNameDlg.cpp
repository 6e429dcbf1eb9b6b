#include "ui/CNameDlg.h"

#include <QLineEdit>

#include "ui/UiText.h"

namespace vst::ui {

CNameDlg::CNameDlg(app::OperatorPrompt& prompt, net::DeviceRecord& record, QWidget* parent)
    : SingleInputDialog(prompt,
                        {10500, 10501, 10502, 10503, app::TextId{30500}, app::TextId{30501}, app::TextId{30502},
                         app::TextId{30503}},
                        parent),
      record_(record)
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
