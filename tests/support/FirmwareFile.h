#pragma once
// A firmware image as the simulated devices accept it: Intel HEX records, a ";VERSION=x.yy"
// comment and the end-of-file record.
#include <cstdio>
#include <string>

namespace vst::test {

inline std::string firmwareImage(const std::string& version, int dataRecords = 64)
{
    std::string out = ";VERSION=" + version + "\r\n";
    for (int r = 0; r < dataRecords; ++r) {
        const unsigned address = static_cast<unsigned>(r * 16);
        unsigned sum = 16 + (address >> 8) + (address & 0xFF);
        char line[64];
        std::snprintf(line, sizeof line, ":10%04X00", address);
        out += line;
        for (int b = 0; b < 16; ++b) {
            const unsigned value = static_cast<unsigned>((r * 16 + b) & 0xFF);
            sum += value;
            std::snprintf(line, sizeof line, "%02X", value);
            out += line;
        }
        std::snprintf(line, sizeof line, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
        out += line;
    }
    return out + ":00000001FF\r\n";
}

}  // namespace vst::test
