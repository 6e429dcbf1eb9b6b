#pragma once
// The HTTP/1.1 of the simulated web servers, free of sockets: a reader that takes one request from
// bytes as they arrive, the query and form fields, and the answer text. One request per
// connection; every answer says "Connection: close".
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vst::devsim {

inline constexpr uint16_t kWebPort = 80;
// A request head (request line and header lines) may have this many bytes.
inline constexpr size_t kMaxRequestHead = 8192;
// A request body may have this many bytes (a firmware image is a few MB of text).
inline constexpr size_t kMaxRequestBody = 16 * 1024 * 1024;

struct HttpRequest {
    std::string method;
    std::string target;  // path with query, as sent
    std::string path;    // before the first '?'
    std::string query;   // after it; empty when there is none
    std::vector<std::pair<std::string, std::string>> headers;  // names as sent, values trimmed
    std::string head;    // request line and header lines as received, without the empty line
    std::string body;
    // False when the peer stopped sending before the body was complete (its half-close or a
    // time-out); the body then holds what arrived.
    bool complete = true;

    // The value of the first header of that name, compared without regard to case.
    std::optional<std::string_view> header(std::string_view name) const;
};

// Reads one request. Bytes after the end of the body (Content-Length) are ignored.
class RequestReader {
public:
    enum class Status { NeedMore, Complete, Bad };

    Status feed(std::string_view bytes);
    Status status() const { return status_; }
    bool headComplete() const { return headComplete_; }
    // The request; while the body is still short, what arrived of it.
    const HttpRequest& request() const { return request_; }
    // For Bad: the HTTP status to answer with and the reason.
    int errorStatus() const { return errorStatus_; }
    const std::string& error() const { return error_; }
    // Bytes taken for the body so far and the body's declared length.
    size_t bodyReceived() const { return request_.body.size(); }
    size_t contentLength() const { return contentLength_; }
    // The request as far as it arrived, marked incomplete; only after the head was complete.
    HttpRequest incomplete() const;

private:
    Status bad(int status, std::string reason);
    Status parseHead();

    Status status_ = Status::NeedMore;
    bool headComplete_ = false;
    std::string buffer_;  // the head while it is incomplete
    HttpRequest request_;
    size_t contentLength_ = 0;
    int errorStatus_ = 0;
    std::string error_;
};

// Value of the first field `name` in "a=1&b=2" (a query or a form body); the text is taken as
// sent, without percent or plus decoding. Null when the field is missing.
std::optional<std::string_view> formField(std::string_view fields, std::string_view name);

// The reason phrase of a status code.
std::string_view reasonPhrase(int status);

// One answer before the device's faults shape it.
struct HttpAnswer {
    int status = 200;
    std::string location;    // for redirects
    std::string setCookie;   // empty: none
    std::string contentType; // empty: none (no body)
    std::string body;
};

// How a device's faults change the text of its answers.
struct AnswerShape {
    uint32_t longHeader = 0;        // >0: a header line of this many characters before the Location
    bool absoluteLocation = false;  // Location with "http://" and `host` before the path
    bool lowercaseLocation = false; // header name "location"
    std::string host;               // the device's address as text
};

// The answer's bytes: status line, headers (Set-Cookie, Location, Content-Type, Content-Length,
// Connection: close), empty line, body.
std::string answerText(const HttpAnswer& answer, const AnswerShape& shape = {});

// A redirect with state: "<path>?state=<state>".
HttpAnswer redirect(std::string_view path, int state);

}  // namespace vst::devsim
