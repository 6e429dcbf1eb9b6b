#include "ui/CSerialNoDlg.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "ops/InputChecks.h"
#include "ui/UiText.h"

namespace vst::ui {

CSerialNoDlg::CSerialNoDlg(app::OperatorPrompt& prompt, net::DeviceRecord& record, QWidget* parent)
    : RecordFieldDialog(prompt, Layout::numbered(10600, 30600), record, parent)
{
    edit()->setMaxLength(8);
    edit()->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^[0-9]*$")), edit()));
    if (record.serialNumber != net::kNoSerialNumber) {
        edit()->setText(QString::asprintf("%08u", record.serialNumber));
    }
}

bool CSerialNoDlg::takeInput()
{
    uint32_t serial = 0;
    if (const auto refusal = ops::checkSerialInput(toCp1252(edit()->text()), serial)) {
        refuse(*refusal);
        return false;
    }
    record_.serialNumber = serial;
    record_.serialModified = true;
    return true;
}

}  // namespace vst::ui
