#pragma once
// Between the station's 8-bit texts and the UTF-16 the Windows interfaces take and give; for the
// Win32 implementations of this layer only.
#include <string>
#include <string_view>

namespace vst::platform {

// `text` in the Windows code page `codePage` (1252, CP_UTF8) as UTF-16.
std::wstring wideFrom(unsigned codePage, std::string_view text);
// UTF-16 as UTF-8.
std::string utf8From(std::wstring_view text);
// A Windows-1252 text as UTF-16, through its UTF-8 form.
std::wstring wideFromCp1252(std::string_view text);
// UTF-16 as Windows-1252; what it cannot hold becomes '?'.
std::string cp1252From(std::wstring_view text);

}  // namespace vst::platform
