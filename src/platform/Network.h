#pragma once
// Start of the socket layer; on POSIX there is nothing to load, but writes to a closed peer must
// report an error instead of ending the process.
#include "platform/NativeHandle.h"

namespace vst::platform {

bool startNetworking();

#ifdef _WIN32
// A new non-blocking IPv4 socket of the type and protocol that child processes do not inherit,
// with the socket layer started first; kNoSocket when either fails.
NativeSocket openNonBlockingSocket(int type, int protocol);
#endif

}  // namespace vst::platform
