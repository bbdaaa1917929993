#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

#include <cstdint>
#include <string>

// What the POSIX file and folder code share; not for use elsewhere.
namespace tav {

// A descriptor closed when it goes out of scope; errno survives the close.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { Reset(-1); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset(int fd) {
        if (fd_ >= 0) {
            const int error = errno;
            ::close(fd_);
            errno = error;
        }
        fd_ = fd;
    }

private:
    int fd_;
};

// Throws Failure(Exit::Io) with `what` and the text of errno.
[[noreturn]] void FailIo(const std::string& what);

// Fails unless the last part of `target` can be a name in its folder.
void RefuseUnusableName(const std::string& target);

// After giving `target` its name failed: Exit::TargetExists when something
// is there already, else Exit::Io.
[[noreturn]] void FailToName(const std::string& target);

// Writes all `size` bytes, retrying after interruptions; false (errno set)
// on failure.
bool WriteFully(int fd, const void* data, std::size_t size);

// Reads up to `size` bytes at `offset`, fewer only at the end of the file,
// retrying after interruptions; -1 (errno set) on failure.
ssize_t ReadFullyAt(int fd, std::uint64_t offset, void* buffer, std::size_t size);

// Moves `from` to `to` unless `to` exists; false with errno EEXIST when it does.
bool RenameNoReplace(const std::string& from, const std::string& to);

// Makes the folder's entries durable (best effort).
void SyncFolder(const std::string& folder);

}  // namespace tav
