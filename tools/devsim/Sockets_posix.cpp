// The simulator's socket code for POSIX systems: its UDP socket with the source address per answer
// (IP_PKTINFO), the wake-up pipe of its loop, and the web server's listening socket and accept.
#include "devsim/Simulator.h"
#include "devsim/Sockets.h"
#include "devsim/WebServer.h"

#include <fcntl.h>
#include <net/if.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace vst::devsim {
namespace {

// How long an answer is retried while the kernel reports a full send queue.
constexpr auto kSendGiveUp = std::chrono::seconds(5);

std::string errnoText(int error) { return socketErrorText(error); }

}  // namespace

SocketHandle openListeningSocket(const std::string& interface, std::string* error)
{
    auto fail = [&](SocketHandle fd, const std::string& what) {
        if (error) *error = what;
        if (fd >= 0) ::close(fd);
        return kNoSocket;
    };
    const SocketHandle fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return fail(fd, "web socket: " + errnoText(errno));
    const int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        return fail(fd, "web setsockopt: " + errnoText(errno));
    }
    if (!interface.empty() && ::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, interface.c_str(),
                                           static_cast<socklen_t>(interface.size())) != 0) {
        return fail(fd, "cannot bind the web socket to interface " + interface + ": " + errnoText(errno));
    }
    return fd;
}

std::optional<SocketHandle> acceptNonBlocking(SocketHandle listener, sockaddr_in* peer, std::string*)
{
    socklen_t peerLength = sizeof *peer;
    return ::accept4(listener, reinterpret_cast<sockaddr*>(peer), &peerLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
}

bool Simulator::start(std::string* error)
{
    auto fail = [&](const std::string& what) {
        if (error) *error = what;
        if (socket_ >= 0) ::close(socket_);
        if (wakeRead_ >= 0) ::close(wakeRead_);
        if (wakeWrite_ >= 0) ::close(wakeWrite_);
        socket_ = wakeRead_ = wakeWrite_ = -1;
        web_.close();
        return false;
    };
    if (running()) {
        if (error) *error = "the simulator is already running";
        return false;
    }

    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket_ < 0) return fail("socket: " + errnoText(errno));
    const int on = 1;
    if (::setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        ::setsockopt(socket_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
        return fail("setsockopt: " + errnoText(errno));
    }
    // A broadcast to a large fleet brings one datagram per device at once into the station's
    // buffer, but our own receive side also sees bursts (several cards searching together).
    // Beyond the system's limit only a privileged process gets the full size; take what we get.
    const int size = config_.receiveBufferBytes;
    if (::setsockopt(socket_, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
        ::setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    if (::setsockopt(socket_, SOL_SOCKET, SO_SNDBUFFORCE, &size, sizeof size) != 0) {
        ::setsockopt(socket_, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    }
    if (!config_.interface.empty() &&
        ::setsockopt(socket_, SOL_SOCKET, SO_BINDTODEVICE, config_.interface.c_str(),
                     static_cast<socklen_t>(config_.interface.size())) != 0) {
        return fail("cannot bind to interface " + config_.interface + ": " + errnoText(errno));
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(config_.port);
    local.sin_addr.s_addr = htonl(config_.bindAddress);
    if (::bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return fail("cannot bind " + formatIpv4(config_.bindAddress) + ":" + std::to_string(config_.port) + ": " +
                    errnoText(errno));
    }
    socklen_t length = sizeof local;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &length);
    boundPort_ = ntohs(local.sin_port);

    if (config_.web) {
        std::string webError;
        if (!web_.open(config_.bindAddress, config_.webPort, config_.interface, &webError)) return fail(webError);
    }

    int wake[2];
    if (::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) return fail("pipe: " + errnoText(errno));
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];

    stopRequested_ = false;
    thread_ = std::thread(&Simulator::run, this);
    return true;
}


void Simulator::wake()
{
    const char byte = 0;
    [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite_, &byte, 1);
}

void Simulator::drainWake()
{
    char drain[64];
    while (::read(wakeRead_, drain, sizeof drain) > 0) {
    }
}

Simulator::Received Simulator::receiveDatagram(uint8_t* buffer, size_t capacity, size_t* size, sockaddr_in* peer,
                                               std::optional<Ipv4>* destination)
{
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    iovec io{buffer, capacity};
    msghdr message{};
    message.msg_name = peer;
    message.msg_namelen = sizeof *peer;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t got = ::recvmsg(socket_, &message, 0);
    if (got < 0) {
        if (errno == EINTR) return Received::PassedOver;
        if (errno != EAGAIN && errno != EWOULDBLOCK) logLine("devsim: recvmsg: " + errnoText(errno));
        return Received::Nothing;
    }
    ++received_;
    // Nothing the devices understand comes near the buffer's size.
    if (message.msg_flags & MSG_TRUNC) return Received::PassedOver;
    *size = static_cast<size_t>(got);
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            *destination = ntohl(info.ipi_addr.s_addr);
        }
    }
    return Received::Datagram;
}

void Simulator::send(Ipv4 source, Ipv4 peerAddress, uint16_t peerPort, const Bytes& bytes)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(peerPort);
    to.sin_addr.s_addr = htonl(peerAddress);
    iovec io{const_cast<uint8_t*>(bytes.data()), bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = &to;
    message.msg_namelen = sizeof to;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst.s_addr = htonl(source);  // the answering device's address as source
    std::memcpy(CMSG_DATA(c), &info, sizeof info);

    const auto start = std::chrono::steady_clock::now();
    while (true) {
        const ssize_t written = ::sendmsg(socket_, &message, 0);
        if (written == static_cast<ssize_t>(bytes.size())) {
            ++sent_;
            return;
        }
        const int error = written < 0 ? errno : EMSGSIZE;
        if (error == EINTR) continue;
        const bool queueFull = error == EAGAIN || error == EWOULDBLOCK || error == ENOBUFS;
        if (queueFull && !stopRequested_ && std::chrono::steady_clock::now() - start < kSendGiveUp) {
            // Wait until the socket can take more (EAGAIN), or a moment for the device queue to
            // drain (ENOBUFS, which poll does not signal), then send the same answer again.
            ++retries_;
            pollfd fd{socket_, POLLOUT, 0};
            if (error == ENOBUFS) ::poll(nullptr, 0, 1);
            else ::poll(&fd, 1, 1);
            continue;
        }
        ++failures_;
        logLine("devsim: answer from " + formatIpv4(source) + " to " + formatIpv4(peerAddress) + ":" +
                std::to_string(peerPort) + " not sent: " + errnoText(error));
        return;
    }
}

}  // namespace vst::devsim
