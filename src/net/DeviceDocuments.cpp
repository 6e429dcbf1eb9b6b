#include "net/DeviceDocuments.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "app/CommandLine.h"

namespace vst::net {
namespace {

bool contains(std::string_view text, std::string_view phrase) { return text.find(phrase) != std::string_view::npos; }

// "A.B.C.D" through the classic address conversion; text that is no address gives all ones.
uint32_t address(std::string_view text) { return app::parseInetAddress(text); }

// Six hex groups separated by ':'; parsing stops at the first group that does not fit.
void parseMacText(std::string_view text, std::array<uint8_t, 6>& mac)
{
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    size_t pos = 0;
    for (size_t i = 0; i < 6; ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != ':') return;
            ++pos;
        }
        if (pos + 2 > text.size()) return;
        const int hi = hex(text[pos]);
        const int lo = hex(text[pos + 1]);
        if (hi < 0 || lo < 0) return;
        mac[i] = static_cast<uint8_t>(hi << 4 | lo);
        pos += 2;
    }
}

bool phrase(std::string_view document, std::string_view key, std::string_view german, std::string_view english,
            bool& flag)
{
    auto text = extractTag(document, key);
    if (!text) return false;
    flag = contains(*text, german) || contains(*text, english);
    return true;
}

}  // namespace

std::optional<std::string_view> extractTag(std::string_view document, std::string_view name)
{
    const std::string open = "<" + std::string(name) + ">";
    const std::string close = "</" + std::string(name) + ">";
    const size_t start = document.find(open);
    if (start == std::string_view::npos) return std::nullopt;
    const size_t end = document.find(close, start);
    if (end == std::string_view::npos) return std::nullopt;
    const size_t textStart = start + open.size();
    if (end < textStart) return std::nullopt;
    return document.substr(textStart, end - textStart);
}

uint32_t leadingUnsigned(std::string_view text, int base)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
    if (i < text.size() && text[i] == '+') ++i;
    if (base == 16 && i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) i += 2;
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        int digit;
        const char c = text[i];
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else break;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull) value = 0xFFFFFFFFull;  // saturate like the standard conversion
    }
    return static_cast<uint32_t>(value);
}

void readSysInfo(std::string_view document, SysInfo& info)
{
    if (auto t = extractTag(document, "netwfipw")) info.wlanAddress = address(*t);
    if (auto t = extractTag(document, "netwfipe")) info.ethernetAddress = address(*t);
    if (auto t = extractTag(document, "netwfipl")) info.thirdAddress = address(*t);
    if (auto t = extractTag(document, "netwfmacw")) parseMacText(*t, info.wlanMac);
    if (auto t = extractTag(document, "netwfmace")) parseMacText(*t, info.ethernetMac);
    phrase(document, "sdstatus", "ist bereit", "is ready", info.sdCardReady);
    phrase(document, "usbfdstatus", "ist bereit", "is ready", info.usbStickReady);
}

void readDevInfo(std::string_view document, DevInfo& info)
{
    if (auto t = extractTag(document, "gehcode")) info.code = leadingUnsigned(*t, 10);
    if (auto t = extractTag(document, "gehaddr")) info.address = leadingUnsigned(*t, 16);
    phrase(document, "extrtc", "RTC l\xE4uft", "RTC is running", info.externalClockRunning);
    if (auto t = extractTag(document, "rtframework")) info.frameworkValue = static_cast<uint16_t>(leadingUnsigned(*t, 10));
    if (auto t = extractTag(document, "rtapp")) info.applicationValue = static_cast<uint16_t>(leadingUnsigned(*t, 10));
    phrase(document, "appstate", "Normal-Modus", "normal mode", info.applicationNormalMode);
    phrase(document, "apperrors", "Sensoren ", "sensors ", info.sensorErrors);
    phrase(document, "apperrors", "SD ", "SD ", info.sdErrors);
    phrase(document, "spstate", "verarbeite", "processing", info.processing);
}

bool readI2cState(std::string_view document)
{
    auto state = extractTag(document, "state");
    return state && *state == "OK";
}

std::optional<CalibrationItem> parseCalibrationLine(std::string_view line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    // Fields are split at every ';', empty ones included; fields after the fourth are not used.
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true) {
        const size_t sep = line.find(';', start);
        fields.push_back(line.substr(start, sep == std::string_view::npos ? std::string_view::npos : sep - start));
        if (sep == std::string_view::npos) break;
        start = sep + 1;
    }
    if (fields.size() < 4) return std::nullopt;
    if (fields[0].size() > 9 || fields[1].size() > 19 || fields[3].size() > 49) return std::nullopt;
    CalibrationItem item;
    item.type = std::string(fields[0]);
    item.name = std::string(fields[1]);
    item.index = static_cast<uint8_t>(leadingUnsigned(fields[2], 10));
    item.data = std::string(fields[3]);
    if (item.type == "ENG") {
        std::vector<std::string_view> parts;
        size_t p = 0;
        while (parts.size() < 4) {
            const size_t comma = item.data.find(',', p);
            parts.push_back(std::string_view(item.data).substr(p, comma == std::string::npos ? std::string::npos : comma - p));
            if (comma == std::string::npos) break;
            p = comma + 1;
        }
        item.secondaryIsCurrent = parts.size() >= 3 && parts[0] == "1";
    }
    return item;
}

ProcessTestLine classifyProcessTestLine(std::string_view line)
{
    ProcessTestLine result;
    if (line.rfind("ERROR => ", 0) == 0) result.error = true;
    constexpr std::string_view kNeed = "NEED => MODE=";
    if (line.rfind(kNeed, 0) == 0) {
        const std::string_view rest = line.substr(kNeed.size());
        // A number beyond what an int holds is still a mode, just not one the station knows.
        if (!rest.empty() && rest[0] >= '0' && rest[0] <= '9') {
            result.neededMode = static_cast<int>(std::min<uint32_t>(leadingUnsigned(rest, 10), INT32_MAX));
        }
    }
    return result;
}

}  // namespace vst::net
