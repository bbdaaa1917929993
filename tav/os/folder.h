#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tav/os/files.h"
#include "tav/format/folder_archive.h"

namespace tav {

class Descriptor;

// Whether this system's TAV encrypts and restores folders.
bool FoldersSupported();

// A folder read as its archive. The tree is walked once, up front, so the
// archive's length is known before encryption starts; files are then read
// at any offset from several threads, and each is checked to be the same
// file with the same size when it is opened, so a change during the run
// fails instead of yielding a wrong archive. Every entry is reached from its
// parent's descriptor without following a link, so a subfolder swapped for
// a link meanwhile cannot lead the walk or a read outside the folder. FIFOs,
// devices and sockets are refused. It holds every record in memory (some 40 bytes and the name
// per entry), never a file's contents.
class FolderSource : public PlainSource {
public:
    // Which file system object an entry is.
    struct Identity {
        std::uint64_t device;
        std::uint64_t inode;
        bool operator==(const Identity&) const = default;
    };

    explicit FolderSource(const std::string& path);
    ~FolderSource() override;
    FolderSource(const FolderSource&) = delete;
    FolderSource& operator=(const FolderSource&) = delete;

    std::uint64_t size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const override;

private:
    struct Piece {
        std::uint64_t start;   // in the archive
        std::uint64_t length;
        std::size_t at;        // an offset in records_, or the index of a file
        bool isFile;
    };
    struct File {
        std::string path;      // for messages
        std::string relative;  // below the root
        Identity identity;
        std::uint64_t size;
    };
    void WalkFolder(Descriptor& folder, const Identity& own, const std::string& path, const std::string& relative,
                    unsigned depth);
    void DescendInto(Descriptor& folder, const Identity& own, const Identity& listed, const std::string& name,
                     const std::string& path, const std::string& relative, unsigned depth);
    void AddRecord(const Record& record);
    void ReadFile(const File& file, std::uint64_t offset, unsigned char* buffer, std::size_t size) const;

    int root_ = -1;         // the root, held open (POSIX)
    std::string rootPath_;  // the root's full path, as the system takes it (Windows)
    std::string records_;
    std::vector<Piece> pieces_;
    std::vector<File> files_;
    std::uint64_t size_ = 0;
};

// The folder a decrypted archive becomes. It is built inside a hidden
// folder (".TAV-XXXXXX", mode 0700) in the target's parent, beside a marker
// file that tells it from anything a user made; that hidden folder is
// removed on every failure and every catchable signal, and the built folder
// gets the target's name in Complete() only after the whole archive was
// written and made durable, never replacing anything. One left by a run
// killed outright is removed by the next successful folder decryption there.
// Every entry is created inside the folder being built, relative to its
// parent's descriptor, without following links and only where nothing
// exists; permissions pass through the umask, and set-id bits, device files
// and FIFOs never appear.
class OutputFolder : public PlainTarget {
public:
    explicit OutputFolder(const std::string& target);
    ~OutputFolder() override;
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    void Write(const void* data, std::size_t size) override;
    void Complete() override;
    bool unnamed() const override { return false; }
    void ExpectLost(std::vector<ByteRange> lost) override;
    std::vector<std::string> LeftOut() const override;
    // Reads the archive as Write() does, with the same checks, and builds nothing.
    std::unique_ptr<PlainTarget> Rehearsal() const override;

private:
    class Builder;
    static int MakeBuildFolder(int temporary);

    std::string target_;
    std::string temp_;
    std::unique_ptr<Builder> builder_;
    std::unique_ptr<ArchiveReader> reader_;
    int lock_ = -1;
};

}  // namespace tav
