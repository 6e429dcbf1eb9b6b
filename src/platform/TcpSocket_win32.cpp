#include "platform/TcpSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/Network.h"
#include "platform/SocketAddress.h"

namespace vst::platform {
namespace {

SOCKET native(NativeSocket s) { return static_cast<SOCKET>(s); }

int clampSize(size_t size) { return static_cast<int>(size > 0x7FFFFFFF ? 0x7FFFFFFF : size); }

}  // namespace

TcpSocket::~TcpSocket() { close(); }

bool TcpSocket::open()
{
    if (fd_ != kNoSocket) return false;
    fd_ = openNonBlockingSocket(SOCK_STREAM, IPPROTO_TCP);
    return fd_ != kNoSocket;
}

bool TcpSocket::close()
{
    if (fd_ == kNoSocket) return true;
    const bool ok = closesocket(native(fd_)) == 0;
    fd_ = kNoSocket;
    return ok;
}

void TcpSocket::setBufferSizes(int receiveBytes, int sendBytes)
{
    if (fd_ == kNoSocket) return;
    setsockopt(native(fd_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBytes), sizeof receiveBytes);
    setsockopt(native(fd_), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&sendBytes), sizeof sendBytes);
}

bool TcpSocket::bind(uint32_t address, uint16_t port)
{
    if (fd_ == kNoSocket) return false;
    const sockaddr_in sa = socketAddress(address, port);
    return ::bind(native(fd_), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

TcpSocket::Connect TcpSocket::startConnect(uint32_t address, uint16_t port)
{
    if (fd_ == kNoSocket) return Connect::Failed;
    const sockaddr_in sa = socketAddress(address, port);
    if (::connect(native(fd_), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return Connect::Done;
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS ? Connect::InProgress : Connect::Failed;
}

// A connection in progress shows up as writable once made, or in the exception set once refused.
TcpSocket::Connect TcpSocket::connectResult()
{
    if (fd_ == kNoSocket) return Connect::Failed;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(native(fd_), &writable);
    FD_SET(native(fd_), &failed);
    timeval none{0, 0};
    const int rc = select(0, nullptr, &writable, &failed, &none);
    if (rc < 0) return Connect::Failed;
    if (rc == 0) return Connect::InProgress;
    if (FD_ISSET(native(fd_), &failed)) return Connect::Failed;
    int error = 0;
    int len = sizeof error;
    if (getsockopt(native(fd_), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) != 0 || error != 0) {
        return Connect::Failed;
    }
    return Connect::Done;
}

long TcpSocket::send(const void* data, size_t size)
{
    if (fd_ == kNoSocket) return kError;
    const int n = ::send(native(fd_), static_cast<const char*>(data), clampSize(size), 0);
    if (n >= 0) return n;
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return kWouldBlock;
    if (error == WSAENOBUFS) return kNoBufferSpace;
    return kError;
}

bool TcpSocket::waitWritable(uint32_t milliseconds)
{
    if (fd_ == kNoSocket) return false;
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(native(fd_), &writable);
    timeval limit{static_cast<long>(milliseconds / 1000), static_cast<long>((milliseconds % 1000) * 1000)};
    return select(0, nullptr, &writable, nullptr, &limit) > 0 && FD_ISSET(native(fd_), &writable);
}

long TcpSocket::receive(void* buffer, size_t capacity)
{
    if (fd_ == kNoSocket) return kError;
    const int n = ::recv(native(fd_), static_cast<char*>(buffer), clampSize(capacity), 0);
    if (n >= 0) return n;
    return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kError;
}

NativeSocket listenTcp(uint32_t address, uint16_t port, uint16_t* boundPort)
{
    if (!startNetworking()) return kNoSocket;
    const SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return kNoSocket;
    const sockaddr_in sa = socketAddress(address, port);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 || ::listen(s, 16) != 0) {
        closesocket(s);
        return kNoSocket;
    }
    if (boundPort) {
        sockaddr_in bound{};
        int len = sizeof bound;
        getsockname(s, reinterpret_cast<sockaddr*>(&bound), &len);
        *boundPort = ntohs(bound.sin_port);
    }
    return static_cast<NativeSocket>(s);
}

}  // namespace vst::platform
