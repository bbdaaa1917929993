// What the folder source is on every system: its records in memory, and
// the files' contents read from the files themselves, each at its place in
// the archive. What the output folder leaves out when salvaging is its
// archive reader's affair on every system.
#include "tav/os/folder.h"

#include <algorithm>
#include <cstring>

namespace tav {

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

}  // namespace tav
