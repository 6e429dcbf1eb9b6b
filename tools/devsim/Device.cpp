#include "devsim/Device.h"

#include <charconv>

namespace vst::devsim {
namespace {

struct MalformationName {
    Malformation value;
    std::string_view name;
};

constexpr MalformationName kMalformationNames[] = {
    {Malformation::LengthBeyondDatagram, "length-beyond-datagram"},
    {Malformation::LengthAbove268, "length-above-268"},
    {Malformation::Oversized, "oversized"},
    {Malformation::ShortSearchAnswer, "short-search-answer"},
    {Malformation::UnknownWord, "unknown-word"},
    {Malformation::BackupWithoutNul, "backup-without-nul"},
};

// Web faults that are a plain switch.
struct WebSwitch {
    bool Faults::*field;
    std::string_view name;
};

constexpr WebSwitch kWebSwitches[] = {
    {&Faults::webNoAnswer, "web-no-answer"},
    {&Faults::webCloseOnAccept, "web-close-on-accept"},
    {&Faults::webCloseAfterRequest, "web-close-after-request"},
    {&Faults::webNoResponseEnd, "web-no-response-end"},
    {&Faults::webAbsoluteLocation, "web-absolute-location"},
    {&Faults::webLowercaseLocation, "web-lowercase-location"},
};

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool fail(std::string* error, std::string message)
{
    if (error) *error = std::move(message);
    return false;
}

bool applyFault(Faults& faults, std::string_view item, std::string* error)
{
    const size_t eq = item.find('=');
    const std::string_view key = trim(item.substr(0, eq));
    const std::string_view value = eq == std::string_view::npos ? "" : trim(item.substr(eq + 1));
    const bool hasValue = eq != std::string_view::npos;
    auto noValue = [&]() {
        if (hasValue) return fail(error, "fault '" + std::string(key) + "' takes no value");
        return true;
    };
    if (key == "silent") {
        faults.silent = true;
        return noValue();
    }
    if (key == "search-status-0") {
        faults.searchStatusZero = true;
        return noValue();
    }
    if (key == "wrong-password") {
        faults.wrongPassword = true;
        return noValue();
    }
    for (const auto& m : kMalformationNames) {
        if (key == m.name) {
            faults.set(m.value);
            return noValue();
        }
    }
    for (const auto& w : kWebSwitches) {
        if (key == w.name) {
            faults.*w.field = true;
            return noValue();
        }
    }
    auto number = [&](uint32_t& target) {
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), target);
        return !value.empty() && ec == std::errc() && end == value.data() + value.size();
    };
    if (key == "delay" || key == "web-delay") {
        uint32_t ms = 0;
        if (!number(ms)) return fail(error, "fault '" + std::string(key) + "' needs a number of milliseconds");
        (key == "delay" ? faults.delayMs : faults.webDelayMs) = ms;
        return true;
    }
    if (key == "web-long-header") {
        uint32_t length = kDefaultLongHeader;
        if (hasValue && (!number(length) || length < 16 || length > 65536)) {
            return fail(error, "fault 'web-long-header' takes a line length from 16 to 65536");
        }
        faults.webLongHeader = length;
        return true;
    }
    if (key == "web-long-cookie") {
        uint32_t length = kDefaultLongCookie;
        if (hasValue && (!number(length) || length <= kMaxCookieLength || length > 4096)) {
            return fail(error, "fault 'web-long-cookie' takes a cookie length from 15 to 4096");
        }
        faults.webLongCookie = length;
        return true;
    }
    if (key == "duplicate-answers" || key == "backup-endless" || key == "restore-strict" || key == "web-split") {
        (key == "duplicate-answers" ? faults.duplicateAnswers
         : key == "backup-endless"  ? faults.backupEndless
         : key == "restore-strict"  ? faults.restoreStrict
                                    : faults.webSplit) = true;
        return noValue();
    }
    if (key == "web-trickle" || key == "web-stream-ms" || key == "web-stream-lines") {
        uint32_t n = 0;
        const bool positive = key == "web-stream-lines" ? number(n) : number(n) && n > 0;
        if (!positive) return fail(error, "fault '" + std::string(key) + "' needs a number");
        (key == "web-trickle" ? faults.webTrickleMs : key == "web-stream-ms" ? faults.webStreamMs
                                                                            : faults.webStreamLines) = n;
        return true;
    }
    if (key == "web-stream") {
        if (value.empty() || value.front() != '/') return fail(error, "fault 'web-stream' needs a path like /xml/system/sysinfo.xml");
        faults.webStreamPath = std::string(value);
        return true;
    }
    if (key == "foreign-mac") {
        const auto mac = parseMac(value);
        if (!mac) return fail(error, "fault 'foreign-mac' needs a MAC address like 02:00:00:00:00:99");
        faults.foreignMac = *mac;
        return true;
    }
    return fail(error, "unknown fault '" + std::string(key) + "'");
}

}  // namespace

std::optional<Faults> parseFaults(std::string_view list, std::string* error)
{
    Faults faults;
    while (true) {
        const size_t comma = list.find(',');
        const std::string_view item = trim(list.substr(0, comma));
        if (!item.empty() && !applyFault(faults, item, error)) return std::nullopt;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return faults;
}

std::string formatFaults(const Faults& faults)
{
    std::string out;
    auto add = [&out](std::string_view item) {
        if (!out.empty()) out += ", ";
        out += item;
    };
    if (faults.silent) add("silent");
    if (faults.searchStatusZero) add("search-status-0");
    if (faults.wrongPassword) add("wrong-password");
    for (const auto& m : kMalformationNames) {
        if (faults.has(m.value)) add(m.name);
    }
    if (faults.foreignMac) add("foreign-mac=" + formatMac(*faults.foreignMac));
    if (faults.delayMs) add("delay=" + std::to_string(faults.delayMs));
    for (const auto& w : kWebSwitches) {
        if (faults.*w.field) add(w.name);
    }
    if (faults.webLongHeader) add("web-long-header=" + std::to_string(faults.webLongHeader));
    if (faults.webLongCookie) add("web-long-cookie=" + std::to_string(faults.webLongCookie));
    if (faults.webDelayMs) add("web-delay=" + std::to_string(faults.webDelayMs));
    if (faults.duplicateAnswers) add("duplicate-answers");
    if (faults.backupEndless) add("backup-endless");
    if (faults.restoreStrict) add("restore-strict");
    if (faults.webSplit) add("web-split");
    if (faults.webTrickleMs) add("web-trickle=" + std::to_string(faults.webTrickleMs));
    if (!faults.webStreamPath.empty()) add("web-stream=" + faults.webStreamPath);
    if (faults.webStreamMs != kDefaultStreamMs) add("web-stream-ms=" + std::to_string(faults.webStreamMs));
    if (faults.webStreamLines) add("web-stream-lines=" + std::to_string(faults.webStreamLines));
    return out;
}

std::vector<std::string> defaultSdFiles()
{
    return {"config.akt", "config.ini", "processlist.akt", "processlist.ini", "firmware.hex"};
}

std::optional<Configuration> parseBackupText(std::string_view text, std::string* error)
{
    Configuration configuration;
    bool inProcessList = false;
    size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) {
            inProcessList = true;
            continue;
        }
        if (line.size() > kMaxLineLength) {
            if (error) {
                *error = "line " + std::to_string(lineNumber) + " is longer than " +
                         std::to_string(kMaxLineLength) + " characters";
            }
            return std::nullopt;
        }
        (inProcessList ? configuration.processLines : configuration.userLines).emplace_back(line);
    }
    return configuration;
}

std::string backupText(const Configuration& configuration)
{
    std::string text;
    for (const auto& line : configuration.userLines) text += line + '\n';
    if (!configuration.processLines.empty()) {
        text += '\n';
        for (const auto& line : configuration.processLines) text += line + '\n';
    }
    return text;
}

}  // namespace vst::devsim
