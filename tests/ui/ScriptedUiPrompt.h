#pragma once
// An operator who answers the window's message boxes and dialogs from a script. The dialogs are
// the real ones: the script fills in their fields and presses OK; a dialog that refuses the input
// (and stays open) is then cancelled, as an operator would give up.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Language.h"
#include "config/CalibrationRequest.h"
#include "ui/CDauerlaufDlg.h"
#include "ui/CIpAddressCtrl.h"
#include "ui/CNameDlg.h"
#include "ui/CNetDlg.h"
#include "ui/CPasswordDlg.h"
#include "ui/CPersDlg.h"
#include "ui/CRepNoDlg.h"
#include "ui/CSerialNoDlg.h"
#include "ui/UiPrompt.h"
#include "ui/UiText.h"

namespace vst::test {

struct EnduranceEntry {
    bool repair = false;
    QString number;
    QString count = QStringLiteral("1");
    std::vector<QString> rows;  // typed into the list's rows in order
};

struct NetworkEntry {
    int dhcp = 0;
    QString address, mask, gateway, dns1, dns2;
};

class ScriptedUiPrompt : public ui::UiPrompt {
public:
    struct Shown {
        std::string text;
        uint32_t style;
    };

    // Message boxes: what was shown, and the answers (OK when the script is empty).
    std::vector<Shown> shown;
    std::deque<int> answers;
    // Called when a message box is shown, before it is answered (e.g. to look at the window).
    std::function<void(const std::string&)> onMessage;

    // Each dialog takes the next entry; nullopt (or an empty script) cancels the dialog.
    std::deque<std::optional<QString>> passwords;
    std::deque<std::optional<std::string>> files;
    std::deque<std::optional<int>> signChoices;  // index in the sign list
    std::deque<std::optional<QString>> repairNumbers;
    std::deque<std::optional<QString>> serialNumbers;
    std::deque<std::optional<QString>> names;
    std::deque<std::optional<NetworkEntry>> networks;
    std::deque<bool> languageChoices;  // true = English
    std::deque<std::optional<EnduranceEntry>> enduranceRuns;
    platform::SettingsStore* settings = nullptr;

    int passwordDialogs = 0;
    int serialDialogs = 0;
    int nameDialogs = 0;
    int networkDialogs = 0;
    int aboutBoxes = 0;
    std::vector<ui::FileDialogRequest> fileRequests;
    std::vector<std::string> signLists;  // the sign lists offered
    std::vector<std::string> openedUrls;
    int configurationRequests = 0;
    int calibrationRequests = 0;

    int messageBox(const std::string& text, uint32_t style) override
    {
        shown.push_back({text, style});
        if (onMessage) onMessage(text);
        if (answers.empty()) return app::kIdOk;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }

    // The texts shown, in order.
    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const auto& s : shown) out.push_back(s.text);
        return out;
    }

    std::optional<std::string> askPassword() override
    {
        ++passwordDialogs;
        ui::CPasswordDlg dialog(*this);
        if (!typeAndPressOk(dialog, passwords)) return std::nullopt;
        return dialog.password();
    }

    std::optional<std::string> chooseFile(const ui::FileDialogRequest& request) override
    {
        fileRequests.push_back(request);
        return next(files);
    }

    std::optional<std::string> askOperatorSign(const std::string& serialNumberPath) override
    {
        signLists.push_back(serialNumberPath);
        ui::CPersDlg dialog(*this, serialNumberPath);
        if (!dialog.loadList()) return std::nullopt;
        const auto choice = next(signChoices);
        if (!choice) return std::nullopt;
        dialog.signList()->setCurrentIndex(*choice);
        if (!pressOk(dialog, dialog.okButton())) return std::nullopt;
        return dialog.sign();
    }

    std::optional<std::string> askRepairNumber() override
    {
        ui::CRepNoDlg dialog(*this);
        if (!typeAndPressOk(dialog, repairNumbers)) return std::nullopt;
        return dialog.repairNumber();
    }

    std::optional<ui::EnduranceRunChoice> askEnduranceRun(const app::NetworkCard* card, uint32_t target) override
    {
        ui::CDauerlaufDlg dialog(*this, card, target);
        const auto entry = next(enduranceRuns);
        if (!entry) return std::nullopt;
        if (entry->repair) dialog.repairButton()->setChecked(true);
        dialog.numberEdit()->setText(entry->number);
        dialog.countEdit()->setText(entry->count);
        for (size_t row = 0; row < entry->rows.size(); ++row) dialog.rowEdited(static_cast<int>(row), entry->rows[row]);
        if (!pressOk(dialog, dialog.okButton())) return std::nullopt;
        return ui::EnduranceRunChoice{dialog.form().repair(), dialog.form().number, dialog.serialNumbers()};
    }

    bool editSerialNumber(net::DeviceRecord& record) override
    {
        ++serialDialogs;
        ui::CSerialNoDlg dialog(*this, record);
        return typeAndPressOk(dialog, serialNumbers);
    }

    bool editDeviceName(net::DeviceRecord& record) override
    {
        ++nameDialogs;
        ui::CNameDlg dialog(*this, record);
        return typeAndPressOk(dialog, names);
    }

    bool editNetworkSettings(net::DeviceRecord& record) override
    {
        ++networkDialogs;
        ui::CNetDlg dialog(*this, record);
        const auto entry = next(networks);
        if (!entry) return false;
        dialog.dhcpList()->setCurrentIndex(entry->dhcp);
        dialog.field(ui::CNetDlg::kAddress)->setText(entry->address);
        dialog.field(ui::CNetDlg::kMask)->setText(entry->mask);
        dialog.field(ui::CNetDlg::kGateway)->setText(entry->gateway);
        dialog.field(ui::CNetDlg::kDns1)->setText(entry->dns1);
        dialog.field(ui::CNetDlg::kDns2)->setText(entry->dns2);
        return pressOk(dialog, dialog.okButton());
    }

    ui::LanguageChoice chooseLanguage() override
    {
        if (languageChoices.empty() || !settings) return {};
        const bool english = languageChoices.front();
        languageChoices.pop_front();
        std::string failure;
        if (!app::chooseLanguage(english, *settings, &failure)) return {true, failure};
        return {true, std::nullopt};
    }

    void showAbout() override { ++aboutBoxes; }

    std::optional<std::string> runConfigurationAssistant(const std::string&, bool) override
    {
        ++configurationRequests;
        if (configurations.empty()) return std::nullopt;
        auto answer = configurations.front();
        configurations.pop_front();
        return answer;
    }
    // The configuration assistant's answers in order (nullopt: cancelled; cancelled when empty).
    std::deque<std::optional<std::string>> configurations;

    bool calibrateEnergySensor(config::CalibrationRequest&) override
    {
        ++calibrationRequests;
        return false;
    }

    void openUrl(const std::string& url) override { openedUrls.push_back(url); }

private:
    template <typename T>
    static std::optional<T> next(std::deque<std::optional<T>>& script)
    {
        if (script.empty()) return std::nullopt;
        auto entry = script.front();
        script.pop_front();
        return entry;
    }

    // Presses OK; true when the dialog took the input and closed.
    static bool pressOk(QDialog& dialog, QPushButton* ok)
    {
        ok->click();
        return dialog.result() == QDialog::Accepted;
    }

    // Types the script's next text into a dialog's one edit field and presses OK; true when the
    // dialog took it and closed, false when the script cancels the dialog or the dialog refuses.
    template <class Dialog>
    static bool typeAndPressOk(Dialog& dialog, std::deque<std::optional<QString>>& script)
    {
        const auto entry = next(script);
        if (!entry) return false;
        dialog.edit()->setText(*entry);
        return pressOk(dialog, dialog.okButton());
    }
};

}  // namespace vst::test
