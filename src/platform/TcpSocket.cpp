#include "platform/TcpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/SocketAddress.h"

namespace vst::platform {
TcpSocket::~TcpSocket() { close(); }

bool TcpSocket::open()
{
    if (fd_ >= 0) return false;
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    return fd_ >= 0;
}

bool TcpSocket::close()
{
    if (fd_ < 0) return true;
    const bool ok = ::close(fd_) == 0;
    fd_ = -1;
    return ok;
}

void TcpSocket::setBufferSizes(int receiveBytes, int sendBytes)
{
    if (fd_ < 0) return;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBytes, sizeof receiveBytes);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &sendBytes, sizeof sendBytes);
}

bool TcpSocket::bind(uint32_t address, uint16_t port)
{
    if (fd_ < 0) return false;
    const sockaddr_in sa = socketAddress(address, port);
    return ::bind(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

TcpSocket::Connect TcpSocket::startConnect(uint32_t address, uint16_t port)
{
    if (fd_ < 0) return Connect::Failed;
    const sockaddr_in sa = socketAddress(address, port);
    int rc;
    do {
        rc = ::connect(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) return Connect::Done;
    return errno == EINPROGRESS ? Connect::InProgress : Connect::Failed;
}

TcpSocket::Connect TcpSocket::connectResult()
{
    if (fd_ < 0) return Connect::Failed;
    pollfd p{fd_, POLLOUT, 0};
    const int rc = ::poll(&p, 1, 0);
    if (rc < 0) return errno == EINTR ? Connect::InProgress : Connect::Failed;
    if (rc == 0) return Connect::InProgress;
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) return Connect::Failed;
    return Connect::Done;
}

long TcpSocket::send(const void* data, size_t size)
{
    if (fd_ < 0) return kError;
    ssize_t n;
    do {
        n = ::send(fd_, data, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kWouldBlock;
    if (errno == ENOBUFS) return kNoBufferSpace;
    return kError;
}

bool TcpSocket::waitWritable(uint32_t milliseconds)
{
    if (fd_ < 0) return false;
    pollfd p{fd_, POLLOUT, 0};
    const int rc = ::poll(&p, 1, static_cast<int>(milliseconds));
    return rc > 0 && (p.revents & POLLOUT) != 0;
}

long TcpSocket::receive(void* buffer, size_t capacity)
{
    if (fd_ < 0) return kError;
    ssize_t n;
    do {
        n = ::recv(fd_, buffer, capacity, 0);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kWouldBlock;
    return kError;
}

NativeSocket listenTcp(uint32_t address, uint16_t port, uint16_t* boundPort)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in sa = socketAddress(address, port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        return -1;
    }
    if (boundPort) {
        sockaddr_in bound{};
        socklen_t len = sizeof bound;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
        *boundPort = ntohs(bound.sin_port);
    }
    return fd;
}

}  // namespace vst::platform
