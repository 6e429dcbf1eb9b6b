#pragma once
// The frame of the dialogs that close with OK (the default button) and Cancel, right-aligned in a
// row below their controls. Cancel rejects the dialog; what OK does is the dialog's own.
#include <QDialog>

#include "app/Texts.h"

class QHBoxLayout;
class QPushButton;

namespace vst::ui {

class OkCancelDialog : public QDialog {
    Q_OBJECT
public:
    explicit OkCancelDialog(QWidget* parent = nullptr) : QDialog(parent) {}

    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    // Makes the two buttons with the texts of the ids and returns the row that holds them, for the
    // dialog's layout.
    QHBoxLayout* addOkCancelRow(int okId, app::TextId okText, int cancelId, app::TextId cancelText);

private:
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace vst::ui
