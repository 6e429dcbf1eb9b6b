#include "app/Texts.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "app/CApp.h"
#include "platform/CodePage.h"

extern const unsigned char vst_texts_tsv[];
extern const std::size_t vst_texts_tsv_size;

namespace vst::app {
namespace {

bool unescape(std::string_view raw, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            out += raw[i];
            continue;
        }
        if (++i == raw.size()) return false;
        switch (raw[i]) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        default: return false;
        }
    }
    return true;
}

}  // namespace

bool parseTextTable(std::string_view tsv, std::map<unsigned, std::string>& out, std::string* error)
{
    auto fail = [&](size_t lineNo, const char* why) {
        if (error) *error = "line " + std::to_string(lineNo) + ": " + why;
        return false;
    };
    size_t lineNo = 0;
    size_t pos = 0;
    while (pos < tsv.size()) {
        size_t end = tsv.find('\n', pos);
        if (end == std::string_view::npos) end = tsv.size();
        std::string_view line = tsv.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;

        const size_t tab = line.find('\t');
        if (tab == std::string_view::npos || tab == 0 || tab > 5) return fail(lineNo, "expected id, TAB, text");
        unsigned id = 0;
        for (char c : line.substr(0, tab)) {
            if (c < '0' || c > '9') return fail(lineNo, "id is not a number");
            id = id * 10 + static_cast<unsigned>(c - '0');
        }
        if (id > 0xFFFF) return fail(lineNo, "id out of range");
        std::string text;
        if (!unescape(line.substr(tab + 1), text)) return fail(lineNo, "bad escape");
        if (!out.emplace(id, platform::utf8ToCp1252(text)).second) return fail(lineNo, "duplicate id");
    }
    return true;
}

const std::map<unsigned, std::string>& textTable()
{
    static const std::map<unsigned, std::string> table = [] {
        std::map<unsigned, std::string> t;
        std::string error;
        const std::string_view raw(reinterpret_cast<const char*>(vst_texts_tsv), vst_texts_tsv_size);
        if (!parseTextTable(raw, t, &error)) {
            // The table is checked by the tests; a broken build must not run with half a table.
            std::fprintf(stderr, "string table: %s\n", error.c_str());
            std::abort();
        }
        return t;
    }();
    return table;
}

std::string textAt(unsigned id)
{
    const auto& table = textTable();
    auto it = table.find(id);
    return it == table.end() ? std::string() : it->second;
}

std::string loadText(TextId id)
{
    return textAt(static_cast<unsigned>(id) + static_cast<unsigned>(CApp::instance().textIdOffset()));
}

}  // namespace vst::app

namespace vst::app {
namespace {

// One piece of a printf template: a literal text, or a placeholder (its conversion letter).
struct TemplatePiece {
    std::string literal;
    char conversion = 0;
};

std::vector<TemplatePiece> splitTemplate(std::string_view format)
{
    std::vector<TemplatePiece> pieces(1);
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            pieces.back().literal += format[i];
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            pieces.back().literal += '%';
            ++i;
            continue;
        }
        size_t k = i + 1;
        while (k < format.size() && std::string_view("-+ #0123456789.hlLzjt").find(format[k]) != std::string_view::npos) ++k;
        if (k >= format.size()) {
            pieces.back().literal += format.substr(i);
            break;
        }
        pieces.push_back({std::string(), format[k]});
        i = k;
    }
    return pieces;
}

bool matchFrom(const std::vector<TemplatePiece>& pieces, size_t piece, std::string_view text,
               std::vector<std::string>* values)
{
    if (piece == pieces.size()) return text.empty();
    const TemplatePiece& p = pieces[piece];
    if (p.conversion == 0) {
        if (text.substr(0, p.literal.size()) != p.literal) return false;
        return matchFrom(pieces, piece + 1, text.substr(p.literal.size()), values);
    }
    // A placeholder takes some characters, then its literal must follow; the shortest choice that
    // lets the rest match wins. Numbers take at least one character, texts may be empty.
    const size_t least = p.conversion == 's' ? 0 : 1;
    for (size_t n = least; n <= text.size(); ++n) {
        if (p.conversion == 'c' && n != 1) {
            if (n > 1) break;
            continue;
        }
        if (p.conversion != 's' && p.conversion != 'c') {
            const unsigned char c = static_cast<unsigned char>(text[n - 1]);
            const bool hex = p.conversion == 'x' || p.conversion == 'X';
            const bool floating = std::string_view("fFeEgG").find(p.conversion) != std::string_view::npos;
            const bool numberChar = std::isdigit(c) || c == '-' || c == '+' || c == ' ' ||
                                    (hex && std::isxdigit(c)) || (floating && (c == '.' || c == ','));
            if (!numberChar) break;
        }
        const std::string_view rest = text.substr(n);
        if (rest.substr(0, p.literal.size()) != p.literal) continue;
        const size_t before = values ? values->size() : 0;
        if (values) values->emplace_back(text.substr(0, n));
        if (matchFrom(pieces, piece + 1, rest.substr(p.literal.size()), values)) return true;
        if (values) values->resize(before);
    }
    return false;
}

}  // namespace

bool matchesTemplate(std::string_view format, std::string_view text, std::vector<std::string>* values)
{
    const std::vector<TemplatePiece> pieces = splitTemplate(format);
    if (values) values->clear();
    return matchFrom(pieces, 0, text, values);
}

bool textMatches(TextId id, std::string_view text, std::vector<std::string>* values)
{
    const std::string format = loadText(id);
    return !format.empty() && matchesTemplate(format, text, values);
}

TextId findTextId(std::string_view text)
{
    auto wholeMatch = [](std::string_view part) -> TextId {
        TextId best = 0;
        size_t bestLength = 0;
        for (const auto& [id, ignored] : textTable()) {
            if (id < 30000 || id >= 40000) continue;  // German ids; the current language's text is used
            const std::string format = loadText(static_cast<TextId>(id));
            if (format.empty() || format.size() <= bestLength) continue;
            if (matchesTemplate(format, part)) {
                best = static_cast<TextId>(id);
                bestLength = format.size();
            }
        }
        return best;
    };
    if (text.empty()) return 0;
    if (const TextId id = wholeMatch(text)) return id;
    for (size_t at = 1; at < text.size(); ++at) {
        if (text[at - 1] != ' ' && text[at - 1] != '\n') continue;
        if (const TextId id = wholeMatch(text.substr(at))) return id;
    }
    return 0;
}

}  // namespace vst::app
