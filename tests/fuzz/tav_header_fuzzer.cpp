// TAV's fixed-size parsers: the header, the metadata message and the
// self-decrypting trailer. The header's checksum is recomputed so that the
// fuzzer gets past it to the field checks; whatever parses must serialize
// back to the same bytes.
#include <sodium.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tav/base/failure.h"
#include "tav/format/format.h"
#include "tav/format/names.h"

namespace {

template <std::size_t N>
std::array<unsigned char, N> Take(const std::uint8_t*& data, std::size_t& size) {
    std::array<unsigned char, N> bytes{};
    const std::size_t n = size < N ? size : N;
    std::memcpy(bytes.data(), data, n);
    data += n;
    size -= n;
    return bytes;
}

void Check(bool condition) {
    if (!condition) std::abort();
}

void FuzzHeader(tav::HeaderBytes bytes, bool fixChecksum) {
    if (fixChecksum) crypto_generichash(&bytes[80], 16, bytes.data(), 80, nullptr, 0);
    tav::Header header;
    try {
        header = tav::ParseHeader(bytes);
    } catch (const tav::Failure& failure) {
        Check(failure.code() == tav::Exit::Damaged);
        return;
    }
    // A header that parses carries only what the writer can write again:
    // with the key check recomputed under any key it is the same 96 bytes.
    tav::DerivedKeys keys;
    std::memset(keys.bytes.data(), 0x5a, keys.bytes.size());
    crypto_generichash(&bytes[64], 16, bytes.data(), 64, keys.checkKey(), 32);
    crypto_generichash(&bytes[80], 16, bytes.data(), 80, nullptr, 0);
    Check(tav::SerializeHeader(header, keys) == bytes);
    Check(tav::KeyCheckMatches(bytes, keys));
}

void FuzzMetadata(const std::array<unsigned char, tav::kMetadataSize>& bytes) {
    const tav::Metadata metadata = tav::ParseMetadata(bytes);
    Check(metadata.name.size() <= tav::kMaxNameSize);
    const tav::Metadata again = tav::ParseMetadata(tav::SerializeMetadata(metadata));
    Check(again.length == metadata.length && again.name == metadata.name);
    tav::IsSafeEntryName(metadata.name);
    tav::IsWindowsName(metadata.name);
}

void FuzzTrailer(const tav::TrailerBytes& bytes) {
    std::uint64_t offset = 0;
    if (tav::ParseTrailer(bytes, offset)) Check(tav::SerializeTrailer(offset) == bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (sodium_init() < 0) std::abort();
    if (size == 0) return 0;
    const bool fixChecksum = (data[0] & 1) != 0;
    ++data, --size;
    FuzzHeader(Take<tav::kHeaderSize>(data, size), fixChecksum);
    FuzzMetadata(Take<tav::kMetadataSize>(data, size));
    FuzzTrailer(Take<tav::kTrailerSize>(data, size));
    return 0;
}
