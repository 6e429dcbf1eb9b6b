#include "app/Journal.h"

#include <chrono>
#include <cstdio>
#include <random>

#include "app/Format.h"
#include "app/Json.h"
#include "app/Version.h"
#include "platform/Host.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/TimeZone.h"

namespace vst::app {
namespace {

struct WorkflowInfo {
    JournalWorkflow workflow;
    const char* name;
    TextId success;
};
constexpr WorkflowInfo kWorkflows[] = {
    {JournalWorkflow::FinalTest, "final-test", 35412},   {JournalWorkflow::RepairStart, "repair-start", 35413},
    {JournalWorkflow::RepairEnd, "repair-end", 35415},   {JournalWorkflow::Endurance, "endurance", 36026},
    {JournalWorkflow::Programming, "programming", 35411}, {JournalWorkflow::StockUpdate, "stock-update", 35405},
};

void key(std::string& out, const char* name)
{
    json::appendString(out, name);
    out += ':';
}

// A Windows-1252 text as a JSON string.
void text(std::string& out, std::string_view cp1252) { json::appendString(out, platform::cp1252ToUtf8(cp1252)); }

void optionalText(std::string& out, const std::optional<std::string>& value)
{
    if (value) text(out, *value);
    else out += "null";
}

void optionalNumber(std::string& out, const std::optional<double>& value)
{
    if (value) json::appendNumber(out, *value);
    else out += "null";
}

void ids(std::string& out, const std::vector<TextId>& list)
{
    out += '[';
    for (size_t i = 0; i < list.size(); ++i) {
        if (i) out += ',';
        out += std::to_string(list[i]);
    }
    out += ']';
}

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

const char* workflowName(JournalWorkflow workflow)
{
    for (const auto& w : kWorkflows) {
        if (w.workflow == workflow) return w.name;
    }
    return "";
}

std::optional<JournalWorkflow> workflowFromName(std::string_view name)
{
    for (const auto& w : kWorkflows) {
        if (name == w.name) return w.workflow;
    }
    return std::nullopt;
}

namespace {
// The names of an enumeration's values in the order it declares them; "failed" for a value out of
// range, since a record must never name an outcome it did not have.
template <typename Enum, size_t N>
const char* nameOf(Enum value, const char* const (&names)[N])
{
    const auto index = static_cast<size_t>(value);
    return index < N ? names[index] : "failed";
}
}  // namespace

const char* outcomeName(RunOutcome outcome)
{
    static const char* const kNames[] = {"passed", "cancelled", "failed"};
    return nameOf(outcome, kNames);
}

const char* stepOutcomeName(StepOutcome outcome)
{
    static const char* const kNames[] = {"passed", "failed", "skipped"};
    return nameOf(outcome, kNames);
}

TextId successTextOf(JournalWorkflow workflow)
{
    for (const auto& w : kWorkflows) {
        if (w.workflow == workflow) return w.success;
    }
    return 0;
}

bool isCancelText(TextId id) { return id == 36037 || id == 36008; }

JournalInstant journalNow()
{
    const auto now = std::chrono::system_clock::now();
    JournalInstant at;
    at.utcMs = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    at.utcOffsetMin = -platform::currentTimeZone().biasMinutes;
    return at;
}

// Days from civil and back: the proleptic Gregorian calendar in 400-year eras.
int64_t daysFromCivil(const CivilDate& date)
{
    const int64_t y = date.year - (date.month <= 2 ? 1 : 0);
    const int64_t era = floorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t mp = (date.month + 9) % 12;
    const int64_t doy = (153 * mp + 2) / 5 + date.day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilDate civilFromDays(int64_t days)
{
    const int64_t z = days + 719468;
    const int64_t era = floorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    CivilDate d;
    d.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    d.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    d.year = static_cast<int>(yoe + era * 400 + (d.month <= 2 ? 1 : 0));
    return d;
}

CivilDate localDateOf(int64_t utcMs, int32_t utcOffsetMin)
{
    return civilFromDays(floorDiv(utcMs + int64_t{utcOffsetMin} * 60000, 86400000));
}

std::string isoUtcText(int64_t utcMs)
{
    const int64_t days = floorDiv(utcMs, 86400000);
    const int64_t rest = utcMs - days * 86400000;
    const CivilDate d = civilFromDays(days);
    char out[40];
    std::snprintf(out, sizeof out, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", d.year, d.month, d.day,
                  static_cast<int>(rest / 3600000), static_cast<int>(rest / 60000 % 60), static_cast<int>(rest / 1000 % 60),
                  static_cast<int>(rest % 1000));
    return out;
}

std::optional<int64_t> parseIsoUtc(std::string_view t)
{
    // yyyy-mm-ddThh:mm:ss.mmmZ, exactly.
    if (t.size() != 24 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' || t[19] != '.' ||
        t[23] != 'Z') {
        return std::nullopt;
    }
    auto number = [&](size_t at, size_t n) -> int {
        int v = 0;
        for (size_t i = at; i < at + n; ++i) {
            if (t[i] < '0' || t[i] > '9') return -1;
            v = v * 10 + (t[i] - '0');
        }
        return v;
    };
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2), ms = number(20, 3);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 60 || ms < 0) {
        return std::nullopt;
    }
    const int64_t days = daysFromCivil({year, month, day});
    return ((days * 24 + hour) * 60 + minute) * 60000 + int64_t{second} * 1000 + ms;
}

std::string journalMacText(const std::array<uint8_t, 6>& mac)
{
    char out[18];
    std::snprintf(out, sizeof out, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return out;
}

namespace {

// One JSON object written field by field: the separating commas are placed here, once.
class Fields {
public:
    explicit Fields(std::string& out) : out_(out) { out_ += '{'; }
    Fields(const Fields&) = delete;
    Fields& operator=(const Fields&) = delete;
    ~Fields() { out_ += '}'; }

    // The key and its colon; the caller appends the value.
    std::string& field(const char* name)
    {
        if (!first_) out_ += ',';
        first_ = false;
        key(out_, name);
        return out_;
    }
    void string(const char* name, std::string_view utf8) { json::appendString(field(name), utf8); }
    void text(const char* name, std::string_view cp1252) { app::text(field(name), cp1252); }
    void optionalText(const char* name, const std::optional<std::string>& value) { app::optionalText(field(name), value); }
    void raw(const char* name, std::string_view json) { field(name) += json; }
    void number(const char* name, double value) { json::appendNumber(field(name), value); }
    void optionalNumber(const char* name, const std::optional<double>& value) { app::optionalNumber(field(name), value); }
    void ids(const char* name, const std::vector<TextId>& list) { app::ids(field(name), list); }
    void time(const char* name, int64_t utcMs) { string(name, isoUtcText(utcMs)); }
    void optionalInteger(const char* name, const std::optional<uint32_t>& value)
    {
        field(name) += value ? std::to_string(*value) : "null";
    }

private:
    std::string& out_;
    bool first_ = true;
};

// Writes each element of `list` with `write` into a JSON array.
template <typename T, typename Write>
void appendArray(std::string& out, const std::vector<T>& list, Write write)
{
    out += '[';
    for (size_t i = 0; i < list.size(); ++i) {
        if (i) out += ',';
        write(list[i]);
    }
    out += ']';
}

void appendStation(std::string& out, const JournalRecord::Station& station)
{
    Fields f(out);
    f.text("host", station.host);
    f.text("program", station.program);
    f.text("version", station.version);
    f.text("card", station.card);
}

void appendDevice(std::string& out, const JournalRecord::Device& device)
{
    Fields f(out);
    f.string("mac", journalMacText(device.mac));
    f.optionalInteger("serial", device.serial);
    f.text("ip", device.ip);
    f.optionalNumber("firmware_before", device.firmwareBefore);
    f.optionalNumber("firmware_after", device.firmwareAfter);
}

void appendSteps(std::string& out, const std::vector<JournalStep>& steps)
{
    appendArray(out, steps, [&](const JournalStep& s) {
        Fields f(out);
        f.raw("id", std::to_string(s.id));
        f.text("text", s.text);
        f.time("started", s.startedMs);
        f.time("ended", s.endedMs);
        f.string("outcome", stepOutcomeName(s.outcome));
        f.ids("messages", s.messages);
    });
}

void appendMeasurements(std::string& out, const std::vector<JournalMeasurement>& measurements)
{
    appendArray(out, measurements, [&](const JournalMeasurement& m) {
        Fields f(out);
        if (m.kind == JournalMeasurement::Kind::CpuFindings) {
            f.string("name", "cpu-findings");
            f.ids("ids", m.ids);
            return;
        }
        f.string("name", "calibration");
        f.text("item", m.item);
        f.number("primary", m.primary);
        f.number("secondary", m.secondary);
        f.number("voltage", m.voltage);
        f.number("current", m.current);
    });
}

}  // namespace

std::string journalLine(const JournalRecord& r)
{
    std::string out;
    out.reserve(1024);
    {
        Fields f(out);
        f.string("schema", kJournalSchema);
        f.string("id", r.id);
        f.string("workflow", workflowName(r.workflow));
        f.string("outcome", outcomeName(r.outcome));
        f.optionalInteger("failed_step", r.failedStep);
        f.time("started", r.startedMs);
        f.time("ended", r.endedMs);
        f.raw("utc_offset_min", std::to_string(r.utcOffsetMin));
        appendStation(f.field("station"), r.station);
        f.text("operator", r.operatorSign);
        appendDevice(f.field("device"), r.device);
        for (const auto& [name, value] : {std::pair<const char*, const std::optional<std::string>*>{"batch", &r.batch},
                                          {"repair", &r.repair},
                                          {"run", &r.run}}) {
            if (*value) f.text(name, **value);
        }
        if (r.firmware) {
            Fields firmware(f.field("firmware"));
            firmware.text("file", r.firmware->file);
            firmware.text("sha256", r.firmware->sha256);
        }
        appendSteps(f.field("steps"), r.steps);
        appendMeasurements(f.field("measurements"), r.measurements);
        f.optionalText("text_record", r.textRecord);
    }
    out += '\n';
    return out;
}

JournalRecord::Station thisStation(std::string program, std::string cardAddress)
{
    return {platform::hostName(), std::move(program), programVersionText(), std::move(cardAddress)};
}

std::optional<std::string> relativeRecordPath(std::string_view root, std::string_view path)
{
    while (!root.empty() && platform::isPathSeparator(root.back())) root.remove_suffix(1);
    if (root.empty() || path.size() <= root.size() + 1 || path.substr(0, root.size()) != root ||
        !platform::isPathSeparator(path[root.size()])) {
        return std::nullopt;
    }
    std::string out(path.substr(root.size() + 1));
    for (char& c : out) {
        if (platform::isPathSeparator(c)) c = '/';
    }
    return out;
}

std::string journalPath(std::string_view root, std::string_view host, const JournalInstant& at)
{
    const CivilDate d = localDateOf(at.utcMs, at.utcOffsetMin);
    char month[16];
    std::snprintf(month, sizeof month, "%04d-%02d.jsonl", d.year, d.month);
    return platform::joinPath(platform::joinPath(platform::joinPath(root, kJournalFolderName), platform::fileNameHost(host)),
                              month);
}

std::string randomUuid()
{
    static thread_local std::mt19937_64 random([] {
        std::random_device seed;
        return (uint64_t{seed()} << 32) ^ seed();
    }());
    uint8_t b[16];
    for (int i = 0; i < 16; i += 8) {
        const uint64_t v = random();
        for (int k = 0; k < 8; ++k) b[i + k] = static_cast<uint8_t>(v >> (8 * k));
    }
    b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);
    char out[40];
    std::snprintf(out, sizeof out, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
                  b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return out;
}

JournalWriteResult appendJournalRecord(std::string_view root, const JournalRecord& record)
{
    JournalWriteResult result;
    if (root.empty()) return result;
    result.path = journalPath(root, record.station.host, {record.startedMs, record.utcOffsetMin});
    const std::string records = platform::joinPath(root, kJournalFolderName);
    const std::string hostFolder = platform::joinPath(records, platform::fileNameHost(record.station.host));
    for (const auto& folder : {records, hostFolder}) {
        if (platform::isDirectory(folder)) continue;
        if (!platform::createDirectory(folder)) {
            result.ok = false;
            result.reason = platform::lastErrorText();
            return result;
        }
        // The new folder's entry in its parent must survive a power cut as well.
        platform::syncFolder(platform::osPath(folder).parent_path());
    }
    if (!platform::appendLines(platform::osPath(result.path), journalLine(record), true)) {
        result.ok = false;
        result.reason = platform::lastErrorText();
    }
    return result;
}

std::string journalFailureText(const JournalWriteResult& result)
{
    return formatText(loadText(37500), result.path.c_str(), result.reason.c_str());
}

JournalBuilder::JournalBuilder(Now now) : now_(std::move(now)) {}

void JournalBuilder::beginRun(JournalWorkflow workflow)
{
    const JournalInstant at = now_();
    record_ = JournalRecord();
    record_.id = randomUuid();
    record_.workflow = workflow;
    record_.startedMs = at.utcMs;
    record_.endedMs = at.utcMs;
    record_.utcOffsetMin = at.utcOffsetMin;
    seen_.clear();
    phaseOpen_ = false;
    cancelled_ = false;
}

void JournalBuilder::phaseStarted(TextId heading, std::string text)
{
    if (phaseOpen_) phaseEnded(StepOutcome::Passed);
    JournalStep step;
    step.id = heading;
    step.text = std::move(text);
    step.startedMs = now_().utcMs;
    step.endedMs = step.startedMs;
    record_.steps.push_back(std::move(step));
    phaseOpen_ = true;
}

void JournalBuilder::message(TextId id)
{
    seen_.push_back(id);
    if (phaseOpen_) record_.steps.back().messages.push_back(id);
}

void JournalBuilder::phaseEnded(StepOutcome outcome)
{
    if (!phaseOpen_) return;
    record_.steps.back().endedMs = now_().utcMs;
    record_.steps.back().outcome = outcome;
    phaseOpen_ = false;
}

void JournalBuilder::phaseSkipped(TextId heading, std::string text)
{
    // A step that starts and ends at once, never open for messages.
    phaseStarted(heading, std::move(text));
    record_.steps.back().outcome = StepOutcome::Skipped;
    phaseOpen_ = false;
}

void JournalBuilder::calibration(std::string item, double primary, double secondary, double voltage, double current)
{
    JournalMeasurement m;
    m.kind = JournalMeasurement::Kind::Calibration;
    m.item = std::move(item);
    m.primary = primary;
    m.secondary = secondary;
    m.voltage = voltage;
    m.current = current;
    record_.measurements.push_back(std::move(m));
}

void JournalBuilder::cpuFindings(std::vector<TextId> list)
{
    JournalMeasurement m;
    m.kind = JournalMeasurement::Kind::CpuFindings;
    m.ids = std::move(list);
    record_.measurements.push_back(std::move(m));
}

const JournalRecord& JournalBuilder::endRun(std::optional<RunOutcome> outcome)
{
    if (!outcome) {
        bool passed = false;
        bool cancelled = cancelled_;
        for (TextId id : seen_) {
            if (id == successTextOf(record_.workflow)) passed = true;
            if (isCancelText(id)) cancelled = true;
        }
        outcome = cancelled ? RunOutcome::Cancelled : passed ? RunOutcome::Passed : RunOutcome::Failed;
    }
    if (phaseOpen_) phaseEnded(*outcome == RunOutcome::Passed ? StepOutcome::Passed : StepOutcome::Failed);
    record_.outcome = *outcome;
    record_.failedStep.reset();
    if (*outcome == RunOutcome::Failed) {
        for (const auto& step : record_.steps) {
            if (step.outcome == StepOutcome::Failed) {
                record_.failedStep = step.id;
                break;
            }
        }
    }
    record_.endedMs = now_().utcMs;
    return record_;
}

}  // namespace vst::app
