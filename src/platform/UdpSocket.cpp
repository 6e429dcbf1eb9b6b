#include "platform/UdpSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/SocketAddress.h"

namespace vst::platform {
UdpSocket::~UdpSocket() { close(); }

bool UdpSocket::open()
{
    if (fd_ >= 0) return false;
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    const int on = 1;
    if (::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        close();
        return false;
    }
    return true;
}

void UdpSocket::close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void UdpSocket::setReceiveBuffer(int bytes)
{
    if (fd_ < 0) return;
    // The forced variant goes past the system limit where the process may do so.
    if (::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0) {
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }
}

bool UdpSocket::bind(uint32_t address, uint16_t port)
{
    if (fd_ < 0) return false;
    const sockaddr_in sa = socketAddress(address, port);
    return ::bind(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

uint16_t UdpSocket::localPort() const
{
    if (fd_ < 0) return 0;
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

bool UdpSocket::sendTo(uint32_t address, uint16_t port, const void* data, size_t size)
{
    if (fd_ < 0) return false;
    const sockaddr_in sa = socketAddress(address, port);
    ssize_t n;
    do {
        n = ::sendto(fd_, data, size, 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(size);
}

std::optional<UdpSocket::Peeked> UdpSocket::peek(void* buffer, size_t capacity)
{
    if (fd_ < 0) return std::nullopt;
    ssize_t n;
    do {
        n = ::recv(fd_, buffer, capacity, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return std::nullopt;
    const size_t size = static_cast<size_t>(n);
    return Peeked{size, size < capacity ? size : capacity};
}

std::optional<UdpSocket::Received> UdpSocket::receive(void* buffer, size_t capacity)
{
    if (fd_ < 0) return std::nullopt;
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    ssize_t n;
    do {
        n = ::recvfrom(fd_, buffer, capacity, MSG_TRUNC | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sa), &len);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return std::nullopt;
    const size_t size = static_cast<size_t>(n);
    return Received{size < capacity ? size : capacity, size, ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)};
}

void UdpSocket::discard()
{
    char scratch[1];
    (void)receive(scratch, sizeof scratch);
}

}  // namespace vst::platform
