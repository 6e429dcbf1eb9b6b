#include "platform/Terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace vst::platform {

bool isTerminal(std::FILE* stream) { return stream && ::isatty(::fileno(stream)) == 1; }

int terminalColumns(std::FILE* stream)
{
    winsize size{};
    if (stream && ::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

}  // namespace vst::platform
