#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "tav/engine/chunk_cipher.h"
#include "tav/format/format.h"

// What encrypting and decrypting share about a payload's chunks.
namespace tav {

inline constexpr std::size_t kSealedMetadataSizeV2 = kMetadataSize + kTagSizeV2;

// The length of chunk `index` of a payload of `payload` bytes.
inline std::size_t ChunkLength(std::uint64_t payload, std::uint64_t index, std::size_t chunkSize) {
    const std::uint64_t left = payload - index * chunkSize;
    return static_cast<std::size_t>(left < chunkSize ? left : chunkSize);
}

// One cipher per worker, each under the file's payload key.
inline std::vector<std::unique_ptr<ChunkCipher>> CiphersFor(const DerivedKeys& keys, unsigned workers) {
    std::vector<std::unique_ptr<ChunkCipher>> ciphers;
    for (unsigned w = 0; w < workers; ++w) ciphers.push_back(MakeChunkCipher(keys.streamKey()));
    return ciphers;
}

}  // namespace tav
