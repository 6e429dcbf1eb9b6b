#pragma once
// "vestrolan-cli config": composes a device configuration from the template folder as the
// configuration assistant would, or switches an existing one to the other language, and prints it
// exactly as its ".bak" file holds it.
#include <cstdio>
#include <string>
#include <vector>

namespace vst::cli {

// `args` are the words after "config" (UTF-8 as typed):
//   --snr DIR --base NAME [--extension NAME]... [--sensor NAME]... [--english]
//   --snr DIR --translate FILE --english|--german
// The configuration goes to `out` as Windows-1252 bytes with LF line ends; refusals go to `err`.
// Returns 0 on success, 1 on failure.
int runConfigCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

// The options "config" takes, and its help text (for the check against the manual page).
std::vector<std::string> configCommandOptions();
std::string configCommandHelp();

}  // namespace vst::cli
