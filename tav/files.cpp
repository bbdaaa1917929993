#include "tav/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "tav/failure.h"

namespace tav {

namespace {

constexpr std::uint64_t kWriteBackStep = 8 * 1024 * 1024;

// The temporary file to remove if a signal ends the process; only one
// output is ever pending.
const char* volatile g_pendingTemp = nullptr;

void RemovePendingAndDie(int signal) {
    if (const char* temp = g_pendingTemp) ::unlink(temp);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::string ErrorText() { return std::strerror(errno); }

[[noreturn]] void FailIo(const std::string& what) { throw Failure(Exit::Io, what + ": " + ErrorText()); }

// Moves `from` to `to` unless `to` exists; false with errno EEXIST when it does.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without RENAME_NOREPLACE: a hard link fails on an existing name too.
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    ::unlink(from.c_str());
    return true;
}

}  // namespace

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void InstallCleanupOnSignals() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, RemovePendingAndDie);
}

void RefuseExistingTarget(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) throw Failure(Exit::TargetExists, "the target exists already: " + path);
}

SourceFile::SourceFile(const std::string& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) FailIo("cannot open " + path);
    struct stat st;
    if (::fstat(fd_, &st) != 0) {
        ::close(fd_);
        FailIo("cannot read " + path);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd_);
        throw Failure(Exit::Io, "not a regular file: " + path);
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

SourceFile::~SourceFile() { ::close(fd_); }

std::size_t SourceFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd_, static_cast<char*>(buffer) + done, size - done,
                                    static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            FailIo("cannot read " + path_);
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

OutputFile::OutputFile(const std::string& target) : target_(target), temp_(FolderOf(target) + "/.TAV-XXXXXX") {
    fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0) FailIo("cannot create a file in " + FolderOf(target));
    g_pendingTemp = temp_.c_str();
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temp_.c_str());
    g_pendingTemp = nullptr;
}

void OutputFile::Write(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd_, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            FailIo("cannot write " + target_);
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
        written_ += static_cast<std::uint64_t>(written);
    }
    // Start writing back what is written so far, so that the disk works
    // while the next chunks are encrypted and the final fsync finds little left.
    if (written_ - flushed_ >= kWriteBackStep) {
        ::sync_file_range(fd_, static_cast<off_t>(flushed_), static_cast<off_t>(written_ - flushed_),
                          SYNC_FILE_RANGE_WRITE);
        flushed_ = written_;
    }
}

void OutputFile::Commit(mode_t mode) {
    if (::fchmod(fd_, mode) != 0 || ::fsync(fd_) != 0) FailIo("cannot write " + target_);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) FailIo("cannot write " + target_);
    if (!RenameNoReplace(temp_, target_)) {
        if (errno == EEXIST) throw Failure(Exit::TargetExists, "the target exists already: " + target_);
        FailIo("cannot create " + target_);
    }
    committed_ = true;
    g_pendingTemp = nullptr;
    const int folder = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

}  // namespace tav
