#pragma once
// An operator who answers message boxes and the password dialog from a script and remembers
// everything he was shown.
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/OperatorPrompt.h"

namespace vst::test {

class ScriptedPrompt : public app::OperatorPrompt {
public:
    struct Shown {
        std::string text;
        uint32_t style;
    };

    std::deque<int> answers;                         // for message boxes; kIdOk when empty
    std::deque<std::optional<std::string>> passwords;  // nullopt = cancel; cancel when empty
    std::vector<Shown> shown;
    int passwordDialogs = 0;

    int messageBox(const std::string& text, uint32_t style) override
    {
        shown.push_back({text, style});
        if (answers.empty()) return app::kIdOk;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }

    std::optional<std::string> askPassword() override
    {
        ++passwordDialogs;
        if (passwords.empty()) return std::nullopt;
        auto p = passwords.front();
        passwords.pop_front();
        return p;
    }
};

}  // namespace vst::test
