#include "app/Json.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <utility>

#include "platform/CodePage.h"

namespace vst::app::json {
namespace {

constexpr int kMaxDepth = 64;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A checking scanner over one text: each step either consumes a well-formed part or fails.
class Scanner {
public:
    explicit Scanner(std::string_view text) : s_(text) {}

    void blanks()
    {
        while (at_ < s_.size() && isBlank(s_[at_])) ++at_;
    }
    bool atEnd() const { return at_ == s_.size(); }
    bool peek(char c) const { return at_ < s_.size() && s_[at_] == c; }
    bool take(char c)
    {
        if (!peek(c)) return false;
        ++at_;
        return true;
    }
    size_t position() const { return at_; }
    std::string_view slice(size_t from, size_t to) const { return s_.substr(from, to - from); }

    // A string; on success `content` is the raw text between the quotes.
    bool string(std::string_view* content = nullptr)
    {
        if (!take('"')) return false;
        const size_t start = at_;
        while (at_ < s_.size()) {
            const auto c = static_cast<unsigned char>(s_[at_]);
            if (c == '"') {
                if (content) *content = s_.substr(start, at_ - start);
                ++at_;
                return true;
            }
            if (c < 0x20) return false;
            if (c == '\\') {
                if (++at_ >= s_.size()) return false;
                const char e = s_[at_];
                if (e == 'u') {
                    if (at_ + 4 >= s_.size()) return false;
                    for (int i = 1; i <= 4; ++i) {
                        if (hexDigit(s_[at_ + i]) < 0) return false;
                    }
                    at_ += 4;
                } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                    return false;
                }
            }
            ++at_;
        }
        return false;
    }

    bool number()
    {
        take('-');
        if (take('0')) {
        } else if (at_ < s_.size() && s_[at_] >= '1' && s_[at_] <= '9') {
            while (at_ < s_.size() && isDigit(s_[at_])) ++at_;
        } else {
            return false;
        }
        if (take('.')) {
            if (!digits()) return false;
        }
        if (take('e') || take('E')) {
            if (!take('+')) take('-');
            if (!digits()) return false;
        }
        return true;
    }

    bool word(std::string_view w)
    {
        if (s_.substr(at_, w.size()) != w) return false;
        at_ += w.size();
        return true;
    }

    bool value(int depth)
    {
        if (depth > kMaxDepth || at_ >= s_.size()) return false;
        switch (s_[at_]) {
        case '"': return string();
        case '{': return object(depth, nullptr);
        case '[': return array(depth, nullptr);
        case 't': return word("true");
        case 'f': return word("false");
        case 'n': return word("null");
        default: return number();
        }
    }

    bool object(int depth, std::vector<Member>* members)
    {
        if (!take('{')) return false;
        blanks();
        if (take('}')) return true;
        while (true) {
            blanks();
            std::string_view key;
            if (!string(&key)) return false;
            blanks();
            if (!take(':')) return false;
            blanks();
            const size_t start = at_;
            if (!value(depth + 1)) return false;
            if (members) members->push_back({key, slice(start, at_)});
            blanks();
            if (take('}')) return true;
            if (!take(',')) return false;
        }
    }

    bool array(int depth, std::vector<std::string_view>* elements)
    {
        if (!take('[')) return false;
        blanks();
        if (take(']')) return true;
        while (true) {
            blanks();
            const size_t start = at_;
            if (!value(depth + 1)) return false;
            if (elements) elements->push_back(slice(start, at_));
            blanks();
            if (take(']')) return true;
            if (!take(',')) return false;
        }
    }

private:
    bool digits()
    {
        const size_t start = at_;
        while (at_ < s_.size() && isDigit(s_[at_])) ++at_;
        return at_ > start;
    }

    std::string_view s_;
    size_t at_ = 0;
};

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool validUtf8(std::string_view s)
{
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + static_cast<size_t>(extra) >= s.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))) {
            return false;
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

// The escapes written as a backslash and one letter, and the character each stands for.
constexpr std::pair<char, char> kShortEscapes[] = {
    {'"', '"'}, {'\\', '\\'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'}, {'r', '\r'}, {'t', '\t'},
};

// The character a backslash and `letter` stand for; any other letter (such as "/") stands for itself.
char shortEscaped(char letter)
{
    for (const auto& [escape, c] : kShortEscapes) {
        if (escape == letter) return c;
    }
    return letter;
}

// The letter that escapes `c` after a backslash, or 0 when it has none.
char shortEscapeOf(char c)
{
    for (const auto& [escape, original] : kShortEscapes) {
        if (original == c) return escape;
    }
    return 0;
}

std::optional<std::string> unescape(std::string_view content)
{
    if (content.find('\\') == std::string_view::npos) {
        if (!validUtf8(content)) return std::nullopt;
        return std::string(content);
    }
    std::string out;
    out.reserve(content.size());
    for (size_t i = 0; i < content.size(); ++i) {
        const char c = content[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        const char e = content[++i];
        if (e != 'u') {
            out += shortEscaped(e);
            continue;
        }
        auto hex4 = [&](size_t at) {
            uint32_t v = 0;
            for (size_t k = 0; k < 4; ++k) v = (v << 4) | static_cast<uint32_t>(hexDigit(content[at + k]));
            return v;
        };
        uint32_t cp = hex4(i + 1);
        i += 4;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            // A high surrogate must be followed by its low half.
            if (i + 6 >= content.size()) return std::nullopt;
            if (content[i + 1] != '\\' || content[i + 2] != 'u') return std::nullopt;
            const uint32_t low = hex4(i + 3);
            if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            i += 6;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return std::nullopt;
        }
        platform::appendUtf8(out, cp);
    }
    if (!validUtf8(out)) return std::nullopt;
    return out;
}

// The raw text without the blanks around it.
std::string_view trimmed(std::string_view raw)
{
    while (!raw.empty() && isBlank(raw.front())) raw.remove_prefix(1);
    while (!raw.empty() && isBlank(raw.back())) raw.remove_suffix(1);
    return raw;
}

}  // namespace

void appendString(std::string& out, std::string_view utf8)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (const char escape = shortEscapeOf(ch)) {
            out += '\\';
            out += escape;
        } else if (c < 0x20) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += ch;
        }
    }
    out += '"';
}

void appendNumber(std::string& out, double value)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    if (value == 0) value = 0;  // no "-0"
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

double fromFloat(float value)
{
    if (!std::isfinite(value)) return static_cast<double>(value);
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    double out = 0;
    std::from_chars(buffer, written.ptr, out);
    return out;
}

bool Member::is(std::string_view name) const
{
    if (key.find('\\') == std::string_view::npos) return key == name;
    const auto text = unescape(key);
    return text && *text == name;
}

std::optional<std::vector<Member>> objectMembers(std::string_view raw)
{
    Scanner s(raw);
    s.blanks();
    std::vector<Member> members;
    if (!s.object(0, &members)) return std::nullopt;
    s.blanks();
    if (!s.atEnd()) return std::nullopt;
    return members;
}

std::optional<std::vector<std::string_view>> arrayElements(std::string_view raw)
{
    Scanner s(raw);
    s.blanks();
    std::vector<std::string_view> elements;
    if (!s.array(0, &elements)) return std::nullopt;
    s.blanks();
    if (!s.atEnd()) return std::nullopt;
    return elements;
}

std::optional<std::string> stringValue(std::string_view raw)
{
    raw = trimmed(raw);
    Scanner s(raw);
    std::string_view content;
    if (!s.string(&content) || !s.atEnd()) return std::nullopt;
    return unescape(content);
}

std::optional<double> numberValue(std::string_view raw)
{
    raw = trimmed(raw);
    Scanner s(raw);
    if (!s.number() || !s.atEnd()) return std::nullopt;
    double value = 0;
    const auto result = std::from_chars(raw.data(), raw.data() + raw.size(), value);
    if (result.ec != std::errc() || !std::isfinite(value)) return std::nullopt;
    return value;
}

bool isNull(std::string_view raw) { return trimmed(raw) == "null"; }

std::optional<std::string_view> member(const std::vector<Member>& members, std::string_view name)
{
    for (const auto& m : members) {
        if (m.is(name)) return m.value;
    }
    return std::nullopt;
}

}  // namespace vst::app::json
