#pragma once
// The line format shared by the catalogue "setup.ini", the files it names and the device
// configuration: section headers "[name]", comments "#...", and "key=value" lines.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vst::config {

struct ConfigLine {
    enum class Kind { Section, Comment, KeyValue };
    Kind kind = Kind::KeyValue;
    std::string_view name;   // Section: the text between "[" and the line's last character
    std::string_view key;    // KeyValue: the text before the first "=" (the whole line without one)
    std::string_view value;  // KeyValue: the text after the first "="
};

// Classifies one line (without its line end).
ConfigLine parseConfigLine(std::string_view line);

// Calls `visit` for every line of the text that ends with a line feed, in order; a final line
// without one is not a line. The texts come from files read in text mode (readTextFile), which
// already took a CR LF line end apart, so a CR still before the line feed belongs to the line:
// a line ending CR CR LF in the file keeps one CR.
void forEachConfigLine(std::string_view text, const std::function<void(const ConfigLine&)>& visit);

// A header name split at its first "]": "DeviceConfig][3" gives the section "DeviceConfig" and the
// index 3; a name without "]" has the index -1.
struct SectionHeader {
    std::string_view section;
    int32_t index = -1;
};
SectionHeader splitSectionHeader(std::string_view name);

// "name][index" as an indexed header name.
std::string indexedSectionName(std::string_view section, int32_t index);

// Leading-number rules: blanks skipped, digits read up to the first other character, 0 without
// digits. Decimal numbers saturate at INT32_MAX; hexadecimal ones accept an optional "0x" and
// saturate at UINT32_MAX.
int32_t parseDecimal(std::string_view text);
uint32_t parseHex(std::string_view text);

}  // namespace vst::config
