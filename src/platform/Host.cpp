#include "platform/Host.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace vst::platform {

std::string hostName()
{
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return {};
    return host;
}

uint32_t processId() { return static_cast<uint32_t>(::getpid()); }

bool processRunning(uint32_t pid)
{
    if (pid == 0 || pid > 0x7FFFFFFFu) return false;
    // Signal 0 only asks; EPERM means the process is there but another user's.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace vst::platform
