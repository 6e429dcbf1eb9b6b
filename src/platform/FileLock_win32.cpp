#include "platform/FileLock.h"

#include <windows.h>

#include <atomic>
#include <string>


namespace vst::platform {
namespace {

// The error every lock attempt fails with in a test; 0: none.
std::atomic<DWORD> testLockError{0};

// The system's text of an error in the station's code page, without its line end.
std::string systemErrorText(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out;
    if (n > 0 && text) {
        const int bytes = WideCharToMultiByte(1252, 0, text, static_cast<int>(n), nullptr, 0, "?", nullptr);
        out.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
        if (bytes > 0) WideCharToMultiByte(1252, 0, text, static_cast<int>(n), out.data(), bytes, "?", nullptr);
    }
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\r' || out.back() == '\n' || out.back() == ' ' || out.back() == '.')) {
        out.pop_back();
    }
    if (out.empty()) out = "error " + std::to_string(error);
    return out;
}

// The lock belongs to this handle: a second handle, in this process or another, is refused, and
// the system releases the lock when the handle is closed or the process ends.
bool tryLock(HANDLE h, DWORD& error)
{
    if (const DWORD forced = testLockError.load()) {
        error = forced;
        return false;
    }
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(FileRegionLock::kLockOffset & 0xFFFFFFFFu);
    where.OffsetHigh = static_cast<DWORD>(FileRegionLock::kLockOffset >> 32);
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where)) return true;
    error = GetLastError();
    return false;
}

}  // namespace

void FileRegionLock::failLocksForTesting(std::optional<int> nativeError)
{
    testLockError = static_cast<DWORD>(nativeError.value_or(0));
}

FileRegionLock::Result FileRegionLock::failed(Result result, int nativeError, bool missing)
{
    missing_ = missing;
    errorText_ = systemErrorText(static_cast<DWORD>(nativeError));
    return result;
}

NativeFile FileRegionLock::openForLocking(const std::filesystem::path& file, int& nativeError, bool& missing)
{
    // Write access, because FlushFileBuffers needs it; append() writes at the end of the file in
    // one step all the same. Read access for the byte-range lock and the look at the last byte.
    const HANDLE h = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        nativeError = static_cast<int>(error);
        missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    return h;
}

FileRegionLock::Attempt FileRegionLock::tryLocking(NativeFile h, int& nativeError)
{
    DWORD error = 0;
    if (tryLock(static_cast<HANDLE>(h), error)) return Attempt::Taken;
    nativeError = static_cast<int>(error);
    // The file system keeps no byte-range locks.
    if (error == ERROR_NOT_SUPPORTED) return Attempt::NoLocks;
    if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) return Attempt::Failed;
    return Attempt::HeldElsewhere;
}

void FileRegionLock::closeFile(NativeFile h) { CloseHandle(static_cast<HANDLE>(h)); }

void FileRegionLock::checkLastLine()
{
    const HANDLE h = static_cast<HANDLE>(fd_);
    lineEndFirst_ = false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h, &size) || size.QuadPart <= 0) return;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>((size.QuadPart - 1) & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
    char last = '\n';
    DWORD n = 0;
    lineEndFirst_ = ReadFile(h, &last, 1, &n, &at) && n == 1 && last != '\n';
}

bool FileRegionLock::cutTornLine()
{
    if (fd_ == kNoFile) return false;
    if (!lineEndFirst_) return true;
    const HANDLE h = static_cast<HANDLE>(fd_);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h, &size)) return false;
    // The end of the last whole line, read backwards in blocks.
    int64_t end = size.QuadPart;
    int64_t keep = 0;
    char buffer[65536];
    while (end > 0) {
        const int64_t start = end > int64_t(sizeof buffer) ? end - int64_t(sizeof buffer) : 0;
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(start & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(start >> 32);
        DWORD n = 0;
        if (!ReadFile(h, buffer, static_cast<DWORD>(end - start), &n, &at) || int64_t(n) != end - start) return false;
        int64_t i = n;
        while (i > 0 && buffer[i - 1] != '\n') --i;
        if (i > 0) {
            keep = start + i;
            break;
        }
        end = start;
    }
    FILE_END_OF_FILE_INFO eof{};
    eof.EndOfFile.QuadPart = keep;
    if (!SetFileInformationByHandle(h, FileEndOfFileInfo, &eof, sizeof eof) || !FlushFileBuffers(h)) return false;
    lineEndFirst_ = false;
    return true;
}

bool FileRegionLock::append(std::string_view bytes)
{
    if (fd_ == kNoFile) return false;
    const HANDLE h = static_cast<HANDLE>(fd_);
    std::string joined;
    if (lineEndFirst_ && !bytes.empty()) {
        joined = "\n";
        joined += bytes;
        bytes = joined;
    }
    size_t written = 0;
    while (written < bytes.size()) {
        const size_t rest = bytes.size() - written;
        // The offset 0xFFFFFFFF:0xFFFFFFFF writes at the end of the file, whoever else appends.
        OVERLAPPED end{};
        end.Offset = 0xFFFFFFFF;
        end.OffsetHigh = 0xFFFFFFFF;
        DWORD n = 0;
        if (!WriteFile(h, bytes.data() + written, static_cast<DWORD>(rest > (1u << 30) ? (1u << 30) : rest), &n, &end) ||
            n == 0) {
            return false;
        }
        written += n;
    }
    lineEndFirst_ = false;
    return FlushFileBuffers(h) != 0;
}

void FileRegionLock::release()
{
    // Closing the handle ends the lock with it.
    if (fd_ != kNoFile) CloseHandle(static_cast<HANDLE>(fd_));
    fd_ = kNoFile;
    lineEndFirst_ = false;
    missing_ = false;
    errorText_.clear();
}

}  // namespace vst::platform
