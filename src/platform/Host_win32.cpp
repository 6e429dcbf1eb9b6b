#include "platform/Host.h"

#include <windows.h>

namespace vst::platform {

std::string hostName()
{
    char host[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof host;
    if (!GetComputerNameA(host, &size)) return {};
    return std::string(host, size);
}

uint32_t processId() { return static_cast<uint32_t>(GetCurrentProcessId()); }

}  // namespace vst::platform
