#include "platform/UdpSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>

#include "platform/Network.h"
#include "platform/SocketAddress.h"

namespace vst::platform {

UdpSocket::~UdpSocket() { close(); }

bool UdpSocket::open()
{
    if (fd_ != kNoSocket) return false;
    fd_ = openNonBlockingSocket(SOCK_DGRAM, IPPROTO_UDP);
    if (fd_ == kNoSocket) return false;
    const SOCKET s = static_cast<SOCKET>(fd_);
    const BOOL on = TRUE;
    // A datagram answered by ICMP "port unreachable" would otherwise make the next receive fail
    // with WSAECONNRESET, which the polled state machines would take for an empty queue.
    BOOL off = FALSE;
    DWORD ignored = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &off, sizeof off, nullptr, 0, &ignored, nullptr, nullptr);
    if (setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) != 0 ||
        setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) != 0) {
        close();
        return false;
    }
    return true;
}

void UdpSocket::close()
{
    if (fd_ != kNoSocket) closesocket(static_cast<SOCKET>(fd_));
    fd_ = kNoSocket;
}

void UdpSocket::setReceiveBuffer(int bytes)
{
    if (fd_ == kNoSocket) return;
    setsockopt(static_cast<SOCKET>(fd_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

bool UdpSocket::bind(uint32_t address, uint16_t port)
{
    if (fd_ == kNoSocket) return false;
    const sockaddr_in sa = socketAddress(address, port);
    return ::bind(static_cast<SOCKET>(fd_), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

uint16_t UdpSocket::localPort() const
{
    if (fd_ == kNoSocket) return 0;
    sockaddr_in sa{};
    int len = sizeof sa;
    if (getsockname(static_cast<SOCKET>(fd_), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

bool UdpSocket::sendTo(uint32_t address, uint16_t port, const void* data, size_t size)
{
    if (fd_ == kNoSocket || size > 0x7FFFFFFF) return false;
    const sockaddr_in sa = socketAddress(address, port);
    const int n = ::sendto(static_cast<SOCKET>(fd_), static_cast<const char*>(data), static_cast<int>(size), 0,
                           reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    return n == static_cast<int>(size);
}

// Winsock has no MSG_TRUNC: a datagram larger than the buffer fails with WSAEMSGSIZE after the
// buffer has been filled, and FIONREAD tells the size of the next datagram.
std::optional<UdpSocket::Peeked> UdpSocket::peek(void* buffer, size_t capacity)
{
    if (fd_ == kNoSocket) return std::nullopt;
    const SOCKET s = static_cast<SOCKET>(fd_);
    const int cap = static_cast<int>(capacity > 0x7FFFFFFF ? 0x7FFFFFFF : capacity);
    const int n = ::recv(s, static_cast<char*>(buffer), cap, MSG_PEEK);
    if (n >= 0) return Peeked{static_cast<size_t>(n), static_cast<size_t>(n)};
    if (WSAGetLastError() != WSAEMSGSIZE) return std::nullopt;
    u_long waiting = 0;
    ioctlsocket(s, FIONREAD, &waiting);
    const size_t size = waiting > capacity ? static_cast<size_t>(waiting) : capacity + 1;
    return Peeked{size, capacity};
}

std::optional<UdpSocket::Received> UdpSocket::receive(void* buffer, size_t capacity)
{
    if (fd_ == kNoSocket) return std::nullopt;
    const SOCKET s = static_cast<SOCKET>(fd_);
    u_long waiting = 0;
    ioctlsocket(s, FIONREAD, &waiting);
    sockaddr_in sa{};
    int len = sizeof sa;
    const int cap = static_cast<int>(capacity > 0x7FFFFFFF ? 0x7FFFFFFF : capacity);
    const int n = ::recvfrom(s, static_cast<char*>(buffer), cap, 0, reinterpret_cast<sockaddr*>(&sa), &len);
    if (n >= 0) {
        const size_t got = static_cast<size_t>(n);
        return Received{got, got, ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)};
    }
    if (WSAGetLastError() != WSAEMSGSIZE) return std::nullopt;
    // The datagram was cut to the buffer and the rest dropped, as on POSIX.
    const size_t size = waiting > capacity ? static_cast<size_t>(waiting) : capacity + 1;
    return Received{capacity, size, ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)};
}

void UdpSocket::discard()
{
    char scratch[1];
    (void)receive(scratch, sizeof scratch);
}

}  // namespace vst::platform
