#include "app/Format.h"

#include <charconv>

namespace vst::app {

std::string formatFixed(double value, int decimals)
{
    char buffer[400];  // room for the largest double in fixed notation
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return std::string();
    return std::string(buffer, r.ptr);
}

}  // namespace vst::app
