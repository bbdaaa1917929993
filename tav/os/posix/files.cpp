#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "tav/base/failure.h"
#include "tav/os/files.h"
#include "tav/os/posix/files.h"
#include "tav/os/hardening.h"
#include "tav/tuning.h"

namespace tav {

namespace {

constexpr std::uint64_t kWriteBackStep = 8 * 1024 * 1024;

}  // namespace

void FailIo(const std::string& what) { throw Failure(Exit::Io, what + ": " + std::strerror(errno)); }

void FailToName(const std::string& target) {
    // A folder renamed onto a folder that has entries fails with ENOTEMPTY.
    if (errno == EEXIST || errno == ENOTEMPTY) throw Failure(Exit::TargetExists, "the target exists already: " + target);
    FailIo("cannot create " + target);
}

bool WriteFully(int fd, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return false;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

ssize_t ReadFullyAt(int fd, std::uint64_t offset, void* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, static_cast<char*>(buffer) + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

// The last part of the target must be a name a file can have in its folder.
void RefuseUnusableName(const std::string& target) {
    const std::string name = target.substr(target.rfind('/') + 1);
    if (name.empty() || name == "." || name == "..") throw Failure(Exit::Io, "not a file name: " + target);
    const long maxName = ::pathconf(FolderOf(target).c_str(), _PC_NAME_MAX);
    if (name.size() > static_cast<std::size_t>(maxName > 0 ? maxName : NAME_MAX)) {
        errno = ENAMETOOLONG;
        FailIo("cannot create " + target);
    }
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without RENAME_NOREPLACE: a hard link fails on an existing name too.
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    ::unlink(from.c_str());
    return true;
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string PathIn(const std::string& folder, const std::string& name) {
    return folder + (folder.back() == '/' ? "" : "/") + name;
}

std::string BaseName(const std::string& path) {
    const std::size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) return path;
    const std::string trimmed = path.substr(0, end + 1);
    return trimmed.substr(trimmed.rfind('/') + 1);
}

std::string OwnProgramPath() {
    char* resolved = ::realpath("/proc/self/exe", nullptr);
    if (resolved == nullptr) throw Failure(Exit::Io, "cannot find this program's own file");
    std::string path = resolved;
    std::free(resolved);
    return path;
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void RefuseExistingTarget(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) throw Failure(Exit::TargetExists, "the target exists already: " + path);
}

SourceFile::SourceFile(const std::string& path) : path_(path) {
    // Refused before opening, since opening a FIFO or a device can block or
    // have effects of its own; checked again on what was opened.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) FailIo("cannot open " + path);
    if (!S_ISREG(st.st_mode)) throw Failure(Exit::Io, "not a regular file: " + path);
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) FailIo("cannot open " + path);
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        throw Failure(Exit::Io, "not a regular file: " + path);
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    size_ = static_cast<std::uint64_t>(st.st_size);
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

SourceFile::~SourceFile() { ::close(fd_); }

std::size_t SourceFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    const ssize_t got = ReadFullyAt(fd_, offset, buffer, size);
    if (got < 0) FailIo("cannot read " + path_);
    return static_cast<std::size_t>(got);
}

OutputFile::OutputFile(const std::string& target) : target_(target) {
    RefuseUnusableName(target);
    const bool unnamedAllowed = tuning::UnnamedFilesAllowed();
    fd_ = unnamedAllowed ? ::open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600) : -1;
    unnamed_ = linkAtCommit_ = fd_ >= 0;
    if (unnamed_) return;
    // EISDIR: a kernel that does not know unnamed files; EOPNOTSUPP: a file
    // system that does not have them.
    if (unnamedAllowed && errno != EOPNOTSUPP && errno != EISDIR) {
        FailIo("cannot create a file in " + FolderOf(target));
    }
    OpenNamedTemporary();
}

// Signals wait while the file is created and registered, so that none can
// end the process with the file there and unknown to the cleanup.
void OutputFile::OpenNamedTemporary() {
    temp_ = FolderOf(target_) + "/.TAV-XXXXXX";
    HoldSignals();
    fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ >= 0) SetPendingTemporary(temp_.c_str());
    ReleaseSignals();
    if (fd_ < 0) FailIo("cannot create a file in " + FolderOf(target_));
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) {
        if (!committed_) ::unlink(temp_.c_str());
        SetPendingTemporary(nullptr);
    }
}

void OutputFile::Write(const void* data, std::size_t size) {
    if (!WriteFully(fd_, data, size)) FailIo("cannot write " + target_);
    written_ += size;
    // Start writing back what is written so far, so that the disk works
    // while the next chunks are encrypted and the final fsync finds little left.
    if (written_ - flushed_ >= kWriteBackStep) {
        ::sync_file_range(fd_, static_cast<off_t>(flushed_), static_cast<off_t>(written_ - flushed_),
                          SYNC_FILE_RANGE_WRITE);
        flushed_ = written_;
    }
}

// Gives the unnamed file the target's name; linking fails on an existing name.
void OutputFile::LinkUnnamedFile() {
    // Linking a descriptor directly needs a privilege; through /proc it does not.
    if (::linkat(fd_, "", AT_FDCWD, target_.c_str(), AT_EMPTY_PATH) == 0) return;
    if (errno == EEXIST) throw Failure(Exit::TargetExists, "the target exists already: " + target_);
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0) return;
    FailToName(target_);
}

// Only the main thread creates files, and it is here: nothing is created
// under the umask of 0 in between.
std::uint32_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~static_cast<std::uint32_t>(mask);
}

void OutputFile::Commit(std::uint32_t permissions) {
    if (::fchmod(fd_, static_cast<mode_t>(permissions)) != 0 || ::fsync(fd_) != 0) FailIo("cannot write " + target_);
    if (linkAtCommit_) {
        LinkUnnamedFile();
    } else {
        if (::close(std::exchange(fd_, -1)) != 0) FailIo("cannot write " + target_);
        if (!RenameNoReplace(temp_, target_)) FailToName(target_);
        SetPendingTemporary(nullptr);
    }
    committed_ = true;
    SyncFolder(FolderOf(target_));
}

}  // namespace tav
