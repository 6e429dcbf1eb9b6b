#include "ui/CAboutDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "app/Version.h"
#include "ui/UiText.h"

namespace vst::ui {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    const std::string product = app::programProductName();
    setWindowTitle(uiText(app::TextId{30100}) + QLatin1Char(' ') + fromCp1252(product));

    auto* icon = new QLabel(this);
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(size, size));

    version_ = new QLabel(
        fromCp1252(app::aboutVersionLine(product, app::loadText(30101), app::programProductVersion())), this);
    version_->setTextFormat(Qt::PlainText);
    copyright_ = new QLabel(fromCp1252(std::string(app::programCopyright()).substr(0, kMaxCopyrightLength)), this);
    copyright_->setTextFormat(Qt::PlainText);
    identify(version_, 10100, version_->text());
    identify(copyright_, 10101, copyright_->text());
    ok_ = new QPushButton(uiText(app::TextId{30102}), this);
    identify(ok_, 10102, ok_->text());
    ok_->setDefault(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(version_, 0, 1);
    grid->addWidget(copyright_, 1, 1);
    grid->addWidget(ok_, 0, 2, Qt::AlignTop);
    grid->setHorizontalSpacing(DialogUnits(this).x(10));
    grid->setSizeConstraint(QLayout::SetFixedSize);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace vst::ui
