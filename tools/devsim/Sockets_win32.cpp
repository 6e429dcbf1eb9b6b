// The simulator's socket code for Windows: Winsock's start and error texts, the simulator's UDP
// socket with the source address per answer (WSARecvMsg, WSASendMsg with IN_PKTINFO), the pair of
// loopback sockets that wakes its loop (WSAPoll takes only sockets), and the web server's listening
// socket and accept.
#include "devsim/Simulator.h"
#include "devsim/Sockets.h"
#include "devsim/WebServer.h"

#include <chrono>
#include <cstring>
#include <mutex>

namespace vst::devsim {
namespace {

// How long an answer is retried while the system reports a full send queue.
constexpr auto kSendGiveUp = std::chrono::seconds(5);

std::string errnoText(int error) { return socketErrorText(error); }

}  // namespace

bool startSockets(std::string* error)
{
    static std::once_flag once;
    static int result = 0;
    std::call_once(once, [] {
        WSADATA data;
        result = ::WSAStartup(MAKEWORD(2, 2), &data);
    });
    if (result != 0 && error) *error = "WSAStartup: " + socketErrorText(result);
    return result == 0;
}

std::string socketErrorText(int error)
{
    char text[256] = {};
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                          static_cast<DWORD>(error), MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), text,
                                          sizeof text, nullptr);
    std::string result(text, length);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' ')) result.pop_back();
    if (result.empty()) result = "Winsock error";
    return result + " (" + std::to_string(error) + ")";
}

SocketHandle openListeningSocket(const std::string& interface, std::string* error)
{
    // Windows has no binding of a socket to a network card by name. Without SO_REUSEADDR (which
    // there would let another program take over the port) a busy port fails the bind.
    if (!interface.empty()) {
        if (error) *error = "--interface is not available on Windows (" + interface + ")";
        return kNoSocket;
    }
    std::string startError;
    if (!startSockets(&startError)) {
        if (error) *error = startError;
        return kNoSocket;
    }
    const SocketHandle fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (fd == kNoSocket) {
        if (error) *error = "web socket: " + errnoText(socketError());
        return kNoSocket;
    }
    u_long nonBlocking = 1;
    if (::ioctlsocket(fd, FIONBIO, &nonBlocking) != 0) {
        if (error) *error = "web ioctlsocket: " + errnoText(socketError());
        closeSocket(fd);
        return kNoSocket;
    }
    return fd;
}

std::optional<SocketHandle> acceptNonBlocking(SocketHandle listener, sockaddr_in* peer, std::string* error)
{
    int peerLength = sizeof *peer;
    const SocketHandle fd = ::accept(listener, reinterpret_cast<sockaddr*>(peer), &peerLength);
    u_long nonBlocking = 1;
    if (fd != kNoSocket && ::ioctlsocket(fd, FIONBIO, &nonBlocking) != 0) {
        if (error) *error = "ioctlsocket: " + errnoText(socketError());
        closeWithReset(fd);
        return std::nullopt;
    }
    return fd;
}

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


void Simulator::wake()
{
    const char byte = 0;
    ::send(wakeWrite_, &byte, 1, 0);
}

void Simulator::drainWake()
{
    char drain[64];
    while (::recv(wakeRead_, drain, sizeof drain, 0) > 0) {
    }
}

Simulator::Received Simulator::receiveDatagram(uint8_t* buffer, size_t capacity, size_t* size, sockaddr_in* peer,
                                               std::optional<Ipv4>* destination)
{
    WSABUF io{static_cast<ULONG>(capacity), reinterpret_cast<char*>(buffer)};
    alignas(WSACMSGHDR) char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))];
    WSAMSG message{};
    message.name = reinterpret_cast<sockaddr*>(peer);
    message.namelen = sizeof *peer;
    message.lpBuffers = &io;
    message.dwBufferCount = 1;
    message.Control.buf = control;
    message.Control.len = sizeof control;
    DWORD got = 0;
    if (reinterpret_cast<LPFN_WSARECVMSG>(receiveMessage_)(socket_, &message, &got, nullptr, nullptr) != 0) {
        const int error = socketError();
        if (error == WSAEMSGSIZE) {  // truncated: nothing the devices understand
            ++received_;
            return Received::PassedOver;
        }
        // A late "port unreachable" for an earlier answer: not this socket's fault.
        if (interrupted(error) || error == WSAECONNRESET) return Received::PassedOver;
        if (!wouldBlock(error)) logLine("devsim: WSARecvMsg: " + errnoText(error));
        return Received::Nothing;
    }
    ++received_;
    if (message.dwFlags & MSG_TRUNC) return Received::PassedOver;
    *size = got;
    for (WSACMSGHDR* c = WSA_CMSG_FIRSTHDR(&message); c; c = WSA_CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            IN_PKTINFO info;
            std::memcpy(&info, WSA_CMSG_DATA(c), sizeof info);
            *destination = ntohl(info.ipi_addr.s_addr);
        }
    }
    return Received::Datagram;
}

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

}  // namespace vst::devsim
