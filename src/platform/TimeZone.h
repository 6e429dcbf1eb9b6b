#pragma once
// The PC's time zone as a device's clock form needs it.
#include <cstdint>

namespace vst::platform {

struct TimeZoneInfo {
    int64_t utcSeconds = 0;           // now, seconds since 1970-01-01 UTC
    int32_t biasMinutes = 0;          // UTC = local + bias, daylight saving included when in effect
    int32_t standardBiasMinutes = 0;  // the same without daylight saving
    bool hasDaylightRules = false;    // the zone knows daylight-saving time
};

// The current time and the system's zone (on Linux from the zone data the C library reads).
TimeZoneInfo currentTimeZone();

}  // namespace vst::platform
