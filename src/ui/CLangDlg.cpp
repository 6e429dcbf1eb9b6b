#include "ui/CLangDlg.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadioButton>

#include "app/CApp.h"
#include "app/Language.h"
#include "ui/UiText.h"

namespace vst::ui {
namespace {

constexpr int kFlagWidth = 36;
constexpr int kFlagHeight = 22;

QPixmap germanFlag()
{
    QPixmap flag(kFlagWidth, kFlagHeight);
    QPainter p(&flag);
    const int stripe = kFlagHeight / 3;
    p.fillRect(0, 0, kFlagWidth, stripe, QColor(0, 0, 0));
    p.fillRect(0, stripe, kFlagWidth, stripe, QColor(221, 0, 0));
    p.fillRect(0, 2 * stripe, kFlagWidth, kFlagHeight - 2 * stripe, QColor(255, 206, 0));
    return flag;
}

QPixmap englishFlag()
{
    QPixmap flag(kFlagWidth, kFlagHeight);
    QPainter p(&flag);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor blue(1, 33, 105), red(200, 16, 46), white(255, 255, 255);
    p.fillRect(flag.rect(), blue);
    const QLineF diagonals[] = {{0, 0, kFlagWidth, kFlagHeight}, {0, kFlagHeight, kFlagWidth, 0}};
    p.setPen(QPen(white, 5));
    p.drawLines(diagonals, 2);
    p.setPen(QPen(red, 2));
    p.drawLines(diagonals, 2);
    p.fillRect(kFlagWidth / 2 - 4, 0, 8, kFlagHeight, white);
    p.fillRect(0, kFlagHeight / 2 - 4, kFlagWidth, 8, white);
    p.fillRect(kFlagWidth / 2 - 2, 0, 4, kFlagHeight, red);
    p.fillRect(0, kFlagHeight / 2 - 2, kFlagWidth, 4, red);
    return flag;
}

}  // namespace

CLangDlg::CLangDlg(platform::SettingsStore& settings, QWidget* parent) : OkCancelDialog(parent), settings_(settings)
{
    setWindowTitle(uiText(app::TextId{30200}));
    germanPicture_ = new QLabel(this);
    germanPicture_->setPixmap(germanFlag());
    german_ = new QRadioButton(uiText(app::TextId{30201}), this);
    identify(german_, 10201, german_->text());
    identify(germanPicture_, 10200, german_->text());
    englishPicture_ = new QLabel(this);
    englishPicture_->setPixmap(englishFlag());
    english_ = new QRadioButton(uiText(app::TextId{30202}), this);
    identify(english_, 10203, english_->text());
    identify(englishPicture_, 10202, english_->text());
    germanPicture_->installEventFilter(this);
    englishPicture_->installEventFilter(this);
    germanPicture_->setCursor(Qt::PointingHandCursor);
    englishPicture_->setCursor(Qt::PointingHandCursor);

    auto* closing = addOkCancelRow(10204, app::TextId{30203}, 10205, app::TextId{30204});

    if (app::CApp::instance().textIdOffset() != 0) english_->setChecked(true);
    else german_->setChecked(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(germanPicture_, 0, 0);
    grid->addWidget(german_, 0, 1);
    grid->addWidget(englishPicture_, 1, 0);
    grid->addWidget(english_, 1, 1);
    grid->addLayout(closing, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(okButton(), &QPushButton::clicked, this, &CLangDlg::onOk);
}

bool CLangDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == germanPicture_) german_->setChecked(true);
        if (watched == englishPicture_) english_->setChecked(true);
    }
    return QDialog::eventFilter(watched, event);
}

void CLangDlg::onOk()
{
    std::string failure;
    storeFailure_.reset();
    if (!app::chooseLanguage(english_->isChecked(), settings_, &failure)) storeFailure_ = failure;
    accept();
}

}  // namespace vst::ui
