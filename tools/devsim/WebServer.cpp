#include "devsim/WebServer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vst::devsim {
namespace {

// Connections opened together (an endurance run over many devices) wait here instead of losing
// their SYN and retrying a second later.
constexpr int kListenBacklog = 1024;
constexpr int kAcceptBatch = 64;
// Reads per connection and turn, so that one fast sender does not starve the others.
constexpr int kReadBatch = 16;
constexpr size_t kReadChunk = 64 * 1024;
// How long the listening socket rests when the process has no file descriptor left.
constexpr uint32_t kAcceptPauseMs = 100;

bool isDue(uint32_t now, uint32_t at) { return static_cast<int32_t>(now - at) >= 0; }

std::string errnoText(int error) { return socketErrorText(error); }

}  // namespace

bool WebServer::open(Ipv4 bindAddress, uint16_t port, const std::string& interface, std::string* error)
{
    auto fail = [&](const std::string& what) {
        if (error) *error = what;
        close();
        return false;
    };
    close();
    listener_ = openListeningSocket(interface, error);
    if (listener_ == kNoSocket) return fail(error ? *error : std::string());
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(bindAddress);
    if (::bind(listener_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return fail("cannot bind web " + formatIpv4(bindAddress) + ":" + std::to_string(port) + ": " +
                    errnoText(socketError()));
    }
    if (::listen(listener_, kListenBacklog) != 0) return fail("web listen: " + errnoText(socketError()));
    socklen_t length = sizeof local;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&local), &length);
    port_ = ntohs(local.sin_port);
    return true;
}

void WebServer::close()
{
    for (auto& c : connections_) {
        if (c.fd != kNoSocket) closeSocket(c.fd);
    }
    connections_.clear();
    if (listener_ != kNoSocket) closeSocket(listener_);
    listener_ = kNoSocket;
    listenerPolled_ = false;
    connectionsPolled_ = 0;
    acceptPaused_ = false;
}

void WebServer::addPollFds(std::vector<pollfd>& fds, uint32_t now)
{
    if (acceptPaused_ && isDue(now, acceptPausedUntil_)) acceptPaused_ = false;
    listenerPolled_ = listener_ != kNoSocket && !acceptPaused_;
    if (listenerPolled_) fds.push_back({listener_, POLLIN, 0});
    for (const auto& c : connections_) {
        short events = 0;
        switch (c.phase) {
        case Phase::Writing: events = POLLOUT; break;
        default: events = c.peerClosed ? 0 : POLLIN; break;  // a closed peer would always be readable
        }
        fds.push_back({c.fd, events, 0});
    }
    connectionsPolled_ = connections_.size();
}

void WebServer::handlePoll(const pollfd* fds, size_t count, uint32_t now)
{
    size_t next = 0;
    bool acceptReady = false;
    if (listenerPolled_ && next < count) acceptReady = (fds[next++].revents & POLLIN) != 0;
    for (size_t i = 0; i < connectionsPolled_ && next < count; ++i, ++next) {
        Connection& c = connections_[i];
        const short revents = fds[next].revents;
        if (c.fd == kNoSocket || revents == 0) continue;
        if (revents & (POLLERR | POLLNVAL)) {
            drop(c);
            continue;
        }
        const bool readable = (revents & (POLLIN | POLLHUP)) != 0;
        switch (c.phase) {
        case Phase::Reading:
            if (readable) readRequest(c, now);
            break;
        case Phase::Waiting:
            if (readable) discardInput(c);
            break;
        case Phase::Writing:
            if (revents & (POLLOUT | POLLHUP)) writeAnswer(c, now);
            break;
        case Phase::Draining:
        case Phase::Holding:
            if (readable) discardInput(c);
            if (c.peerClosed) drop(c);
            break;
        }
    }
    removeDropped();
    if (acceptReady) acceptWaiting(now);
    listenerPolled_ = false;
    connectionsPolled_ = 0;
}

void WebServer::handleTimers(uint32_t now)
{
    for (auto& c : connections_) {
        if (c.fd == kNoSocket || !isDue(now, c.deadline)) continue;
        switch (c.phase) {
        case Phase::Reading:
            if (c.reader.headComplete()) {
                process(c, now, true);
            } else {
                drop(c);
            }
            break;
        case Phase::Waiting:
            c.phase = Phase::Writing;
            writeAnswer(c, now);
            break;
        case Phase::Writing:  // the peer takes nothing
        case Phase::Draining:
        case Phase::Holding:
            drop(c);
            break;
        }
    }
    removeDropped();
}

std::optional<uint32_t> WebServer::nextDeadline() const
{
    std::optional<uint32_t> soonest;
    auto consider = [&](uint32_t at) {
        if (!soonest || static_cast<int32_t>(at - *soonest) < 0) soonest = at;
    };
    for (const auto& c : connections_) consider(c.deadline);
    if (acceptPaused_) consider(acceptPausedUntil_);
    return soonest;
}

void WebServer::acceptWaiting(uint32_t now)
{
    for (int i = 0; i < kAcceptBatch; ++i) {
        sockaddr_in peer{};
        std::string setupError;
        const std::optional<SocketHandle> accepted = acceptNonBlocking(listener_, &peer, &setupError);
        if (!accepted) {
            logLine("devsim: web " + setupError);
            continue;
        }
        const SocketHandle fd = *accepted;
        if (fd == kNoSocket) {
            const int error = socketError();
            if (interrupted(error) || connectionAborted(error)) continue;
            if (wouldBlock(error)) return;
            // Out of descriptors or memory: the waiting connections stay in the backlog a moment.
            logLine("devsim: web accept: " + errnoText(error));
            acceptPaused_ = true;
            acceptPausedUntil_ = now + kAcceptPauseMs;
            return;
        }
        ++accepted_;
        sockaddr_in local{};
        socklen_t localLength = sizeof local;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength);
        Connection c;
        c.fd = fd;
        c.local = ntohl(local.sin_addr.s_addr);
        c.peer = ntohl(peer.sin_addr.s_addr);
        c.peerPort = ntohs(peer.sin_port);

        std::optional<size_t> device;
        WebOutcome::Action action = WebOutcome::Action::Reset;
        const bool full = connections_.size() >= kMaxConnections;
        if (!full) {
            std::lock_guard lock(*hooks_.mutex);
            const auto& devices = hooks_.fleet->devices();
            for (size_t d = 0; d < devices.size(); ++d) {
                if (devices[d].network.address == c.local) {
                    device = d;
                    action = admitConnection(devices[d]);
                    break;
                }
            }
        }
        if (hooks_.verbose) {
            const char* what = full ? "reset: too many connections"
                               : !device ? "reset: no device at this address"
                               : action == WebOutcome::Action::Reset ? "reset: device silent or restarting"
                               : action == WebOutcome::Action::Close ? "closed at once (web-close-on-accept)"
                                                                     : "accepted";
            logLine("devsim: web " + peerText(c) + ": connection " + what);
        }
        if (action == WebOutcome::Action::Reset) {
            ++reset_;
            closeWithReset(fd);
            continue;
        }
        c.device = *device;
        c.deadline = now + kRequestIdleMs;
        connections_.push_back(std::move(c));
        if (action == WebOutcome::Action::Close) halfClose(connections_.back(), now);
    }
}

void WebServer::readRequest(Connection& c, uint32_t now)
{
    static thread_local std::vector<char> buffer(kReadChunk);
    for (int i = 0; i < kReadBatch; ++i) {
        const ssize_t n = ::recv(c.fd, buffer.data(), buffer.size(), 0);
        if (n > 0) {
            c.deadline = now + kRequestIdleMs;
            if (c.reader.feed(std::string_view(buffer.data(), static_cast<size_t>(n))) !=
                RequestReader::Status::NeedMore) {
                process(c, now, false);
                return;
            }
            continue;
        }
        if (n == 0) {
            c.peerClosed = true;
            if (c.reader.headComplete()) {
                process(c, now, true);
            } else {
                drop(c);
            }
            return;
        }
        const int error = socketError();
        if (interrupted(error)) continue;
        if (!wouldBlock(error)) drop(c);
        return;
    }
}

void WebServer::process(Connection& c, uint32_t now, bool incomplete)
{
    WebOutcome outcome;
    std::string request;
    Faults faults;
    {
        std::lock_guard lock(*hooks_.mutex);
        Device& device = (*hooks_.fleet)[c.device];
        faults = device.faults;
        if (c.reader.status() == RequestReader::Status::Bad) {
            outcome = refuseRequest(device, c.reader.errorStatus(), c.reader.error());
            request = "bad request (" + c.reader.error() + ")";
        } else if (incomplete) {
            outcome = respondWeb(device, c.device, now, c.reader.incomplete());
            request = c.reader.request().method + " " + c.reader.request().target + " (incomplete)";
        } else {
            outcome = respondWeb(device, c.device, now, c.reader.request());
            request = c.reader.request().method + " " + c.reader.request().target;
        }
    }
    if (hooks_.verbose) {
        logLine("devsim: web " + peerText(c) + ": " + request + " -> " + outcome.summary);
        if (hooks_.events) hooks_.events(outcome.events);
    }
    const bool streamed = !faults.webStreamPath.empty() && !incomplete &&
                          c.reader.status() != RequestReader::Status::Bad &&
                          c.reader.request().path == faults.webStreamPath;
    c.reader = RequestReader();  // the request is no longer needed; the memory goes
    if (outcome.action == WebOutcome::Action::Answer) {
        c.byteWise = faults.webSplit || faults.webTrickleMs > 0;
        c.paceMs = faults.webTrickleMs;
        if (faults.webSplit) {
            const int on = 1;
            ::setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        }
        if (streamed) {
            // The answer is a stream of lines instead: a head, then one line at a time.
            outcome.bytes = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n";
            c.streaming = true;
            c.streamMs = faults.webStreamMs;
            c.streamLimit = faults.webStreamLines;
        }
    }
    apply(c, std::move(outcome), now);
}

void WebServer::apply(Connection& c, WebOutcome outcome, uint32_t now)
{
    switch (outcome.action) {
    case WebOutcome::Action::Answer:
        c.out = std::move(outcome.bytes);
        c.sent = 0;
        if (outcome.delayMs > 0) {
            c.phase = Phase::Waiting;
            c.deadline = now + outcome.delayMs;
        } else {
            c.phase = Phase::Writing;
            writeAnswer(c, now);
        }
        break;
    case WebOutcome::Action::Hold:
        c.phase = Phase::Holding;
        c.deadline = now + kHoldMs;
        if (c.peerClosed) drop(c);
        break;
    case WebOutcome::Action::Close:
        halfClose(c, now);
        break;
    case WebOutcome::Action::Reset:
        reset(c);
        break;
    }
}

// Called when the bytes of a streamed answer are out: false when the stream has ended; else the
// connection waits streamMs (phase Waiting) or, when that wait is over, has its next line.
bool WebServer::nextStreamLine(Connection& c, uint32_t now)
{
    if (!c.streaming || (c.streamLimit != 0 && c.streamed >= c.streamLimit)) return false;
    if (!c.lineDue) {
        c.lineDue = true;
        c.phase = Phase::Waiting;
        c.deadline = now + c.streamMs;
        return true;
    }
    c.lineDue = false;
    c.phase = Phase::Writing;
    ++c.streamed;
    c.out = "stream line " + std::to_string(c.streamed) + "\r\n";
    c.sent = 0;
    return true;
}

void WebServer::writeAnswer(Connection& c, uint32_t now)
{
    while (true) {
        if (c.sent >= c.out.size()) {
            if (!nextStreamLine(c, now)) break;
            if (c.phase == Phase::Waiting) return;
            continue;
        }
        const size_t size = c.byteWise ? 1 : c.out.size() - c.sent;
        const ssize_t n = ::send(c.fd, c.out.data() + c.sent, size, kSendNoSignal);
        if (n > 0) {
            c.sent += static_cast<size_t>(n);
            c.deadline = now + kRequestIdleMs;
            if (c.paceMs > 0 && c.sent < c.out.size()) {
                c.phase = Phase::Waiting;  // the next byte later
                c.deadline = now + c.paceMs;
                return;
            }
            continue;
        }
        const int error = n < 0 ? socketError() : 0;
        if (n < 0 && interrupted(error)) continue;
        if (n < 0 && wouldBlock(error)) {
            c.phase = Phase::Writing;
            return;
        }
        drop(c);  // the peer is gone
        return;
    }
    ++answered_;
    c.out.clear();
    c.out.shrink_to_fit();
    halfClose(c, now);
}

void WebServer::discardInput(Connection& c)
{
    char buffer[4096];
    for (int i = 0; i < kReadBatch; ++i) {
        const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
        if (n > 0) continue;
        if (n == 0) {
            c.peerClosed = true;
            return;
        }
        const int error = socketError();
        if (interrupted(error)) continue;
        if (!wouldBlock(error)) drop(c);
        return;
    }
}

void WebServer::halfClose(Connection& c, uint32_t now)
{
    // The FIN tells the peer that nothing more comes; what it still sends is read and dropped so
    // that the close does not turn into a reset.
    ::shutdown(c.fd, kShutdownWrite);
    if (c.peerClosed) return drop(c);
    c.phase = Phase::Draining;
    c.deadline = now + kLingerMs;
}

void WebServer::drop(Connection& c)
{
    if (c.fd != kNoSocket) closeSocket(c.fd);
    c.fd = kNoSocket;
}

void WebServer::reset(Connection& c)
{
    if (c.fd != kNoSocket) {
        ++reset_;
        closeWithReset(c.fd);
    }
    c.fd = kNoSocket;
}

void WebServer::removeDropped()
{
    std::erase_if(connections_, [](const Connection& c) { return c.fd == kNoSocket; });
}

std::string WebServer::peerText(const Connection& c) const
{
    return formatIpv4(c.peer) + ":" + std::to_string(c.peerPort) + " -> " + formatIpv4(c.local);
}

void WebServer::logLine(const std::string& line) const
{
    if (hooks_.log) hooks_.log(line);
}

}  // namespace vst::devsim
