#include "platform/FileSystem.h"
#include "platform/PosixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/CodePage.h"

namespace vst::platform {

std::filesystem::path osPath(std::string_view path)
{
    return std::filesystem::path(cp1252ToUtf8(path));
}

std::string stationPath(const std::filesystem::path& path) { return utf8ToCp1252(path.string()); }

std::FILE* openFile(std::string_view path, const char* mode)
{
    return std::fopen(osPath(path).c_str(), mode);
}

bool createNewFile(std::string_view path)
{
    const int fd = ::open(osPath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool moveFile(std::string_view from, std::string_view to)
{
    const auto source = osPath(from);
    const auto target = osPath(to);
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(target, ec))) return false;
    if (!std::filesystem::exists(std::filesystem::symlink_status(source, ec))) return false;
    std::filesystem::rename(source, target, ec);
    return !ec;
}

bool writeAll(int fd, std::string_view bytes)
{
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<size_t>(n);
    }
    return true;
}

namespace {

bool syncDescriptor(int fd)
{
    while (::fsync(fd) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

// Opens the file for appending; `created` tells whether this call created it.
int openForAppend(const std::filesystem::path& file, bool createMissing, bool& created)
{
    created = false;
    const int access = O_WRONLY | O_APPEND | O_CLOEXEC;
    int fd = ::open(file.c_str(), access);
    if (fd >= 0 || errno != ENOENT || !createMissing) return fd;
    fd = ::open(file.c_str(), access | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) {
        created = true;
        return fd;
    }
    // Another writer created it in between.
    return errno == EEXIST ? ::open(file.c_str(), access) : -1;
}

// One write of the bytes, then the file (and the folder of a file this call created) to disk.
bool appendDurably(const std::filesystem::path& file, std::string_view bytes, bool createMissing)
{
    bool created = false;
    const int fd = openForAppend(file, createMissing, created);
    if (fd < 0) return false;
    bool ok = writeAll(fd, bytes) && syncDescriptor(fd);
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && created && !syncFolder(file.has_parent_path() ? file.parent_path() : ".")) {
        ok = false;
        error = errno;
    }
    errno = error;
    return ok;
}

}  // namespace

bool syncFolder(const std::filesystem::path& folder)
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = syncDescriptor(fd);
    // Some file systems (network shares among them) cannot flush a folder; their server keeps
    // the rename itself.
    if (!ok && (errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP)) ok = true;
    const int error = errno;
    ::close(fd);
    errno = error;
    return ok;
}

bool ReplacingFileWriter::createTemporary(const std::filesystem::path& folder)
{
    // A short name of its own: the target's name plus a suffix could pass the file-name limit.
    temporary_ = (folder / (temporaryFilePrefix() + "XXXXXX.tmp")).string();
    fd_ = ::mkostemps(temporary_.data(), 4, O_CLOEXEC);
    if (fd_ < 0) {
        temporary_.clear();
        return false;
    }
    return true;
}

bool ReplacingFileWriter::write(std::string_view bytes)
{
    if (fd_ < 0 || failed_) return false;
    if (!writeAll(fd_, bytes)) failed_ = true;
    return !failed_;
}

bool ReplacingFileWriter::commit()
{
    if (fd_ < 0 || failed_) {
        abandon();
        return false;
    }
    // Keep the permissions of the file being replaced; a new file gets the usual ones.
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0) {
        ::fchmod(fd_, old.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd_, 0666 & ~mask);
    }
    bool ok = syncDescriptor(fd_);
    if (::close(fd_) != 0) ok = false;
    fd_ = -1;
    bool renamed = false;
    if (ok && ::rename(temporary_.c_str(), target_.c_str()) != 0) ok = false;
    else renamed = ok;
    // The rename is on disk only once the folder is.
    if (renamed && !syncFolder(target_.has_parent_path() ? target_.parent_path() : ".")) ok = false;
    // The clean-up keeps the error of the step that failed for the caller.
    const int error = errno;
    if (!renamed) ::unlink(temporary_.c_str());
    errno = error;
    temporary_.clear();
    return ok;
}

void ReplacingFileWriter::abandon()
{
    const int error = errno;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    errno = error;
}

std::string lastErrorText() { return utf8ToCp1252(std::strerror(errno)); }

bool appendFile(const std::filesystem::path& file, std::string_view bytes) { return appendDurably(file, bytes, true); }

bool appendExistingFile(const std::filesystem::path& file, std::string_view bytes)
{
    return appendDurably(file, bytes, false);
}

std::optional<std::string> readFileBytes(const std::filesystem::path& file)
{
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) return std::nullopt;
    // Read to the end with every error seen: a read that fails half-way must not pass for a
    // shorter file.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return bytes;
}

}  // namespace vst::platform
