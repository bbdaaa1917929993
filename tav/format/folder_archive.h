#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tav/base/byte_range.h"
#include "tav/format/names.h"

// A folder as one stream of bytes: the plaintext of an encrypted folder
// (docs/tav-format.md describes it byte by byte). Each record is a 29-byte
// head, the entry's name, a link's target; a file's record is followed by
// the file's contents. The root folder's record comes first, with no name,
// and its end record last.
namespace tav {

inline constexpr std::size_t kRecordHeadSize = 29;
inline constexpr std::size_t kMaxLinkTargetSize = 4095;
inline constexpr unsigned kMaxFolderDepth = 1024;
inline constexpr std::uint32_t kStoredModeBits = 0777;  // no set-id or sticky bits

struct EntryAttributes {
    std::uint32_t mode = 0;  // permission bits only
    std::int64_t mtimeSeconds = 0;
    std::uint32_t mtimeNanoseconds = 0;
};

enum class RecordType : std::uint8_t { Folder = 'D', File = 'F', Link = 'L', End = 'E' };

struct Record {
    RecordType type = RecordType::End;
    std::string name;
    std::string linkTarget;
    EntryAttributes attributes;
    std::uint64_t size = 0;  // a file's contents, which follow the record
};

// The record's head, name and link target.
std::string SerializeRecord(const Record& record);

// What an archive asks to be built, in order, once the reader has checked
// each record; the first folder is the root and has no name.
class FolderBuilder {
public:
    virtual ~FolderBuilder() = default;
    virtual void BeginFolder(const std::string& name, const EntryAttributes& attributes) = 0;
    virtual void EndFolder() = 0;
    virtual void BeginFile(const std::string& name, const EntryAttributes& attributes) = 0;
    virtual void FileData(const unsigned char* data, std::size_t size) = 0;
    virtual void EndFile() = 0;
    virtual void Link(const std::string& name, const std::string& target, const EntryAttributes& attributes) = 0;
};

// Refuses (throws) a safe entry name that the system at hand cannot hold
// as it is; `path` names the entry below the root.
using NameCheck = void (*)(const std::string& name, const std::string& path);

// Reads an archive fed in pieces of any size and drives a builder; throws
// Failure(Exit::Damaged) at the first record that is malformed, out of
// place, unsafely named or nested too deeply, and for anything after the
// root's end; each name is given to `check` (when there is one) before
// anything is built for it. It creates no files and knows no paths.
class ArchiveReader {
public:
    explicit ArchiveReader(FolderBuilder& builder, NameCheck check = nullptr) : builder_(builder), check_(check) {}

    void Feed(const unsigned char* data, std::size_t size);
    // Fails unless the archive ended with the root folder's end record.
    void Finish() const;

    // Salvaging: the archive's bytes in `lost` did not verify and arrive as
    // zeros. A file any of whose contents are lost is left out; a record
    // whose own bytes are lost ends the reading there, since nothing after
    // it can be placed: the open folders are closed and the rest is left
    // out as a whole. Given before the first byte.
    void ExpectLost(std::vector<ByteRange> lost) { lost_ = std::move(lost); }
    // What was left out, one line per entry, by its path in the folder.
    const std::vector<std::string>& leftOut() const { return leftOut_; }

private:
    enum class Expect { Head, NameAndTarget, Contents, Nothing, Ignored };
    std::size_t TakeInto(const unsigned char*& data, std::size_t& size, std::size_t want);
    void ParseHead();
    void Complete();
    bool RecordLost() const { return Touches(lost_, recordStart_, offset_); }
    std::string PathOf(const std::string& name) const;
    void LeaveOutTheRest();

    FolderBuilder& builder_;
    NameCheck check_;
    Expect expect_ = Expect::Head;
    std::string pending_;
    Record record_;
    std::size_t nameSize_ = 0;
    std::size_t targetSize_ = 0;
    std::uint64_t contentsLeft_ = 0;
    unsigned depth_ = 0;
    std::uint64_t offset_ = 0;       // bytes of the archive read so far
    std::uint64_t recordStart_ = 0;  // where the record being read starts
    std::vector<ByteRange> lost_;
    std::vector<std::string> folders_;  // the path of the folder being read, below the root
    std::string lastEntry_;             // the path of the last entry built
    bool leavingOut_ = false;           // the file being read is left out
    std::vector<std::string> leftOut_;
};

}  // namespace tav
