#pragma once
// printf-style formatting into a std::string of exactly the needed size, for the placeholders that
// the string table's texts carry.
#include <cstdio>
#include <string>

namespace vst::app {

template <typename... Args>
std::string formatText(const std::string& format, Args... args)
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    const int needed = std::snprintf(nullptr, 0, format.c_str(), args...);
    if (needed <= 0) return std::string();
    std::string out(static_cast<size_t>(needed) + 1, '\0');
    std::snprintf(out.data(), out.size(), format.c_str(), args...);
#pragma GCC diagnostic pop
    out.resize(static_cast<size_t>(needed));
    return out;
}

}  // namespace vst::app

namespace vst::app {

// Formats into a field of N bytes: a text that would not fit, terminator included, is cut.
template <size_t N, typename... Args>
std::string formatBounded(const std::string& format, Args... args)
{
    std::string text = formatText(format, args...);
    if (text.size() > N - 1) text.resize(N - 1);
    return text;
}

}  // namespace vst::app

namespace vst::app {

// A number with a fixed count of decimals and always a decimal point, whatever the C locale says
// (devices and records expect "100.500", also on a German desktop).
std::string formatFixed(double value, int decimals);

}  // namespace vst::app
