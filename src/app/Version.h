#pragma once
// The about box's version line.
#include <string>
#include <string_view>

namespace vst::app {

// "a.b.c.d" read as a + b/100 + c/10000 + d/1000000 (each part as a decimal integer).
double productVersionNumber(std::string_view productVersion);

// "<product>, <word> 1.05"; four decimals when the third part of the version is not 0.
std::string aboutVersionLine(const std::string& productName, const std::string& versionWord,
                             std::string_view productVersion);

// The program's own name, version ("a.b.c.d") and copyright, from the build.
const char* programProductName();
const char* programProductVersion();
const char* programCopyright();

}  // namespace vst::app
