#include "app/Records.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/Format.h"
#include "platform/FileSystem.h"

namespace vst::app {

bool fileExists(std::string_view path) { return platform::canOpenForReading(path); }

bool directoryExists(std::string_view path) { return platform::isDirectory(path); }

std::string readTextFile(std::string_view path)
{
    auto bytes = platform::readFileBytes(platform::osPath(path));
    if (!bytes) return std::string();
    std::string out;
    out.reserve(bytes->size() + 1);
    size_t pos = 0;
    while (pos < bytes->size()) {
        size_t end = bytes->find('\n', pos);
        if (end == std::string::npos) end = bytes->size();
        size_t lineEnd = end;
        if (lineEnd > pos && (*bytes)[lineEnd - 1] == '\r' && end < bytes->size()) --lineEnd;
        out.append(*bytes, pos, lineEnd - pos);
        out += '\n';
        pos = end + 1;
    }
    return out;
}

bool writeTextFile(std::string_view path, std::string_view text, bool append)
{
    const auto file = platform::osPath(path);
    return append ? platform::appendFile(file, text) : platform::replaceFile(file, text);
}

bool appendTextFile(std::string_view path, std::string_view text) { return writeTextFile(path, text, true); }

bool fileContainsText(std::string_view path, std::string_view text)
{
    return readTextFile(path).find(text) != std::string::npos;
}

std::string formatDateTime(const platform::LocalTime& t)
{
    char out[64];
    std::snprintf(out, sizeof out, "%02d.%02d.%04d %02d:%02d:%02d", t.day, t.month, t.year, t.hour,
                  t.minute, t.second);
    return out;
}

std::string currentDateTimeText() { return formatDateTime(platform::clock().localTime()); }

std::string timeStampedName(std::string_view path)
{
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return std::string();
    const platform::LocalTime t = platform::clock().localTime();
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "_%04d-%02d-%02d-%02d-%02d-%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    std::string out(path.substr(0, dot));
    out += stamp;
    out += path.substr(dot);
    return out;
}

namespace {

// Creates the file only when no file of that name exists; true when this call created it.
bool claimName(const std::string& path)
{
    return platform::createNewFile(path);
}

}  // namespace

bool setRecordAside(std::string_view path)
{
    std::error_code ec;
    const auto source = platform::osPath(path);
    if (!std::filesystem::exists(std::filesystem::symlink_status(source, ec))) return true;
    const std::string stamped = timeStampedName(path);
    if (stamped.empty()) return false;
    const size_t dot = stamped.rfind('.');
    for (int n = 1; n <= 999; ++n) {
        const std::string candidate =
            n == 1 ? stamped : stamped.substr(0, dot) + "_" + std::to_string(n) + stamped.substr(dot);
        if (!claimName(candidate)) {
            if (std::filesystem::exists(std::filesystem::symlink_status(platform::osPath(candidate), ec))) continue;
            return false;  // the folder takes no new file
        }
        std::filesystem::rename(source, platform::osPath(candidate), ec);
        if (!ec) return true;
        std::filesystem::remove(platform::osPath(candidate), ec);
        return false;
    }
    return false;
}

bool setRecordsAside(std::string_view folder, std::initializer_list<std::string_view> names)
{
    for (std::string_view name : names) {
        if (!setRecordAside(platform::joinPath(folder, name))) return false;
    }
    return true;
}

bool firmwareVersionFromFileName(std::string_view path, float& version)
{
    const std::string_view name = platform::fileNamePart(path);
    if (name.size() != 17 || name.substr(0, 10) != "VestrolanV" || name.substr(13) != ".hex") return false;
    int hundredths = 0;
    for (char c : name.substr(10, 3)) {
        if (c < '0' || c > '9') return false;
        hundredths = hundredths * 10 + (c - '0');
    }
    version = static_cast<float>(hundredths / 100.0);
    return true;
}

std::string newestFirmwareFile(std::string_view folder)
{
    auto entries = platform::listDirectory(folder);
    if (!entries) return std::string();
    float best = 0.0f;
    std::string bestName;
    for (const auto& entry : *entries) {
        if (entry.isDirectory) continue;
        float version = 0.0f;
        if (firmwareVersionFromFileName(entry.name, version) && version > best) {
            best = version;
            bestName = entry.name;
        }
    }
    return bestName.empty() ? std::string() : platform::joinPath(folder, bestName);
}

std::string deviceFolder(std::string_view root, uint32_t serial)
{
    char name[32];
    std::snprintf(name, sizeof name, "SNR_%08u", serial);
    return platform::joinPath(root, name);
}

std::string repairFolder(std::string_view root, uint32_t serial, std::string_view repairNumber)
{
    return platform::joinPath(deviceFolder(root, serial), "REP_" + std::string(repairNumber));
}

std::string enduranceRunFolder(std::string_view root, std::string_view prefix, std::string_view number)
{
    return platform::joinPath(platform::joinPath(root, kEnduranceFolderName),
                              std::string(prefix) + std::string(number));
}

}  // namespace vst::app
