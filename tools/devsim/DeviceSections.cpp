#include "devsim/DeviceSections.h"

namespace vst::devsim {

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

bool readDeviceSections(std::string_view text, std::string_view commentMarks, const DeviceSectionHandlers& handlers,
                        std::string* error)
{
    size_t lineNumber = 0;
    bool open = false;
    auto fail = [&](const std::string& message) {
        if (error) *error = "line " + std::to_string(lineNumber) + ": " + message;
        return false;
    };
    auto close = [&]() -> std::string {
        if (!open) return {};
        open = false;
        return handlers.close();
    };
    while (!text.empty()) {
        ++lineNumber;
        const size_t lf = text.find('\n');
        const std::string_view line = trimBlanks(text.substr(0, lf));
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
        if (line.empty() || commentMarks.find(line.front()) != std::string_view::npos) continue;
        if (line.front() == '[') {
            if (line != "[device]") return fail("unknown section " + std::string(line) + " (only [device])");
            if (auto message = close(); !message.empty()) return fail(message);
            handlers.open(lineNumber);
            open = true;
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) return fail("expected key = value");
        if (!open) return fail("key outside a [device] section");
        if (auto message = handlers.set(trimBlanks(line.substr(0, eq)), trimBlanks(line.substr(eq + 1)));
            !message.empty()) {
            return fail(message);
        }
    }
    if (auto message = close(); !message.empty()) return fail(message);
    return true;
}

}  // namespace vst::devsim
