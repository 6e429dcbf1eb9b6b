#include "ui/QtPrompt.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QPushButton>
#include <QTranslator>
#include <QUrl>

#include <memory>

#include "app/CApp.h"
#include "ui/CAboutDlg.h"
#include "ui/CLangDlg.h"
#include "ui/CNameDlg.h"
#include "ui/CNetDlg.h"
#include "ui/CPasswordDlg.h"
#include "ui/CPersDlg.h"
#include "ui/CDauerlaufDlg.h"
#include "ui/CRepNoDlg.h"
#include "ui/CSerialNoDlg.h"
#include "ui/config/ConfigDialogs.h"
#include "ui/UiText.h"

namespace vst::ui {

void prepareMessageBox(QMessageBox& box, const QString& text, uint32_t style)
{
    box.setWindowTitle(uiText(app::TextId{30000}));
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (style & 0xF0) {
    case 0x10: box.setIcon(QMessageBox::Critical); break;
    case 0x20: box.setIcon(QMessageBox::Question); break;
    case 0x30: box.setIcon(QMessageBox::Warning); break;
    case 0x40: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    QList<QMessageBox::StandardButton> buttons;
    switch (style & 0xF) {
    case 1: buttons = {QMessageBox::Ok, QMessageBox::Cancel}; break;
    case 3: buttons = {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}; break;
    case 4: buttons = {QMessageBox::Yes, QMessageBox::No}; break;
    case 5: buttons = {QMessageBox::Retry, QMessageBox::Cancel}; break;
    default: buttons = {QMessageBox::Ok}; break;
    }
    QMessageBox::StandardButtons set;
    for (auto b : buttons) set |= b;
    box.setStandardButtons(set);
    const int defaultIndex = (style & 0x200) ? 2 : (style & 0x100) ? 1 : 0;
    const auto preset = buttons.value(defaultIndex, buttons.front());
    box.setDefaultButton(preset);
    // Escape answers with the box's way out: Cancel where there is one, No for Yes/No, else OK.
    if (set & QMessageBox::Cancel) box.setEscapeButton(QMessageBox::Cancel);
    else if (set & QMessageBox::No) box.setEscapeButton(QMessageBox::No);
    else box.setEscapeButton(QMessageBox::Ok);
}

int messageBoxAnswer(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok: return app::kIdOk;
    case QMessageBox::Yes: return app::kIdYes;
    case QMessageBox::No: return app::kIdNo;
    case QMessageBox::Retry: return 4;
    default: return app::kIdCancel;
    }
}

void applyQtTranslation()
{
    static std::unique_ptr<QTranslator> translator;
    if (translator) {
        QCoreApplication::removeTranslator(translator.get());
        translator.reset();
    }
    if (app::CApp::instance().textIdOffset() != 0) return;
    auto german = std::make_unique<QTranslator>();
    if (german->load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(german.get());
        translator = std::move(german);
    }
}

QtPrompt::QtPrompt(platform::SettingsStore& settings) : settings_(settings) {}

int QtPrompt::messageBox(const std::string& text, uint32_t style)
{
    QMessageBox box(parent_);
    prepareMessageBox(box, fromCp1252(text), style);
    box.exec();
    auto* clicked = box.clickedButton();
    if (!clicked) return app::kIdCancel;
    return messageBoxAnswer(box.standardButton(clicked));
}

std::optional<std::string> QtPrompt::askPassword()
{
    CPasswordDlg dialog(*this, parent_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.password();
}

std::optional<std::string> QtPrompt::chooseFile(const FileDialogRequest& request)
{
    QFileDialog dialog(parent_);
    const bool save = request.kind == FileDialogRequest::Kind::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(fromCp1252(request.filter));
    dialog.setDefaultSuffix(fromCp1252(request.defaultExtension));
    if (!request.defaultName.empty()) dialog.selectFile(fromCp1252(request.defaultName));
    // A save dialog asks before it overwrites a file (the dialog's own question).
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return toCp1252(dialog.selectedFiles().front());
}

std::optional<std::string> QtPrompt::askOperatorSign(const std::string& serialNumberPath)
{
    CPersDlg dialog(*this, serialNumberPath, parent_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.sign();
}

std::optional<std::string> QtPrompt::askRepairNumber()
{
    CRepNoDlg dialog(*this, parent_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.repairNumber();
}

std::optional<EnduranceRunChoice> QtPrompt::askEnduranceRun(const app::NetworkCard* card, uint32_t target)
{
    CDauerlaufDlg dialog(*this, card, target, parent_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return EnduranceRunChoice{dialog.form().repair(), dialog.form().number, dialog.serialNumbers()};
}

bool QtPrompt::editSerialNumber(net::DeviceRecord& record)
{
    CSerialNoDlg dialog(*this, record, parent_);
    return dialog.exec() == QDialog::Accepted;
}

bool QtPrompt::editDeviceName(net::DeviceRecord& record)
{
    CNameDlg dialog(*this, record, parent_);
    return dialog.exec() == QDialog::Accepted;
}

bool QtPrompt::editNetworkSettings(net::DeviceRecord& record)
{
    CNetDlg dialog(*this, record, parent_);
    return dialog.exec() == QDialog::Accepted;
}

LanguageChoice QtPrompt::chooseLanguage()
{
    CLangDlg dialog(settings_, parent_);
    if (dialog.exec() != QDialog::Accepted) return {};
    applyQtTranslation();
    return {true, dialog.storeFailure()};
}

void QtPrompt::showAbout()
{
    CAboutDlg dialog(parent_);
    dialog.exec();
}

std::optional<std::string> QtPrompt::runConfigurationAssistant(const std::string& configuration, bool editable)
{
    return ui::runConfigurationAssistant(parent_, *this, configuration, editable);
}

bool QtPrompt::calibrateEnergySensor(config::CalibrationRequest& request)
{
    return ui::runEnergyCalibration(parent_, *this, request);
}

void QtPrompt::openUrl(const std::string& url) { QDesktopServices::openUrl(QUrl(fromCp1252(url))); }

}  // namespace vst::ui
