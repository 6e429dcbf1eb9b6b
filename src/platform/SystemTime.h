#pragma once
// The system's own tick counter, sleep and local time, behind the replaceable Clock.
#include <cstdint>

#include "platform/Clock.h"

namespace vst::platform {

// Milliseconds since an arbitrary start, wrapping at 32 bits.
uint32_t systemTickCount();
void systemSleep(uint32_t milliseconds);
LocalTime systemLocalTime();

}  // namespace vst::platform
