#include "app/FirmwareCheck.h"

#include <array>
#include <fstream>
#include <vector>

#include "app/Format.h"
#include "platform/FileSystem.h"

namespace vst::app {
namespace {

constexpr TextId kWrongChecksum = 37304;
constexpr TextId kNotARecord = 37305;
constexpr TextId kTruncated = 37306;
constexpr TextId kAfterEnd = 37307;
constexpr TextId kNoEnd = 37308;

// The longest record: 255 data bytes and 5 bytes of frame, two digits each, after the colon.
// Anything longer is no record; the line is not kept beyond that.
constexpr size_t kLongestLine = 1 + 2 * (255 + 5);

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Judges one record line (without its line end); nullopt when it is a sound record.
std::optional<TextId> judgeRecord(std::string_view line, bool* endRecord)
{
    *endRecord = false;
    if (line.size() > kLongestLine || line.empty() || line[0] != ':') return kNotARecord;
    const std::string_view digits = line.substr(1);
    for (char c : digits) {
        if (hexDigit(c) < 0) return kNotARecord;
    }
    if (digits.size() % 2 != 0) return kTruncated;
    std::vector<unsigned> bytes;
    for (size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<unsigned>(hexDigit(digits[i]) * 16 + hexDigit(digits[i + 1])));
    }
    if (bytes.size() < 5 || bytes.size() < bytes[0] + 5u) return kTruncated;
    if (bytes.size() > bytes[0] + 5u) return kNotARecord;
    unsigned sum = 0;
    for (unsigned b : bytes) sum += b;
    if (sum % 256 != 0) return kWrongChecksum;
    // Record types and the data length each one carries: data, end, segment address (2 bytes),
    // segment start (4), linear address (2), linear start (4).
    const unsigned count = bytes[0];
    switch (bytes[3]) {
    case 0: break;
    case 1:
        if (count != 0) return kNotARecord;
        *endRecord = true;
        break;
    case 2:
    case 4:
        if (count != 2) return kNotARecord;
        break;
    case 3:
    case 5:
        if (count != 4) return kNotARecord;
        break;
    default: return kNotARecord;
    }
    return std::nullopt;
}

// Takes the content piece by piece and judges it line by line; stops at the first fault.
class Checker {
public:
    void take(std::string_view piece)
    {
        for (char c : piece) {
            if (fault_) return;
            if (c == '\n') {
                endLine();
            } else {
                if (line_.size() <= kLongestLine + 1) line_ += c;
                pending_ = true;
            }
        }
    }

    std::optional<FirmwareFault> finish()
    {
        if (pending_ && !fault_) endLine();
        if (fault_) return fault_;
        if (!endSeen_) return FirmwareFault{lineNumber_ > 0 ? lineNumber_ : 1, kNoEnd};
        return std::nullopt;
    }

private:
    void endLine()
    {
        ++lineNumber_;
        pending_ = false;
        std::string_view line = line_;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty() && line.front() != ';') {
            if (endSeen_) {
                fault_ = FirmwareFault{lineNumber_, kAfterEnd};
            } else {
                bool isEnd = false;
                if (auto bad = judgeRecord(line, &isEnd)) fault_ = FirmwareFault{lineNumber_, *bad};
                endSeen_ = isEnd;
            }
        }
        line_.clear();
    }

    std::string line_;
    bool pending_ = false;
    bool endSeen_ = false;
    int lineNumber_ = 0;
    std::optional<FirmwareFault> fault_;
};

}  // namespace

std::optional<FirmwareFault> checkFirmwareText(std::string_view content)
{
    Checker checker;
    checker.take(content);
    return checker.finish();
}

FirmwareFileCheck checkFirmwareFile(const std::string& path, FirmwareFault* fault)
{
    std::ifstream in(platform::osPath(path), std::ios::binary);
    if (!in) return FirmwareFileCheck::CannotOpen;
    Checker checker;
    std::array<char, 4096> buffer;
    while (in) {
        in.read(buffer.data(), buffer.size());
        checker.take(std::string_view(buffer.data(), static_cast<size_t>(in.gcount())));
    }
    if (in.bad()) return FirmwareFileCheck::CannotOpen;
    const auto found = checker.finish();
    if (!found) return FirmwareFileCheck::Good;
    if (fault) *fault = *found;
    return FirmwareFileCheck::Faulty;
}

std::string firmwareFaultText(const FirmwareFault& fault)
{
    return formatText(loadText(37301), fault.line, loadText(fault.fault).c_str());
}

}  // namespace vst::app
