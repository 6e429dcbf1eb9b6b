#include "devsim/Simulator.h"

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
// Datagrams handled in one pass before timers get their turn again.
constexpr int kReceiveBatch = 256;

uint32_t now() { return platform::clock().tickCount(); }

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

void Simulator::stop()
{
    if (!running()) return;
    stopRequested_ = true;
    wake();
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
    if (wakeWrite_ != kNoSocket) wake();
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
            logLine("devsim: poll: " + socketErrorText(error));
            break;
        }
        if (fds[1].revents & POLLIN) drainWake();
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
        size_t size = 0;
        std::optional<Ipv4> destination;
        const Received received = receiveDatagram(buffer, sizeof buffer, &size, &peer, &destination);
        if (received == Received::Nothing) return;
        if (received == Received::PassedOver || !destination) continue;
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
