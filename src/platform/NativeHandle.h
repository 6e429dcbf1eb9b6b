#pragma once
// The operating system's handles as the platform wrappers keep them, without pulling the system
// headers into every caller: a socket is an int on POSIX and a SOCKET (an unsigned pointer-sized
// number) on Windows; a file is an int descriptor on POSIX and a HANDLE on Windows.
#include <cstdint>

namespace vst::platform {

#ifdef _WIN32
using NativeSocket = uintptr_t;
inline constexpr NativeSocket kNoSocket = ~uintptr_t{0};  // INVALID_SOCKET
using NativeFile = void*;
inline const NativeFile kNoFile = reinterpret_cast<void*>(~uintptr_t{0});  // INVALID_HANDLE_VALUE
#else
using NativeSocket = int;
inline constexpr NativeSocket kNoSocket = -1;
using NativeFile = int;
inline constexpr NativeFile kNoFile = -1;
#endif

// The base of the wrappers that own a system handle (a socket, a file, a process): the owner
// closes its handle exactly once, so it is neither copied nor moved.
class HandleOwner {
public:
    HandleOwner(const HandleOwner&) = delete;
    HandleOwner& operator=(const HandleOwner&) = delete;

protected:
    HandleOwner() = default;
    ~HandleOwner() = default;
};

}  // namespace vst::platform
