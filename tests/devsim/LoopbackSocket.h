#pragma once
// A station-side UDP socket on the loopback interface for the simulator's socket tests.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>

#include "devsim/Wire.h"

namespace vst::devsim::test {

struct Received {
    Bytes bytes;
    Ipv4 source = 0;
    uint16_t sourcePort = 0;
};

class LoopbackSocket {
public:
    explicit LoopbackSocket(int receiveBuffer = 0)
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        if (receiveBuffer > 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
    ~LoopbackSocket() { ::close(fd_); }
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;

    int receiveBufferSize() const
    {
        int size = 0;
        socklen_t length = sizeof size;
        ::getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, &length);
        return size;
    }

    bool sendTo(Ipv4 address, uint16_t port, const Bytes& bytes)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(address);
        return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
               static_cast<ssize_t>(bytes.size());
    }

    // The next datagram, waiting at most `timeoutMs`.
    std::optional<Received> receive(int timeoutMs)
    {
        pollfd fd{fd_, POLLIN, 0};
        if (::poll(&fd, 1, timeoutMs) <= 0) return std::nullopt;
        Received r;
        r.bytes.resize(2048);
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t size = ::recvfrom(fd_, r.bytes.data(), r.bytes.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (size < 0) return std::nullopt;
        r.bytes.resize(static_cast<size_t>(size));
        r.source = ntohl(from.sin_addr.s_addr);
        r.sourcePort = ntohs(from.sin_port);
        return r;
    }

private:
    int fd_ = -1;
};

// A port of the given socket type on 127.0.0.1 that was free a moment ago.
inline uint16_t freeLoopbackPortOf(int type)
{
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    socklen_t length = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    ::close(fd);
    return ntohs(local.sin_port);
}

// A UDP port on 127.0.0.1 that was free a moment ago.
inline uint16_t freeLoopbackPort() { return freeLoopbackPortOf(SOCK_DGRAM); }

// A TCP port on 127.0.0.1 that was free a moment ago.
inline uint16_t freeLoopbackTcpPort() { return freeLoopbackPortOf(SOCK_STREAM); }

}  // namespace vst::devsim::test
