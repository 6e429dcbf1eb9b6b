#include "devsim/Http.h"

#include <charconv>

namespace vst::devsim {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string_view trimSpaces(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// A token character of a header name.
bool isTokenChar(char c)
{
    if (c >= 'a' && c <= 'z') return true;
    if (c >= 'A' && c <= 'Z') return true;
    if (c >= '0' && c <= '9') return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

}  // namespace

std::optional<std::string_view> HttpRequest::header(std::string_view name) const
{
    for (const auto& [n, value] : headers) {
        if (sameName(n, name)) return std::string_view(value);
    }
    return std::nullopt;
}

RequestReader::Status RequestReader::bad(int status, std::string reason)
{
    status_ = Status::Bad;
    errorStatus_ = status;
    error_ = std::move(reason);
    buffer_.clear();
    return status_;
}

RequestReader::Status RequestReader::feed(std::string_view bytes)
{
    if (status_ != Status::NeedMore) return status_;
    if (!headComplete_) {
        // Look for the empty line from a little before the new bytes, so that a CR LF CR LF split
        // between two reads is found.
        const size_t from = buffer_.size() < 3 ? 0 : buffer_.size() - 3;
        buffer_.append(bytes);
        const size_t end = buffer_.find("\r\n\r\n", from);
        if (end == std::string::npos) {
            if (buffer_.size() > kMaxRequestHead + 4) return bad(431, "request head longer than 8192 bytes");
            return status_;
        }
        if (end > kMaxRequestHead) return bad(431, "request head longer than 8192 bytes");
        request_.head = buffer_.substr(0, end);
        bytes = std::string_view(buffer_).substr(end + 4);
        headComplete_ = true;
        if (parseHead() == Status::Bad) return status_;
        const size_t take = std::min(bytes.size(), contentLength_);
        request_.body.assign(bytes.substr(0, take));
        buffer_.clear();
        buffer_.shrink_to_fit();
    } else {
        const size_t take = std::min(bytes.size(), contentLength_ - request_.body.size());
        request_.body.append(bytes.substr(0, take));
    }
    if (request_.body.size() == contentLength_) status_ = Status::Complete;
    return status_;
}

RequestReader::Status RequestReader::parseHead()
{
    const std::string_view head = request_.head;
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (true) {
        const size_t crlf = head.find("\r\n", start);
        const std::string_view line = head.substr(start, crlf == std::string_view::npos ? head.npos : crlf - start);
        if (line.find('\r') != std::string_view::npos || line.find('\n') != std::string_view::npos) {
            return bad(400, "bare CR or LF in the request head");
        }
        lines.push_back(line);
        if (crlf == std::string_view::npos) break;
        start = crlf + 2;
    }

    // Request line: method SP target SP version, single spaces.
    const std::string_view requestLine = lines.front();
    const size_t sp1 = requestLine.find(' ');
    const size_t sp2 = sp1 == std::string_view::npos ? sp1 : requestLine.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || requestLine.find(' ', sp2 + 1) != std::string_view::npos || sp1 == 0) {
        return bad(400, "bad request line");
    }
    request_.method = requestLine.substr(0, sp1);
    request_.target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string_view version = requestLine.substr(sp2 + 1);
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        if (version.rfind("HTTP/", 0) == 0) return bad(505, "HTTP version " + std::string(version));
        return bad(400, "bad request line");
    }
    for (char c : request_.method) {
        if (!isTokenChar(c)) return bad(400, "bad method");
    }
    if (request_.target.empty() || request_.target.front() != '/') return bad(400, "target must start with '/'");
    const size_t question = request_.target.find('?');
    request_.path = request_.target.substr(0, question);
    if (question != std::string::npos) request_.query = request_.target.substr(question + 1);

    std::optional<size_t> length;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) return bad(400, "header line without a name");
        const std::string_view name = line.substr(0, colon);
        for (char c : name) {
            if (!isTokenChar(c)) return bad(400, "bad header name '" + std::string(name) + "'");
        }
        const std::string_view value = trimSpaces(line.substr(colon + 1));
        request_.headers.emplace_back(std::string(name), std::string(value));
        if (sameName(name, "Transfer-Encoding")) return bad(501, "transfer codings are not supported");
        if (sameName(name, "Content-Length")) {
            size_t n = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
            if (value.empty() || ec != std::errc() || end != value.data() + value.size()) {
                return bad(400, "bad Content-Length");
            }
            if (length && *length != n) return bad(400, "two different Content-Length headers");
            length = n;
        }
    }
    if (length && *length > kMaxRequestBody) return bad(413, "body longer than 16 MiB");
    if (request_.method == "POST" && !length) return bad(411, "POST without Content-Length");
    contentLength_ = length.value_or(0);
    return status_;
}

HttpRequest RequestReader::incomplete() const
{
    HttpRequest request = request_;
    request.complete = false;
    return request;
}

std::optional<std::string_view> formField(std::string_view fields, std::string_view name)
{
    while (true) {
        const size_t amp = fields.find('&');
        const std::string_view item = fields.substr(0, amp);
        const size_t eq = item.find('=');
        if (item.substr(0, eq) == name) {
            return eq == std::string_view::npos ? std::string_view() : item.substr(eq + 1);
        }
        if (amp == std::string_view::npos) return std::nullopt;
        fields.remove_prefix(amp + 1);
    }
}

std::string_view reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 431: return "Request Header Fields Too Large";
    case 501: return "Not Implemented";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
    }
}

std::string answerText(const HttpAnswer& answer, const AnswerShape& shape)
{
    std::string text = "HTTP/1.1 " + std::to_string(answer.status) + " " + std::string(reasonPhrase(answer.status)) +
                       "\r\n";
    if (shape.longHeader > 0) {
        const std::string name = "X-Filler: ";
        text += name + std::string(shape.longHeader > name.size() ? shape.longHeader - name.size() : 0, 'x') + "\r\n";
    }
    if (!answer.setCookie.empty()) text += "Set-Cookie: " + answer.setCookie + "\r\n";
    if (!answer.location.empty()) {
        text += shape.lowercaseLocation ? "location: " : "Location: ";
        if (shape.absoluteLocation) text += "http://" + shape.host;
        text += answer.location + "\r\n";
    }
    if (!answer.contentType.empty()) text += "Content-Type: " + answer.contentType + "\r\n";
    text += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
    text += "Connection: close\r\n\r\n";
    text += answer.body;
    return text;
}

HttpAnswer redirect(std::string_view path, int state)
{
    HttpAnswer answer;
    answer.status = 302;
    answer.location = std::string(path) + "?state=" + std::to_string(state);
    return answer;
}

}  // namespace vst::devsim
