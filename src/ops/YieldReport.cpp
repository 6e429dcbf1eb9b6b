#include "ops/YieldReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "app/Format.h"
#include "app/Json.h"
#include "app/Texts.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace vst::ops {
namespace {

constexpr size_t kTopFailures = 5;

// One journal entry, as far as the report needs it.
struct Entry {
    app::JournalWorkflow workflow = app::JournalWorkflow::FinalTest;
    bool passed = false;
    bool failed = false;
    std::optional<app::TextId> failedStep;
    int64_t startedMs = 0;
    int32_t offsetMin = 0;
    uint64_t mac = 0;
    std::optional<std::string> batch;
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// "AA:BB:CC:DD:EE:FF" as a number (either case).
std::optional<uint64_t> macNumber(std::string_view text)
{
    if (text.size() != 17) return std::nullopt;
    uint64_t mac = 0;
    for (size_t i = 0; i < 17; i += 3) {
        const int hi = hexValue(text[i]), lo = hexValue(text[i + 1]);
        if (hi < 0 || lo < 0 || (i + 2 < 17 && text[i + 2] != ':')) return std::nullopt;
        mac = (mac << 8) | static_cast<uint64_t>(hi * 16 + lo);
    }
    return mac;
}

std::optional<int64_t> integerValue(std::string_view raw, int64_t low, int64_t high)
{
    const auto n = app::json::numberValue(raw);
    if (!n || *n != std::floor(*n) || *n < double(low) || *n > double(high)) return std::nullopt;
    return static_cast<int64_t>(*n);
}

// The text of the member `name`, or nullopt when it is missing or not a string.
std::optional<std::string> stringMember(const std::vector<app::json::Member>& members, std::string_view name)
{
    const auto raw = app::json::member(members, name);
    return raw ? app::json::stringValue(*raw) : std::nullopt;
}

bool parseEntry(std::string_view line, Entry& e)
{
    using namespace app::json;
    const auto members = objectMembers(line);
    if (!members) return false;
    const auto schema = member(*members, "schema");
    if (!schema || stringValue(*schema) != std::optional<std::string>(app::kJournalSchema)) return false;

    const auto workflowText = stringMember(*members, "workflow");
    const auto workflow = workflowText ? app::workflowFromName(*workflowText) : std::nullopt;
    if (!workflow) return false;
    e.workflow = *workflow;

    const auto outcome = stringMember(*members, "outcome");
    if (!outcome || (*outcome != "passed" && *outcome != "failed" && *outcome != "cancelled")) return false;
    e.passed = *outcome == "passed";
    e.failed = *outcome == "failed";

    e.failedStep.reset();
    if (const auto step = member(*members, "failed_step"); step && !isNull(*step)) {
        const auto id = integerValue(*step, 1, 65535);
        if (!id) return false;
        e.failedStep = static_cast<app::TextId>(*id);
    }

    const auto started = stringMember(*members, "started");
    const auto startedMs = started ? app::parseIsoUtc(*started) : std::nullopt;
    if (!startedMs) return false;
    e.startedMs = *startedMs;

    const auto offsetRaw = member(*members, "utc_offset_min");
    const auto offset = offsetRaw ? integerValue(*offsetRaw, -1440, 1440) : std::nullopt;
    if (!offset) return false;
    e.offsetMin = static_cast<int32_t>(*offset);

    const auto deviceRaw = member(*members, "device");
    const auto device = deviceRaw ? objectMembers(*deviceRaw) : std::nullopt;
    const auto macText = device ? stringMember(*device, "mac") : std::nullopt;
    const auto mac = macText ? macNumber(*macText) : std::nullopt;
    if (!mac) return false;
    e.mac = *mac;

    e.batch.reset();
    if (const auto batch = member(*members, "batch"); batch && !isNull(*batch)) {
        e.batch = stringValue(*batch);
        if (!e.batch) return false;
    }
    return true;
}

int workflowOrder(app::JournalWorkflow w) { return static_cast<int>(w); }

std::vector<FailureCount> mostFrequent(const std::map<app::TextId, int>& counts, size_t limit)
{
    std::vector<FailureCount> out;
    for (const auto& [id, count] : counts) out.push_back({id, count});
    std::stable_sort(out.begin(), out.end(), [](const FailureCount& a, const FailureCount& b) { return a.count > b.count; });
    if (out.size() > limit) out.resize(limit);
    return out;
}

std::string percent(double fraction)
{
    char out[32];
    std::snprintf(out, sizeof out, "%.1f %%", fraction * 100.0);
    return out;
}

std::string dateText(const app::CivilDate& d)
{
    char out[16];
    std::snprintf(out, sizeof out, "%04d-%02d-%02d", d.year, d.month, d.day);
    return out;
}

// Text for XHTML: the five characters that markup gives a meaning escaped.
std::string xml(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default:
            // Control characters are not allowed in XML at all.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') out += ' ';
            else out += c;
        }
    }
    return out;
}

std::string number(double value)
{
    char out[32];
    std::snprintf(out, sizeof out, "%.1f", value);
    return out;
}

std::string groupTitle(const YieldGroup& g)
{
    std::string title = app::workflowName(g.workflow);
    if (g.batch) title += " / " + *g.batch;
    return title;
}

}  // namespace

struct YieldCounter::State {
    struct Device {
        int64_t firstStart = 0;
        bool firstPassed = false;
        int64_t lastStart = 0;
        bool lastPassed = false;
    };
    struct Group {
        int runs = 0;
        std::unordered_map<uint64_t, Device> devices;
        std::map<app::TextId, int> failures;
    };
    std::map<std::pair<int, std::optional<std::string>>, Group> groups;
    std::map<int64_t, std::unordered_set<uint64_t>> days;
    Entry entry;  // reused from line to line
};

YieldCounter::YieldCounter(ReportFilter filter) : filter_(std::move(filter)), state_(std::make_unique<State>()) {}

YieldCounter::~YieldCounter() = default;

void YieldCounter::addLine(std::string_view line)
{
    bool blank = true;
    for (char c : line) {
        if (c != ' ' && c != '\t' && c != '\r') {
            blank = false;
            break;
        }
    }
    if (blank) return;
    Entry& e = state_->entry;
    if (!parseEntry(line, e)) {
        ++unreadable_;
        return;
    }
    if (filter_.workflow && *filter_.workflow != e.workflow) return;
    if (filter_.batch && e.batch != filter_.batch) return;
    const app::CivilDate local = app::localDateOf(e.startedMs, e.offsetMin);
    const int64_t day = app::daysFromCivil(local);
    if (filter_.from && day < app::daysFromCivil(*filter_.from)) return;
    if (filter_.to && day > app::daysFromCivil(*filter_.to)) return;

    State::Group& g = state_->groups[{workflowOrder(e.workflow), e.batch}];
    ++g.runs;
    auto [it, isNew] = g.devices.try_emplace(e.mac);
    State::Device& d = it->second;
    if (isNew || e.startedMs < d.firstStart) {
        d.firstStart = e.startedMs;
        d.firstPassed = e.passed;
    }
    if (isNew || e.startedMs >= d.lastStart) {
        d.lastStart = e.startedMs;
        d.lastPassed = e.passed;
    }
    if (e.failed && e.failedStep) ++g.failures[*e.failedStep];
    state_->days[day].insert(e.mac);
}

void YieldCounter::addText(std::string_view text)
{
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        addLine(text.substr(pos, end - pos));
        pos = end + 1;
    }
}

YieldReport YieldCounter::report() const
{
    YieldReport r;
    r.unreadableLines = unreadable_;
    std::map<app::TextId, int> all;
    for (const auto& [key, g] : state_->groups) {
        YieldGroup out;
        out.workflow = static_cast<app::JournalWorkflow>(key.first);
        out.batch = key.second;
        out.devices = static_cast<int>(g.devices.size());
        out.runs = g.runs;
        for (const auto& [mac, d] : g.devices) {
            if (d.firstPassed) ++out.firstPassDevices;
            if (d.lastPassed) ++out.finalPassDevices;
        }
        out.topFailures = mostFrequent(g.failures, kTopFailures);
        for (const auto& [id, count] : g.failures) all[id] += count;
        r.groups.push_back(std::move(out));
    }
    r.failures = mostFrequent(all, all.size());
    if (!state_->days.empty()) {
        const int64_t first = state_->days.begin()->first;
        const int64_t last = state_->days.rbegin()->first;
        for (int64_t day = first; day <= last; ++day) {
            const auto it = state_->days.find(day);
            r.devicesPerDay.push_back({app::civilFromDays(day), it == state_->days.end() ? 0 : static_cast<int>(it->second.size())});
        }
    }
    return r;
}

YieldReport readYieldReport(std::string_view root, const ReportFilter& filter)
{
    YieldCounter counter(filter);
    int files = 0;
    const std::string records = platform::joinPath(root, app::kJournalFolderName);
    if (const auto hosts = platform::listDirectory(records)) {
        std::vector<std::string> folders;
        for (const auto& h : *hosts) {
            if (h.isDirectory) folders.push_back(h.name);
        }
        std::sort(folders.begin(), folders.end());
        for (const auto& host : folders) {
            const std::string folder = platform::joinPath(records, host);
            const auto entries = platform::listDirectory(folder);
            if (!entries) continue;
            std::vector<std::string> names;
            for (const auto& e : *entries) {
                if (!e.isDirectory && e.name.size() > 6 && e.name.compare(e.name.size() - 6, 6, ".jsonl") == 0) {
                    names.push_back(e.name);
                }
            }
            std::sort(names.begin(), names.end());
            for (const auto& name : names) {
                ++files;
                const auto bytes = platform::readFileBytes(platform::osPath(platform::joinPath(folder, name)));
                if (!bytes) {
                    counter.unreadable(1);
                    continue;
                }
                counter.addText(*bytes);
            }
        }
    }
    YieldReport r = counter.report();
    r.journalFiles = files;
    return r;
}

std::string stepHeadingText(app::TextId id)
{
    std::string text = app::loadText(id);
    // Headings are logged as "\r\ntext:\r\n"; some texts carry line ends or the colon themselves.
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == ':')) {
        text.pop_back();
    }
    size_t start = 0;
    while (start < text.size() && (text[start] == '\r' || text[start] == '\n' || text[start] == ' ')) ++start;
    return platform::cp1252ToUtf8(text.substr(start));
}

std::string reportText(const YieldReport& report)
{
    std::string out;
    for (const auto& g : report.groups) {
        out += app::workflowName(g.workflow);
        if (g.batch) out += "  batch " + *g.batch;
        out += '\n';
        out += "  devices " + std::to_string(g.devices) + ", runs " + std::to_string(g.runs) + ", first-pass yield " +
               percent(g.firstPassYield()) + ", final yield " + percent(g.finalYield()) + '\n';
        if (!g.topFailures.empty()) out += "  most frequent failing steps:\n";
        for (const auto& f : g.topFailures) {
            char line[64];
            std::snprintf(line, sizeof line, "  %6d  [%u] ", f.count, static_cast<unsigned>(f.id));
            out += line + stepHeadingText(f.id) + '\n';
        }
    }
    out += platform::cp1252ToUtf8(app::formatText(app::loadText(37501), report.unreadableLines)) + '\n';
    return out;
}

std::string reportJson(const YieldReport& report)
{
    using namespace app::json;
    std::string out = "{\"groups\":[";
    for (size_t i = 0; i < report.groups.size(); ++i) {
        const auto& g = report.groups[i];
        if (i) out += ',';
        out += "{\"workflow\":";
        appendString(out, app::workflowName(g.workflow));
        out += ",\"batch\":";
        if (g.batch) appendString(out, *g.batch);
        else out += "null";
        out += ",\"devices\":" + std::to_string(g.devices) + ",\"runs\":" + std::to_string(g.runs);
        out += ",\"first_pass_yield\":";
        appendNumber(out, g.firstPassYield());
        out += ",\"final_yield\":";
        appendNumber(out, g.finalYield());
        out += ",\"top_failures\":[";
        for (size_t k = 0; k < g.topFailures.size(); ++k) {
            if (k) out += ',';
            out += "{\"id\":" + std::to_string(g.topFailures[k].id) + ",\"text\":";
            appendString(out, stepHeadingText(g.topFailures[k].id));
            out += ",\"count\":" + std::to_string(g.topFailures[k].count) + '}';
        }
        out += "]}";
    }
    out += "],\"unreadable_lines\":" + std::to_string(report.unreadableLines) + "}\n";
    return out;
}

namespace {

// The table of every group.
void appendGroupTable(std::string& h, const YieldReport& report)
{
    h += "<section>\n<h2>Yield per workflow and batch</h2>\n<table>\n<thead><tr><th>Workflow</th><th>Batch</th>"
         "<th>Devices</th><th>Runs</th><th>First-pass yield</th><th>Final yield</th><th>Most frequent failing steps</th>"
         "</tr></thead>\n<tbody>\n";
    for (const auto& g : report.groups) {
        h += "<tr><td>" + xml(app::workflowName(g.workflow)) + "</td><td>" + xml(g.batch.value_or("")) + "</td>";
        h += "<td class=\"n\">" + std::to_string(g.devices) + "</td><td class=\"n\">" + std::to_string(g.runs) + "</td>";
        h += "<td class=\"n\">" + xml(percent(g.firstPassYield())) + "</td><td class=\"n\">" + xml(percent(g.finalYield())) +
             "</td><td>";
        for (size_t k = 0; k < g.topFailures.size(); ++k) {
            if (k) h += "<br/>";
            h += std::to_string(g.topFailures[k].count) + " \xC3\x97 [" + std::to_string(g.topFailures[k].id) + "] " +
                 xml(stepHeadingText(g.topFailures[k].id));
        }
        h += "</td></tr>\n";
    }
    h += "</tbody>\n</table>\n</section>\n";
}

// A yield bar per batch: first-pass and final yield side by side, 0 to 100 %.
void appendYieldBars(std::string& h, const YieldReport& report)
{
    const int rowHeight = 34, labelWidth = 220, barWidth = 400;
    const int height = 30 + rowHeight * static_cast<int>(report.groups.size());
    h += "<section>\n<h2>Yield per batch</h2>\n";
    h += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(labelWidth + barWidth + 80) +
         "\" height=\"" + std::to_string(height) + "\" role=\"img\">\n";
    h += "<rect class=\"first\" x=\"" + std::to_string(labelWidth) + "\" y=\"2\" width=\"10\" height=\"10\"/>"
         "<text x=\"" + std::to_string(labelWidth + 14) + "\" y=\"11\">first-pass yield</text>"
         "<rect class=\"final\" x=\"" + std::to_string(labelWidth + 130) + "\" y=\"2\" width=\"10\" height=\"10\"/>"
         "<text x=\"" + std::to_string(labelWidth + 144) + "\" y=\"11\">final yield</text>\n";
    int y = 22;
    for (const auto& g : report.groups) {
        h += "<text x=\"0\" y=\"" + std::to_string(y + 17) + "\">" + xml(groupTitle(g)) + "</text>\n";
        for (const auto& [cls, value, dy] : {std::tuple<const char*, double, int>{"first", g.firstPassYield(), 0},
                                             {"final", g.finalYield(), 14}}) {
            h += "<rect class=\"" + std::string(cls) + "\" x=\"" + std::to_string(labelWidth) + "\" y=\"" +
                 std::to_string(y + dy) + "\" width=\"" + number(value * barWidth) + "\" height=\"12\"/>";
            h += "<text x=\"" + number(labelWidth + value * barWidth + 4) + "\" y=\"" + std::to_string(y + dy + 10) +
                 "\">" + xml(percent(value)) + "</text>\n";
        }
        y += rowHeight;
    }
    h += "</svg>\n</section>\n";
}

// Pareto chart of the failing steps: bars by count, most frequent first, with the cumulative share.
void appendPareto(std::string& h, const YieldReport& report)
{
    const size_t shown = std::min<size_t>(report.failures.size(), 10);
    int total = 0;
    for (const auto& f : report.failures) total += f.count;
    const int maxCount = shown ? report.failures.front().count : 1;
    const int left = 40, plotHeight = 200, column = 60, top = 10;
    const int width = left + column * static_cast<int>(std::max<size_t>(shown, 1)) + 40;
    h += "<section>\n<h2>Failing steps (Pareto)</h2>\n";
    if (shown == 0) {
        h += "<p>No failed runs.</p>\n";
    } else {
        h += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) + "\" height=\"" +
             std::to_string(top + plotHeight + 30) + "\" role=\"img\">\n";
        h += "<line x1=\"" + std::to_string(left) + "\" y1=\"" + std::to_string(top + plotHeight) + "\" x2=\"" +
             std::to_string(width - 30) + "\" y2=\"" + std::to_string(top + plotHeight) + "\" stroke=\"#000\"/>\n";
        std::string points;
        int cumulative = 0;
        for (size_t i = 0; i < shown; ++i) {
            const auto& f = report.failures[i];
            const double barHeight = double(f.count) / maxCount * plotHeight;
            const int x = left + column * static_cast<int>(i) + 8;
            h += "<rect class=\"fail\" x=\"" + std::to_string(x) + "\" y=\"" + number(top + plotHeight - barHeight) +
                 "\" width=\"" + std::to_string(column - 16) + "\" height=\"" + number(barHeight) + "\"><title>" +
                 xml(stepHeadingText(f.id)) + "</title></rect>";
            h += "<text x=\"" + std::to_string(x) + "\" y=\"" + number(top + plotHeight - barHeight - 2) + "\">" +
                 std::to_string(f.count) + "</text>";
            h += "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(top + plotHeight + 14) + "\">" +
                 std::to_string(f.id) + "</text>\n";
            cumulative += f.count;
            const double share = total ? double(cumulative) / total : 0;
            points += (points.empty() ? "" : " ") + number(x + (column - 16) / 2.0) + "," +
                      number(top + plotHeight - share * plotHeight);
        }
        h += "<polyline class=\"cum\" points=\"" + points + "\"/>\n";
        h += "<text x=\"" + std::to_string(width - 28) + "\" y=\"" + std::to_string(top + 8) + "\">100 %</text>\n";
        h += "</svg>\n<table>\n<thead><tr><th>Id</th><th>Step</th><th>Failed runs</th></tr></thead>\n<tbody>\n";
        for (size_t i = 0; i < shown; ++i) {
            const auto& f = report.failures[i];
            h += "<tr><td>" + std::to_string(f.id) + "</td><td>" + xml(stepHeadingText(f.id)) +
                 "</td><td class=\"n\">" + std::to_string(f.count) + "</td></tr>\n";
        }
        h += "</tbody>\n</table>\n";
    }
    h += "</section>\n";
}

// Devices per day.
void appendDevicesPerDay(std::string& h, const YieldReport& report)
{
    h += "<section>\n<h2>Devices per day</h2>\n";
    const auto& days = report.devicesPerDay;
    if (days.empty()) {
        h += "<p>No runs.</p>\n";
    } else {
        int maxDevices = 1;
        for (const auto& d : days) maxDevices = std::max(maxDevices, d.devices);
        const int plotWidth = 680, plotHeight = 160, left = 40, top = 10;
        const double step = double(plotWidth) / static_cast<double>(days.size());
        h += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(left + plotWidth + 10) +
             "\" height=\"" + std::to_string(top + plotHeight + 30) + "\" role=\"img\">\n";
        h += "<text x=\"0\" y=\"" + std::to_string(top + 8) + "\">" + std::to_string(maxDevices) + "</text>\n";
        for (size_t i = 0; i < days.size(); ++i) {
            const double barHeight = double(days[i].devices) / maxDevices * plotHeight;
            h += "<rect class=\"day\" x=\"" + number(left + step * static_cast<double>(i)) + "\" y=\"" +
                 number(top + plotHeight - barHeight) + "\" width=\"" + number(std::max(step - 1, 0.5)) +
                 "\" height=\"" + number(barHeight) + "\"><title>" + dateText(days[i].date) + ": " +
                 std::to_string(days[i].devices) + "</title></rect>\n";
        }
        h += "<text x=\"" + std::to_string(left) + "\" y=\"" + std::to_string(top + plotHeight + 14) + "\">" +
             dateText(days.front().date) + "</text>";
        h += "<text x=\"" + std::to_string(left + plotWidth) + "\" y=\"" + std::to_string(top + plotHeight + 14) +
             "\" text-anchor=\"end\">" + dateText(days.back().date) + "</text>\n</svg>\n";
    }
    h += "</section>\n";
}

}  // namespace

std::string reportHtml(const YieldReport& report, const std::string& title)
{
    std::string h;
    h.reserve(16384);
    h += "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\">\n<head>\n<meta charset=\"utf-8\"/>\n";
    h += "<title>" + xml(title) + "</title>\n";
    h += "<style>\n"
         "body{font-family:sans-serif;font-size:10pt;color:#000;background:#fff;margin:1.5em}\n"
         "h1{font-size:16pt}h2{font-size:12pt;margin-top:1.5em}\n"
         "table{border-collapse:collapse;margin:0.5em 0}\n"
         "th,td{border:1px solid #888;padding:2px 6px;text-align:left;vertical-align:top}\n"
         "td.n{text-align:right}\n"
         "svg{display:block;margin:0.5em 0}\n"
         "svg text{font-family:sans-serif;font-size:10px}\n"
         ".first{fill:#7aa6d6}.final{fill:#2f6eb5}.fail{fill:#c0504d}.day{fill:#4f8f4f}.cum{fill:none;stroke:#000;stroke-width:1.5}\n"
         "section{page-break-inside:avoid;break-inside:avoid}\n"
         "@media print{body{margin:0}section{page-break-inside:avoid}}\n"
         "@page{size:A4;margin:15mm}\n"
         "</style>\n</head>\n<body>\n";
    h += "<h1>" + xml(title) + "</h1>\n";

    appendGroupTable(h, report);
    appendYieldBars(h, report);
    appendPareto(h, report);
    appendDevicesPerDay(h, report);
    h += "<p>" + xml(platform::cp1252ToUtf8(app::formatText(app::loadText(37501), report.unreadableLines))) + "</p>\n";
    h += "</body>\n</html>\n";
    return h;
}

}  // namespace vst::ops
