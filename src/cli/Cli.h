#pragma once
#include <cstdio>

#include "cli/ConsoleChannel.h"

namespace vst::cli {

// Runs one command line of the console front end; returns the exit status.
int runCli(int argc, char** argv, ConsoleChannel& channel, std::FILE* out, std::FILE* err);

}  // namespace vst::cli
