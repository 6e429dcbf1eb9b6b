#include "ui/DeviceStatusBar.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>

#include "app/Format.h"
#include "app/Texts.h"
#include "ui/UiText.h"

namespace vst::ui {

DeviceStatusBar::DeviceStatusBar(QWidget* parent) : QWidget(parent)
{
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("deviceCount"));
    countdown_ = new QLabel(this);
    countdown_->setObjectName(QStringLiteral("countdown"));
    for (QLabel* label : {count_, countdown_}) {
        label->setTextFormat(Qt::PlainText);
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
    }
    countdown_->hide();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(count_);
    layout->addWidget(countdown_, 1);
    layout->addStretch(0);
    timer_ = new QTimer(this);
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &DeviceStatusBar::tick);
    applyTexts();
}

QString DeviceStatusBar::countText(int shown, int total)
{
    if (shown == total) return fromCp1252(app::formatText(app::loadText(37451), total));
    return fromCp1252(app::formatText(app::loadText(37452), shown, total));
}

void DeviceStatusBar::setCount(int shown, int total)
{
    shown_ = shown;
    total_ = total;
    count_->setText(countText(shown, total));
    count_->setAccessibleName(count_->text());
}

void DeviceStatusBar::startCountdown(const std::string& step, int seconds)
{
    step_ = step;
    secondsLeft_ = seconds;
    showCountdown();
    timer_->start();
}

void DeviceStatusBar::stopCountdown()
{
    timer_->stop();
    secondsLeft_ = 0;
    countdown_->clear();
    countdown_->setAccessibleName(QString());
    countdown_->hide();
}

void DeviceStatusBar::tick()
{
    if (--secondsLeft_ <= 0) return stopCountdown();
    showCountdown();
}

void DeviceStatusBar::showCountdown()
{
    if (secondsLeft_ <= 0) return stopCountdown();
    countdown_->setText(fromCp1252(app::formatText(app::loadText(37455), step_.c_str(), secondsLeft_)));
    countdown_->setAccessibleName(countdown_->text());
    countdown_->show();
}

void DeviceStatusBar::applyTexts()
{
    setCount(shown_, total_);
    if (secondsLeft_ > 0) showCountdown();
}

}  // namespace vst::ui
