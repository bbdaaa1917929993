// What the folder source is on every system: its records in memory, and
// the files' contents read from the files themselves, each at its place in
// the archive. What the output folder leaves out when salvaging is its
// archive reader's affair on every system.
#include "tav/os/folder.h"

#include <algorithm>
#include <cstring>

#include "tav/os/names.h"

namespace tav {

namespace {

class NothingBuilt : public FolderBuilder {
public:
    void BeginFolder(const std::string&, const EntryAttributes&) override {}
    void EndFolder() override {}
    void BeginFile(const std::string&, const EntryAttributes&) override {}
    void FileData(const unsigned char*, std::size_t) override {}
    void EndFile() override {}
    void Link(const std::string&, const std::string&, const EntryAttributes&) override {}
};

// An archive read through to its end, every record, name and depth checked
// as an output folder checks them, with nothing made: a folder that cannot
// be restored here is refused before its first entry is made.
class ArchiveRehearsal : public PlainTarget {
public:
    void Write(const void* data, std::size_t size) override {
        reader_.Feed(static_cast<const unsigned char*>(data), size);
    }
    void Complete() override { reader_.Finish(); }
    bool unnamed() const override { return true; }

private:
    NothingBuilt nothing_;
    ArchiveReader reader_{nothing_, RefuseNameThisSystemCannotHold};
};

}  // namespace

void FolderSource::AddRecord(const Record& record) {
    const std::string bytes = SerializeRecord(record);
    pieces_.push_back({size_, bytes.size(), records_.size(), false});
    records_ += bytes;
    size_ += bytes.size();
}

std::size_t FolderSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    auto piece = std::upper_bound(pieces_.begin(), pieces_.end(), offset,
                                  [](std::uint64_t at, const Piece& p) { return at < p.start; });
    if (piece == pieces_.begin()) return 0;
    for (--piece; piece != pieces_.end() && done < size; ++piece) {
        const std::uint64_t from = offset + done - piece->start;
        if (from >= piece->length) continue;
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(piece->length - from, size - done));
        if (piece->isFile) {
            ReadFile(files_[piece->at], from, out + done, take);
        } else {
            std::memcpy(out + done, records_.data() + piece->at + from, take);
        }
        done += take;
    }
    return done;
}

void OutputFolder::ExpectLost(std::vector<ByteRange> lost) { reader_->ExpectLost(std::move(lost)); }

std::vector<std::string> OutputFolder::LeftOut() const { return reader_->leftOut(); }

std::unique_ptr<PlainTarget> OutputFolder::Rehearsal() const { return std::make_unique<ArchiveRehearsal>(); }

}  // namespace tav
