#pragma once
// The lock every station takes on a shared file before it looks it up and appends to it: an
// exclusive byte-range lock on one byte far beyond any real size of the file. Being advisory and
// outside the data, it never blocks a reader or a writer that does not ask for it, and the system
// drops it when the holding process ends, however it ends.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/NativeHandle.h"

namespace vst::platform {

class FileRegionLock : private HandleOwner {
public:
    enum class Result {
        Locked,      // the lock is held; append() writes through it
        Unlockable,  // the file is open for appending, but its file system offers no locks (see
                     // errorText()); append() writes without a lock, as stations without it do
        Busy,        // another holder kept it for the whole time-out
        CannotOpen,  // the file is missing (missing()), or it cannot be opened for writing or
                     // locked for another reason (errorText())
    };

    // The byte every station locks (2^40), far past the end of any log.
    static constexpr uint64_t kLockOffset = uint64_t{1} << 40;
    // How often a busy lock is tried again.
    static constexpr uint32_t kRetryMs = 20;

    FileRegionLock() = default;
    ~FileRegionLock() { release(); }

    // Opens the existing file for appending (it is never created) and takes the lock, trying again
    // until `timeoutMs` have passed on the station's clock.
    Result acquire(const std::filesystem::path& file, uint32_t timeoutMs);
    // Appends the bytes at the end of the file in one write and flushes the file to disk; false
    // unless the lock is held and every byte was written. When the file ended inside a line as the
    // lock was taken (a writer killed or a power cut half-way), the first append starts with an LF,
    // so the torn line cannot swallow the new one.
    bool append(std::string_view bytes);
    // Cuts a torn last line (the file ended inside a line as the lock was taken) back to the end
    // of the last whole line, flushed to disk. Only under the lock: no other holder can be in the
    // middle of a write then, so the torn bytes are those of a writer that died before its write
    // was done (and before it could report it). True when nothing had to be cut or the cut worked.
    bool cutTornLine();
    // Gives the lock up and closes the file.
    void release();
    bool held() const { return fd_ != kNoFile; }

    // After Unlockable or CannotOpen: whether the file does not exist (nor its folder), and the
    // system's text of the error in the station's code page (empty after Locked and Busy).
    bool missing() const { return missing_; }
    const std::string& errorText() const { return errorText_; }

    // Tests stand in for a file system without locks, or for another lock failure: while set,
    // every attempt to take a lock fails with this system error code (errno; GetLastError() on
    // Windows). nullopt restores the real locks.
    static void failLocksForTesting(std::optional<int> nativeError);

private:
    // The outcome of a failed open or lock with its system error code.
    Result failed(Result result, int nativeError, bool missing);

    // Looks at the file's last byte once the file is open (sets lineEndFirst_).
    void checkLastLine();

    // The system's parts of acquire(). openForLocking returns kNoFile when the file cannot be
    // opened; tryLocking makes one attempt at the lock. Both give the system error code of a
    // failure in nativeError.
    enum class Attempt { Taken, NoLocks, HeldElsewhere, Failed };
    static NativeFile openForLocking(const std::filesystem::path& file, int& nativeError, bool& missing);
    static Attempt tryLocking(NativeFile file, int& nativeError);
    static void closeFile(NativeFile file);

    NativeFile fd_ = kNoFile;
    bool lineEndFirst_ = false;
    bool missing_ = false;
    std::string errorText_;
};

}  // namespace vst::platform
