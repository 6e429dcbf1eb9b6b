#pragma once
// Helpers of the POSIX file code shared by its files (FileIo.cpp, FileLock.cpp).
#include <string_view>

namespace vst::platform {

// Writes every byte, going on after a signal and after a short write; false on an error.
bool writeAll(int fd, std::string_view bytes);

}  // namespace vst::platform
