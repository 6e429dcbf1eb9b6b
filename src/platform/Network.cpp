#include "platform/Network.h"

#include <csignal>

namespace vst::platform {

bool startNetworking()
{
    return std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
}

}  // namespace vst::platform
