#include "platform/TimeZone.h"

#include <windows.h>

#include <ctime>

namespace vst::platform {

TimeZoneInfo currentTimeZone()
{
    TimeZoneInfo info;
    TIME_ZONE_INFORMATION zone{};
    const DWORD state = GetTimeZoneInformation(&zone);
    info.utcSeconds = static_cast<int64_t>(std::time(nullptr));
    info.standardBiasMinutes = static_cast<int32_t>(zone.Bias + zone.StandardBias);
    info.biasMinutes = state == TIME_ZONE_ID_DAYLIGHT ? static_cast<int32_t>(zone.Bias + zone.DaylightBias)
                                                      : info.standardBiasMinutes;
    // A zone without daylight-saving rules has no transition date (month 0).
    info.hasDaylightRules = state != TIME_ZONE_ID_INVALID && zone.DaylightDate.wMonth != 0;
    return info;
}

}  // namespace vst::platform
