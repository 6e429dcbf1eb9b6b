#include "app/SerialLog.h"

#include <cstdio>
#include <vector>

#include "app/Format.h"
#include "app/OperatorPrompt.h"
#include "app/Records.h"
#include "platform/FileLock.h"
#include "platform/FileSystem.h"

namespace vst::app {
namespace {

constexpr size_t kSignColumn = 20;
constexpr size_t kNumberDigits = 8;
constexpr std::string_view kFoundMark = "#SNR FOUND";
constexpr std::string_view kNotFoundMark = "#SNR NOT FOUND";

bool isDigit(char c) { return c >= '0' && c <= '9'; }
// Blanks include the no-break space of the station's code page.
bool isBlank(char c) { return c == ' ' || c == '\xA0'; }
bool isControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7F'; }

// One line of the log taken apart as far as the look-up needs it.
struct LogLine {
    std::string_view text;
    // The eight digits the line ends with after a blank, and where that blank is; npos if none.
    std::string_view number;
    size_t numberBlank = std::string_view::npos;
    // Where " #SNR FOUND" starts (a blank at or after the sign column); npos if none.
    size_t foundBlank = std::string_view::npos;

    explicit LogLine(std::string_view line) : text(line)
    {
        if (line.size() >= kNumberDigits + 1 && line[line.size() - kNumberDigits - 1] == ' ') {
            const std::string_view digits = line.substr(line.size() - kNumberDigits);
            bool all = true;
            for (char c : digits) all = all && isDigit(c);
            if (all) {
                number = digits;
                numberBlank = line.size() - kNumberDigits - 1;
            }
        }
        for (size_t at = line.find(' ', kSignColumn); at != std::string_view::npos; at = line.find(' ', at + 1)) {
            if (line.substr(at + 1, kFoundMark.size()) == kFoundMark) {
                foundBlank = at;
                break;
            }
        }
    }

    std::string_view beforeNumber() const { return text.substr(0, numberBlank); }
    bool endsWith(std::string_view head, std::string_view tail) const
    {
        return head.size() >= tail.size() && head.substr(head.size() - tail.size()) == tail;
    }
    // The line that handed out `number`: "... SIGN NNNNNNNN" that is no confirmation.
    bool assigns() const
    {
        return numberBlank != std::string_view::npos && !endsWith(beforeNumber(), kFoundMark) &&
               !endsWith(beforeNumber(), kNotFoundMark);
    }
    bool found() const { return foundBlank != std::string_view::npos; }
    // The number a FOUND line confirms: the eight digits right after "#SNR FOUND ".
    std::string_view foundNumber() const
    {
        const std::string_view rest = text.substr(foundBlank + 1 + kFoundMark.size());
        if (rest.size() < kNumberDigits + 1 || rest[0] != ' ') return {};
        const std::string_view digits = rest.substr(1, kNumberDigits);
        for (char c : digits) {
            if (!isDigit(c)) return {};
        }
        return digits;
    }
    bool notFound() const { return numberBlank != std::string_view::npos && endsWith(beforeNumber(), kNotFoundMark); }
};

// Date, time and sign of a line, for the 36000 message.
struct Mark {
    std::string date, time, sign;
    bool set = false;

    static Mark of(std::string_view line, size_t signEnd)
    {
        Mark m;
        m.date = std::string(line.substr(0, 10));
        m.time = std::string(line.substr(11, 8));
        if (signEnd > kSignColumn) m.sign = std::string(line.substr(kSignColumn, signEnd - kSignColumn));
        m.set = true;
        return m;
    }
};

// The look-up as it walks the log line by line.
struct UseScan {
    std::string key;     // the number as "%08d"
    Mark lastAssigned;   // the last line that handed the number out
    bool followed = false;  // that line was the last line of 20 characters or more
    bool pending = false;   // that line has not been answered by "#SNR NOT FOUND" of the number
    Mark use;

    // Looks at one complete line; true once the number is proved used.
    bool take(std::string_view text)
    {
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        // Short lines are no station's lines; they neither mark nor break a pair.
        if (text.size() < kSignColumn) return false;
        const LogLine line(text);
        if (line.assigns() && line.number == key) {
            lastAssigned = Mark::of(text, line.numberBlank);
            followed = true;
            pending = true;
            return false;
        }
        if (line.found()) {
            // "#SNR FOUND N" anywhere, or any FOUND line right after the number's own line.
            if (line.foundNumber() == key || followed) {
                use = lastAssigned.set ? lastAssigned : Mark::of(text, line.foundBlank);
                return true;
            }
        } else if (line.notFound() && line.number == key) {
            pending = false;
        }
        followed = false;
        return false;
    }
};

}  // namespace

std::string trimOperatorSign(std::string_view sign)
{
    auto trimmed = [](char c) { return isBlank(c) || isControl(c); };
    while (!sign.empty() && trimmed(sign.front())) sign.remove_prefix(1);
    while (!sign.empty() && trimmed(sign.back())) sign.remove_suffix(1);
    return std::string(sign);
}

bool isValidOperatorSign(std::string_view sign)
{
    for (char c : sign) {
        if (isBlank(c) || isControl(c)) return false;
    }
    return true;
}

SerialLog::SerialLog(std::string root, bool noSerialLog, std::string operatorSign)
    : root_(std::move(root)), noSerialLog_(noSerialLog), sign_(std::move(operatorSign))
{
}

std::string SerialLog::path() const { return platform::joinPath(root_, kSerialLogName); }

std::string SerialLog::line(std::string_view text) const
{
    std::string out = currentDateTimeText();
    out += ' ';
    out += sign_;
    out += ' ';
    out += text;
    out += '\n';
    return out;
}

bool SerialLog::appendSerialLogLine(std::string_view text) const
{
    if (!enabled()) return false;
    platform::FileRegionLock lock;
    switch (lock.acquire(platform::osPath(path()), kSerialLogLockTimeoutMs)) {
    case platform::FileRegionLock::Result::Locked:
    // A log on a file system without locks is appended to without one, as older stations do.
    case platform::FileRegionLock::Result::Unlockable: return lock.append(line(text));
    case platform::FileRegionLock::Result::Busy:
    case platform::FileRegionLock::Result::CannotOpen: return false;
    }
    return false;
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
    if (appendSerialLogLine(text)) return true;
    // Only a lock held past its time-out ends up here with the log in place; the line goes in
    // all the same, as one write that appenders on this system never split.
    return enabled() && platform::appendExistingFile(platform::osPath(path()), line(text));
}

SerialUse SerialLog::findSerialUse(uint32_t serial) const
{
    SerialUse result;
    if (!enabled()) {
        result.readable = true;
        return result;
    }
    if (platform::isDirectory(path())) return result;
    std::FILE* in = platform::openFile(path(), "rb");
    if (!in) return result;
    result = findSerialUseIn(in, serial);
    std::fclose(in);
    return result;
}

SerialUse findSerialUseIn(std::FILE* in, uint32_t serial)
{
    SerialUse result;
    UseScan scan;
    char key[16];
    std::snprintf(key, sizeof key, "%08d", static_cast<int>(serial));
    scan.key = key;

    std::vector<char> block(SerialLog::kBlockSize);
    std::string carry;  // the line begun in an earlier block
    bool proved = false;
    while (!proved) {
        const size_t count = std::fread(block.data(), 1, block.size(), in);
        if (count == 0) break;
        std::string_view data(block.data(), count);
        size_t lf;
        while (!proved && (lf = data.find('\n')) != std::string_view::npos) {
            if (carry.empty()) {
                proved = scan.take(data.substr(0, lf));
            } else {
                carry.append(data.substr(0, lf));
                proved = scan.take(carry);
                carry.clear();
            }
            data.remove_prefix(lf + 1);
        }
        if (!proved) carry.append(data);
    }
    // A last line without its line end is still a line of the log.
    if (!proved && !carry.empty() && !std::ferror(in)) proved = scan.take(carry);
    if (std::ferror(in)) return result;

    result.readable = true;
    // Without a confirmation, the number's last assigned line still holds it: the station that
    // wrote it may be setting it into a device right now.
    if (!proved && scan.pending) {
        scan.use = scan.lastAssigned;
        proved = true;
    }
    if (proved) {
        result.message = formatText(loadText(36000), scan.key.c_str(), scan.use.date.c_str(), scan.use.time.c_str(),
                                    scan.use.sign.c_str());
    }
    return result;
}

void SerialLog::refuse(TextId text, OperatorPrompt& prompt) { prompt.messageBox(loadText(text), kMbIconExclamation); }

void SerialLog::cannotLock(const platform::FileRegionLock& lock, OperatorPrompt& prompt) const
{
    prompt.messageBox(formatText(loadText(kCannotLockText), path().c_str(), lock.errorText().c_str()),
                      kMbIconExclamation);
}

bool SerialLog::askRelease(const std::string& use, OperatorPrompt& prompt) const
{
    appendSerialLogLine(use);
    const int answer = prompt.messageBox(use + " " + loadText(35400), kMbYesNo | kMbIconExclamation | kMbDefaultButton2);
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

bool SerialLog::releaseSerialNumber(uint32_t serial, OperatorPrompt& prompt) const
{
    if (serial > kMaxSerialNumber) return false;
    const SerialUse use = findSerialUse(serial);
    if (!use.readable) {
        refuse(30040, prompt);
        return false;
    }
    return !use.used() || askRelease(use.message, prompt);
}

bool SerialLog::assignSerialNumber(uint32_t serial, OperatorPrompt& prompt) const
{
    if (serial > kMaxSerialNumber) return false;
    if (!enabled()) return true;
    char number[16];
    std::snprintf(number, sizeof number, "%08u", serial);
    bool released = false;
    bool warned = false;
    while (true) {
        platform::FileRegionLock lock;
        switch (lock.acquire(platform::osPath(path()), kSerialLogLockTimeoutMs)) {
        case platform::FileRegionLock::Result::Locked: break;
        case platform::FileRegionLock::Result::Unlockable:
            // The file system offers no locks: the operator is warned once, and the number is
            // looked up and appended without the lock, as stations without it do.
            if (!warned) cannotLock(lock, prompt);
            warned = true;
            break;
        case platform::FileRegionLock::Result::Busy: refuse(37201, prompt); return false;
        case platform::FileRegionLock::Result::CannotOpen:
            // Only a missing log is one: any other failure names the log and the system's reason.
            if (lock.missing()) refuse(30040, prompt);
            else cannotLock(lock, prompt);
            return false;
        }
        const SerialUse use = findSerialUse(serial);
        if (!use.readable) {
            lock.release();
            refuse(30040, prompt);
            return false;
        }
        if (!use.used() || released) return lock.append(line(number));
        // No question is asked while the lock is held: other stations would wait on the operator.
        lock.release();
        if (!askRelease(use.message, prompt)) return false;
        released = true;
    }
}

}  // namespace vst::app
