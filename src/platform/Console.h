#pragma once
// The standard streams and the arguments of a console program, the same on every platform: the
// streams carry bytes unchanged (LF line ends, UTF-8 text, the station's own bytes where a command
// writes them), and the arguments arrive as UTF-8, which the console converts to the station's code
// page where it takes them in.
#include <optional>
#include <string>
#include <vector>

namespace vst::platform {

// Puts standard output and standard error into binary mode and, when they are a console window,
// has the console show UTF-8. Nothing to do on POSIX.
void prepareConsoleStreams();

// The program's arguments (the program name first) as UTF-8. On Windows they are read as UTF-16
// from the system, so a name with characters outside the ANSI code page arrives intact.
std::vector<std::string> consoleArguments(int argc, char** argv);

// Windows: the program's command line as the system holds it, without the program name and the
// blanks after it, in the station's code page. Empty where the system keeps no such text (POSIX).
std::optional<std::string> commandLineTail();

}  // namespace vst::platform
