#include "platform/Console.h"

namespace vst::platform {

void prepareConsoleStreams() {}

std::optional<std::string> commandLineTail() { return std::nullopt; }

std::vector<std::string> consoleArguments(int argc, char** argv)
{
    std::vector<std::string> out;
    for (int i = 0; i < argc; ++i) out.emplace_back(argv[i] ? argv[i] : "");
    return out;
}

}  // namespace vst::platform
