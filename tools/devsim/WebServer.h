#pragma once
// The simulator's web socket side: one non-blocking TCP listening socket for the whole fleet and
// its connections, driven by the simulator's poll loop (no thread of its own, no blocking call).
// The device that answers a connection is the one whose address the connection was made to
// (the accepted socket's local address). One request per connection: read it by Content-Length,
// answer, half-close, and close once the peer has closed or after a short linger. Every wait is
// a deadline of the loop measured on the platform tick counter, like the UDP side's.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "devsim/Fleet.h"
#include "devsim/Http.h"
#include "devsim/Sockets.h"
#include "devsim/Web.h"

namespace vst::devsim {

// A connection that sends nothing for this long while its request is incomplete is closed (an
// upload whose body stopped short is answered as refused).
inline constexpr uint32_t kRequestIdleMs = 30000;
// After the answer the device half-closes and waits this long for the peer to close.
inline constexpr uint32_t kLingerMs = 2000;
// A connection held without an answer (web-no-answer) is closed after this long, well beyond the
// station's five minutes of waiting for a first byte.
inline constexpr uint32_t kHoldMs = 600000;
// More connections than this at once are reset as they are accepted.
inline constexpr size_t kMaxConnections = 256;

struct WebStatistics {
    uint64_t connectionsAccepted = 0;
    uint64_t answersSent = 0;       // answers written completely
    uint64_t connectionsReset = 0;  // no device at the address, device silent or restarting, too many
};

class WebServer {
public:
    struct Hooks {
        std::mutex* mutex = nullptr;  // guards *fleet
        Fleet* fleet = nullptr;
        std::function<void(const std::string&)> log;
        std::function<void(const std::vector<Event>&)> events;  // only when verbose
        bool verbose = false;
    };

    explicit WebServer(Hooks hooks) : hooks_(std::move(hooks)) {}
    ~WebServer() { close(); }
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Opens the listening socket in the calling thread's network namespace. False with a message.
    bool open(Ipv4 bindAddress, uint16_t port, const std::string& interface, std::string* error);
    // Closes the listening socket and every connection.
    void close();
    bool isOpen() const { return listener_ != kNoSocket; }
    uint16_t port() const { return port_; }

    // Appends the listening socket and every connection to a poll set; handlePoll then takes
    // exactly the entries appended, in order.
    void addPollFds(std::vector<pollfd>& fds, uint32_t now);
    void handlePoll(const pollfd* fds, size_t count, uint32_t now);
    // Acts on the deadlines that are due.
    void handleTimers(uint32_t now);
    // The earliest deadline, if any.
    std::optional<uint32_t> nextDeadline() const;

    size_t connectionCount() const { return connections_.size(); }
    WebStatistics statistics() const { return {accepted_.load(), answered_.load(), reset_.load()}; }

private:
    enum class Phase { Reading, Waiting, Writing, Draining, Holding };
    struct Connection {
        SocketHandle fd = kNoSocket;
        Ipv4 local = 0;
        Ipv4 peer = 0;
        uint16_t peerPort = 0;
        size_t device = 0;
        Phase phase = Phase::Reading;
        bool peerClosed = false;
        uint32_t deadline = 0;
        RequestReader reader;
        std::string out;
        size_t sent = 0;
        // How the answer leaves (web-split, web-trickle, web-stream faults).
        bool byteWise = false;
        uint32_t paceMs = 0;
        bool streaming = false;
        uint32_t streamMs = 0;
        uint32_t streamLimit = 0;  // 0: endless
        uint32_t streamed = 0;
        bool lineDue = false;
    };

    void acceptWaiting(uint32_t now);
    void readRequest(Connection& c, uint32_t now);
    void process(Connection& c, uint32_t now, bool incomplete);
    void apply(Connection& c, WebOutcome outcome, uint32_t now);
    void writeAnswer(Connection& c, uint32_t now);
    bool nextStreamLine(Connection& c, uint32_t now);
    void discardInput(Connection& c);
    void halfClose(Connection& c, uint32_t now);
    void drop(Connection& c);
    void reset(Connection& c);
    void removeDropped();
    std::string peerText(const Connection& c) const;
    void logLine(const std::string& line) const;

    Hooks hooks_;
    SocketHandle listener_ = kNoSocket;
    uint16_t port_ = 0;
    std::vector<Connection> connections_;
    bool listenerPolled_ = false;
    size_t connectionsPolled_ = 0;
    bool acceptPaused_ = false;
    uint32_t acceptPausedUntil_ = 0;

    std::atomic<uint64_t> accepted_{0};
    std::atomic<uint64_t> answered_{0};
    std::atomic<uint64_t> reset_{0};
};

}  // namespace vst::devsim
