#pragma once
// The station's 8-bit code page is Windows-1252 everywhere. These convert between it and UTF-8,
// which the user interface and the file-system boundary use.
#include <string>
#include <string_view>

namespace vst::platform {

// Every byte maps to one character; the five bytes that Windows-1252 leaves undefined map to the
// control characters of the same value, as Windows does.
std::string cp1252ToUtf8(std::string_view text);

// Characters without a Windows-1252 form, and malformed UTF-8 sequences, become '?'.
std::string utf8ToCp1252(std::string_view text);

// Appends the UTF-8 form of the code point `cp` (at most U+10FFFF; the caller checks).
void appendUtf8(std::string& out, char32_t cp);

}  // namespace vst::platform
