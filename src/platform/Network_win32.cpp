#include "platform/Network.h"

#include <winsock2.h>

#include <mutex>

namespace vst::platform {

// Windows Sockets are started once per process and stay up until it ends. Every socket wrapper
// calls this before it creates a socket, so tests and tools need no start-up of their own.
bool startNetworking()
{
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        WSADATA data{};
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return started;
}

NativeSocket openNonBlockingSocket(int type, int protocol)
{
    if (!startNetworking()) return kNoSocket;
    const SOCKET s = WSASocketW(AF_INET, type, protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return kNoSocket;
    u_long on = 1;
    if (ioctlsocket(s, FIONBIO, &on) != 0) {
        closesocket(s);
        return kNoSocket;
    }
    return static_cast<NativeSocket>(s);
}

}  // namespace vst::platform
