#pragma once
// The endurance run ("Dauerlauf"): a batch of new devices (production) or one repaired device
// (repair) is connected one device after the other, prepared (configuration, fixed address, serial
// number and records, clock, firmware) and then tested in passes at least 30 s apart until the
// operator stops the run. The configuration dialog's rules (EnduranceForm) and the start button's
// checks (startEnduranceRun) are Qt-free, so the window and the console share them.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/FixedText.h"
#include "app/Texts.h"
#include "net/DeviceRecord.h"
#include "net/DeviceWebSession.h"
#include "net/UdpProtocol.h"
#include "ops/Starter.h"
#include "ops/WorkerChannel.h"

namespace vst::app {
struct NetworkCard;
}

namespace vst::ops {

// The phases of the endurance run, in their order. Every device goes through the current phase
// before the run moves on to the next; a repair run saves the run configuration and keeps its
// serial numbers, a production run loads the configuration and sets serial numbers. The test
// passes repeat until the run is stopped.
enum class EndurancePhase {
    FindDevice,
    SaveRunConfiguration,
    LoadRunConfiguration,
    SetNetwork,
    SerialNumber,
    SetTime,
    UpdateFirmware,
    TestPass,
};

// Test passes start at most this often.
inline constexpr uint32_t kPassSpacingMs = 30000;
// Between passes the run looks at the stop button this often.
inline constexpr uint32_t kPassPollMs = 100;
// The count edit takes at most three digits.
inline constexpr uint32_t kMaxRunDevices = 999;
inline constexpr size_t kCountDigits = 3;
// Text 37150: the summary line of a device that never completed a test pass.
inline constexpr app::TextId kNotCompletedText = 37150;
// Text 37151: the address a device would get cannot be used.
inline constexpr app::TextId kUnusableAddressText = 37151;

// The configuration dialog's content and rules: type, number, device count and one serial-number
// row per device (production). Rows hold the text the list shows.
class EnduranceForm {
public:
    // Production, count "1" and one row (00000100), as the dialog opens.
    EnduranceForm();

    bool repair() const { return repair_; }
    // "Reparatur": count 1, no rows, count and list disabled; "Produktion": one row per device.
    void setRepair(bool repair);

    // Every edit of the count field: the text read as an unsigned decimal number; rows are
    // appended (the last row's number + 100, then 100 more each) or deleted from the end.
    void setCountText(const std::string& text);
    const std::string& countText() const { return countText_; }
    uint32_t count() const { return count_; }

    const std::vector<std::string>& rows() const { return rows_; }
    // The in-place editor ended with `text` (digits only): 31213 when the number lies outside
    // 1..99999999 (the row keeps its text), else the row takes "%08d"; the first row also sets
    // every following row i to the value + 100 * i. Empty text changes nothing.
    std::optional<app::TextId> editRow(size_t row, const std::string& text);

    std::string number;  // the batch or repair number, at most 19 characters

    // OK: the refusal (31211 empty number, 37050 a number no folder can carry, 31212 no device,
    // 31213 a production row outside 1..99999999), or nullopt and the serial numbers (repair: one
    // entry without number).
    std::optional<app::TextId> accept(std::vector<uint32_t>& serials) const;

private:
    void applyCount();

    bool repair_ = false;
    std::string countText_;
    uint32_t count_ = 0;
    std::vector<std::string> rows_;
};

// The address device `index` (from 0) gets, target + index, and the mask for it: the mask of the
// card's first address whose network it lies in, else of the card's first address.
struct RunAddress {
    uint32_t address = 0;  // host byte order
    uint32_t mask = 0;
    bool usable = false;  // within 255.255.255.255, not the network or broadcast address under
                          // that mask, and not one of the card's own addresses
};
RunAddress runAddress(const app::NetworkCard& card, uint32_t target, uint32_t index);
// The number (from 1) of the first device whose address cannot be used, or 0.
uint32_t firstUnusableRunAddress(const app::NetworkCard& card, uint32_t target, uint32_t count);

// The worker's parameter block.
struct EnduranceParams {
    WorkerChannel* channel = nullptr;
    bool repair = false;
    uint32_t deviceCount = 0;
    app::FixedText<20> number;
    app::FixedText<260> runFolder;
    std::string root;  // the serial-number folder the device records go under
    const app::NetworkCard* card = nullptr;
    net::Password password;
    uint32_t target = 0;  // host byte order
    std::vector<uint32_t> serials;  // device-count entries, kNoSerialNumber where there is none
    app::FixedText<260> firmwarePath;
    // Where the run keeps its private copy of the run configuration (the station's own
    // temporary folder, never the shared tree).
    std::string privateFolder;
    // More than 0: the run ends like the stop button once this many passes are done.
    uint32_t passLimit = 0;
    uint16_t devicePort = net::kDevicePort;
    uint16_t webPort = net::kWebPort;
};

// What the run came to, for the console's exit status.
struct EnduranceOutcome {
    bool aborted = false;  // the summary said the run was aborted
    int passes = 0;
    std::vector<bool> failed;     // per device
    std::vector<bool> completed;  // per device: went through at least one test pass
    bool logSaved = true;
    bool journalWritten = true;  // every device's journal line was written
    std::string summary;  // the log's closing lines (36025 with the device lines, or 36024)
    bool allPassed() const;
};

// The whole run, closing sequence included (the worker entry sends the end messages).
void runEnduranceRun(EnduranceParams& params, EnduranceOutcome& outcome);

// What the start button hands the starter: the dialog's results and the window's settings.
struct EnduranceStart {
    const app::NetworkCard* card = nullptr;  // none: 30037
    uint32_t target = 0;                     // host byte order
    std::string firmwareFolder;              // its newest firmware file; none: 30039
    std::string root;                        // the serial-number folder
    bool repair = false;
    std::string number;
    std::vector<uint32_t> serials;
    std::string password = "730";
    std::string privateFolder;  // empty: the system's temporary folder
    uint32_t passLimit = 0;
    uint16_t devicePort = net::kDevicePort;
    uint16_t webPort = net::kWebPort;
    // The window's label 10003 ("Charge ..." or "Reparatur ..."); none on the console.
    std::function<void(const std::string&)> showNumber;
    // Runs right before the worker starts (the window empties its list and sets the run active).
    std::function<void()> beforeStart;
};

// The button "Dauerlauf starten" after its dialog: checks, assistant (production), run folder with
// 30042 and the set-aside, the run configuration, then the worker.
StartOutcome startEnduranceRun(StarterHost& host, const EnduranceStart& start,
                               std::shared_ptr<EnduranceOutcome> outcome = {});

}  // namespace vst::ops
