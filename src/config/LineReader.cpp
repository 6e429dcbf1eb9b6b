#include "config/LineReader.h"

#include <cstdio>
#include <limits>

namespace vst::config {
namespace {

std::string_view skipBlanks(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    return text.substr(i);
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

ConfigLine parseConfigLine(std::string_view line)
{
    ConfigLine out;
    if (!line.empty() && line.front() == '[') {
        out.kind = ConfigLine::Kind::Section;
        out.name = line.size() >= 2 ? line.substr(1, line.size() - 2) : std::string_view();
        return out;
    }
    if (!line.empty() && line.front() == '#') {
        out.kind = ConfigLine::Kind::Comment;
        return out;
    }
    out.kind = ConfigLine::Kind::KeyValue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
        out.key = line;
    } else {
        out.key = line.substr(0, eq);
        out.value = line.substr(eq + 1);
    }
    return out;
}

void forEachConfigLine(std::string_view text, const std::function<void(const ConfigLine&)>& visit)
{
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) break;  // a last line without a line end
        visit(parseConfigLine(text.substr(pos, end - pos)));
        pos = end + 1;
    }
}

SectionHeader splitSectionHeader(std::string_view name)
{
    SectionHeader out;
    const size_t close = name.find(']');
    if (close == std::string_view::npos) {
        out.section = name;
        return out;
    }
    out.section = name.substr(0, close);
    std::string_view rest = name.substr(close + 1);
    if (!rest.empty() && rest.front() == '[') rest.remove_prefix(1);
    out.index = parseDecimal(rest);
    return out;
}

std::string indexedSectionName(std::string_view section, int32_t index)
{
    char number[16];
    std::snprintf(number, sizeof number, "%d", static_cast<int>(index));
    std::string out(section);
    out += "][";
    out += number;
    return out;
}

int32_t parseDecimal(std::string_view text)
{
    text = skipBlanks(text);
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value);
}

uint32_t parseHex(std::string_view text)
{
    text = skipBlanks(text);
    if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && hexDigit(text[2]) >= 0) {
        text.remove_prefix(2);
    }
    uint64_t value = 0;
    for (char c : text) {
        const int d = hexDigit(c);
        if (d < 0) break;
        value = value * 16 + static_cast<uint64_t>(d);
        if (value > std::numeric_limits<uint32_t>::max()) return std::numeric_limits<uint32_t>::max();
    }
    return static_cast<uint32_t>(value);
}

}  // namespace vst::config
