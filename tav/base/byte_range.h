#pragma once

#include <cstdint>
#include <vector>

namespace tav {

// Bytes `from` up to, not including, `to` of a stream.
struct ByteRange {
    std::uint64_t from = 0, to = 0;
};

// True when [from, to) shares a byte with one of `ranges`, which are sorted
// and do not overlap.
inline bool Touches(const std::vector<ByteRange>& ranges, std::uint64_t from, std::uint64_t to) {
    for (const ByteRange& range : ranges) {
        if (range.from >= to) return false;
        if (range.to > from) return true;
    }
    return false;
}

}  // namespace tav
