#include "platform/FileLock.h"

#include <windows.h>

#include "platform/Clock.h"

namespace vst::platform {
namespace {

// The lock belongs to this handle: a second handle, in this process or another, is refused, and
// the system releases the lock when the handle is closed or the process ends.
bool tryLock(HANDLE h, DWORD& error)
{
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(FileRegionLock::kLockOffset & 0xFFFFFFFFu);
    where.OffsetHigh = static_cast<DWORD>(FileRegionLock::kLockOffset >> 32);
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where)) return true;
    error = GetLastError();
    return false;
}

}  // namespace

FileRegionLock::Result FileRegionLock::acquire(const std::filesystem::path& file, uint32_t timeoutMs)
{
    release();
    // Append access (and no other write access): every write lands at the end of the file, whoever
    // else appends. Read access because the byte-range lock needs read or write rights.
    const HANDLE h = CreateFileW(file.c_str(), GENERIC_READ | FILE_APPEND_DATA | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Result::CannotOpen;
    const uint32_t start = clock().tickCount();
    DWORD error = 0;
    while (!tryLock(h, error)) {
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
            CloseHandle(h);
            return Result::CannotOpen;
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
}

}  // namespace vst::platform
