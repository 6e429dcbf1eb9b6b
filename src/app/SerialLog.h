#pragma once
// The serial-number log "SNR.LOG" in the serial-number folder: one line per event, appended and
// never rewritten, "dd.mm.yyyy hh:mm:ss SIGN TEXT". It tells which serial numbers were handed out
// and confirmed by a device, and guards the release of a number that is already in use.
#include <cstdint>
#include <string>
#include <string_view>

namespace vst::app {

class OperatorPrompt;

inline constexpr uint32_t kMaxSerialNumber = 99999999;
inline constexpr const char* kSerialReleasePassword = "40317";

class SerialLog {
public:
    // root: the serial-number folder; sign: the operator's short sign.
    SerialLog(std::string root, bool noSerialLog, std::string operatorSign);

    std::string path() const;

    // Appends one line with the current local time, the sign and the text. Does nothing (false)
    // without a log or when the file cannot be opened.
    bool appendSerialLogLine(std::string_view text) const;
    bool logSerialAssigned(uint32_t serial) const;
    bool logSerialConfirmation(uint32_t serial, bool confirmed) const;

    // Empty when the number is not recorded as used; otherwise the localised message naming the
    // date, time and sign of its first confirmed use.
    std::string findSerialUse(uint32_t serial) const;

    // Whether the number may be given to a device. A used number needs the operator's wish and
    // the release password; every step of that dialogue is logged.
    bool releaseSerialNumber(uint32_t serial, OperatorPrompt& prompt) const;

    // The block size of the look-up.
    static constexpr size_t kBlockSize = 32768;

private:
    std::string root_;
    bool noSerialLog_;
    std::string sign_;
};

}  // namespace vst::app
