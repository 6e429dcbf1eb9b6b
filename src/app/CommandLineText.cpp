#include "app/CommandLineText.h"

#include "platform/CodePage.h"
#include "platform/Console.h"

namespace vst::app {

std::string commandLineText(int argc, char** argv)
{
    if (auto tail = vst::platform::commandLineTail()) return *tail;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        std::string word = vst::platform::utf8ToCp1252(argv[i]);
        if (word.find(' ') != std::string::npos) {
            const size_t eq = word.find('=');
            if (eq != std::string::npos && word[eq + 1] != '"') {
                word = word.substr(0, eq + 1) + "\"" + word.substr(eq + 1) + "\"";
            } else if (eq == std::string::npos && word.front() != '"') {
                word = "\"" + word + "\"";
            }
        }
        if (!out.empty()) out += ' ';
        out += word;
    }
    return out;
}

}  // namespace vst::app
