#include "platform/FileLock.h"

#include "platform/PosixFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

#include "platform/Clock.h"
#include "platform/CodePage.h"

namespace vst::platform {
namespace {

// The error every lock attempt fails with in a test; 0: none.
std::atomic<int> testLockError{0};

// Open-file-description locks belong to the open file, not to the process: a classic POSIX
// record lock would vanish as soon as any other descriptor of the same file is closed anywhere
// in the process (a look-up reading the log, another thread appending), and would not exclude a
// second holder in another thread of this process. Where the system lacks them, the classic lock
// is the fallback.
bool tryLock(int fd)
{
    if (const int error = testLockError.load()) {
        errno = error;
        return false;
    }
    struct flock region {};
    region.l_type = F_WRLCK;
    region.l_whence = SEEK_SET;
    region.l_start = static_cast<off_t>(FileRegionLock::kLockOffset);
    region.l_len = 1;
#ifdef F_OFD_SETLK
    if (::fcntl(fd, F_OFD_SETLK, &region) == 0) return true;
    if (errno != EINVAL) return false;
#endif
    return ::fcntl(fd, F_SETLK, &region) == 0;
}

// The file system (or its server) keeps no byte-range locks.
bool locksUnsupported(int error) { return error == ENOLCK || error == EOPNOTSUPP || error == ENOTSUP; }

}  // namespace

void FileRegionLock::failLocksForTesting(std::optional<int> nativeError) { testLockError = nativeError.value_or(0); }

FileRegionLock::Result FileRegionLock::failed(Result result, int nativeError, bool missing)
{
    missing_ = missing;
    errorText_ = utf8ToCp1252(std::generic_category().message(nativeError));
    return result;
}

FileRegionLock::Result FileRegionLock::acquire(const std::filesystem::path& file, uint32_t timeoutMs)
{
    release();
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return failed(Result::CannotOpen, error, error == ENOENT);
    }
    const uint32_t start = clock().tickCount();
    while (!tryLock(fd)) {
        const int error = errno;
        if (locksUnsupported(error)) {
            // Appended to all the same, without the lock.
            fd_ = fd;
            return failed(Result::Unlockable, error, false);
        }
        if (error != EAGAIN && error != EACCES && error != EINTR) {
            ::close(fd);
            return failed(Result::CannotOpen, error, false);
        }
        if (elapsedSince(start) >= timeoutMs) {
            ::close(fd);
            return Result::Busy;
        }
        clock().sleep(kRetryMs);
    }
    fd_ = fd;
    return Result::Locked;
}

bool FileRegionLock::append(std::string_view bytes)
{
    return fd_ >= 0 && writeAll(fd_, bytes);
}

void FileRegionLock::release()
{
    // Closing the descriptor ends the lock with it.
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    missing_ = false;
    errorText_.clear();
}

}  // namespace vst::platform
