#pragma once
// A one-shot web server on the loopback address for tests: it takes connections one after the
// other, records each request (head and body by Content-Length) and answers each with the next
// scripted reply. A reply can also never come, or the connection can close without one.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/TcpSocket.h"

namespace vst::test {

class ScriptedHttpServer {
public:
    struct Reply {
        std::string bytes;
        bool neverAnswer = false;  // keep the connection open and silent
    };

    ScriptedHttpServer()
    {
        listen_ = platform::listenTcp(0x7F000001, 0, &port_);
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedHttpServer()
    {
        stop_ = true;
        thread_.join();
        if (listen_ >= 0) ::close(listen_);
    }

    uint16_t port() const { return port_; }
    void reply(std::string bytes) { push({std::move(bytes), false}); }
    void silence() { push({std::string(), true}); }

    std::vector<std::string> requests() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

    // A redirect answer as a device sends it.
    static std::string redirect(const std::string& location, const std::string& extraHeaders = "")
    {
        return "HTTP/1.1 302 Found\r\n" + extraHeaders + "Location: " + location + "\r\nConnection: close\r\n\r\n";
    }

private:
    void push(Reply r)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        replies_.push_back(std::move(r));
    }

    static size_t contentLength(const std::string& head)
    {
        const std::string key = "\r\nContent-Length: ";
        const size_t at = head.find(key);
        return at == std::string::npos ? 0 : std::stoul(head.substr(at + key.size()));
    }

    void run()
    {
        while (!stop_) {
            pollfd p{listen_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const int fd = ::accept(listen_, nullptr, nullptr);
            if (fd < 0) continue;
            // Read the head and the body.
            std::string data;
            char buffer[4096];
            size_t headEnd = std::string::npos;
            while (!stop_) {
                pollfd c{fd, POLLIN, 0};
                if (::poll(&c, 1, 20) <= 0) continue;
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                data.append(buffer, static_cast<size_t>(n));
                if (headEnd == std::string::npos) headEnd = data.find("\r\n\r\n");
                if (headEnd != std::string::npos && data.size() >= headEnd + 4 + contentLength(data.substr(0, headEnd + 2)))
                    break;
            }
            Reply r;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(data);
                if (!replies_.empty()) {
                    r = replies_.front();
                    replies_.pop_front();
                }
            }
            if (r.neverAnswer) {
                while (!stop_) usleep(1000);
            } else if (!r.bytes.empty()) {
                size_t sent = 0;
                while (sent < r.bytes.size()) {
                    const ssize_t n = ::send(fd, r.bytes.data() + sent, r.bytes.size() - sent, MSG_NOSIGNAL);
                    if (n <= 0) break;
                    sent += static_cast<size_t>(n);
                }
            }
            ::close(fd);
        }
    }

    int listen_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::deque<Reply> replies_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace vst::test
