#include "platform/WideText_win32.h"

#include <windows.h>

#include "platform/CodePage.h"

namespace vst::platform {

std::wstring wideFrom(unsigned codePage, std::string_view text)
{
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string utf8From(std::wstring_view text)
{
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring wideFromCp1252(std::string_view text) { return wideFrom(CP_UTF8, cp1252ToUtf8(text)); }

std::string cp1252From(std::wstring_view text) { return utf8ToCp1252(utf8From(text)); }

}  // namespace vst::platform
