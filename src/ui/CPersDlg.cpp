#include "ui/CPersDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "app/Records.h"
#include "app/SerialLog.h"
#include "platform/FileSystem.h"
#include "ui/UiText.h"

namespace vst::ui {

std::vector<std::string> CPersDlg::parseSignList(std::string_view bytes)
{
    std::vector<std::string> signs;
    std::string line;
    for (const char c : bytes) {
        if (c == '\n') {
            // Blanks around a sign (a trailing blank, a CR) are no part of it.
            signs.push_back(app::trimOperatorSign(std::string_view(app::trimOperatorSign(line)).substr(0, kMaxSignLength)));
            line.clear();
        } else {
            line.push_back(c);
        }
    }
    return signs;
}

CPersDlg::CPersDlg(app::OperatorPrompt& prompt, std::string serialNumberPath, QWidget* parent)
    : QDialog(parent), prompt_(prompt), serialNumberPath_(std::move(serialNumberPath))
{
    setWindowTitle(uiText(app::TextId{30800}));
    label_ = new QLabel(uiText(app::TextId{30801}), this);
    identify(label_, 10800, label_->text());
    list_ = new QComboBox(this);
    identify(list_, 10801, label_->text());
    label_->setBuddy(list_);
    ok_ = new QPushButton(uiText(app::TextId{30802}), this);
    identify(ok_, 10802, ok_->text());
    ok_->setDefault(true);

    const DialogUnits du(this);
    list_->setMinimumWidth(du.x(70));
    auto* grid = new QGridLayout(this);
    grid->addWidget(label_, 0, 0);
    grid->addWidget(list_, 0, 1);
    grid->addWidget(ok_, 1, 1, Qt::AlignRight);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    connect(ok_, &QPushButton::clicked, this, &CPersDlg::onOk);
}

bool CPersDlg::loadList()
{
    list_->clear();
    signs_.clear();
    const std::string path = platform::joinPath(serialNumberPath_, app::kOperatorListName);
    const auto bytes = platform::readFileBytes(platform::osPath(path));
    if (!bytes) {
        prompt_.messageBox(app::loadText(30803), app::kMbIconError);
        return false;
    }
    const auto signs = parseSignList(*bytes);
    if (signs.empty()) {
        prompt_.messageBox(app::loadText(30804), app::kMbIconError);
        return false;
    }
    signs_ = signs;
    for (const auto& sign : signs_) list_->addItem(fromCp1252(sign));
    list_->setCurrentIndex(0);
    return true;
}

int CPersDlg::exec()
{
    if (!loadList()) {
        setResult(QDialog::Rejected);
        return QDialog::Rejected;
    }
    return QDialog::exec();
}

void CPersDlg::onOk()
{
    const int index = list_->currentIndex();
    if (index < 0 || index >= static_cast<int>(signs_.size())) return;
    const std::string& sign = signs_[static_cast<size_t>(index)];
    // A blank or control character inside the sign would split the columns of the log's lines.
    if (!app::isValidOperatorSign(sign)) {
        prompt_.messageBox(app::loadText(app::kInvalidSignText), app::kMbIconExclamation);
        return;
    }
    sign_ = sign;
    accept();
}

}  // namespace vst::ui
