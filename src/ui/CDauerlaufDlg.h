#pragma once
// The endurance-run configuration dialog: production or repair, the batch or repair number, the
// device count and, for production, one serial number per device in a list edited in place. The
// rules live in ops::EnduranceForm, which the console shares; the dialog shows the form and asks
// it. OK checks the form and, when the window gave its card, the address of every device.
#include <cstdint>
#include <vector>

#include "app/OperatorPrompt.h"
#include "ops/Endurance.h"
#include "ui/OkCancelDialog.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace vst::app {
struct NetworkCard;
}

namespace vst::ui {

class CDauerlaufDlg : public OkCancelDialog {
    Q_OBJECT
public:
    // `card` and `target`: the addresses OK checks; without a card OK leaves that to the start.
    CDauerlaufDlg(app::OperatorPrompt& prompt, const app::NetworkCard* card, uint32_t target, QWidget* parent = nullptr);

    // Results after OK.
    const ops::EnduranceForm& form() const { return form_; }
    const std::vector<uint32_t>& serialNumbers() const { return serials_; }

    QRadioButton* productionButton() const { return production_; }
    QRadioButton* repairButton() const { return repair_; }
    QLineEdit* numberEdit() const { return number_; }
    QLineEdit* countEdit() const { return count_; }
    QTableWidget* serialList() const { return list_; }

    // The in-place editor ended with `text` in `row` (also called by the list's editor).
    void rowEdited(int row, const QString& text);

private:
    void typeChanged();
    void countChanged(const QString& text);
    void showRows();
    void onOk();

    app::OperatorPrompt& prompt_;
    const app::NetworkCard* card_;
    uint32_t target_;
    ops::EnduranceForm form_;
    std::vector<uint32_t> serials_;
    QRadioButton* production_ = nullptr;
    QRadioButton* repair_ = nullptr;
    QLabel* numberLabel_ = nullptr;
    QLineEdit* number_ = nullptr;
    QLineEdit* count_ = nullptr;
    QTableWidget* list_ = nullptr;
};

}  // namespace vst::ui
