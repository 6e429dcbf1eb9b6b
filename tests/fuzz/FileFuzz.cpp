// Files of the shared tree and of the machine: the backup file for a restore, the serial-number
// log, the settings file, and the command line.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzHarnesses.h"
#include "app/AppSettings.h"
#include "app/CApp.h"
#include "app/CommandLine.h"
#include "app/Language.h"
#include "app/SerialLog.h"
#include "app/Texts.h"
#include "ops/UdpCommands.h"
#include "platform/SettingsStore.h"

namespace vst::fuzz {

// The input is a backup file to restore.
int fuzzRestoreSplit(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<ops::RestoreChunk> chunks;
    if (!ops::splitRestoreFile(bytes, chunks)) return 0;
    VST_FUZZ_CHECK(!chunks.empty());
    VST_FUZZ_CHECK(chunks.back().mode == 'F');
    for (const auto& chunk : chunks) {
        VST_FUZZ_CHECK(chunk.text.size() <= ops::kRestoreLineMax);
        VST_FUZZ_CHECK(chunk.text.find('\n') == std::string::npos && chunk.text.find('\0') == std::string::npos);
        VST_FUZZ_CHECK(chunk.position <= 100);
    }
    return 0;
}

// The input is a serial-number log; three numbers are looked up in it.
int fuzzSerialLog(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    for (uint32_t serial : {12345678u, 1u, app::kMaxSerialNumber}) {
        std::FILE* log = fmemopen(bytes.data(), bytes.size(), "rb");
        if (!log) return 0;
        const app::SerialUse use = app::findSerialUseIn(log, serial);
        std::fclose(log);
        VST_FUZZ_CHECK(use.readable);
    }
    return 0;
}

// The input is the command line after the program name.
int fuzzCommandLine(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    app::AppSettings settings;
    app::parseCommandLine(text, settings);
    // Every value is taken as the command line spells it (a card index of -4 selects no card).
    VST_FUZZ_CHECK(settings.firmwarePath.size() <= text.size() && settings.serialNumberPath.size() <= text.size() &&
                   settings.programmerPath.size() <= text.size());
    (void)app::parseInetAddress(text);
    (void)app::parseLeadingInteger(text);
    return 0;
}

// The input is the settings file: the language is determined from it, then chosen and stored,
// and must read back as chosen.
int fuzzSettings(const uint8_t* data, size_t size)
{
    // In memory where the system offers it: the store syncs what it writes.
    struct TemporaryFile {
        std::string path = access("/dev/shm", W_OK) == 0 ? "/dev/shm/vst-fuzz-settings-XXXXXX"
                                                          : "/tmp/vst-fuzz-settings-XXXXXX";
        TemporaryFile()
        {
            const int fd = mkstemp(path.data());
            if (fd >= 0) close(fd);
        }
        ~TemporaryFile() { unlink(path.c_str()); }
    };
    static const TemporaryFile temporary;
    const std::string& path = temporary.path;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    const bool written = std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) return 0;
    platform::IniSettingsStore store(path);
    const int32_t found = app::determineLanguage(store);
    VST_FUZZ_CHECK(found == app::kGermanOffset || found == app::kEnglishOffset);
    (void)store.readText(app::kMakerKey, app::kMakerLanguageValue, 8);
    const bool english = found == app::kGermanOffset;
    app::chooseLanguage(english, store);
    VST_FUZZ_CHECK(app::determineLanguage(store) == (english ? app::kEnglishOffset : app::kGermanOffset));
    app::CApp::instance().setTextIdOffset(app::kGermanOffset);
    // Removed after every input: only a run that ends on a finding in this harness leaves it behind.
    std::remove(path.c_str());
    return 0;
}

}  // namespace vst::fuzz
