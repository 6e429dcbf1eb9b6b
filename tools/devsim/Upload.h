#pragma once
// The firmware upload as the devices check it: the multipart body exactly as the station sends
// it, and the firmware image inside, an Intel HEX text that names its version.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vst::devsim {

// The one part of an upload: its disposition (under the header name "Content-Diposition", spelt
// so) and its content type.
inline constexpr std::string_view kUploadDispositionName = "Content-Diposition";
inline constexpr std::string_view kUploadDisposition =
    "form-data; name=\"hexfile\"; filename=\"VestrolanVxyy.hex\"";
inline constexpr std::string_view kUploadPartType = "application/octet-stream";

struct UploadCheck {
    bool ok = false;
    std::string problem;      // why not, for the log and for tests
    bool wellFormed = false;  // the multipart frame was right (payloadBytes is valid)
    size_t payloadBytes = 0;
    double version = 0;       // of an accepted image
};

// Checks an upload: `contentType` is the request's Content-Type value, `body` the body as long as
// its Content-Length said.
//  - Content-Type "multipart/form-data" with a boundary parameter B;
//  - the body is "--" B CR LF, "Content-Diposition: " kUploadDisposition CR LF,
//    "Content-Type: application/octet-stream" CR LF CR LF, the payload, CR LF "--" B "--" CR LF,
//    byte for byte, and the payload does not contain CR LF "--" B (no second part);
//  - the payload is a firmware image (firmwareVersion).
UploadCheck checkFirmwareUpload(std::string_view contentType, std::string_view body);

// The version of a firmware image, or null with the reason. An image is text of lines ending with
// LF (a CR before it is dropped); empty lines are skipped; every other line is
//  - an Intel HEX record: ':' and an even number of hexadecimal digits, at least five bytes, the
//    first byte the count of data bytes (count + 5 bytes in all), the fourth the record type 0 to
//    5, and all bytes summing to 0 modulo 256;
//  - or a comment starting with ';'. The first comment ";VERSION=" names the version: one to three
//    digits, optionally '.' and one or two digits ("1.06").
// There must be at least one end-of-file record (type 1), after it no further record, and a
// version.
std::optional<double> firmwareVersion(std::string_view image, std::string* problem = nullptr);

}  // namespace vst::devsim
