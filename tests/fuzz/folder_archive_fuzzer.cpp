// The folder archive reader, fed in pieces whose sizes the input chooses.
// It must end every input with a clean Damaged failure or an archive whose
// builder calls are balanced and whose names are all safe; what it accepts
// must read the same when fed whole; told that some bytes are lost, as when
// salvaging, it must still end cleanly with balanced builder calls.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tav/base/failure.h"
#include "tav/format/folder_archive.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

class Checker : public tav::FolderBuilder {
public:
    void BeginFolder(const std::string& name, const tav::EntryAttributes& attributes) override {
        Check(depth == 0 ? name.empty() : tav::IsSafeEntryName(name));
        Check(!inFile && (attributes.mode & ~tav::kStoredModeBits) == 0);
        Check(++depth <= tav::kMaxFolderDepth);
        log += "D" + name;
    }
    void EndFolder() override {
        Check(!inFile && depth > 0);
        --depth;
        log += "E";
    }
    void BeginFile(const std::string& name, const tav::EntryAttributes&) override {
        Check(depth > 0 && !inFile && tav::IsSafeEntryName(name));
        tav::IsWindowsName(name);  // any name, the other system's rule too
        inFile = true;
        log += "F" + name;
    }
    void FileData(const unsigned char* data, std::size_t size) override {
        Check(inFile);
        log.append(reinterpret_cast<const char*>(data), size);
    }
    void EndFile() override {
        Check(inFile);
        inFile = false;
    }
    void Link(const std::string& name, const std::string& target, const tav::EntryAttributes&) override {
        Check(depth > 0 && !inFile && tav::IsSafeEntryName(name) && !target.empty());
        log += "L" + name + target;
    }
    unsigned depth = 0;
    bool inFile = false;
    std::string log;
};

// Feeds `size` bytes in pieces of `piece` bytes; true when the archive was whole and sound.
bool Read(const std::uint8_t* data, std::size_t size, std::size_t piece, Checker& checker,
          std::vector<tav::ByteRange> lost = {}) {
    tav::ArchiveReader reader(checker);
    reader.ExpectLost(std::move(lost));
    try {
        for (std::size_t at = 0; at < size; at += piece) reader.Feed(data + at, size - at < piece ? size - at : piece);
        reader.Finish();
        return true;
    } catch (const tav::Failure& failure) {
        Check(failure.code() == tav::Exit::Damaged);
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t piece = 1 + data[0] % 64;
    Checker pieces;
    const bool accepted = Read(data + 1, size - 1, piece, pieces);
    Checker whole;
    Check(Read(data + 1, size - 1, size, whole) == accepted);
    if (accepted) Check(pieces.depth == 0 && !pieces.inFile && pieces.log == whole.log);
    // A quarter to a half of the input lost, where the first byte says.
    const std::uint64_t from = (data[0] / 64) * (size - 1) / 4;
    Checker salvaged;
    if (Read(data + 1, size - 1, piece, salvaged, {{from, from + (size - 1) / 4 + 1}})) {
        Check(salvaged.depth == 0 && !salvaged.inFile);
    }
    return 0;
}
