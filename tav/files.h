#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace tav {

// A regular file opened for reading at any offset. Anything else (a folder,
// a FIFO, a device, a socket) is refused at once, without blocking on it.
class SourceFile {
public:
    explicit SourceFile(const std::string& path);
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    std::uint64_t size() const { return size_; }
    // Reads up to `size` bytes at `offset`; fewer only at the end of the file.
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const;

private:
    std::string path_;
    int fd_;
    std::uint64_t size_;
};

// The output file. It is created at once in the target's folder, so that an
// unwritable folder or an unusable name fails before any long work, as an
// unnamed file (mode 0600) that gets the target's name only in Commit(),
// which never replaces an existing file: however the process ends before,
// even killed outright, nothing is left behind. Where the file system has no
// unnamed files, a hidden temporary name stands in, removed on every failure
// and on every catchable signal.
class OutputFile {
public:
    explicit OutputFile(const std::string& target);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(const void* data, std::size_t size);
    void Commit(mode_t mode);
    // True when nothing written is visible under any name before Commit().
    bool unnamed() const { return temp_.empty(); }

private:
    void OpenNamedTemporary();
    void LinkUnnamedFile();

    std::string target_;
    std::string temp_;  // empty for an unnamed file
    int fd_;
    bool committed_ = false;
    std::uint64_t written_ = 0;
    std::uint64_t flushed_ = 0;
};

// Fails with Exit::TargetExists when something is at `path` already.
void RefuseExistingTarget(const std::string& path);

// The folder part of a path ("." when it has none).
std::string FolderOf(const std::string& path);

}  // namespace tav
