#pragma once
// Message boxes and the password dialog, as the code outside the window sees them. The window
// implements this with real dialogs; tests answer from a script.
#include <cstdint>
#include <optional>
#include <string>

namespace vst::app {

// Message-box styles and answers, with the values of the Windows message box.
enum MessageBoxStyle : uint32_t {
    kMbOk = 0x0,
    kMbYesNo = 0x4,
    kMbIconError = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconExclamation = 0x30,
    kMbIconInformation = 0x40,
    kMbDefaultButton2 = 0x100,
};

enum MessageBoxAnswer : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdYes = 6,
    kIdNo = 7,
};

class OperatorPrompt {
public:
    virtual ~OperatorPrompt() = default;
    // Shows the Windows-1252 text with the given style; returns the button chosen.
    virtual int messageBox(const std::string& text, uint32_t style) = 0;
    // The password dialog: the entered text, or nullopt when it was cancelled.
    virtual std::optional<std::string> askPassword() = 0;
};

}  // namespace vst::app
