#pragma once
// The content the crash writer puts into each file in a round: a head naming the round, a body
// whose length and bytes depend on the round, and a tail naming it again. A file is whole when it
// equals the content of the round its head names.
#include <cstdint>
#include <string>

namespace vst::test {

inline constexpr const char* kCrashSettingsKey = "SOFTWARE\\KW\\CrashTest";

inline std::string crashWriterContent(const std::string& kind, uint32_t round)
{
    std::string out = kind + " " + std::to_string(round) + "\n";
    const size_t body = 1000 + (round * 7919u) % 60000;
    for (size_t i = 0; i < body; ++i) out += static_cast<char>('a' + (i + round) % 26);
    out += "\nend " + std::to_string(round) + "\n";
    return out;
}

// The round a file's head names; 0 when it has none.
inline uint32_t crashWriterRound(const std::string& content)
{
    const size_t blank = content.find(' ');
    const size_t lf = content.find('\n');
    if (blank == std::string::npos || lf == std::string::npos || lf < blank) return 0;
    try {
        return static_cast<uint32_t>(std::stoul(content.substr(blank + 1, lf - blank - 1)));
    } catch (...) {
        return 0;
    }
}

}  // namespace vst::test
