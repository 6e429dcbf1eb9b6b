#pragma once
// The about box's version line.
#include <string>
#include <string_view>

namespace vst::app {

// "a.b.c.d" read as a + b/100 + c/10000 + d/1000000 (each part as a decimal integer).
double productVersionNumber(std::string_view productVersion);

// The version number as the about box shows it: "1.05", with four decimals ("1.0502") when the
// third part of the version is not 0.
std::string versionNumberText(std::string_view productVersion);

// "<product>, <word> " and the version number text.
std::string aboutVersionLine(const std::string& productName, const std::string& versionWord,
                             std::string_view productVersion);

// The program's own name, version ("a.b.c.d") and copyright, from the build.
const char* programProductName();
const char* programProductVersion();
const char* programCopyright();
// The program's own version number as the about box shows it ("1.05"); the console's --version too.
std::string programVersionText();

}  // namespace vst::app
