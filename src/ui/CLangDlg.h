#pragma once
// The language dialog: German or English, each a radio button with a flag beside it that selects
// the button when clicked. OK switches the text language at once and stores the choice.
#include <optional>
#include <string>

#include "platform/SettingsStore.h"
#include "ui/OkCancelDialog.h"

class QLabel;
class QPushButton;
class QRadioButton;

namespace vst::ui {

class CLangDlg : public OkCancelDialog {
    Q_OBJECT
public:
    explicit CLangDlg(platform::SettingsStore& settings, QWidget* parent = nullptr);

    QRadioButton* germanButton() const { return german_; }
    QRadioButton* englishButton() const { return english_; }
    QLabel* germanPicture() const { return germanPicture_; }
    QLabel* englishPicture() const { return englishPicture_; }
    // After OK: why the choice could not be stored, or nullopt when it was.
    const std::optional<std::string>& storeFailure() const { return storeFailure_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onOk();

    platform::SettingsStore& settings_;
    QRadioButton* german_ = nullptr;
    QRadioButton* english_ = nullptr;
    QLabel* germanPicture_ = nullptr;
    QLabel* englishPicture_ = nullptr;
    std::optional<std::string> storeFailure_;
};

}  // namespace vst::ui
