#include "ui/CSerialNoDlg.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "ops/InputChecks.h"
#include "ui/UiText.h"

namespace vst::ui {

CSerialNoDlg::CSerialNoDlg(app::OperatorPrompt& prompt, net::DeviceRecord& record, QWidget* parent)
    : SingleInputDialog(prompt,
                        {10600, 10601, 10602, 10603, app::TextId{30600}, app::TextId{30601}, app::TextId{30602},
                         app::TextId{30603}},
                        parent),
      record_(record)
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
