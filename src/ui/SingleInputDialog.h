#pragma once
// The frame of the small dialogs that take one text: a label, an edit, OK (the default button)
// and Cancel. OK asks the dialog to check and take the input; bad input shows a message and the
// dialog stays open.
#include "app/OperatorPrompt.h"
#include "app/Texts.h"
#include "net/DeviceRecord.h"
#include "ui/OkCancelDialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace vst::ui {

class SingleInputDialog : public OkCancelDialog {
    Q_OBJECT
public:
    QLabel* label() const { return label_; }
    QLineEdit* edit() const { return edit_; }

protected:
    struct Layout {
        int labelId, editId, okId, cancelId;  // control ids
        app::TextId title, labelText, okText, cancelText;

        // The layout of a dialog template that numbers its controls from `firstId` (label, edit,
        // OK, Cancel) and its texts from `firstText` (title, label, OK, Cancel).
        static constexpr Layout numbered(int firstId, int firstText)
        {
            const auto text = [firstText](int n) { return static_cast<app::TextId>(firstText + n); };
            return {firstId, firstId + 1, firstId + 2, firstId + 3, text(0), text(1), text(2), text(3)};
        }
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
};

// A single-input dialog that edits a field of a device record: taking the input writes the field
// and marks it as still to be sent.
class RecordFieldDialog : public SingleInputDialog {
    Q_OBJECT
protected:
    RecordFieldDialog(app::OperatorPrompt& prompt, const Layout& layout, net::DeviceRecord& record, QWidget* parent)
        : SingleInputDialog(prompt, layout, parent), record_(record)
    {
    }

    net::DeviceRecord& record_;
};

}  // namespace vst::ui
