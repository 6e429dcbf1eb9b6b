#include "ops/DeviceListCsv.h"

#include <string_view>

#include "app/NetworkCards.h"
#include "app/Texts.h"
#include "ops/DeviceColumns.h"
#include "platform/CodePage.h"

namespace vst::ops {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";
constexpr char kSeparator = ';';
constexpr app::TextId kFirstColumnTitle = 30031;  // column 1; the others follow
constexpr app::TextId kCardTitle = 37351;
constexpr app::TextId kProductKindTitle = 37352;

// One field from Windows-1252 text.
void appendField(std::string& out, std::string_view cp1252)
{
    const std::string text = platform::cp1252ToUtf8(cp1252);
    if (text.find_first_of(";\"\r\n") == std::string::npos) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

// A spreadsheet takes a cell that begins with one of these for a formula.
bool looksLikeFormula(std::string_view text)
{
    return !text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@');
}

}  // namespace

std::string deviceListCsv(const DeviceList& list)
{
    std::string out(kByteOrderMark);
    for (int column = kColumnName; column <= kColumnBootloaderVersion; ++column) {
        appendField(out, app::loadText(static_cast<app::TextId>(kFirstColumnTitle + column - kColumnName)));
        out += kSeparator;
    }
    appendField(out, app::loadText(kCardTitle));
    out += kSeparator;
    appendField(out, app::loadText(kProductKindTitle));
    out += kLineEnd;

    for (int row = 0; row < list.count(); ++row) {
        const net::DeviceRecord& device = *list.at(row);
        for (int column = kColumnName; column <= kColumnBootloaderVersion; ++column) {
            std::string text = deviceColumnText(device, column);
            if (column == kColumnName && looksLikeFormula(text)) text.insert(0, 1, '\'');
            appendField(out, text);
            out += kSeparator;
        }
        if (device.card) out += std::to_string(device.card->index);
        out += kSeparator;
        out += std::to_string(device.productKind);
        out += kLineEnd;
    }
    return out;
}

}  // namespace vst::ops
