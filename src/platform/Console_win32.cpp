#include "platform/Console.h"

#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/CodePage.h"
#include "platform/WideText_win32.h"

namespace vst::platform {
namespace {

std::string utf8FromWide(const wchar_t* text) { return utf8From(text); }

bool isConsole(DWORD which)
{
    const HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_CHAR;
}

}  // namespace

void prepareConsoleStreams()
{
    // Text mode would turn every LF into CR LF and end a stream at a byte 0x1A.
    std::fflush(stdout);
    std::fflush(stderr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    if (isConsole(STD_OUTPUT_HANDLE) || isConsole(STD_ERROR_HANDLE)) SetConsoleOutputCP(CP_UTF8);
}

// The program name ends at the closing quote when it starts with one, else at the first blank.
std::optional<std::string> commandLineTail()
{
    const wchar_t* line = GetCommandLineW();
    if (!line) return std::nullopt;
    const wchar_t* p = line;
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return utf8ToCp1252(utf8FromWide(p));
}

std::vector<std::string> consoleArguments(int argc, char** argv)
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> out;
    if (wide) {
        for (int i = 0; i < count; ++i) out.push_back(utf8FromWide(wide[i]));
        LocalFree(wide);
        return out;
    }
    for (int i = 0; i < argc; ++i) out.emplace_back(argv[i] ? argv[i] : "");
    return out;
}

}  // namespace vst::platform
