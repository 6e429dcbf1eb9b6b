#pragma once
// "vestrolan-cli --snr DIR report": the yield report over the production journals under
// DIR/_Records, as text, JSON or an HTML page.
#include <cstdio>
#include <string>
#include <vector>

namespace vst::cli {

// `args` are the words of the command line without the program and without "report" (UTF-8 as
// typed); the language has been chosen already (--lang is taken and passed over here).
// Returns 0 when entries were found, 1 when nothing was found or on an error.
int runReportCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

// The options "report" takes and its part of the help (for the check against the manual page).
std::vector<std::string> reportCommandOptions();
std::string reportCommandHelp();

}  // namespace vst::cli
