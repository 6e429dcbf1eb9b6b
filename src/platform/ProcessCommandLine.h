#pragma once
// A Windows command line made from an argument list, quoted so that the usual parsing (the C
// runtime's, CommandLineToArgvW) gives the same arguments back.
#include <string>
#include <vector>

namespace vst::platform {

std::string windowsCommandLine(const std::vector<std::string>& arguments);

}  // namespace vst::platform
