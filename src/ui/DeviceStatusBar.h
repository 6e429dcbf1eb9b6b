#pragma once
// The line under the device list: how many devices the list shows ("%d Geräte", or "%d von %d
// Geräten" while the filter hides some) and, while a step waits for a device, the step with the
// seconds left. Both are labels whose accessible names are their texts, so screen readers read
// them like any other value of the window.
#include <QWidget>

#include <string>

class QLabel;
class QTimer;

namespace vst::ui {

class DeviceStatusBar : public QWidget {
    Q_OBJECT
public:
    explicit DeviceStatusBar(QWidget* parent = nullptr);

    // The count: `shown` of `total` listed devices.
    void setCount(int shown, int total);
    // Counts `seconds` down for the step (Windows-1252 text), one second at a time.
    void startCountdown(const std::string& step, int seconds);
    void stopCountdown();
    // Writes both texts in the current language again.
    void applyTexts();

    QLabel* countLabel() const { return count_; }
    QLabel* countdownLabel() const { return countdown_; }
    int secondsLeft() const { return secondsLeft_; }

    // The count text of the current language.
    static QString countText(int shown, int total);

private:
    void tick();
    void showCountdown();

    QLabel* count_ = nullptr;
    QLabel* countdown_ = nullptr;
    QTimer* timer_ = nullptr;
    int shown_ = 0;
    int total_ = 0;
    std::string step_;
    int secondsLeft_ = 0;
};

}  // namespace vst::ui
