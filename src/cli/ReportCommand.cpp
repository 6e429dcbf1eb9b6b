#include "cli/ReportCommand.h"

#include <algorithm>
#include <optional>

#include "app/Journal.h"
#include "app/Texts.h"
#include "ops/YieldReport.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace vst::cli {
namespace {

const std::vector<std::string> kValueOptions = {"--snr", "--lang", "--from", "--to", "--batch", "--workflow", "--format",
                                                "--output"};

constexpr const char* kReportHelp =
    "report (the yield report over the journals under DIR/_Records; exit 1 when nothing is found):\n"
    "  vestrolan-cli --snr DIR report [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--batch B] [--workflow W]\n"
    "                [--format text|json|html] [--output FILE]\n"
    "  --from YYYY-MM-DD   only runs started on or after that day (local time)\n"
    "  --to YYYY-MM-DD     only runs started on or before that day (local time)\n"
    "  --batch B           only runs of batch B\n"
    "  --workflow W        only runs of W: final-test, repair-start, repair-end, endurance,\n"
    "                      programming, stock-update\n"
    "  --format text|json|html  the output (default text; html: a page to print)\n"
    "  --output FILE       write the report into FILE instead of standard output\n";

int usage(std::FILE* err, const std::string& why)
{
    std::fprintf(err, "vestrolan-cli: %s\n%s\n", why.c_str(), platform::cp1252ToUtf8(app::loadText(37405)).c_str());
    return 1;
}

// "YYYY-MM-DD" of a real day.
std::optional<app::CivilDate> parseDate(const std::string& text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    for (size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    }
    const app::CivilDate date{std::stoi(text.substr(0, 4)), std::stoi(text.substr(5, 2)), std::stoi(text.substr(8, 2))};
    if (date.month < 1 || date.month > 12 || date.day < 1) return std::nullopt;
    const app::CivilDate back = app::civilFromDays(app::daysFromCivil(date));
    if (back.year != date.year || back.month != date.month || back.day != date.day) return std::nullopt;
    return date;
}

}  // namespace

std::vector<std::string> reportCommandOptions() { return kValueOptions; }

std::string reportCommandHelp() { return kReportHelp; }

int runReportCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    std::optional<std::string> root, output;
    std::string format = "text";
    ops::ReportFilter filter;
    std::vector<std::string> parts;  // what the filter is, for the page's title
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--help" || word == "-h") {
            std::fputs(kReportHelp, out);
            return 0;
        }
        if (std::find(kValueOptions.begin(), kValueOptions.end(), word) == kValueOptions.end()) {
            return usage(err, word.rfind("--", 0) == 0 ? "report: unknown option " + word : "report: unexpected argument " + word);
        }
        if (i + 1 >= args.size()) return usage(err, "option " + word + " needs a value");
        const std::string& value = args[++i];
        if (word == "--snr") {
            root = platform::utf8ToCp1252(value);
        } else if (word == "--from" || word == "--to") {
            const auto date = parseDate(value);
            if (!date) return usage(err, word + " takes a date YYYY-MM-DD");
            (word == "--from" ? filter.from : filter.to) = date;
            parts.push_back((word == "--from" ? "from " : "to ") + value);
        } else if (word == "--batch") {
            filter.batch = value;
            parts.push_back("batch " + value);
        } else if (word == "--workflow") {
            filter.workflow = app::workflowFromName(value);
            if (!filter.workflow) {
                return usage(err, "--workflow takes final-test, repair-start, repair-end, endurance, programming or "
                                  "stock-update");
            }
            parts.push_back(value);
        } else if (word == "--format") {
            if (value != "text" && value != "json" && value != "html") return usage(err, "--format takes text, json or html");
            format = value;
        } else if (word == "--output") {
            if (value.empty()) return usage(err, "--output needs a file name");
            output = value;
        }
        // --lang was applied by the caller.
    }
    if (!root) return usage(err, "report needs --snr DIR");
    if (filter.from && filter.to && app::daysFromCivil(*filter.from) > app::daysFromCivil(*filter.to)) {
        return usage(err, "--from is after --to");
    }

    const ops::YieldReport report = ops::readYieldReport(*root, filter);
    std::string title = "Vestrolan yield report: " + platform::cp1252ToUtf8(*root);
    for (const auto& p : parts) title += ", " + p;
    const std::string bytes = format == "json"   ? ops::reportJson(report)
                              : format == "html" ? ops::reportHtml(report, title)
                                                 : ops::reportText(report);
    if (output) {
        // The report is a file the operator keeps: written whole or not at all.
        if (!platform::replaceFile(platform::osPath(platform::utf8ToCp1252(*output)), bytes)) {
            const std::string reason = platform::lastErrorText();
            std::fprintf(err, "vestrolan-cli: %s cannot be written (%s)\n", output->c_str(),
                         platform::cp1252ToUtf8(reason).c_str());
            return 1;
        }
    } else {
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fflush(out);
    }
    if (report.groups.empty()) {
        std::fprintf(err, "vestrolan-cli: no journal entries found in %s\n",
                     platform::cp1252ToUtf8(platform::joinPath(*root, app::kJournalFolderName)).c_str());
        return 1;
    }
    return 0;
}

}  // namespace vst::cli
