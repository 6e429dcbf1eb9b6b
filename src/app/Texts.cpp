#include "app/Texts.h"

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
