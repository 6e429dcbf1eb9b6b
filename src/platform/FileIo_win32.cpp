#include "platform/FileSystem.h"

#include <windows.h>

#include <cstdio>
#include <random>

#include "platform/CodePage.h"

namespace vst::platform {
namespace {

std::wstring wideFrom(UINT codePage, std::string_view text)
{
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string utf8From(const std::wstring& text)
{
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

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

bool appendTo(const std::filesystem::path& file, std::string_view bytes, DWORD disposition)
{
    // Append access alone: every write lands at the end of the file, whoever else appends.
    const HANDLE h = CreateFileW(file.c_str(), FILE_APPEND_DATA, kShareAll, nullptr, disposition,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = writeAll(h, bytes);
    return CloseHandle(h) && ok;
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

ReplacingFileWriter::~ReplacingFileWriter() { abandon(); }

bool ReplacingFileWriter::open(const std::filesystem::path& target)
{
    abandon();
    target_ = target;
    failed_ = false;
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 pick(seed() ^ GetCurrentProcessId() ^ GetTickCount());
    for (int attempt = 0; attempt < 100; ++attempt) {
        // A short name of its own: the target's name plus a suffix could pass the file-name limit.
        std::wstring name = L".vst-";
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

// ReplaceFile keeps the old file's attributes and security; where it cannot work (no old file, a
// share that does not support it) the move that replaces is the same single step.
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
    if (ok) {
        const bool targetExists = GetFileAttributesW(target_.c_str()) != INVALID_FILE_ATTRIBUTES;
        ok = (targetExists && ReplaceFileW(target_.c_str(), temporary.c_str(), nullptr,
                                           REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) ||
             MoveFileExW(temporary.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!ok) DeleteFileW(temporary.c_str());
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

bool replaceFile(const std::filesystem::path& file, std::string_view bytes)
{
    ReplacingFileWriter writer;
    return writer.open(file) && writer.write(bytes) && writer.commit();
}

bool appendFile(const std::filesystem::path& file, std::string_view bytes)
{
    return appendTo(file, bytes, OPEN_ALWAYS);
}

bool appendExistingFile(const std::filesystem::path& file, std::string_view bytes)
{
    return appendTo(file, bytes, OPEN_EXISTING);
}

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
