#include "config/CalibrationRequest.h"

#include <charconv>
#include <cmath>
#include <iterator>

namespace vst::config {

app::TextId textIdOf(CalibrationCheck check)
{
    // Indexed by the check, in the order of its values.
    static constexpr app::TextId kTexts[] = {0, 31408, 31409};
    const auto at = static_cast<size_t>(check);
    return at < std::size(kTexts) ? kTexts[at] : 0;
}

double parseDecimalNumber(std::string_view text)
{
    std::string number(text);
    for (char& c : number) {
        if (c == ',') c = '.';
    }
    size_t start = 0;
    while (start < number.size() && (number[start] == ' ' || number[start] == '\t')) ++start;
    if (start < number.size() && number[start] == '+') ++start;
    double value = 0;
    const char* first = number.data() + start;
    const auto result = std::from_chars(first, number.data() + number.size(), value, std::chars_format::general);
    if (result.ec != std::errc() || !std::isfinite(value)) return 0;
    return value;
}

CalibrationCheck checkCalibrationEntries(const std::array<std::string, 4>& texts, CalibrationValues& values)
{
    values.primary = parseDecimalNumber(texts[0]);
    values.secondary = parseDecimalNumber(texts[1]);
    values.voltage = parseDecimalNumber(texts[2]);
    values.current = parseDecimalNumber(texts[3]);
    for (const std::string& text : texts) {
        if (text.empty()) return CalibrationCheck::FieldMissing;
    }
    if (values.secondary >= values.primary) return CalibrationCheck::SecondaryNotSmaller;
    return CalibrationCheck::Accepted;
}

void completeRequest(CalibrationRequest& request, const CalibrationValues& values)
{
    request.primary = values.primary;
    request.secondary = values.secondary;
    request.voltage = values.voltage;
    request.current = values.current;
}

}  // namespace vst::config
