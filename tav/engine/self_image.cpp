#include "tav/engine/self_image.h"

#include "tav/format/format.h"

namespace tav {

bool FindTrailer(const SourceFile& file, std::uint64_t& dataOffset) {
    if (file.size() < kTrailerSize + kHeaderSize) return false;
    TrailerBytes trailer;
    if (file.ReadAt(file.size() - kTrailerSize, trailer.data(), kTrailerSize) != kTrailerSize) return false;
    std::uint64_t offset;
    if (!ParseTrailer(trailer, offset) || offset > file.size() - kTrailerSize - kHeaderSize) return false;
    dataOffset = offset;
    return true;
}

SelfImage FindSelfImage() {
    SelfImage self;
    self.path = OwnProgramPath();
    const SourceFile program(self.path);
    std::uint64_t dataOffset;
    self.carriesData = FindTrailer(program, dataOffset);
    return self;
}

}  // namespace tav
