#include "platform/FileLock.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "platform/Clock.h"

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

FileRegionLock::Result FileRegionLock::acquire(const std::filesystem::path& file, uint32_t timeoutMs)
{
    release();
    // Append access (and no other write access): every write lands at the end of the file, whoever
    // else appends. Read access because the byte-range lock needs read or write rights.
    const HANDLE h = CreateFileW(file.c_str(), GENERIC_READ | FILE_APPEND_DATA | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return failed(Result::CannotOpen, static_cast<int>(error),
                      error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
    }
    const uint32_t start = clock().tickCount();
    DWORD error = 0;
    while (!tryLock(h, error)) {
        if (error == ERROR_NOT_SUPPORTED) {
            // The file system keeps no byte-range locks: appended to all the same, without the lock.
            fd_ = h;
            return failed(Result::Unlockable, static_cast<int>(error), false);
        }
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
            CloseHandle(h);
            return failed(Result::CannotOpen, static_cast<int>(error), false);
        }
        if (elapsedSince(start) >= timeoutMs) {
            CloseHandle(h);
            return Result::Busy;
        }
        clock().sleep(kRetryMs);
    }
    fd_ = h;
    return Result::Locked;
}

bool FileRegionLock::append(std::string_view bytes)
{
    if (fd_ == kNoFile) return false;
    size_t written = 0;
    while (written < bytes.size()) {
        const size_t rest = bytes.size() - written;
        DWORD n = 0;
        if (!WriteFile(static_cast<HANDLE>(fd_), bytes.data() + written,
                       static_cast<DWORD>(rest > (1u << 30) ? (1u << 30) : rest), &n, nullptr) ||
            n == 0) {
            return false;
        }
        written += n;
    }
    return true;
}

void FileRegionLock::release()
{
    // Closing the handle ends the lock with it.
    if (fd_ != kNoFile) CloseHandle(static_cast<HANDLE>(fd_));
    fd_ = kNoFile;
    missing_ = false;
    errorText_.clear();
}

}  // namespace vst::platform
