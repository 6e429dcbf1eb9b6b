#include "platform/FileLock.h"

#include "platform/PosixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>

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

NativeFile FileRegionLock::openForLocking(const std::filesystem::path& file, int& nativeError, bool& missing)
{
    const int fd = ::open(file.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        nativeError = errno;
        missing = nativeError == ENOENT;
    }
    return fd;
}

FileRegionLock::Attempt FileRegionLock::tryLocking(NativeFile fd, int& nativeError)
{
    if (tryLock(fd)) return Attempt::Taken;
    nativeError = errno;
    if (locksUnsupported(nativeError)) return Attempt::NoLocks;
    if (nativeError != EAGAIN && nativeError != EACCES && nativeError != EINTR) return Attempt::Failed;
    return Attempt::HeldElsewhere;
}

void FileRegionLock::closeFile(NativeFile fd) { ::close(fd); }

void FileRegionLock::checkLastLine()
{
    struct stat st {};
    char last = '\n';
    lineEndFirst_ = ::fstat(fd_, &st) == 0 && st.st_size > 0 && ::pread(fd_, &last, 1, st.st_size - 1) == 1 && last != '\n';
}

bool FileRegionLock::cutTornLine()
{
    if (fd_ < 0) return false;
    if (!lineEndFirst_) return true;
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return false;
    // The end of the last whole line, read backwards in blocks.
    off_t end = st.st_size;
    off_t keep = 0;
    char buffer[65536];
    while (end > 0) {
        const off_t start = end > off_t(sizeof buffer) ? end - off_t(sizeof buffer) : 0;
        const ssize_t n = ::pread(fd_, buffer, static_cast<size_t>(end - start), start);
        if (n != end - start) return false;
        const char* lf = static_cast<const char*>(::memrchr(buffer, '\n', static_cast<size_t>(n)));
        if (lf) {
            keep = start + (lf - buffer) + 1;
            break;
        }
        end = start;
    }
    if (::ftruncate(fd_, keep) != 0) return false;
    while (::fsync(fd_) != 0) {
        if (errno != EINTR) return false;
    }
    lineEndFirst_ = false;
    return true;
}

bool FileRegionLock::append(std::string_view bytes)
{
    if (fd_ < 0) return false;
    std::string joined;
    if (lineEndFirst_ && !bytes.empty()) {
        joined = "\n";
        joined += bytes;
        bytes = joined;
    }
    if (!writeAll(fd_, bytes)) return false;
    lineEndFirst_ = false;
    while (::fsync(fd_) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

void FileRegionLock::release()
{
    // Closing the descriptor ends the lock with it.
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    lineEndFirst_ = false;
    missing_ = false;
    errorText_.clear();
}

}  // namespace vst::platform
