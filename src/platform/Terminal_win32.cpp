#include "platform/Terminal.h"

#include <windows.h>

#include <io.h>

namespace vst::platform {
namespace {

HANDLE handleOf(std::FILE* stream)
{
    if (!stream) return INVALID_HANDLE_VALUE;
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

}  // namespace

// A console window, not a pipe or a file (a pipe from a terminal emulator counts as a pipe).
bool isTerminal(std::FILE* stream)
{
    const HANDLE h = handleOf(stream);
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_CHAR && GetConsoleMode(h, &mode);
}

int terminalColumns(std::FILE* stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const HANDLE h = handleOf(stream);
    if (h != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(h, &info)) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0) return columns;
    }
    return 80;
}

}  // namespace vst::platform
