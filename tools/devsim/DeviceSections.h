#pragma once
// The "[device]" sections of the simulator's text files (the fleet file, the state file): lines
// of key = value, blank lines and comment lines passed over, any other section refused. What a
// section's keys mean is the caller's.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace vst::devsim {

// The text without the blanks (space, tab, CR) around it.
std::string_view trimBlanks(std::string_view text);

struct DeviceSectionHandlers {
    // A "[device]" line opens a section (its line number).
    std::function<void(size_t line)> open;
    // A key = value line of the open section; a message refuses it.
    std::function<std::string(std::string_view key, std::string_view value)> set;
    // The open section ends (at the next "[device]" or the end of the text); a message refuses it.
    std::function<std::string()> close;
};

// Reads `text`; lines starting with one of `commentMarks` are comments. False at the first
// refusal, with "line N: message" in `error`.
bool readDeviceSections(std::string_view text, std::string_view commentMarks, const DeviceSectionHandlers& handlers,
                        std::string* error);

}  // namespace vst::devsim
