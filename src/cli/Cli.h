#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "cli/ConsoleChannel.h"

namespace vst::cli {

// Runs one command line of the console front end; returns the exit status.
int runCli(int argc, char** argv, ConsoleChannel& channel, std::FILE* out, std::FILE* err);

// Every option the parser takes (the config command's apart), and the help text that lists them;
// a test holds both against the manual page.
std::vector<std::string> acceptedOptions();
std::string helpText();

}  // namespace vst::cli
