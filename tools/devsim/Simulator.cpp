#include "devsim/Simulator.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/Clock.h"
#include "platform/CodePage.h"

namespace vst::devsim {
namespace {

// Longest poll while a restart or a delayed answer is pending. The tick source may be a manual
// clock that tests advance from outside, so the loop looks at it again at least this often.
constexpr int kMaxPollMs = 20;
// How long an answer is retried while the kernel reports a full send queue.
constexpr auto kSendGiveUp = std::chrono::seconds(5);
// Datagrams handled in one pass before timers get their turn again.
constexpr int kReceiveBatch = 256;

uint32_t now() { return platform::clock().tickCount(); }

std::string errnoText(int error) { return socketErrorText(error); }

std::string describeRequest(std::span<const uint8_t> bytes)
{
    if (bytes.size() < kHeaderSize) return std::to_string(bytes.size()) + " bytes, too short";
    std::string text = wordText(getU16(bytes, kWordOffset)) + " (" + std::to_string(bytes.size()) + " bytes)";
    if (bytes.size() >= kMacOffset + 6) text += " mac " + formatMac(getMac(bytes, kMacOffset));
    const uint16_t word = getU16(bytes, kWordOffset);
    if ((word == kWordBackup || word == kWordRestore) && bytes.size() > kCommandDataOffset) {
        const char mode = static_cast<char>(bytes[kCommandDataOffset]);
        text += std::string(" mode '") + (mode >= 0x20 && mode < 0x7F ? mode : '?') + "'";
    }
    return text;
}

}  // namespace

Simulator::Simulator(SimulatorConfig config)
    : config_(std::move(config)),
      fleet_(std::move(config_.devices)),
      web_(WebServer::Hooks{&mutex_, &fleet_, [this](const std::string& line) { logLine(line); },
                            [this](const std::vector<Event>& events) { logEvents(events); }, config_.verbose})
{
}

Simulator::~Simulator() { stop(); }

#ifdef _WIN32
bool Simulator::start(std::string* error)
{
    auto fail = [&](const std::string& what) {
        if (error) *error = what;
        for (SocketHandle* s : {&socket_, &wakeRead_, &wakeWrite_}) {
            if (*s != kNoSocket) closeSocket(*s);
            *s = kNoSocket;
        }
        web_.close();
        return false;
    };
    if (running()) {
        if (error) *error = "the simulator is already running";
        return false;
    }
    // Windows has no binding of a socket to a network card by name.
    if (!config_.interface.empty()) return fail("--interface is not available on Windows (" + config_.interface + ")");
    std::string startError;
    if (!startSockets(&startError)) return fail(startError);

    u_long nonBlocking = 1;
    const DWORD on = 1;
    socket_ = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (socket_ == kNoSocket) return fail("socket: " + errnoText(socketError()));
    // No SO_REUSEADDR: on Windows it would let another program take over the port.
    if (::ioctlsocket(socket_, FIONBIO, &nonBlocking) != 0 ||
        ::setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        ::setsockopt(socket_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
        return fail("setsockopt: " + errnoText(socketError()));
    }
    // An ICMP "port unreachable" for an earlier answer would fail the next receive with
    // WSAECONNRESET; the receive loop skips that error too where this control is not offered.
    BOOL reportReset = FALSE;
    DWORD returned = 0;
    ::WSAIoctl(socket_, SIO_UDP_CONNRESET, &reportReset, sizeof reportReset, nullptr, 0, &returned, nullptr, nullptr);
    const int size = config_.receiveBufferBytes;
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    ::setsockopt(socket_, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(config_.port);
    local.sin_addr.s_addr = htonl(config_.bindAddress);
    if (::bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return fail("cannot bind " + formatIpv4(config_.bindAddress) + ":" + std::to_string(config_.port) + ": " +
                    errnoText(socketError()));
    }
    int length = sizeof local;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &length);
    boundPort_ = ntohs(local.sin_port);

    GUID receiveMessageId = WSAID_WSARECVMSG;
    LPFN_WSARECVMSG receiveMessage = nullptr;
    if (::WSAIoctl(socket_, SIO_GET_EXTENSION_FUNCTION_POINTER, &receiveMessageId, sizeof receiveMessageId,
                   &receiveMessage, sizeof receiveMessage, &returned, nullptr, nullptr) != 0 ||
        !receiveMessage) {
        return fail("WSARecvMsg not available: " + errnoText(socketError()));
    }
    receiveMessage_ = reinterpret_cast<void*>(receiveMessage);
    // Bound to one address, every answer leaves from it anyway.
    sourceHonoured_ = true;
    sourceHonoured_ = config_.bindAddress != 0 || sourceHonouredBySystem();
    if (!sourceHonoured_) {
        logLine("devsim: this system ignores the source address of WSASendMsg (IN_PKTINFO): only answers "
                "it sends from their device's own address go out, the others are logged as not sent");
    }

    if (config_.web) {
        std::string webError;
        if (!web_.open(config_.bindAddress, config_.webPort, config_.interface, &webError)) return fail(webError);
    }

    // The wake-up: two loopback UDP sockets connected to each other.
    wakeRead_ = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    wakeWrite_ = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (wakeRead_ == kNoSocket || wakeWrite_ == kNoSocket) return fail("wake socket: " + errnoText(socketError()));
    sockaddr_in readAddress{};
    sockaddr_in writeAddress{};
    for (sockaddr_in* address : {&readAddress, &writeAddress}) {
        address->sin_family = AF_INET;
        address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    int readLength = sizeof readAddress;
    int writeLength = sizeof writeAddress;
    if (::bind(wakeRead_, reinterpret_cast<const sockaddr*>(&readAddress), sizeof readAddress) != 0 ||
        ::bind(wakeWrite_, reinterpret_cast<const sockaddr*>(&writeAddress), sizeof writeAddress) != 0 ||
        ::getsockname(wakeRead_, reinterpret_cast<sockaddr*>(&readAddress), &readLength) != 0 ||
        ::getsockname(wakeWrite_, reinterpret_cast<sockaddr*>(&writeAddress), &writeLength) != 0 ||
        ::connect(wakeWrite_, reinterpret_cast<const sockaddr*>(&readAddress), sizeof readAddress) != 0 ||
        ::connect(wakeRead_, reinterpret_cast<const sockaddr*>(&writeAddress), sizeof writeAddress) != 0 ||
        ::ioctlsocket(wakeRead_, FIONBIO, &nonBlocking) != 0 || ::ioctlsocket(wakeWrite_, FIONBIO, &nonBlocking) != 0) {
        return fail("wake sockets: " + errnoText(socketError()));
    }

    stopRequested_ = false;
    thread_ = std::thread(&Simulator::run, this);
    return true;
}

#else
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
#endif

void Simulator::stop()
{
    if (!running()) return;
    stopRequested_ = true;
    const char byte = 0;
#ifdef _WIN32
    ::send(wakeWrite_, &byte, 1, 0);
#else
    [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite_, &byte, 1);
#endif
    thread_.join();
    web_.close();
    closeSocket(socket_);
    closeSocket(wakeRead_);
    closeSocket(wakeWrite_);
    socket_ = wakeRead_ = wakeWrite_ = kNoSocket;
    pending_.clear();
}

size_t Simulator::deviceCount() const
{
    std::lock_guard lock(mutex_);
    return fleet_.size();
}

Device Simulator::device(size_t index) const
{
    std::lock_guard lock(mutex_);
    return fleet_.devices().at(index);
}

std::optional<Device> Simulator::deviceByMac(const Mac& mac) const
{
    std::lock_guard lock(mutex_);
    for (const auto& device : fleet_.devices()) {
        if (device.mac == mac) return device;
    }
    return std::nullopt;
}

void Simulator::visitDevices(const std::function<void(const Device&)>& visit) const
{
    std::lock_guard lock(mutex_);
    for (const auto& device : fleet_.devices()) visit(device);
}

void Simulator::update(size_t index, const std::function<void(Device&)>& change)
{
    {
        std::lock_guard lock(mutex_);
        change(fleet_.devices().at(index));
    }
    if (wakeWrite_ != kNoSocket) {
        const char byte = 0;
#ifdef _WIN32
        ::send(wakeWrite_, &byte, 1, 0);
#else
        [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite_, &byte, 1);
#endif
    }
}

SimulatorStatistics Simulator::statistics() const
{
    return {received_.load(), sent_.load(), retries_.load(), failures_.load(), web_.statistics()};
}

void Simulator::run()
{
    while (!stopRequested_) {
        const uint32_t start = now();
        std::vector<Event> ended;
        {
            std::lock_guard lock(mutex_);
            ended = fleet_.advance(start);
        }
        if (config_.verbose) logEvents(ended);
        sendDueReplies(start);

        std::vector<pollfd> fds = {{socket_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        web_.addPollFds(fds, start);
        const int ready = pollSockets(fds.data(), fds.size(), pollTimeout(start));
        if (ready < 0) {
            const int error = socketError();
            if (interrupted(error)) continue;
            logLine("devsim: poll: " + errnoText(error));
            break;
        }
        if (fds[1].revents & POLLIN) {
            char drain[64];
#ifdef _WIN32
            while (::recv(wakeRead_, drain, sizeof drain, 0) > 0) {
            }
#else
            while (::read(wakeRead_, drain, sizeof drain) > 0) {
            }
#endif
        }
        if (fds[0].revents & POLLIN) receiveWaiting();
        web_.handlePoll(fds.data() + 2, fds.size() - 2, now());
        web_.handleTimers(now());
    }
}

int Simulator::pollTimeout(uint32_t at)
{
    std::optional<uint32_t> next;
    {
        std::lock_guard lock(mutex_);
        next = fleet_.nextRestartEnd(at);
    }
    if (!pending_.empty()) {
        const uint32_t due = pending_.front().dueAt;
        if (!next || static_cast<int32_t>(due - *next) < 0) next = due;
    }
    if (const auto due = web_.nextDeadline()) {
        if (!next || static_cast<int32_t>(*due - *next) < 0) next = *due;
    }
    if (!next) return -1;
    const int32_t left = static_cast<int32_t>(*next - at);
    return std::clamp<int32_t>(left, 0, kMaxPollMs);
}

void Simulator::receiveWaiting()
{
    for (int i = 0; i < kReceiveBatch && !stopRequested_; ++i) {
        uint8_t buffer[2048];
        sockaddr_in peer{};
#ifdef _WIN32
        WSABUF io{sizeof buffer, reinterpret_cast<char*>(buffer)};
        alignas(WSACMSGHDR) char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))];
        WSAMSG message{};
        message.name = reinterpret_cast<sockaddr*>(&peer);
        message.namelen = sizeof peer;
        message.lpBuffers = &io;
        message.dwBufferCount = 1;
        message.Control.buf = control;
        message.Control.len = sizeof control;
        DWORD size = 0;
        if (reinterpret_cast<LPFN_WSARECVMSG>(receiveMessage_)(socket_, &message, &size, nullptr, nullptr) != 0) {
            const int error = socketError();
            if (error == WSAEMSGSIZE) {  // truncated: nothing the devices understand
                ++received_;
                continue;
            }
            // A late "port unreachable" for an earlier answer: not this socket's fault.
            if (interrupted(error) || error == WSAECONNRESET) continue;
            if (!wouldBlock(error)) logLine("devsim: WSARecvMsg: " + errnoText(error));
            return;
        }
        ++received_;
        if (message.dwFlags & MSG_TRUNC) continue;

        std::optional<Ipv4> destination;
        for (WSACMSGHDR* c = WSA_CMSG_FIRSTHDR(&message); c; c = WSA_CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                IN_PKTINFO info;
                std::memcpy(&info, WSA_CMSG_DATA(c), sizeof info);
                destination = ntohl(info.ipi_addr.s_addr);
            }
        }
#else
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
        iovec io{buffer, sizeof buffer};
        msghdr message{};
        message.msg_name = &peer;
        message.msg_namelen = sizeof peer;
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t size = ::recvmsg(socket_, &message, 0);
        if (size < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) logLine("devsim: recvmsg: " + errnoText(errno));
            return;
        }
        ++received_;
        // Nothing the devices understand comes near the buffer's size.
        if (message.msg_flags & MSG_TRUNC) continue;

        std::optional<Ipv4> destination;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                destination = ntohl(info.ipi_addr.s_addr);
            }
        }
#endif
        if (!destination) continue;
        const Ipv4 peerAddress = ntohl(peer.sin_addr.s_addr);
        const uint16_t peerPort = ntohs(peer.sin_port);
        const std::span<const uint8_t> datagram(buffer, static_cast<size_t>(size));

        const uint32_t at = now();
        Outcome outcome;
        {
            std::lock_guard lock(mutex_);
            outcome = fleet_.handle(at, *destination, datagram);
        }
        if (config_.verbose) {
            logLine("devsim: " + formatIpv4(peerAddress) + ":" + std::to_string(peerPort) + " -> " +
                    formatIpv4(*destination) + ": " + describeRequest(datagram) + ", " +
                    std::to_string(outcome.replies.size()) + " answer(s)");
            logEvents(outcome.events);
        }
        for (auto& reply : outcome.replies) {
            if (reply.delayMs == 0) {
                send(reply.source, peerAddress, peerPort, reply.bytes);
                continue;
            }
            PendingReply pending{at + reply.delayMs, nextOrder_++, reply.source, peerAddress, peerPort,
                                 std::move(reply.bytes)};
            // Keep the queue ordered by due time; equal times keep their arrival order.
            auto position = pending_.end();
            while (position != pending_.begin() &&
                   static_cast<int32_t>(pending.dueAt - std::prev(position)->dueAt) < 0) {
                --position;
            }
            pending_.insert(position, std::move(pending));
        }
    }
}

void Simulator::sendDueReplies(uint32_t at)
{
    while (!pending_.empty() && static_cast<int32_t>(at - pending_.front().dueAt) >= 0 && !stopRequested_) {
        const PendingReply reply = std::move(pending_.front());
        pending_.erase(pending_.begin());
        send(reply.source, reply.peerAddress, reply.peerPort, reply.bytes);
    }
}

#ifdef _WIN32
// Sends a datagram from 127.0.0.2 through the simulator's socket to a probe socket on 127.0.0.1
// and looks at the sender address that arrives: true when the IN_PKTINFO source was used.
bool Simulator::sourceHonouredBySystem()
{
    const SocketHandle probe = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (probe == kNoSocket) return false;
    sockaddr_in probeAddress{};
    probeAddress.sin_family = AF_INET;
    probeAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof probeAddress;
    bool honoured = false;
    if (::bind(probe, reinterpret_cast<const sockaddr*>(&probeAddress), sizeof probeAddress) == 0 &&
        ::getsockname(probe, reinterpret_cast<sockaddr*>(&probeAddress), &length) == 0) {
        const Ipv4 source = 0x7F000002;  // 127.0.0.2, a loopback address other than the usual one
        const Bytes datagram = {'p', 'r', 'o', 'b', 'e'};
        // The probe is no answer of a device: the counters stay as they were.
        const uint64_t sent = sent_, retries = retries_, failures = failures_;
        send(source, ntohl(probeAddress.sin_addr.s_addr), ntohs(probeAddress.sin_port), datagram);
        pollfd fd{probe, POLLIN, 0};
        if (pollSockets(&fd, 1, 2000) > 0) {
            char buffer[16];
            sockaddr_in from{};
            int fromLength = sizeof from;
            if (::recvfrom(probe, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength) > 0) {
                honoured = ntohl(from.sin_addr.s_addr) == source;
            }
        }
        sent_ = sent;
        retries_ = retries;
        failures_ = failures;
    }
    closeSocket(probe);
    return honoured;
}

std::optional<Ipv4> Simulator::systemSource(Ipv4 peerAddress, uint16_t peerPort, int* error) const
{
    // A UDP socket connected to the peer has the source address the system picks for it.
    const SocketHandle route = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (route == kNoSocket) {
        *error = socketError();
        return std::nullopt;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(peerPort);
    to.sin_addr.s_addr = htonl(peerAddress);
    sockaddr_in local{};
    int length = sizeof local;
    std::optional<Ipv4> source;
    if (::connect(route, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
        ::getsockname(route, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        source = ntohl(local.sin_addr.s_addr);
    } else {
        *error = socketError();
    }
    closeSocket(route);
    return source;
}

void Simulator::send(Ipv4 source, Ipv4 peerAddress, uint16_t peerPort, const Bytes& bytes)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(peerPort);
    to.sin_addr.s_addr = htonl(peerAddress);
    WSABUF io{static_cast<ULONG>(bytes.size()), reinterpret_cast<char*>(const_cast<uint8_t*>(bytes.data()))};
    alignas(WSACMSGHDR) char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
    WSAMSG message{};
    message.name = reinterpret_cast<sockaddr*>(&to);
    message.namelen = sizeof to;
    message.lpBuffers = &io;
    message.dwBufferCount = 1;
    message.Control.buf = control;
    message.Control.len = sizeof control;
    WSACMSGHDR* c = WSA_CMSG_FIRSTHDR(&message);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = WSA_CMSG_LEN(sizeof(IN_PKTINFO));
    IN_PKTINFO info{};
    info.ipi_addr.s_addr = htonl(source);  // the answering device's address as source
    std::memcpy(WSA_CMSG_DATA(c), &info, sizeof info);
    if (!sourceHonoured_) {
        // Only an answer that the system sends from its device's address anyway may go out.
        int error = 0;
        const auto chosen = systemSource(peerAddress, peerPort, &error);
        if (!chosen || *chosen != source) {
            ++failures_;
            logLine("devsim: answer from " + formatIpv4(source) + " to " + formatIpv4(peerAddress) + ":" +
                    std::to_string(peerPort) + " not sent: " +
                    (chosen ? "this system would send it from " + formatIpv4(*chosen) +
                                  " (it ignores the source address of WSASendMsg)"
                            : "no route: " + errnoText(error)));
            return;
        }
    }

    const auto start = std::chrono::steady_clock::now();
    while (true) {
        DWORD written = 0;
        const bool ok = ::WSASendMsg(socket_, &message, 0, &written, nullptr, nullptr) == 0;
        if (ok && written == bytes.size()) {
            ++sent_;
            return;
        }
        const int error = ok ? WSAEMSGSIZE : socketError();
        if (interrupted(error)) continue;
        const bool queueFull = wouldBlock(error) || error == WSAENOBUFS;
        if (queueFull && !stopRequested_ && std::chrono::steady_clock::now() - start < kSendGiveUp) {
            ++retries_;
            pollfd fd{socket_, POLLOUT, 0};
            if (error == WSAENOBUFS) ::Sleep(1);
            else pollSockets(&fd, 1, 1);
            continue;
        }
        ++failures_;
        logLine("devsim: answer from " + formatIpv4(source) + " to " + formatIpv4(peerAddress) + ":" +
                std::to_string(peerPort) + " not sent: " + errnoText(error));
        return;
    }
}

#else
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
#endif

void Simulator::logLine(const std::string& line) const
{
    if (config_.log) {
        config_.log(line);
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

void Simulator::logEvents(const std::vector<Event>& events)
{
    if (events.empty()) return;
    std::vector<std::string> lines;
    {
        std::lock_guard lock(mutex_);
        for (const auto& event : events) {
            const Device& device = fleet_[event.device];
            const std::string name = platform::cp1252ToUtf8(device.name);
            std::string line = "devsim: device " + std::to_string(event.device) + " " + formatMac(device.mac) +
                               " '" + name + "': " + eventName(event.kind);
            if (event.kind == EventKind::RestartEnded) {
                line += ", now at " + formatIpv4(device.network.address);
                char version[32];
                std::snprintf(version, sizeof version, ", application %.2f", device.appVersion);
                line += version;
            }
            lines.push_back(std::move(line));
        }
    }
    for (const auto& line : lines) logLine(line);
}

}  // namespace vst::devsim
