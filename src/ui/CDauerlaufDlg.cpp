#include "ui/CDauerlaufDlg.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include "app/Format.h"
#include "ops/Production.h"
#include "ui/UiText.h"

namespace vst::ui {
namespace {

// The list's in-place editor takes digits only; what it ends with goes to the dialog's rules,
// never straight into the list.
class SerialEditDelegate : public QStyledItemDelegate {
public:
    explicit SerialEditDelegate(CDauerlaufDlg* dialog) : QStyledItemDelegate(dialog), dialog_(dialog) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        auto* edit = new QLineEdit(parent);
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        edit->setMaxLength(10);
        return edit;
    }

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        const QString text = static_cast<QLineEdit*>(editor)->text();
        const int row = index.row();
        // After the editor has closed: a refusal shows a message box.
        QMetaObject::invokeMethod(dialog_, [dialog = dialog_, row, text] { dialog->rowEdited(row, text); },
                                  Qt::QueuedConnection);
    }

private:
    CDauerlaufDlg* dialog_;
};

QLabel* label(QWidget* parent, int id, app::TextId text)
{
    auto* l = new QLabel(uiText(text), parent);
    identify(l, id, l->text());
    return l;
}

}  // namespace

CDauerlaufDlg::CDauerlaufDlg(app::OperatorPrompt& prompt, const app::NetworkCard* card, uint32_t target, QWidget* parent)
    : OkCancelDialog(parent), prompt_(prompt), card_(card), target_(target)
{
    setWindowTitle(uiText(app::TextId{31200}));
    auto* grid = new QGridLayout;

    grid->addWidget(label(this, 11200, app::TextId{31201}), 0, 0);
    production_ = new QRadioButton(uiText(app::TextId{31202}), this);
    identify(production_, 11201, production_->text());
    repair_ = new QRadioButton(uiText(app::TextId{31203}), this);
    identify(repair_, 11202, repair_->text());
    auto* types = new QButtonGroup(this);
    types->addButton(production_);
    types->addButton(repair_);
    auto* typeRow = new QHBoxLayout;
    typeRow->addWidget(production_);
    typeRow->addWidget(repair_);
    typeRow->addStretch(1);
    grid->addLayout(typeRow, 0, 1);

    numberLabel_ = label(this, 11203, app::TextId{31204});
    number_ = new QLineEdit(this);
    identify(number_, 11204, numberLabel_->text());
    number_->setMaxLength(static_cast<int>(ops::kMaxFolderNumberLength));
    numberLabel_->setBuddy(number_);
    grid->addWidget(numberLabel_, 1, 0);
    grid->addWidget(number_, 1, 1);

    auto* countLabel = label(this, 11205, app::TextId{31206});
    count_ = new QLineEdit(this);
    identify(count_, 11206, countLabel->text());
    count_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), count_));
    count_->setMaxLength(static_cast<int>(ops::kCountDigits));
    countLabel->setBuddy(count_);
    grid->addWidget(countLabel, 2, 0);
    grid->addWidget(count_, 2, 1, Qt::AlignLeft);

    auto* listLabel = label(this, 11207, app::TextId{31207});
    list_ = new QTableWidget(0, 1, this);
    identify(list_, 11208, listLabel->text());
    list_->setHorizontalHeaderLabels({uiText(app::TextId{31208})});
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setShowGrid(true);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::SelectedClicked);
    list_->setItemDelegate(new SerialEditDelegate(this));
    listLabel->setBuddy(list_);
    grid->addWidget(listLabel, 3, 0, Qt::AlignTop);
    grid->addWidget(list_, 3, 1);

    auto* closing = addOkCancelRow(11209, app::TextId{31209}, 11210, app::TextId{31210});

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(closing);
    resizeInDialogUnits(this, 200, 180);

    connect(production_, &QRadioButton::toggled, this, [this] { typeChanged(); });
    connect(count_, &QLineEdit::textChanged, this, &CDauerlaufDlg::countChanged);
    connect(okButton(), &QPushButton::clicked, this, &CDauerlaufDlg::onOk);

    production_->setChecked(true);
    count_->setText(QStringLiteral("1"));
    showRows();
}

void CDauerlaufDlg::typeChanged()
{
    const bool repair = repair_->isChecked();
    if (repair == form_.repair()) return;
    form_.setRepair(repair);
    numberLabel_->setText(uiText(static_cast<app::TextId>(repair ? 31205 : 31204)));
    number_->setAccessibleName(oneLine(numberLabel_->text()));
    count_->setEnabled(!repair);
    list_->setEnabled(!repair);
    count_->setText(QStringLiteral("1"));
    showRows();
}

void CDauerlaufDlg::countChanged(const QString& text)
{
    form_.setCountText(toCp1252(text));
    showRows();
}

void CDauerlaufDlg::showRows()
{
    const auto& rows = form_.rows();
    list_->setRowCount(static_cast<int>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        const QString text = QString::fromLatin1(rows[i].c_str());
        QTableWidgetItem* item = list_->item(static_cast<int>(i), 0);
        if (!item) list_->setItem(static_cast<int>(i), 0, new QTableWidgetItem(text));
        else if (item->text() != text) item->setText(text);
    }
}

void CDauerlaufDlg::rowEdited(int row, const QString& text)
{
    if (row < 0) return;
    if (auto refusal = form_.editRow(static_cast<size_t>(row), toCp1252(text))) {
        prompt_.messageBox(app::loadText(*refusal), app::kMbIconExclamation);
        return;
    }
    showRows();
}

void CDauerlaufDlg::onOk()
{
    form_.number = toCp1252(number_->text());
    if (auto refusal = form_.accept(serials_)) {
        prompt_.messageBox(app::loadText(*refusal), app::kMbIconExclamation);
        return;
    }
    if (card_) {
        if (const uint32_t n = ops::firstUnusableRunAddress(*card_, target_, form_.count())) {
            prompt_.messageBox(app::formatText(app::loadText(ops::kUnusableAddressText), static_cast<int>(n)),
                               app::kMbIconExclamation);
            return;
        }
    }
    accept();
}

}  // namespace vst::ui
