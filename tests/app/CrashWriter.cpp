// Helper of the crash-safety test: replaces a record, a configuration file, a backup and the
// settings file and appends to SNR.LOG and the journal, round after round, until it is killed. Every file it
// writes can be checked for wholeness with crashWriterContent().
//
// Usage: vst_crash_writer FOLDER SETTINGS-FILE FIRST-KIND
// Writes one byte to standard output when it starts writing.
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "app/Journal.h"
#include "app/Records.h"
#include "app/SerialLog.h"
#include "CrashWriterContent.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"

int main(int argc, char** argv)
{
    using namespace vst;
    if (argc != 4) return 2;
    const std::string folder = argv[1];
    platform::IniSettingsStore settings(argv[2]);
    const app::SerialLog log(folder, false, "KT");
    // Continue the numbering of an earlier run so that every round writes new content.
    uint32_t round = settings.readNumber(test::kCrashSettingsKey, "Round").value_or(0) + 1;
    const auto writers = std::array<std::function<void()>, 6>{
        [&] { app::writeTextFile(platform::joinPath(folder, "Endtest.log"), test::crashWriterContent("record", round), false); },
        [&] {
            app::writeTextFile(platform::joinPath(folder, "config-processlist.bak"), test::crashWriterContent("config", round),
                               false);
        },
        [&] {
            // The backup arrives in pieces, as from the device.
            platform::ReplacingFileWriter backup;
            const std::string content = test::crashWriterContent("backup", round);
            if (!backup.open(platform::osPath(platform::joinPath(folder, "backup.xml")))) return;
            for (size_t at = 0; at < content.size(); at += 1024) backup.write(std::string_view(content).substr(at, 1024));
            backup.commit();
        },
        [&] { settings.writeNumber(test::kCrashSettingsKey, "Round", round); },
        [&] { log.logSerialAssigned(round % 100000000); },
        [&] {
            app::JournalRecord record;
            record.id = app::randomUuid();
            record.station.host = "crash";
            record.startedMs = 1772978709250;
            record.device.serial = round;
            record.steps.resize(round % 5, app::JournalStep{35301, "Sichern der Ger\xE4te-Konfiguration", 0, 0, app::StepOutcome::Passed, {}});
            app::appendJournalRecord(folder, record);
        },
    };
    // Each run starts with another kind of file, so that the kills spread over all of them.
    size_t next = static_cast<size_t>(std::atoi(argv[3])) % writers.size();
    const char ready = 'R';
    if (::write(1, &ready, 1) != 1) return 3;
    while (true) {
        writers[next]();
        if (++next == writers.size()) {
            next = 0;
            ++round;
        }
    }
}
