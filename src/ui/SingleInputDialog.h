#pragma once
// The frame of the small dialogs that take one text: a label, an edit, OK (the default button)
// and Cancel. OK asks the dialog to check and take the input; bad input shows a message and the
// dialog stays open.
#include <QDialog>

#include "app/OperatorPrompt.h"
#include "app/Texts.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace vst::ui {

class SingleInputDialog : public QDialog {
    Q_OBJECT
public:
    QLabel* label() const { return label_; }
    QLineEdit* edit() const { return edit_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    struct Layout {
        int labelId, editId, okId, cancelId;  // control ids
        app::TextId title, labelText, okText, cancelText;
    };
    SingleInputDialog(app::OperatorPrompt& prompt, const Layout& layout, QWidget* parent);

    // Checks the input and takes it; false keeps the dialog open (after a message).
    virtual bool takeInput() = 0;
    // The message of the text id with the exclamation icon.
    void refuse(app::TextId text);

    app::OperatorPrompt& prompt_;

private:
    void onOk();

    QLabel* label_ = nullptr;
    QLineEdit* edit_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace vst::ui
