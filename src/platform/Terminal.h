#pragma once
// Whether an output stream is a terminal, and how wide it is: a terminal can show a progress line
// that is redrawn in place, a file or a pipe gets plain lines.
#include <cstdio>

namespace vst::platform {

bool isTerminal(std::FILE* stream);

// The width of the terminal in columns; 80 when it cannot be told.
int terminalColumns(std::FILE* stream);

}  // namespace vst::platform
