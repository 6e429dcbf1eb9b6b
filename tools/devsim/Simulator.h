#pragma once
// The simulator's socket side: one UDP socket for the whole fleet, bound to the device port on all
// addresses. IP_PKTINFO tells which address each datagram was sent to, so the fleet can decide
// which devices it reaches, and each answer leaves with its device's own address as source. Next
// to it one TCP listening socket on the web port serves the devices' web interfaces (WebServer).
// The loop runs on a thread of its own and polls both; restart ends, delayed answers and web
// deadlines are timed by the loop itself against the platform tick counter, so a test that
// installs a manual clock controls them too.
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "devsim/Device.h"
#include "devsim/Fleet.h"
#include "devsim/WebServer.h"

namespace vst::devsim {

struct SimulatorConfig {
    std::vector<Device> devices;
    Ipv4 bindAddress = 0;  // 0.0.0.0: every address of the network namespace
    uint16_t port = kDevicePort;  // 0: any free port (see Simulator::port)
    bool web = true;               // serve the web interfaces
    uint16_t webPort = kWebPort;   // 0: any free port (see Simulator::webPort)
    std::string interface;  // when set, only datagrams and connections that arrive on this interface
    int receiveBufferBytes = 4 * 1024 * 1024;
    bool verbose = false;  // log every received command and every state change
    // Where log lines go; by default standard error. Send failures are always logged.
    std::function<void(const std::string&)> log;
};

struct SimulatorStatistics {
    uint64_t datagramsReceived = 0;
    uint64_t answersSent = 0;
    uint64_t sendRetries = 0;  // waits after EAGAIN or ENOBUFS
    uint64_t sendFailures = 0;  // answers given up on (each one logged)
    WebStatistics web;
};

class Simulator {
public:
    explicit Simulator(SimulatorConfig config);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens and binds the sockets, then starts the loop thread. The sockets belong to the network
    // namespace of the calling thread, so a test thread that entered the devices' namespace with
    // setns can start it there. False, with a message, when a socket cannot be set up; the
    // simulator can then be started again.
    bool start(std::string* error = nullptr);
    // Ends the loop and closes the sockets; answers still waiting for their delay are dropped and
    // open web connections are closed.
    void stop();
    bool running() const { return thread_.joinable(); }

    // The port the socket is bound to (after start).
    uint16_t port() const { return boundPort_; }
    // The web port (after start; 0 when the web side is off).
    uint16_t webPort() const { return web_.port(); }

    size_t deviceCount() const;
    // A copy of a device's current state (std::out_of_range for a bad index).
    Device device(size_t index) const;
    std::optional<Device> deviceByMac(const Mac& mac) const;
    // Calls `visit` for every device in fleet order, all under one hold of the lock (a consistent
    // picture without copying every device).
    void visitDevices(const std::function<void(const Device&)>& visit) const;
    // Changes a device while the simulator runs (settings or faults).
    void update(size_t index, const std::function<void(Device&)>& change);

    SimulatorStatistics statistics() const;

private:
    struct PendingReply {
        uint32_t dueAt = 0;
        uint64_t order = 0;
        Ipv4 source = 0;
        Ipv4 peerAddress = 0;
        uint16_t peerPort = 0;
        Bytes bytes;
    };

    // What one receive brought: a datagram, one to pass over (truncated, or the call was
    // interrupted), or nothing more for now (an error is logged).
    enum class Received { Datagram, PassedOver, Nothing };

    void run();
    // The loop's wake-up: one byte written, and all written bytes taken out again.
    void wake();
    void drainWake();
    void receiveWaiting();
    Received receiveDatagram(uint8_t* buffer, size_t capacity, size_t* size, sockaddr_in* peer,
                             std::optional<Ipv4>* destination);
    void sendDueReplies(uint32_t now);
    void send(Ipv4 source, Ipv4 peerAddress, uint16_t peerPort, const Bytes& bytes);
    int pollTimeout(uint32_t now);
    void logLine(const std::string& line) const;
    void logEvents(const std::vector<Event>& events);

    SimulatorConfig config_;
    mutable std::mutex mutex_;  // guards fleet_
    Fleet fleet_;
    WebServer web_;  // loop thread only, once started
    std::deque<PendingReply> pending_;  // loop thread only; ordered by (dueAt, order)
    uint64_t nextOrder_ = 0;

    SocketHandle socket_ = kNoSocket;
    SocketHandle wakeRead_ = kNoSocket;  // the loop's wake-up: a pipe on POSIX, a pair of loopback
    SocketHandle wakeWrite_ = kNoSocket;  // UDP sockets on Windows (WSAPoll takes only sockets)
#ifdef _WIN32
    void* receiveMessage_ = nullptr;  // WSARecvMsg, which Winsock hands out only by pointer
    // False where WSASendMsg ignores the IN_PKTINFO source (Wine, which also turns a UDP bind to
    // one address into a bind to all): then only answers whose device address is the one the
    // system picks for the peer are sent, the others are logged as failures.
    bool sourceHonoured_ = true;
    bool sourceHonouredBySystem();
    std::optional<Ipv4> systemSource(Ipv4 peerAddress, uint16_t peerPort, int* error) const;
#endif
    uint16_t boundPort_ = 0;
    std::atomic<bool> stopRequested_{false};
    std::thread thread_;

    std::atomic<uint64_t> received_{0};
    std::atomic<uint64_t> sent_{0};
    std::atomic<uint64_t> retries_{0};
    std::atomic<uint64_t> failures_{0};
};

}  // namespace vst::devsim
