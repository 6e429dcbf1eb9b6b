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
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include <optional>
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

// What differs between the platforms beyond these calls lives in Sockets_posix.cpp and
// Sockets_win32.cpp: the simulator's UDP socket and wake-up, its datagram receive and send, and the
// web server's listening socket and accept.

// A non-blocking TCP socket for listening, bound to the network card `interface` when one is
// named (POSIX only); kNoSocket with `error` set when it cannot be made.
SocketHandle openListeningSocket(const std::string& interface, std::string* error);

// Takes one waiting connection as a non-blocking socket. kNoSocket: none taken (socketError()
// tells why); nullopt: one was taken but could not be made non-blocking, it is closed again and
// the reason is in `error`.
std::optional<SocketHandle> acceptNonBlocking(SocketHandle listener, sockaddr_in* peer, std::string* error);

// Closes a connection with a reset instead of an orderly close.
inline void closeWithReset(SocketHandle fd)
{
    const linger hard{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    closeSocket(fd);
}

}  // namespace vst::devsim
