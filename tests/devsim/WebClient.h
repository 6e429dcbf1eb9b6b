#pragma once
// A raw TCP client for the simulator's web tests, and the requests written out byte for byte as
// the station sends them (head lines in the station's order, the multipart body of the firmware
// upload), without the simulator's or the station's own helpers, so that a mistake on either side
// shows.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "devsim/Wire.h"

namespace vst::devsim::test {

struct WebReply {
    bool connected = false;
    bool closed = false;    // the device closed the connection in order
    bool reset = false;     // the connection was reset
    bool timedOut = false;  // still open when the time was up
    std::string raw;        // every byte received

    std::string statusLine;
    std::vector<std::pair<std::string, std::string>> headers;  // names exactly as sent
    std::string body;

    // The value of the first header with exactly this name (case-sensitive, as the station reads).
    std::optional<std::string> header(std::string_view name) const
    {
        for (const auto& [n, v] : headers) {
            if (n == name) return v;
        }
        return std::nullopt;
    }
    std::string location() const { return header("Location").value_or(""); }
    std::string cookie() const { return header("Set-Cookie").value_or(""); }

    void parse()
    {
        const size_t end = raw.find("\r\n\r\n");
        const std::string head = raw.substr(0, end);
        body = end == std::string::npos ? "" : raw.substr(end + 4);
        size_t start = 0;
        bool first = true;
        while (start <= head.size()) {
            const size_t crlf = head.find("\r\n", start);
            const std::string line = head.substr(start, crlf == std::string::npos ? std::string::npos : crlf - start);
            if (first) {
                statusLine = line;
                first = false;
            } else if (const size_t colon = line.find(':'); colon != std::string::npos) {
                size_t value = colon + 1;
                while (value < line.size() && line[value] == ' ') ++value;
                headers.emplace_back(line.substr(0, colon), line.substr(value));
            }
            if (crlf == std::string::npos) break;
            start = crlf + 2;
        }
    }
};

class WebConnection {
public:
    WebConnection(Ipv4 address, uint16_t port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(address);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    }
    ~WebConnection() { ::close(fd_); }
    WebConnection(const WebConnection&) = delete;
    WebConnection& operator=(const WebConnection&) = delete;

    bool connected() const { return connected_; }

    bool send(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) {
                sendError_ = errno;
                return false;
            }
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

    void shutdownWrite() { ::shutdown(fd_, SHUT_WR); }

    // Everything the device sends until it closes or resets the connection, or `timeoutMs` passes.
    WebReply read(int timeoutMs)
    {
        WebReply reply;
        reply.connected = connected_;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                    std::chrono::steady_clock::now());
            pollfd fd{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
                reply.timedOut = true;
                break;
            }
            char buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0) {
                reply.raw.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (n == 0) {
                // A reset that a failed send already reported leaves only the end of the stream.
                const bool wasReset = reply.raw.empty() && (sendError_ == ECONNRESET || sendError_ == EPIPE);
                (wasReset ? reply.reset : reply.closed) = true;
            } else if (errno == ECONNRESET) {
                reply.reset = true;
            }
            break;
        }
        reply.parse();
        return reply;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
    int sendError_ = 0;
};

// One request on its own connection, the answer read until the device closes.
inline WebReply exchange(Ipv4 address, uint16_t port, std::string_view request, int timeoutMs = 3000)
{
    WebConnection connection(address, port);
    if (!connection.connected()) return {};
    connection.send(request);
    return connection.read(timeoutMs);
}

// ---- requests as the station writes them ------------------------------------------------------

inline std::string hostText(Ipv4 address)
{
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

inline std::string stationHead(std::string_view method, std::string_view path, Ipv4 host, std::string_view contentType,
                               std::optional<size_t> contentLength, std::string_view cookie)
{
    std::string head = std::string(method) + " " + std::string(path) + " HTTP/1.1\r\n";
    head += "Host: " + hostText(host) + "\r\n";
    head += "User-Agent: Vestrolan-Manager\r\n";
    head += "Connection: close\r\n";
    if (!contentType.empty()) head += "Content-Type: " + std::string(contentType) + "\r\n";
    if (contentLength) head += "Content-Length: " + std::to_string(*contentLength) + "\r\n";
    if (!cookie.empty()) head += "Cookie: " + std::string(cookie) + "\r\n";
    return head + "\r\n";
}

inline std::string getRequest(Ipv4 host, std::string_view path, std::string_view cookie = "")
{
    return stationHead("GET", path, host, "", std::nullopt, cookie);
}

inline std::string formPost(Ipv4 host, std::string_view path, std::string_view body, std::string_view cookie = "")
{
    return stationHead("POST", path, host, "application/x-www-form-urlencoded", body.size(), cookie) +
           std::string(body);
}

inline std::string loginRequest(Ipv4 host, std::string_view password, std::string_view cookie = "")
{
    return formPost(host, "/login.htm", "pass=" + std::string(password), cookie);
}

// The multipart upload; the fields allow the mistakes the device must notice.
struct Upload {
    std::string payload;
    std::string declaredBoundary = "----------VtL-Manager";  // in the Content-Type
    std::string bodyBoundary = "----------VtL-Manager";      // in the body
    std::string dispositionName = "Content-Diposition";
    long lengthError = 0;  // added to the right Content-Length
};

inline std::string uploadBody(const Upload& u)
{
    return "--" + u.bodyBoundary + "\r\n" + u.dispositionName +
           ": form-data; name=\"hexfile\"; filename=\"VestrolanVxyy.hex\"\r\n"
           "Content-Type: application/octet-stream\r\n\r\n" +
           u.payload + "\r\n--" + u.bodyBoundary + "--\r\n";
}

inline std::string uploadRequest(Ipv4 host, const Upload& u, std::string_view cookie)
{
    const std::string body = uploadBody(u);
    const size_t length = static_cast<size_t>(static_cast<long>(body.size()) + u.lengthError);
    return stationHead("POST", "/protect/update.htm", host, "multipart/form-data; boundary=" + u.declaredBoundary,
                       length, cookie) +
           body;
}

// ---- firmware images --------------------------------------------------------------------------

// An Intel HEX record with its checksum.
inline std::string hexRecord(unsigned address, unsigned type, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
                                  static_cast<uint8_t>(address & 0xFF), static_cast<uint8_t>(type)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : bytes) sum += b;
    bytes.push_back(static_cast<uint8_t>(-sum & 0xFF));
    std::string line = ":";
    char hex[3];
    for (uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line;
}

// A small image: the version comment, `records` data records of 16 bytes, the end record.
inline std::string firmwareImage(std::string_view version, int records = 4)
{
    std::string image = ";VERSION=" + std::string(version) + "\r\n";
    for (int r = 0; r < records; ++r) {
        std::vector<uint8_t> data(16);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(r * 16 + i);
        image += hexRecord(static_cast<unsigned>(r * 16), 0, data) + "\r\n";
    }
    return image + hexRecord(0, 1, {}) + "\r\n";
}

}  // namespace vst::devsim::test
