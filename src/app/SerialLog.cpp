#include "app/SerialLog.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "app/Format.h"
#include "app/OperatorPrompt.h"
#include "app/Records.h"
#include "app/Texts.h"
#include "platform/FileSystem.h"

namespace vst::app {
namespace {

constexpr size_t kSignColumn = 20;
constexpr std::string_view kFoundMark = "#SNR FOUND";

// The state of the look-up as it walks the log line by line.
struct UseScan {
    std::string key;  // the number as "%08d"
    bool keySeen = false;
    std::string date, time, sign;  // of the last line that carried the number

    // Looks at one complete line; true when it proves the number used.
    bool take(std::string_view line)
    {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() < kSignColumn) return false;
        const size_t blank = line.find(' ', kSignColumn);
        if (blank == std::string_view::npos) {
            keySeen = false;
            return false;
        }
        const std::string_view text = line.substr(blank + 1);
        if (!text.empty() && std::isdigit(static_cast<unsigned char>(text.front()))) {
            if (text.substr(0, key.size()) == key) {
                date = std::string(line.substr(0, 10));
                time = std::string(line.substr(11, 8));
                sign = std::string(line.substr(kSignColumn, blank - kSignColumn));
                keySeen = true;
            } else {
                keySeen = false;
            }
            return false;
        }
        if (keySeen && text.substr(0, kFoundMark.size()) == kFoundMark) return true;
        keySeen = false;
        return false;
    }
};

}  // namespace

SerialLog::SerialLog(std::string root, bool noSerialLog, std::string operatorSign)
    : root_(std::move(root)), noSerialLog_(noSerialLog), sign_(std::move(operatorSign))
{
}

std::string SerialLog::path() const { return platform::joinPath(root_, kSerialLogName); }

bool SerialLog::appendSerialLogLine(std::string_view text) const
{
    // Without a serial-number folder there is no log to write to.
    if (noSerialLog_ || root_.empty()) return false;
    std::string line = currentDateTimeText();
    line += ' ';
    line += sign_;
    line += ' ';
    line += text;
    line += '\n';
    return appendTextFile(path(), line);
}

bool SerialLog::logSerialAssigned(uint32_t serial) const
{
    char text[16];
    std::snprintf(text, sizeof text, "%08u", serial);
    return appendSerialLogLine(text);
}

bool SerialLog::logSerialConfirmation(uint32_t serial, bool confirmed) const
{
    char text[48];
    std::snprintf(text, sizeof text, "%s %08u", confirmed ? "#SNR FOUND" : "#SNR NOT FOUND", serial);
    return appendSerialLogLine(text);
}

std::string SerialLog::findSerialUse(uint32_t serial) const
{
    if (noSerialLog_ || root_.empty()) return std::string();
    std::ifstream in(platform::osPath(path()), std::ios::binary);
    if (!in) return std::string();

    UseScan scan;
    char key[16];
    std::snprintf(key, sizeof key, "%08d", static_cast<int>(serial));
    scan.key = key;

    auto found = [&] {
        return formatText(loadText(36000), scan.key.c_str(), scan.date.c_str(), scan.time.c_str(),
                          scan.sign.c_str());
    };

    std::vector<char> block(kBlockSize);
    // Inside a line longer than a block: its head has been looked at, the rest up to its LF is
    // passed over. Ending the look-up there would call a used number free.
    bool skippingLongLine = false;
    while (true) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const size_t count = static_cast<size_t>(in.gcount());
        if (count == 0) break;
        const std::string_view data(block.data(), count);
        const bool lastBlock = count < block.size();

        size_t pos = 0;
        size_t lf;
        while ((lf = data.find('\n', pos)) != std::string_view::npos) {
            if (skippingLongLine) {
                skippingLongLine = false;
            } else if (scan.take(data.substr(pos, lf - pos))) {
                return found();
            }
            pos = lf + 1;
        }
        const std::string_view rest = data.substr(pos);
        if (lastBlock) {
            // A last line without its line end is still a line of the log.
            if (!rest.empty() && !skippingLongLine && scan.take(rest)) return found();
            break;
        }
        if (pos == 0) {
            // A whole block without a line end: judge the line by its head, skip the rest of it.
            if (!skippingLongLine && scan.take(rest)) return found();
            skippingLongLine = true;
            continue;
        }
        // Read the incomplete line again at the start of the next block.
        in.seekg(-static_cast<std::streamoff>(rest.size()), std::ios::cur);
        if (!in) break;
    }
    return std::string();
}

bool SerialLog::releaseSerialNumber(uint32_t serial, OperatorPrompt& prompt) const
{
    if (serial > kMaxSerialNumber) return false;
    const std::string use = findSerialUse(serial);
    if (use.empty()) return true;

    appendSerialLogLine(use);
    const int answer = prompt.messageBox(use + " " + loadText(35400),
                                         kMbYesNo | kMbIconExclamation | kMbDefaultButton2);
    if (answer != kIdYes) {
        appendSerialLogLine(loadText(36003));
        return false;
    }
    appendSerialLogLine(loadText(36001));
    const auto password = prompt.askPassword();
    if (password && *password == kSerialReleasePassword) {
        appendSerialLogLine(loadText(36002));
        return true;
    }
    if (password) prompt.messageBox(loadText(35401), kMbIconExclamation);
    appendSerialLogLine(loadText(36003));
    return false;
}

}  // namespace vst::app
