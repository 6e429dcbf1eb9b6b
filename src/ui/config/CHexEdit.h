#pragma once
// An edit field for a two-digit hexadecimal I2C address: printable characters other than
// 0-9, a-f and A-F are refused with a beep; control keys such as backspace work as usual.
#include <QLineEdit>

namespace vst::ui {

class CHexEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CHexEdit(QWidget* parent = nullptr);

    static bool isHexCharacter(QChar c);

signals:
    // A typed character was refused (after the beep).
    void characterRefused();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace vst::ui
