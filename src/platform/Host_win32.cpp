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

bool processRunning(uint32_t pid)
{
    if (pid == 0) return false;
    const HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    // A process that exists but may not be opened (another user's) counts as running.
    if (!h) return GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return running;
}

}  // namespace vst::platform
