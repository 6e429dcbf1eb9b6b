#include "platform/ProcessCommandLine.h"

namespace vst::platform {

std::string windowsCommandLine(const std::vector<std::string>& arguments)
{
    std::string line;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (i) line += ' ';
        if (!a.empty() && a.find_first_of(" \t\n\v\"") == std::string::npos) {
            line += a;
            continue;
        }
        // Backslashes are literal unless they precede a quote: then each one is doubled, and the
        // quote itself is escaped; the ones before the closing quote are doubled too.
        line += '"';
        size_t backslashes = 0;
        for (char c : a) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            if (c == '"') {
                line.append(backslashes * 2 + 1, '\\');
            } else {
                line.append(backslashes, '\\');
            }
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, '\\');
        line += '"';
    }
    return line;
}

}  // namespace vst::platform
