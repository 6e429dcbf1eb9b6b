#pragma once
// The few socket calls the simulator makes, for both platforms: on POSIX they are the system's own
// calls, on Windows their Winsock 2 counterparts (Winsock is started once, on first use). The
// simulator's error handling asks socketError() after a failed call and compares with the
// would-block and interrupted codes of the platform.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>

// Winsock takes option values as char pointers; this lets the option calls pass any value's
// address as on POSIX.
inline int setsockopt(SOCKET s, int level, int name, const void* value, int length)
{
    return ::setsockopt(s, level, name, static_cast<const char*>(value), length);
}
#else
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include <string>

namespace vst::devsim {

#ifdef _WIN32
using SocketHandle = SOCKET;
inline const SocketHandle kNoSocket = INVALID_SOCKET;
// Starts Winsock 2.2 once for the process; false (with the error text) when it cannot.
bool startSockets(std::string* error);
inline int socketError() { return WSAGetLastError(); }
inline bool wouldBlock(int error) { return error == WSAEWOULDBLOCK; }
inline bool interrupted(int error) { return error == WSAEINTR; }
// A connection that was reset or aborted before accept took it.
inline bool connectionAborted(int error) { return error == WSAECONNABORTED || error == WSAECONNRESET; }
std::string socketErrorText(int error);
inline void closeSocket(SocketHandle s) { ::closesocket(s); }
inline int pollSockets(pollfd* fds, size_t count, int timeoutMs)
{
    return ::WSAPoll(fds, static_cast<ULONG>(count), timeoutMs);
}
inline constexpr int kSendNoSignal = 0;
inline constexpr int kShutdownWrite = SD_SEND;
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
inline bool startSockets(std::string*) { return true; }
inline int socketError() { return errno; }
inline bool wouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }
inline bool interrupted(int error) { return error == EINTR; }
inline bool connectionAborted(int error) { return error == ECONNABORTED; }
inline std::string socketErrorText(int error) { return std::strerror(error); }
inline void closeSocket(SocketHandle s) { ::close(s); }
inline int pollSockets(pollfd* fds, size_t count, int timeoutMs) { return ::poll(fds, count, timeoutMs); }
inline constexpr int kSendNoSignal = MSG_NOSIGNAL;
inline constexpr int kShutdownWrite = SHUT_WR;
#endif

}  // namespace vst::devsim
