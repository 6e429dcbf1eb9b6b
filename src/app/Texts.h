#pragma once
// The station's string table. A text is named by its German id; the English text of the same
// message has the id plus 10000. Texts are Windows-1252 and may hold CR LF and printf placeholders.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vst::app {

using TextId = uint16_t;

inline constexpr int32_t kGermanOffset = 0;
inline constexpr int32_t kEnglishOffset = 10000;

// The text of id + the application's current textIdOffset; empty when there is none.
std::string loadText(TextId id);
// The text stored under exactly this id, without the offset.
std::string textAt(unsigned id);
// Every id and text of the compiled-in table.
const std::map<unsigned, std::string>& textTable();

// Whether `text` is the text of `id` in the current language with its printf placeholders filled
// in. The filled-in parts go to `values`, in order. Lets a script recognise a message by its id.
bool textMatches(TextId id, std::string_view text, std::vector<std::string>* values = nullptr);
// The German id of a message's text: the text of the current language whose template the whole
// message matches (of several, the longest template), else the text that matches the message's
// end after a blank or a line break (a message put together from a lead-in and a text, such as the
// release question). 0 when no text matches.
TextId findTextId(std::string_view text);
// The same for a given printf-style template.
bool matchesTemplate(std::string_view format, std::string_view text, std::vector<std::string>* values = nullptr);

// Parses the table format: "id<TAB>text" lines with \r \n \t \\ \" escapes, '#' comments and blank
// lines. Texts in the table are UTF-8 and come back as Windows-1252. On a malformed line returns
// false and names the line in `error`.
bool parseTextTable(std::string_view tsv, std::map<unsigned, std::string>& out, std::string* error);

}  // namespace vst::app
