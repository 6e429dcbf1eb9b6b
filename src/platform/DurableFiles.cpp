// The parts of durable writes that are the same on every system: the names of temporary files,
// the rule that decides which leftovers a station may remove, and how a replacing write begins.
#include <chrono>
#include <mutex>
#include <set>

#include "platform/FileLock.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"

namespace vst::platform {
namespace {

constexpr std::string_view kTemporaryStart = ".vst-";
constexpr std::string_view kTemporaryEnd = ".tmp";
constexpr size_t kMaxHostInName = 63;

bool isDecimal(std::string_view text)
{
    if (text.empty() || text.size() > 10) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

std::string ownFileNameHost() { return fileNameHost(hostName()).substr(0, kMaxHostInName); }

}  // namespace

std::string fileNameHost(std::string_view host)
{
    if (host.empty()) return "_";
    std::string out(host);
    for (char& c : out) {
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '_';
        if (!kept) c = '_';
    }
    return out;
}

std::string temporaryFilePrefix()
{
    return std::string(kTemporaryStart) + ownFileNameHost() + "-" + std::to_string(processId()) + "-";
}

std::optional<TemporaryFileOwner> temporaryFileOwner(std::string_view name)
{
    if (name.size() <= kTemporaryStart.size() + kTemporaryEnd.size()) return std::nullopt;
    if (name.substr(0, kTemporaryStart.size()) != kTemporaryStart) return std::nullopt;
    if (name.substr(name.size() - kTemporaryEnd.size()) != kTemporaryEnd) return std::nullopt;
    // host-pid-letters; the host may hold '-' itself, so the fields are taken from the right.
    std::string_view middle = name.substr(kTemporaryStart.size(), name.size() - kTemporaryStart.size() - kTemporaryEnd.size());
    const size_t lastDash = middle.rfind('-');
    if (lastDash == std::string_view::npos || middle.size() - lastDash - 1 != 6) return std::nullopt;
    const size_t pidDash = middle.rfind('-', lastDash == 0 ? 0 : lastDash - 1);
    if (pidDash == std::string_view::npos || pidDash == 0 || pidDash >= lastDash) return std::nullopt;
    const std::string_view pid = middle.substr(pidDash + 1, lastDash - pidDash - 1);
    if (!isDecimal(pid)) return std::nullopt;
    const uint64_t number = std::stoull(std::string(pid));
    if (number > 0xFFFFFFFFull) return std::nullopt;
    return TemporaryFileOwner{std::string(middle.substr(0, pidDash)), static_cast<uint32_t>(number)};
}

bool mayRemoveLeftover(const TemporaryFileOwner& owner, std::string_view ownHost, bool ownerRunning,
                       int64_t ageSeconds)
{
    if (owner.host != ownHost) return false;
    return !ownerRunning || ageSeconds > kLeftoverMaxAgeSeconds;
}

int removeLeftoverTemporaryFiles(const std::filesystem::path& folder)
{
    const std::string ownHost = ownFileNameHost();
    const uint32_t ownPid = processId();
    std::error_code ec;
    std::filesystem::directory_iterator it(folder.empty() ? std::filesystem::path(".") : folder, ec);
    if (ec) return 0;
    std::vector<std::filesystem::path> doomed;
    for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        const auto owner = temporaryFileOwner(it->path().filename().string());
        if (!owner || owner->host != ownHost) continue;
        std::error_code timeError;
        const auto written = std::filesystem::last_write_time(it->path(), timeError);
        if (timeError) continue;
        const auto age = std::chrono::duration_cast<std::chrono::seconds>(
                             std::filesystem::file_time_type::clock::now() - written)
                             .count();
        // This process's own files are being written right now (another thread) unless very old.
        const bool running = owner->pid == ownPid || processRunning(owner->pid);
        if (mayRemoveLeftover(*owner, ownHost, running, static_cast<int64_t>(age))) doomed.push_back(it->path());
    }
    int removed = 0;
    for (const auto& path : doomed) {
        std::error_code removeError;
        if (std::filesystem::remove(path, removeError)) ++removed;
    }
    return removed;
}

void removeLeftoversOnce(const std::filesystem::path& folder)
{
    static std::mutex mutex;
    static std::set<std::filesystem::path> done;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!done.insert(folder).second) return;
    }
    removeLeftoverTemporaryFiles(folder);
}

ReplacingFileWriter::~ReplacingFileWriter() { abandon(); }

bool ReplacingFileWriter::open(const std::filesystem::path& target)
{
    abandon();
    target_ = target;
    failed_ = false;
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    removeLeftoversOnce(folder);
    return createTemporary(folder);
}

bool replaceFile(const std::filesystem::path& file, std::string_view bytes)
{
    ReplacingFileWriter writer;
    return writer.open(file) && writer.write(bytes) && writer.commit();
}

bool appendLines(const std::filesystem::path& file, std::string_view lines, bool createMissing)
{
    std::error_code ec;
    // A new file is created (and its folder flushed) first, so that it can be locked.
    if (createMissing && !std::filesystem::exists(file, ec) && !appendFile(file, {})) return false;
    FileRegionLock lock;
    switch (lock.acquire(file, kAppendLockTimeoutMs)) {
    case FileRegionLock::Result::Locked: return lock.cutTornLine() && lock.append(lines);
    // Without locks a torn line is not cut (another station may be writing it right now): the new
    // lines start on a line of their own.
    case FileRegionLock::Result::Unlockable: return lock.append(lines);
    case FileRegionLock::Result::Busy:
    case FileRegionLock::Result::CannotOpen: return false;
    }
    return false;
}

}  // namespace vst::platform
