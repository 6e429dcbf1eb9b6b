#include "platform/TimeZone.h"

#include <ctime>

namespace vst::platform {

TimeZoneInfo currentTimeZone()
{
    TimeZoneInfo info;
    tzset();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    info.utcSeconds = static_cast<int64_t>(now);
    info.biasMinutes = static_cast<int32_t>(-local.tm_gmtoff / 60);
    info.standardBiasMinutes = static_cast<int32_t>(timezone / 60);
    info.hasDaylightRules = daylight != 0;
    return info;
}

}  // namespace vst::platform
