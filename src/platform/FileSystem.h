#pragma once
// File-system services. Paths inside the station are Windows-1252 text; only this layer turns
// them into the operating system's own form.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/NativeHandle.h"

namespace vst::platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline bool isPathSeparator(char c) { return c == '\\' || c == '/'; }
#else
inline constexpr char kPathSeparator = '/';
inline bool isPathSeparator(char c) { return c == '/'; }
#endif

// Position of the last path separator, or npos.
size_t lastPathSeparator(std::string_view path);
// The part after the last separator (the whole text when there is none).
std::string_view fileNamePart(std::string_view path);
// folder + separator + name.
std::string joinPath(std::string_view folder, std::string_view name);

// A station path (Windows-1252) in the operating system's form: UTF-8 bytes on POSIX, UTF-16 on
// Windows.
std::filesystem::path osPath(std::string_view path);
// The other way: a system path as station text (characters outside Windows-1252 become '?').
std::string stationPath(const std::filesystem::path& path);

// fopen for a station path.
std::FILE* openFile(std::string_view path, const char* mode);

// Creates an empty file only when no file of that name exists (an exclusive claim of the name); true
// when this call created it.
bool createNewFile(std::string_view path);

struct DirectoryEntry {
    std::string name;  // Windows-1252
    bool isDirectory = false;
};

// The folder's entries (without "." and ".."), in the order the system lists them; nullopt when
// the folder cannot be read.
std::optional<std::vector<DirectoryEntry>> listDirectory(std::string_view folder);

bool isDirectory(std::string_view path);
bool canOpenForReading(std::string_view path);

// Creates one folder (its parent must exist). True when the folder exists afterwards.
bool createDirectory(std::string_view path);

// Moves a file within the file system. Fails, changing nothing, when the target already exists.
bool moveFile(std::string_view from, std::string_view to);

// Replaces the file's content durably: the bytes go to a temporary file in the same folder
// (temporaryFilePrefix() + six letters + ".tmp"), which is flushed to disk, renamed over the old
// file, and then the folder itself is flushed. An interrupted write never leaves a half-written
// file in place of the old one, and once this returns true the new content survives a power cut.
bool replaceFile(const std::filesystem::path& file, std::string_view bytes);

// Writes a file that replaces another only when complete: the bytes go to a temporary file in
// the target's folder, and commit() renames it over the target. Without commit the temporary
// file is removed and the old file stays as it was.
class ReplacingFileWriter : private HandleOwner {
public:
    ReplacingFileWriter() = default;
    ~ReplacingFileWriter();

    // Creates the temporary file; false when the folder cannot take it.
    bool open(const std::filesystem::path& target);
    bool write(std::string_view bytes);
    // Flushes the data to disk and puts the file in place of the target.
    bool commit();
    // Removes the temporary file.
    void abandon();
    bool isOpen() const { return fd_ != kNoFile; }

private:
    // Creates the temporary file in the folder (the system's part of open()).
    bool createTemporary(const std::filesystem::path& folder);

    std::filesystem::path target_;
    std::string temporary_;
    NativeFile fd_ = kNoFile;
    bool failed_ = false;
};

// Appends the bytes in one write and flushes the file to disk (and its folder, when the file was
// created); creates a missing file (its folder must exist).
bool appendFile(const std::filesystem::path& file, std::string_view bytes);

// Appends the bytes in one write to a file that exists already, flushed to disk; a missing file
// stays missing.
bool appendExistingFile(const std::filesystem::path& file, std::string_view bytes);

// Appends whole lines (the bytes end with LF) in one write, flushed to disk, under the file's lock
// (FileRegionLock). A last line torn by a writer that died half-way (killed, a power cut) is cut
// off first: it was never reported written, and the file keeps whole lines only. On a file system
// without locks the torn line stays and the new lines start on a line of their own. Creates a
// missing file only when `createMissing` is set (its folder must exist). False also when another
// holder keeps the lock for kAppendLockTimeoutMs.
inline constexpr uint32_t kAppendLockTimeoutMs = 10000;
bool appendLines(const std::filesystem::path& file, std::string_view lines, bool createMissing);

// Flushes a folder's entries (a rename or a new file in it) to disk. File systems that cannot
// flush a folder count as done.
bool syncFolder(const std::filesystem::path& folder);

// --- Temporary files of replacements and their leftovers -----------------------------------
// A temporary file is named ".vst-" + host + "-" + process id + "-" + six letters + ".tmp", so a
// leftover of a killed writer tells which station and which process left it. The shared record
// tree is written by several stations, so a leftover is only ever removed by its own host, and
// only when its process is gone or the file is older than an hour (a process id used again).

// A host name as it may stand in a file name: every character but ASCII letters, digits, '-' and
// '_' becomes '_'; "_" for an empty name.
std::string fileNameHost(std::string_view host);
// ".vst-" + this host (fileNameHost, at most 63 characters) + "-" + this process's id + "-".
std::string temporaryFilePrefix();

struct TemporaryFileOwner {
    std::string host;  // as fileNameHost wrote it
    uint32_t pid = 0;
};
// Who left a temporary file of that name; nullopt for any other name (also the older
// ".vst-XXXXXX.tmp" without host, whose owner cannot be told).
std::optional<TemporaryFileOwner> temporaryFileOwner(std::string_view fileName);

// The rule: a leftover may go only when it is this host's and its process is gone or it is older
// than an hour.
inline constexpr int64_t kLeftoverMaxAgeSeconds = 3600;
bool mayRemoveLeftover(const TemporaryFileOwner& owner, std::string_view ownHost, bool ownerRunning,
                       int64_t ageSeconds);

// Removes the leftovers of the folder that mayRemoveLeftover allows; the number removed. Writes
// that replace a file call it once per folder and process before they create their temporary file.
int removeLeftoverTemporaryFiles(const std::filesystem::path& folder);
// Once per folder for the lifetime of the process.
void removeLeftoversOnce(const std::filesystem::path& folder);

// The system's text for the error of the last file operation of this thread that failed (errno,
// GetLastError on Windows), in the station's code page. Read it right after the failure.
std::string lastErrorText();

// Reads the whole file as bytes; nullopt when it cannot be opened.
std::optional<std::string> readFileBytes(const std::filesystem::path& file);

}  // namespace vst::platform
