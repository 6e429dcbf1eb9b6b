#include "platform/FileSystem.h"

#include <windows.h>

#include <cstdio>
#include <random>

#include "platform/CodePage.h"
#include "platform/WideText_win32.h"

namespace vst::platform {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool writeAll(HANDLE h, std::string_view bytes)
{
    size_t written = 0;
    while (written < bytes.size()) {
        const size_t rest = bytes.size() - written;
        const DWORD chunk = static_cast<DWORD>(rest > (1u << 30) ? (1u << 30) : rest);
        DWORD n = 0;
        if (!WriteFile(h, bytes.data() + written, chunk, &n, nullptr) || n == 0) return false;
        written += n;
    }
    return true;
}

// One write at the end of the file (the offset 0xFFFFFFFF:0xFFFFFFFF means "the end", in one step
// whoever else appends), then FlushFileBuffers, which needs write access rather than append access
// alone.
bool appendTo(const std::filesystem::path& file, std::string_view bytes, DWORD disposition)
{
    const HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    size_t written = 0;
    while (ok && written < bytes.size()) {
        const size_t rest = bytes.size() - written;
        const DWORD chunk = static_cast<DWORD>(rest > (1u << 30) ? (1u << 30) : rest);
        OVERLAPPED end{};
        end.Offset = 0xFFFFFFFF;
        end.OffsetHigh = 0xFFFFFFFF;
        DWORD n = 0;
        ok = WriteFile(h, bytes.data() + written, chunk, &n, &end) && n != 0;
        written += n;
    }
    if (ok) ok = FlushFileBuffers(h) != 0;
    const DWORD error = GetLastError();
    if (!CloseHandle(h)) ok = false;
    else SetLastError(error);
    return ok;
}

}  // namespace

// The station's code page is Windows-1252 on every system, whatever the PC's ANSI code page is.
std::filesystem::path osPath(std::string_view path) { return std::filesystem::path(wideFrom(1252, path)); }

std::string stationPath(const std::filesystem::path& path) { return utf8ToCp1252(utf8From(path.wstring())); }

std::FILE* openFile(std::string_view path, const char* mode)
{
    return _wfopen(osPath(path).c_str(), wideFrom(CP_UTF8, mode).c_str());
}

bool createNewFile(std::string_view path)
{
    const HANDLE h = CreateFileW(osPath(path).c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

// Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists, in one step.
bool moveFile(std::string_view from, std::string_view to)
{
    return MoveFileExW(osPath(from).c_str(), osPath(to).c_str(), MOVEFILE_COPY_ALLOWED) != 0;
}

bool ReplacingFileWriter::createTemporary(const std::filesystem::path& folder)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 pick(seed() ^ GetCurrentProcessId() ^ GetTickCount());
    const std::wstring prefix = wideFrom(CP_UTF8, temporaryFilePrefix());
    for (int attempt = 0; attempt < 100; ++attempt) {
        // A short name of its own: the target's name plus a suffix could pass the file-name limit.
        std::wstring name = prefix;
        for (int i = 0; i < 6; ++i) name += static_cast<wchar_t>(kLetters[pick() % 36]);
        name += L".tmp";
        const std::filesystem::path candidate = folder / name;
        const HANDLE h = CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            fd_ = h;
            temporary_ = utf8From(candidate.wstring());
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return false;
}

bool ReplacingFileWriter::write(std::string_view bytes)
{
    if (fd_ == kNoFile || failed_) return false;
    if (!writeAll(static_cast<HANDLE>(fd_), bytes)) failed_ = true;
    return !failed_;
}

// The data on disk first, then one move that replaces the target and returns only once the
// move itself is on disk (MOVEFILE_WRITE_THROUGH).
bool ReplacingFileWriter::commit()
{
    if (fd_ == kNoFile || failed_) {
        abandon();
        return false;
    }
    bool ok = FlushFileBuffers(static_cast<HANDLE>(fd_)) != 0;
    if (!CloseHandle(static_cast<HANDLE>(fd_))) ok = false;
    fd_ = kNoFile;
    const std::wstring temporary = wideFrom(CP_UTF8, temporary_);
    if (ok) ok = MoveFileExW(temporary.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    const DWORD error = GetLastError();
    if (!ok) DeleteFileW(temporary.c_str());
    SetLastError(error);
    temporary_.clear();
    return ok;
}

void ReplacingFileWriter::abandon()
{
    if (fd_ != kNoFile) CloseHandle(static_cast<HANDLE>(fd_));
    fd_ = kNoFile;
    if (!temporary_.empty()) DeleteFileW(wideFrom(CP_UTF8, temporary_).c_str());
    temporary_.clear();
}

std::string lastErrorText()
{
    const DWORD error = GetLastError();
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' || text.back() == L'.')) {
        text.pop_back();
    }
    if (text.empty()) return "error " + std::to_string(error);
    return utf8ToCp1252(utf8From(text));
}

bool appendFile(const std::filesystem::path& file, std::string_view bytes)
{
    return appendTo(file, bytes, OPEN_ALWAYS);
}

bool appendExistingFile(const std::filesystem::path& file, std::string_view bytes)
{
    return appendTo(file, bytes, OPEN_EXISTING);
}

// A move with MOVEFILE_WRITE_THROUGH and FlushFileBuffers of a new file already put the folder's
// entry on disk; Windows offers no flush of a folder besides.
bool syncFolder(const std::filesystem::path&) { return true; }

std::optional<std::string> readFileBytes(const std::filesystem::path& file)
{
    const HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;  // a folder cannot be opened this way either
    // Read to the end with every error seen: a read that fails half-way must not pass for a
    // shorter file.
    std::string bytes;
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(h, buffer, sizeof buffer, &n, nullptr)) {
            CloseHandle(h);
            return std::nullopt;
        }
        if (n == 0) break;
        bytes.append(buffer, n);
    }
    CloseHandle(h);
    return bytes;
}

}  // namespace vst::platform
