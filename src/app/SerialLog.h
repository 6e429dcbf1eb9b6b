#pragma once
// The serial-number log "SNR.LOG" in the serial-number folder: one line per event, appended and
// never rewritten, "dd.mm.yyyy hh:mm:ss SIGN TEXT". It tells which serial numbers were handed out
// and confirmed by a device, and guards the release of a number that is already in use.
//
// Several stations share one log. Every station takes the log's lock (an exclusive lock on one
// byte far past its end) around "look up, then append the assigned line" and around each append,
// never while a question is open. The log is only appended to; a missing log is never created.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "app/Texts.h"

namespace vst::app {

class OperatorPrompt;
}  // namespace vst::app

namespace vst::platform {
class FileRegionLock;
}  // namespace vst::platform

namespace vst::app {

inline constexpr uint32_t kMaxSerialNumber = 99999999;
inline constexpr const char* kSerialReleasePassword = "40317";
// How long a station waits for another station's hold on the log.
inline constexpr uint32_t kSerialLogLockTimeoutMs = 10000;

// The operator sign as it enters the station (sign list, command line): surrounding blanks and
// control characters removed.
std::string trimOperatorSign(std::string_view sign);
// False when the sign holds a blank or a control character (after trimming); such a sign would
// split the log line's columns. Empty signs pass.
bool isValidOperatorSign(std::string_view sign);
// Text 37200.
inline constexpr TextId kInvalidSignText = 37200;
// Text 37400: the log (its path) cannot be locked, with the system's reason.
inline constexpr TextId kCannotLockText = 37400;

// The outcome of a look-up: readable, and if so the 36000 message naming the first use (empty
// when the number is free).
struct SerialUse {
    bool readable = false;
    std::string message;
    bool used() const { return !message.empty(); }
};

// The look-up of SerialLog::findSerialUse over an opened log, read from its current position to
// its end.
SerialUse findSerialUseIn(std::FILE* log, uint32_t serial);

class SerialLog {
public:
    // root: the serial-number folder; sign: the operator's short sign.
    SerialLog(std::string root, bool noSerialLog, std::string operatorSign);

    std::string path() const;
    // False with the option NOSNRLOG or without a serial-number folder: no look-up, no lines.
    bool enabled() const { return !noSerialLog_ && !root_.empty(); }

    // Appends one line with the current local time, the sign and the text, under the log's lock.
    // Does nothing (false) without a log, when the file is missing or cannot be opened, or when
    // the lock stays busy.
    bool appendSerialLogLine(std::string_view text) const;
    bool logSerialAssigned(uint32_t serial) const;
    // The confirmation is written even when the lock stays busy (one whole line in one write):
    // a lost FOUND line would let a used number pass as free.
    bool logSerialConfirmation(uint32_t serial, bool confirmed) const;

    // Reads the log (without taking its lock). A number is used when a line "#SNR FOUND N"
    // exists, when its assigned line is followed by a "#SNR FOUND" line with only lines shorter
    // than 20 characters between them, or when its last assigned line has had no confirmation
    // yet (another station may be setting it right now).
    SerialUse findSerialUse(uint32_t serial) const;

    // Whether the number may be given to a device. A used number needs the operator's wish and
    // the release password; every step of that dialogue is logged. A log that cannot be read
    // refuses with 30040 (shown through the prompt).
    bool releaseSerialNumber(uint32_t serial, OperatorPrompt& prompt) const;

    // The release check and the assigned line as one step: the look-up and the append happen
    // under one hold of the lock, so two stations never both take a free number. When the number
    // is in use the lock is given up for the questions, and taken again for a second look-up
    // before the line is appended. Without a log: true, nothing written.
    // Refusals, shown through the prompt: a missing log 30040, a lock that stays busy 37201, a
    // log that cannot be opened for writing or locked for another reason 37400. A log on a file
    // system without locks gets the warning 37400 and is used without the lock.
    bool assignSerialNumber(uint32_t serial, OperatorPrompt& prompt) const;

    // The look-up reads the log in blocks of this size.
    static constexpr size_t kBlockSize = 32768;

private:
    std::string line(std::string_view text) const;
    // The release dialogue for a used number, every step logged; true when released.
    bool askRelease(const std::string& use, OperatorPrompt& prompt) const;
    // Shows why the log refused (30040 or 37201).
    static void refuse(TextId text, OperatorPrompt& prompt);
    // Shows 37400 with the log's path and the lock's error text.
    void cannotLock(const platform::FileRegionLock& lock, OperatorPrompt& prompt) const;

    std::string root_;
    bool noSerialLog_;
    std::string sign_;
};

}  // namespace vst::app
