// Taking a FileRegionLock, the same on every system: open the file, then try the lock until it is
// taken, the file system turns out to keep no locks, or the time-out has passed.
#include "platform/Clock.h"
#include "platform/FileLock.h"

namespace vst::platform {

FileRegionLock::Result FileRegionLock::acquire(const std::filesystem::path& file, uint32_t timeoutMs)
{
    release();
    int error = 0;
    bool missing = false;
    const NativeFile fd = openForLocking(file, error, missing);
    if (fd == kNoFile) return failed(Result::CannotOpen, error, missing);
    const uint32_t start = clock().tickCount();
    for (;;) {
        const Attempt attempt = tryLocking(fd, error);
        if (attempt == Attempt::Taken || attempt == Attempt::NoLocks) {
            // Without locks the file is appended to all the same.
            fd_ = fd;
            checkLastLine();
            return attempt == Attempt::Taken ? Result::Locked : failed(Result::Unlockable, error, false);
        }
        if (attempt == Attempt::Failed || elapsedSince(start) >= timeoutMs) {
            closeFile(fd);
            return attempt == Attempt::Failed ? failed(Result::CannotOpen, error, false) : Result::Busy;
        }
        clock().sleep(kRetryMs);
    }
}

}  // namespace vst::platform
