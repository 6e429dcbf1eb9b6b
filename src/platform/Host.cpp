#include "platform/Host.h"

#include <unistd.h>

namespace vst::platform {

std::string hostName()
{
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return {};
    return host;
}

uint32_t processId() { return static_cast<uint32_t>(::getpid()); }

}  // namespace vst::platform
