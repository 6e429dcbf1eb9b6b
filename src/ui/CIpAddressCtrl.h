#pragma once
// An IPv4 address field of four parts (0 to 255 each), as the station's dialogs use it. It tells
// how many parts hold a value, so that a caller can insist on a completely filled address.
#include <QWidget>

#include <array>
#include <cstdint>

class QLineEdit;

namespace vst::ui {

class CIpAddressCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CIpAddressCtrl(QWidget* parent = nullptr);

    // How many of the four parts hold a value.
    int filledParts() const;
    // The parts joined by dots; an empty part stays empty ("192..0.1").
    QString text() const;
    // Takes "a.b.c.d"; parts that are missing or not a number 0..255 stay empty.
    void setText(const QString& text);
    void setAddress(uint32_t hostOrder);
    void clear();

    QLineEdit* part(int index) const { return parts_[static_cast<size_t>(index)]; }
    // Names the four parts for screen readers after the field's label.
    void setLabel(const QString& label);

signals:
    void edited();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int indexOf(QObject* part) const;
    std::array<QLineEdit*, 4> parts_{};
};

}  // namespace vst::ui
