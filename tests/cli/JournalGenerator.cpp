// Writes a production journal of N runs as the stations write it, for the report's benchmark
// (scripts/bench-report.sh): three stations, two years, a mix of every workflow with retests,
// failures and cancelled runs, each line with its steps and measurements. Deterministic.
//
// Usage: vst_journal_generator RECORDS-ROOT LINES
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>

#include "app/Journal.h"
#include "platform/FileSystem.h"

int main(int argc, char** argv)
{
    using namespace vst;
    if (argc != 3) {
        std::fprintf(stderr, "usage: vst_journal_generator RECORDS-ROOT LINES\n");
        return 2;
    }
    const std::string root = argv[1];
    const long lines = std::atol(argv[2]);
    std::mt19937 random(4711);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };

    const char* hosts[] = {"PRUEF-1", "PRUEF-2", "LAGER"};
    const app::TextId headings[] = {35300, 35303, 35305, 35306, 35307, 35312, 35313, 35314, 35315};
    const app::JournalWorkflow workflows[] = {
        app::JournalWorkflow::FinalTest,   app::JournalWorkflow::FinalTest, app::JournalWorkflow::FinalTest,
        app::JournalWorkflow::FinalTest,   app::JournalWorkflow::FinalTest, app::JournalWorkflow::FinalTest,
        app::JournalWorkflow::RepairStart, app::JournalWorkflow::RepairEnd, app::JournalWorkflow::Endurance,
        app::JournalWorkflow::Programming, app::JournalWorkflow::StockUpdate};
    const int64_t begin = *app::parseIsoUtc("2025-01-01T06:00:00.000Z");
    const int64_t span = int64_t{730} * 86400000;

    std::map<std::string, std::string> files;  // path -> lines
    for (long n = 0; n < lines; ++n) {
        app::JournalRecord r;
        r.id = app::randomUuid();
        r.workflow = workflows[pick(11)];
        // Time grows with n, so retests of a device come after its first run.
        r.startedMs = begin + span * n / (lines ? lines : 1) + pick(60000);
        r.endedMs = r.startedMs + 60000 + pick(600000);
        r.utcOffsetMin = 60;
        r.station = {hosts[pick(3)], "vestrolan-manager", "1.05", "192.168.0.1"};
        r.operatorSign = "MM";
        const uint32_t device = static_cast<uint32_t>(n * 2 / 3 + pick(50));  // about one retest in three
        r.device.mac = {0x00, 0x1A, 0x2B, static_cast<uint8_t>(device >> 16), static_cast<uint8_t>(device >> 8),
                        static_cast<uint8_t>(device)};
        r.device.serial = device + 1;
        r.device.ip = "192.168.0.101";
        r.device.firmwareBefore = 1.04;
        r.device.firmwareAfter = 1.05;
        if (r.workflow == app::JournalWorkflow::FinalTest || r.workflow == app::JournalWorkflow::Endurance) {
            char batch[16];
            std::snprintf(batch, sizeof batch, "CH-%04ld", n * 40 / (lines ? lines : 1) + 1);
            r.batch = batch;
        }
        if (r.workflow == app::JournalWorkflow::RepairStart || r.workflow == app::JournalWorkflow::RepairEnd) {
            r.repair = "R" + std::to_string(device % 1000);
        }
        const int roll = pick(100);
        r.outcome = roll < 85 ? app::RunOutcome::Passed : roll < 97 ? app::RunOutcome::Failed : app::RunOutcome::Cancelled;
        const int steps = 6;
        const int failing = pick(steps);
        for (int s = 0; s < steps; ++s) {
            app::JournalStep step;
            step.id = headings[(s + pick(2)) % 9];
            step.text = "Schritt " + std::to_string(step.id);
            step.startedMs = r.startedMs + s * 10000;
            step.endedMs = step.startedMs + 9000;
            step.outcome = r.outcome == app::RunOutcome::Failed && s == failing ? app::StepOutcome::Failed
                                                                                : app::StepOutcome::Passed;
            step.messages = {static_cast<app::TextId>(35200 + pick(40))};
            r.steps.push_back(step);
            if (step.outcome == app::StepOutcome::Failed) {
                r.failedStep = step.id;
                break;
            }
        }
        app::JournalMeasurement calibration;
        calibration.item = "Energie";
        calibration.primary = 100;
        calibration.secondary = 1;
        calibration.voltage = 230;
        calibration.current = 0.5;
        r.measurements.push_back(calibration);
        r.textRecord = "SNR_" + std::to_string(device + 1) + "/Endtest.log";
        files[app::journalPath(root, r.station.host, {r.startedMs, r.utcOffsetMin})] += app::journalLine(r);
    }
    for (const auto& [path, text] : files) {
        const auto file = platform::osPath(path);
        std::filesystem::create_directories(file.parent_path());
        if (!platform::replaceFile(file, text)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
