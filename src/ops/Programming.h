#pragma once
// Initial programming ("Urladen"): the external programmer tool writes the firmware image into a
// blank board, then the workflow waits for the board to start, finds it at the target address,
// sets its clock, runs the CPU test and cleans its SD card.
#include <cstdint>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "app/FixedText.h"
#include "app/Texts.h"
#include "net/DeviceWebSession.h"
#include "net/UdpProtocol.h"
#include "ops/WorkerChannel.h"

namespace vst::app {
struct NetworkCard;
}

namespace vst::ops {

class LogWindow;

// The outcome of one tool run, in the order the phrases are looked for.
enum class ProgrammerResult : int32_t {
    Succeeded = 0,        // "Operation Succeeded"
    NoProgrammer = 1,     // "Programmer not found"
    ConnectionError = 2,  // "Connection error"
    NoTarget = 3,         // "Target device was not found"
    NoTool = 4,           // the tool is not in the tool folder
    Unknown = 5,          // no known phrase, the tool could not be run, or it ran too long
};

// The text of a failed result (35237..35241); 0 for success.
app::TextId programmerResultText(ProgrammerResult result);

// The tool's file name, the same on every platform; it is run directly.
inline constexpr const char* kProgrammerToolName = "ipecmd.exe";
inline constexpr const char* kProgrammerType = "PK3";
inline constexpr const char* kProgrammerPart = "32MZ2048ECG100";
// The board's start after programming.
inline constexpr uint32_t kBoardStartWaitMs = 5000;
// At most this much of the tool's output is kept as text; the phrases are looked for in all of it.
inline constexpr size_t kProgrammerOutputKeep = 1 << 20;

struct ProgrammerSettings {
    app::FixedText<260> toolFolder;
    app::FixedText<10> programmerType;
    app::FixedText<20> part;
    app::FixedText<260> imagePath;
    LogWindow* log = nullptr;
    // A tool run that has not ended after this many seconds is killed with everything it started.
    uint32_t timeoutSeconds = app::kDefaultProgrammerTimeoutSeconds;
};

// The tool's argument list: the tool path, -OL, -TP<type>, -P<part>, then the action switches.
std::vector<std::string> programmerArguments(const ProgrammerSettings& settings,
                                             const std::vector<std::string>& action);

// The same as one Windows command line, as the tool has always received it: the tool path in
// double quotes, the switches, and the image path in double quotes right after -F
// ("C:\Tools\ipecmd.exe" -OL -TPPK3 -P32MZ2048ECG100 -F"D:\fw\new.hex" -M).
std::string programmerCommandLine(const ProgrammerSettings& settings, const std::vector<std::string>& action);

// Looks for the four phrases in output that arrives in pieces; a phrase split across two pieces
// is found too.
class ProgrammerPhraseScanner {
public:
    void feed(const std::string& piece);
    ProgrammerResult result() const;

private:
    std::string tail_;
    bool found_[4] = {false, false, false, false};
};

// Runs the tool once with the action switches (working folder: the tool folder). `timedOut` tells
// whether the run was stopped at the time limit (its result is then Unknown).
ProgrammerResult runProgrammer(const ProgrammerSettings& settings, const std::vector<std::string>& action,
                               std::string* output = nullptr, bool* timedOut = nullptr);

// Erase, then program; logs the steps and the outcome (a run stopped at the time limit logs
// 37402 before its 35241). True when both succeeded.
bool programBoard(WorkerChannel& channel, const ProgrammerSettings& settings);

// The parameter block of the initial-programming workflow.
struct ProgrammingParams {
    WorkerChannel* channel = nullptr;
    app::FixedText<260> imagePath;
    app::FixedText<10> programmerType;
    app::FixedText<20> part;
    app::FixedText<260> toolFolder;
    const app::NetworkCard* card = nullptr;
    uint32_t target = 0;  // host byte order
    net::Password password;
    app::FixedText<33> ssid;
    bool testI2c = false;
    uint32_t programmerTimeoutSeconds = app::kDefaultProgrammerTimeoutSeconds;
    uint16_t devicePort = net::kDevicePort;
    uint16_t webPort = net::kWebPort;
    std::string recordsRoot;  // the journal goes under it; none: no journal
    bool succeeded = false;  // out: 35411 was reported
};

// The whole workflow up to the closing sequence (finishWorkflow included); the caller's worker
// sends WM_USER+2 and WM_USER+17 afterwards.
void runInitialProgramming(ProgrammingParams& params);

}  // namespace vst::ops
