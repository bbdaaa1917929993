#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace tav {

// A regular file opened for reading at any offset.
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

// The output file, written under a temporary name in the target's folder
// (mode 0600) and moved to the target only by Commit(), which never
// replaces an existing file. Until then, and when the process is stopped by
// a signal, the temporary file is removed: a failed run leaves nothing behind.
class OutputFile {
public:
    explicit OutputFile(const std::string& target);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(const void* data, std::size_t size);
    void Commit(mode_t mode);

private:
    std::string target_;
    std::string temp_;
    int fd_;
    bool committed_ = false;
    std::uint64_t written_ = 0;
    std::uint64_t flushed_ = 0;
};

// Removes the pending temporary file and ends the process when it is
// interrupted, hung up on or terminated.
void InstallCleanupOnSignals();

// Fails with Exit::TargetExists when something is at `path` already.
void RefuseExistingTarget(const std::string& path);

// The folder part of a path ("." when it has none).
std::string FolderOf(const std::string& path);

}  // namespace tav
