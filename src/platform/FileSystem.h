#pragma once
// File-system services. Paths inside the station are Windows-1252 text; only this layer turns
// them into the operating system's own form.
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

// Replaces the file's content: the bytes go to a temporary file in the same folder (a short name
// of its own, ".vst-XXXXXX.tmp"), which is then
// renamed over the old file, so an interrupted write never leaves a half-written file behind.
bool replaceFile(const std::filesystem::path& file, std::string_view bytes);

// Writes a file that replaces another only when complete: the bytes go to a temporary file in
// the target's folder, and commit() renames it over the target. Without commit the temporary
// file is removed and the old file stays as it was.
class ReplacingFileWriter {
public:
    ReplacingFileWriter() = default;
    ~ReplacingFileWriter();
    ReplacingFileWriter(const ReplacingFileWriter&) = delete;
    ReplacingFileWriter& operator=(const ReplacingFileWriter&) = delete;

    // Creates the temporary file; false when the folder cannot take it.
    bool open(const std::filesystem::path& target);
    bool write(std::string_view bytes);
    // Flushes the data to disk and puts the file in place of the target.
    bool commit();
    // Removes the temporary file.
    void abandon();
    bool isOpen() const { return fd_ != kNoFile; }

private:
    std::filesystem::path target_;
    std::string temporary_;
    NativeFile fd_ = kNoFile;
    bool failed_ = false;
};

// Appends the bytes in one write; creates a missing file (its folder must exist).
bool appendFile(const std::filesystem::path& file, std::string_view bytes);

// Appends the bytes in one write to a file that exists already; a missing file stays missing.
bool appendExistingFile(const std::filesystem::path& file, std::string_view bytes);

// The system's text for the error of the last file operation of this thread that failed (errno,
// GetLastError on Windows), in the station's code page. Read it right after the failure.
std::string lastErrorText();

// Reads the whole file as bytes; nullopt when it cannot be opened.
std::optional<std::string> readFileBytes(const std::filesystem::path& file);

}  // namespace vst::platform
