#pragma once
// The station reads its options from one command-line text, as Windows hands it over (there it is
// taken from the system as it is). On POSIX the shell has already split the words; this joins them again (as Windows-1252), quoting an option's
// value that contains blanks so that the scanner reads it back whole.
#include <string>

namespace vst::app {

std::string commandLineText(int argc, char** argv);

}  // namespace vst::app
