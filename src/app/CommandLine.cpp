#include "app/CommandLine.h"

#include <cctype>
#include <optional>
#include <string>

namespace vst::app {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

enum class Keyword { VAZIR, LAGER, DL, PROREP, NETCARD, DSTIP, FW, SNR, IPE, I2C, NOSNRLOG };

struct KeywordName {
    std::string_view name;
    Keyword keyword;
};

// Tested in this order; the first keyword the option name begins with wins.
constexpr KeywordName kKeywords[] = {
    {"VAZIR", Keyword::VAZIR}, {"LAGER", Keyword::LAGER}, {"DL", Keyword::DL},
    {"PROREP", Keyword::PROREP}, {"NETCARD", Keyword::NETCARD}, {"DSTIP", Keyword::DSTIP},
    {"FW", Keyword::FW}, {"SNR", Keyword::SNR}, {"IPE", Keyword::IPE},
    {"I2C", Keyword::I2C}, {"NOSNRLOG", Keyword::NOSNRLOG},
};

void applyOption(std::string_view name, std::optional<std::string_view> value, AppSettings& s)
{
    for (const auto& k : kKeywords) {
        if (name.substr(0, k.name.size()) != k.name) continue;
        switch (k.keyword) {
        case Keyword::VAZIR: s.internalMode = true; break;
        case Keyword::LAGER: s.operatingMode = OperatingMode::Stock; break;
        case Keyword::DL: s.operatingMode = OperatingMode::Endurance; break;
        case Keyword::PROREP: s.operatingMode = OperatingMode::Production; break;
        case Keyword::NETCARD: s.networkCardIndex = value ? parseLeadingInteger(*value) : 0; break;
        case Keyword::DSTIP:
            if (value) s.targetAddress = parseInetAddress(*value);
            break;
        case Keyword::FW:
            if (value) s.firmwarePath = std::string(*value);
            break;
        case Keyword::SNR:
            if (value) s.serialNumberPath = std::string(*value);
            break;
        case Keyword::IPE:
            if (value) s.programmerPath = std::string(*value);
            break;
        case Keyword::I2C: s.i2cTest = true; break;
        case Keyword::NOSNRLOG: s.noSerialLog = true; break;
        }
        return;
    }
}

}  // namespace

void parseCommandLine(std::string_view commandLine, AppSettings& settings)
{
    enum class State { Between, Name, Value };
    State state = State::Between;
    size_t nameStart = 0;
    size_t valueStart = 0;
    size_t nameEnd = 0;
    bool quoted = false;
    bool startedWithQuote = false;

    // The scan runs up to and including the terminating NUL, which ends a name or value.
    const size_t length = commandLine.size();
    for (size_t i = 0; i <= length; ++i) {
        const char c = i < length ? commandLine[i] : '\0';
        const bool atEnd = c == '\0';
        switch (state) {
        case State::Between:
            if (c == '-') {
                state = State::Name;
                nameStart = i + 1;
            }
            break;
        case State::Name:
            if (c == '=') {
                nameEnd = i;
                valueStart = i + 1;
                quoted = startedWithQuote = false;
                if (valueStart < length && commandLine[valueStart] == '"') {
                    quoted = startedWithQuote = true;
                    ++i;  // move past the opening quote; the value still starts at it
                }
                state = State::Value;
            } else if (c == ' ' || atEnd) {
                applyOption(commandLine.substr(nameStart, i - nameStart), std::nullopt, settings);
                state = State::Between;
            }
            break;
        case State::Value:
            if (quoted && c == '"') {
                quoted = false;
            } else if ((!quoted && c == ' ') || atEnd) {
                std::string_view value = commandLine.substr(valueStart, i - valueStart);
                // A value that began with a quote and whose last character is the closing quote is
                // the text between them; otherwise it is kept as typed, quotes included.
                if (startedWithQuote && value.size() >= 2 && value.back() == '"') {
                    value = value.substr(1, value.size() - 2);
                }
                applyOption(commandLine.substr(nameStart, nameEnd - nameStart), value, settings);
                state = State::Between;
            }
            break;
        }
        if (atEnd) break;
    }
}

uint32_t parseInetAddress(std::string_view text)
{
    constexpr uint32_t kNone = 0xFFFFFFFFu;
    uint32_t parts[4] = {};
    int count = 0;
    size_t i = 0;
    while (true) {
        if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return kNone;
        uint64_t value = 0;
        unsigned base = 10;
        if (text[i] == '0') {
            base = 8;
            ++i;
            if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
                base = 16;
                ++i;
            }
        }
        bool anyDigit = base == 8;  // a lone "0" is a number
        while (i < text.size()) {
            const char c = text[i];
            unsigned digit;
            if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
            else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c)))
                digit = static_cast<unsigned>(std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
            else break;
            if (digit >= base) return kNone;
            value = value * base + digit;
            if (value > 0xFFFFFFFFull) return kNone;
            anyDigit = true;
            ++i;
        }
        if (!anyDigit) return kNone;
        if (count == 4) return kNone;
        parts[count++] = static_cast<uint32_t>(value);
        if (i < text.size() && text[i] == '.') {
            ++i;
            continue;
        }
        break;
    }
    // A blank ends the address; anything else after it makes the text invalid.
    if (i < text.size() && !isBlank(text[i])) return kNone;
    for (int k = 0; k < count - 1; ++k) {
        if (parts[k] > 0xFF) return kNone;
    }
    const uint32_t last = parts[count - 1];
    switch (count) {
    case 1: return last;
    case 2:
        if (last > 0xFFFFFF) return kNone;
        return (parts[0] << 24) | last;
    case 3:
        if (last > 0xFFFF) return kNone;
        return (parts[0] << 24) | (parts[1] << 16) | last;
    default:
        if (last > 0xFF) return kNone;
        return (parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | last;
    }
}

int32_t parseLeadingInteger(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = value * 10 + (text[i] - '0');
        if (value > 0x80000000LL) value = 0x80000000LL;  // saturate instead of overflowing
        ++i;
    }
    if (negative) value = -value;
    if (value > 0x7FFFFFFFLL) value = 0x7FFFFFFFLL;
    return static_cast<int32_t>(value);
}

}  // namespace vst::app
