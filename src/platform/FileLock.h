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

class FileRegionLock {
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
    FileRegionLock(const FileRegionLock&) = delete;
    FileRegionLock& operator=(const FileRegionLock&) = delete;

    // Opens the existing file for appending (it is never created) and takes the lock, trying again
    // until `timeoutMs` have passed on the station's clock.
    Result acquire(const std::filesystem::path& file, uint32_t timeoutMs);
    // Appends the bytes at the end of the file in one write; false unless the lock is held and
    // every byte was written.
    bool append(std::string_view bytes);
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

    NativeFile fd_ = kNoFile;
    bool missing_ = false;
    std::string errorText_;
};

}  // namespace vst::platform
