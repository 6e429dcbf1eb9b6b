#pragma once
// JSON for the production journal: writing values exactly as the journal holds them, and a
// tolerant reader that checks a line completely (so a torn or foreign line is recognised, never
// half-read) and hands out the parts asked for without building a tree. Text is UTF-8.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vst::app::json {

// --- Writing --------------------------------------------------------------------------------
// The UTF-8 text as a JSON string with its quotes: '"' and '\' escaped, control characters as
// \b \f \n \r \t or \u00XX, everything else as it is.
void appendString(std::string& out, std::string_view utf8);
// The shortest decimal that reads back as the same double ("1.05", "230", "-0.5", "1e+21");
// null for infinities and NaN, which JSON cannot hold.
void appendNumber(std::string& out, double value);
// The shortest decimal of a 32-bit float read as a double: the device's version 1.05f becomes
// 1.05, not 1.0499999523162842.
double fromFloat(float value);

// --- Reading --------------------------------------------------------------------------------
// Every reader takes the raw text of one value (leading and trailing blanks allowed) and checks
// it whole; nullopt when it is not exactly a value of that kind. Nesting deeper than 64 is
// refused, so a hostile line cannot exhaust the stack.

// One member of an object: the key's raw text between its quotes, and the value's raw text.
struct Member {
    std::string_view key;
    std::string_view value;
    // Whether the key is `name` (escapes in the key resolved).
    bool is(std::string_view name) const;
};

std::optional<std::vector<Member>> objectMembers(std::string_view raw);
std::optional<std::vector<std::string_view>> arrayElements(std::string_view raw);
// A string's text with its escapes resolved; nullopt also for invalid UTF-8 or a lone surrogate.
std::optional<std::string> stringValue(std::string_view raw);
std::optional<double> numberValue(std::string_view raw);
bool isNull(std::string_view raw);
// The value of the member `name` of an object's members, or nullopt.
std::optional<std::string_view> member(const std::vector<Member>& members, std::string_view name);

}  // namespace vst::app::json
