#include "devsim/Upload.h"

#include <charconv>
#include <vector>

namespace vst::devsim {
namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimSpaces(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// "1.06": one to three digits, optionally '.' and one or two digits.
std::optional<double> versionNumber(std::string_view text)
{
    const size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (whole.empty() || whole.size() > 3) return std::nullopt;
    if (dot != std::string_view::npos && (fraction.empty() || fraction.size() > 2)) return std::nullopt;
    for (char c : whole) {
        if (!isDigit(c)) return std::nullopt;
    }
    for (char c : fraction) {
        if (!isDigit(c)) return std::nullopt;
    }
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// Empty when the record line is sound, else the reason; `type` receives its record type.
std::string checkRecord(std::string_view line, int& type)
{
    const std::string_view digits = line.substr(1);
    if (digits.size() % 2 != 0) return "an odd number of hexadecimal digits";
    std::vector<int> bytes;
    for (size_t i = 0; i < digits.size(); i += 2) {
        const int hi = hexDigit(digits[i]);
        const int lo = hexDigit(digits[i + 1]);
        if (hi < 0 || lo < 0) return "a character that is not a hexadecimal digit";
        bytes.push_back(hi * 16 + lo);
    }
    if (bytes.size() < 5) return "fewer than five bytes";
    if (bytes.size() != static_cast<size_t>(bytes[0]) + 5) return "a byte count that does not match its length";
    type = bytes[3];
    if (type > 5) return "record type " + std::to_string(type);
    int sum = 0;
    for (int b : bytes) sum += b;
    if (sum % 256 != 0) return "a wrong checksum";
    return {};
}

}  // namespace

std::optional<double> firmwareVersion(std::string_view image, std::string* problem)
{
    auto fail = [&](std::string reason) -> std::optional<double> {
        if (problem) *problem = std::move(reason);
        return std::nullopt;
    };
    std::optional<double> version;
    bool endSeen = false;
    size_t lineNumber = 0;
    while (!image.empty()) {
        ++lineNumber;
        const size_t lf = image.find('\n');
        std::string_view line = image.substr(0, lf);
        image.remove_prefix(lf == std::string_view::npos ? image.size() : lf + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (line.front() == ';') {
            constexpr std::string_view kVersion = ";VERSION=";
            if (line.rfind(kVersion, 0) == 0 && !version) {
                version = versionNumber(line.substr(kVersion.size()));
                if (!version) return fail(where + "bad version '" + std::string(line.substr(kVersion.size())) + "'");
            }
            continue;
        }
        if (line.front() != ':') return fail(where + "neither a record nor a comment");
        int type = 0;
        if (const std::string reason = checkRecord(line, type); !reason.empty()) {
            return fail(where + "record with " + reason);
        }
        if (endSeen) return fail(where + "record after the end-of-file record");
        if (type == 1) endSeen = true;
    }
    if (!endSeen) return fail("no end-of-file record");
    if (!version) return fail("no ;VERSION= line");
    return version;
}

UploadCheck checkFirmwareUpload(std::string_view contentType, std::string_view body)
{
    UploadCheck check;
    auto fail = [&](std::string reason) {
        check.problem = std::move(reason);
        return check;
    };
    // Content-Type: multipart/form-data; boundary=B (B may be quoted).
    const size_t semicolon = contentType.find(';');
    if (!equalsIgnoringCase(trimSpaces(contentType.substr(0, semicolon)), "multipart/form-data")) {
        return fail("Content-Type is not multipart/form-data");
    }
    std::string boundary;
    std::string_view parameters = semicolon == std::string_view::npos ? "" : contentType.substr(semicolon + 1);
    while (!parameters.empty()) {
        const size_t next = parameters.find(';');
        const std::string_view parameter = trimSpaces(parameters.substr(0, next));
        parameters.remove_prefix(next == std::string_view::npos ? parameters.size() : next + 1);
        const size_t eq = parameter.find('=');
        if (eq == std::string_view::npos || !equalsIgnoringCase(trimSpaces(parameter.substr(0, eq)), "boundary")) {
            continue;
        }
        std::string_view value = trimSpaces(parameter.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        boundary = value;
        break;
    }
    if (boundary.empty()) return fail("Content-Type has no boundary");

    const std::string opening = "--" + boundary + "\r\n";
    const std::string partHead = opening + std::string(kUploadDispositionName) + ": " +
                                 std::string(kUploadDisposition) + "\r\n" + "Content-Type: " +
                                 std::string(kUploadPartType) + "\r\n\r\n";
    const std::string closing = "\r\n--" + boundary + "--\r\n";
    if (body.substr(0, opening.size()) != opening) return fail("the body does not begin with the boundary");
    if (body.substr(0, partHead.size()) != partHead) return fail("the part head differs");
    if (body.size() < partHead.size() + closing.size() ||
        body.substr(body.size() - closing.size()) != closing) {
        return fail("the body does not end with the closing delimiter");
    }
    const std::string_view payload = body.substr(partHead.size(), body.size() - partHead.size() - closing.size());
    if (payload.find("\r\n--" + boundary) != std::string_view::npos) return fail("the body has more than one part");
    check.wellFormed = true;
    check.payloadBytes = payload.size();

    std::string reason;
    const auto version = firmwareVersion(payload, &reason);
    if (!version) return fail("not a firmware image: " + reason);
    check.ok = true;
    check.version = *version;
    return check;
}

}  // namespace vst::devsim
