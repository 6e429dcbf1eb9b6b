#include "platform/SystemTime.h"

#include <windows.h>

namespace vst::platform {

// The system tick counter itself: 32 bits of milliseconds since the start of Windows.
uint32_t systemTickCount() { return static_cast<uint32_t>(GetTickCount()); }

void systemSleep(uint32_t milliseconds) { Sleep(milliseconds); }

LocalTime systemLocalTime()
{
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace vst::platform
