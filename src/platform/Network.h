#pragma once
// Start of the socket layer; on POSIX there is nothing to load, but writes to a closed peer must
// report an error instead of ending the process.
namespace vst::platform {

bool startNetworking();

}  // namespace vst::platform
