#pragma once
// A web peer on the loopback address driven from the test's own polling loop: it accepts one
// connection, reads the request, then writes scripted pieces of its answer when the controllable
// clock reaches each piece's time (measured from the moment the request was read). Because the
// test thread does the writing between two polls, the timing against the station's clock is exact.
#include <poll.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/TcpSocket.h"

namespace vst::test {

class PacedPeer {
public:
    struct Piece {
        uint32_t atMs;  // after the request was read
        std::string bytes;
    };

    PacedPeer() { listen_ = platform::listenTcp(0x7F000001, 0, &port_); }
    ~PacedPeer()
    {
        if (fd_ >= 0) ::close(fd_);
        if (listen_ >= 0) ::close(listen_);
    }

    uint16_t port() const { return port_; }
    // Pieces in time order; the peer closes after the last piece when `closeAtEnd`.
    void script(std::vector<Piece> pieces, bool closeAtEnd = true)
    {
        pieces_ = std::move(pieces);
        closeAtEnd_ = closeAtEnd;
    }
    // Instead of a script: a generator asked for the bytes due now (empty: nothing yet) whenever
    // the earlier ones are out; it sets `done` to close the connection after its bytes.
    void generate(std::function<std::string(uint32_t elapsedMs, bool& done)> generator)
    {
        generator_ = std::move(generator);
    }

    // One step of the peer; call it before every poll of the station.
    void step()
    {
        if (closed_) return;
        if (fd_ < 0) {
            pollfd p{listen_, POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0) return;
            fd_ = ::accept(listen_, nullptr, nullptr);
            // Every piece leaves when the script says: without this, a small piece would wait for
            // the acknowledgement of the one before it, in real time, while protocol time races on.
            const int on = 1;
            if (fd_ >= 0) ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return;
        }
        if (!requestRead_) {
            char buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) request_.append(buffer, static_cast<size_t>(n));
            if (request_.find("\r\n\r\n") == std::string::npos) return;
            requestRead_ = true;
            start_ = platform::clock().tickCount();
        }
        const uint32_t elapsed = platform::clock().tickCount() - start_;
        if (generator_) {
            if (pending_.empty() && !ending_) pending_ = generator_(elapsed, ending_);
        } else {
            while (next_ < pieces_.size() && elapsed >= pieces_[next_].atMs) pending_ += pieces_[next_++].bytes;
            if (next_ == pieces_.size() && closeAtEnd_) ending_ = true;
        }
        // Whatever the station's socket takes now; the rest waits for the next step.
        if (!pending_.empty()) {
            const ssize_t n = ::send(fd_, pending_.data(), pending_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) pending_.erase(0, static_cast<size_t>(n));
        }
        if (pending_.empty() && ending_) close();
    }

private:
    void close()
    {
        ::shutdown(fd_, SHUT_WR);
        closed_ = true;
    }

    int listen_ = -1;
    uint16_t port_ = 0;
    int fd_ = -1;
    bool requestRead_ = false;
    bool closed_ = false;
    std::string request_;
    uint32_t start_ = 0;
    std::vector<Piece> pieces_;
    size_t next_ = 0;
    bool closeAtEnd_ = true;
    std::function<std::string(uint32_t, bool&)> generator_;
    std::string pending_;
    bool ending_ = false;
};

}  // namespace vst::test
