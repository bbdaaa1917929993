#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tav/base/byte_range.h"

namespace tav {

// The plaintext to encrypt, read at any offset from several threads at once.
class PlainSource {
public:
    virtual ~PlainSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads up to `size` bytes at `offset`; fewer only at the end.
    virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const = 0;
};

// Where decrypted plaintext goes, in order; nothing of it appears under the
// target's name before Complete().
class PlainTarget {
public:
    virtual ~PlainTarget() = default;
    virtual void Write(const void* data, std::size_t size) = 0;
    // Makes the result visible under the target's name, never replacing anything.
    virtual void Complete() = 0;
    // True when nothing written is visible under any name before Complete().
    virtual bool unnamed() const = 0;
    // Salvaging: the plaintext's bytes in `lost` will be written as zeros.
    // A file keeps them so, in place; a folder leaves out what they touch.
    virtual void ExpectLost(std::vector<ByteRange>) {}
    // What was left out for them, one line per entry (a folder's).
    virtual std::vector<std::string> LeftOut() const { return {}; }
    // A target that takes the same plaintext and checks what would be made
    // of it (a folder's names and depth) without making anything, for the
    // verifying pass; nullptr when there is nothing to check.
    virtual std::unique_ptr<PlainTarget> Rehearsal() const { return nullptr; }
};

// A regular file opened for reading at any offset. Anything else (a folder,
// a FIFO, a device, a socket) is refused at once, without blocking on it.
class SourceFile : public PlainSource {
public:
    explicit SourceFile(const std::string& path);
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    std::uint64_t size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const override;

private:
    std::string path_;
    int fd_;
    std::uint64_t size_;
};

// The mode a new file of this user gets: 0666 less the umask (Windows
// files have none).
std::uint32_t NewFileMode();

// The output file. It is created at once in the target's folder, so that an
// unwritable folder or an unusable name fails before any long work, as a
// file nobody else can open (unnamed, mode 0600, on Linux; on Windows a
// hidden name, shared with no one, that the system deletes when the file
// is closed) that gets the target's name only in Commit(), which never
// replaces an existing file: however the process ends before, even killed
// outright, nothing is left behind. Where the file system offers neither,
// a hidden temporary name stands in, removed on every failure and on every
// catchable signal.
class OutputFile : public PlainTarget {
public:
    explicit OutputFile(const std::string& target);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(const void* data, std::size_t size) override;
    void Commit(std::uint32_t permissions);
    // A decrypted file ends up as any new file of the user would.
    void Complete() override { Commit(NewFileMode()); }
    bool unnamed() const override { return unnamed_; }

private:
    void OpenNamedTemporary();
    void LinkUnnamedFile();

    std::string target_;
    std::string temp_;  // empty for an unnamed file
    bool unnamed_ = false;   // nobody else can open it, nor find it after the process ends
    bool linkAtCommit_ = false;  // named by a second link to the open file
    int fd_;
    bool committed_ = false;
    std::uint64_t written_ = 0;
    std::uint64_t flushed_ = 0;
};

// The full path of the running program's own file.
std::string OwnProgramPath();

// True when `path` names a folder (following a link to one).
bool IsFolder(const std::string& path);

// The last part of `path`, without trailing slashes.
std::string BaseName(const std::string& path);

// Fails with Exit::TargetExists when something is at `path` already.
void RefuseExistingTarget(const std::string& path);

// The folder part of a path ("." when it has none).
std::string FolderOf(const std::string& path);

// The path of `name` in `folder`, joined by the system's separator.
std::string PathIn(const std::string& folder, const std::string& name);

}  // namespace tav
