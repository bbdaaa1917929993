#pragma once

#include <sodium.h>

#include <array>
#include <cstdint>
#include <string>

#include "tav/base/secure_buffer.h"

// The TAV file format, versions 1 and 2; docs/tav-format.md describes them
// byte by byte. TAV writes version 2 and reads both.
namespace tav {

inline constexpr std::size_t kChunkSize = 64 * 1024;  // version 1
inline constexpr std::size_t kChunkSizeV2 = 256 * 1024;
inline constexpr std::size_t kHeaderSize = 96;
inline constexpr std::size_t kMetadataSize = 264;
inline constexpr std::size_t kTrailerSize = 16;
inline constexpr std::size_t kSaltSize = 16;
inline constexpr std::size_t kAuthSize = crypto_secretstream_xchacha20poly1305_ABYTES;
inline constexpr std::size_t kNonceSize = 24;  // version 1: the secretstream header; 2: the file's key nonce
inline constexpr std::size_t kTagSizeV2 = 16;
inline constexpr std::size_t kMasterKeySize = 32;
inline constexpr std::size_t kMaxNameSize = 255;

inline constexpr std::uint8_t kVersion1 = 1;
inline constexpr std::uint8_t kVersion2 = 2;
inline constexpr std::uint8_t kArgon2id = 2;
inline constexpr std::uint8_t kFlagPadded = 0x01;
inline constexpr std::uint8_t kFlagFolder = 0x02;  // version 2: the plaintext is a folder's archive

// Bounds on what a file may ask of the key derivation, so that a hostile
// file can neither exhaust memory nor keep decryption busy for hours.
inline constexpr std::uint32_t kMaxRounds = 64;
inline constexpr std::uint32_t kMaxOpsLimit = kMaxRounds + 2;
inline constexpr std::uint64_t kMaxMemLimit = 1024ull * 1024 * 1024;

using HeaderBytes = std::array<unsigned char, kHeaderSize>;

struct KdfParams {
    std::uint32_t opsLimit;
    std::uint64_t memLimit;
};

// True for a cost within the bounds above.
bool KdfParamsAllowed(const KdfParams& kdf);

// The key-derivation cost for an operation word's rounds and paranoia flag.
KdfParams KdfParamsFor(std::uint32_t rounds, bool paranoia);

struct Header {
    std::uint8_t version = kVersion2;
    std::uint8_t flags = 0;
    KdfParams kdf{};
    std::array<unsigned char, kSaltSize> salt{};
    std::array<unsigned char, kNonceSize> nonce{};
};

// The two keys of one file: one for the payload, one that proves the user's
// key right before any data is touched.
struct DerivedKeys {
    DerivedKeys() : bytes(64) {}
    const unsigned char* streamKey() const { return bytes.data(); }
    const unsigned char* checkKey() const { return bytes.data() + 32; }
    SecureBuffer bytes;
};

// Version 2: Argon2id over `key` with a salt and cost gives the master key,
// which files sharing the salt share; each file's keys come from the master
// key and the file's own nonce.
void DeriveMasterKey(const SecureBuffer& key, const std::array<unsigned char, kSaltSize>& salt, const KdfParams& kdf,
                     SecureBuffer& master);
void DeriveFileKeys(const SecureBuffer& master, const std::array<unsigned char, kNonceSize>& nonce, DerivedKeys& out);

// A file's keys from the user's key, for either version.
void DeriveKeys(const SecureBuffer& key, const Header& header, DerivedKeys& out);

// Version 2: the AEAD nonce of payload chunk `index` (a big-endian counter
// and whether it is the last chunk), and that of the metadata message.
using AeadNonce = std::array<unsigned char, 12>;
AeadNonce ChunkNonce(std::uint64_t index, bool last);
AeadNonce MetadataNonce();

// The header's 96 bytes, with its key check and checksum.
HeaderBytes SerializeHeader(const Header& header, const DerivedKeys& keys);

// Checks magic, version, checksum and parameter bounds (Exit::Damaged on
// any fault) and returns the fields; the key check comes later.
Header ParseHeader(const HeaderBytes& bytes);

// True when the key check in `bytes` matches `keys`.
bool KeyCheckMatches(const HeaderBytes& bytes, const DerivedKeys& keys);

// The first message of the stream: the plaintext's length and the source's
// file name (which a self-decrypting file restores).
struct Metadata {
    std::uint64_t length = 0;
    std::string name;
};

std::array<unsigned char, kMetadataSize> SerializeMetadata(const Metadata& metadata);
Metadata ParseMetadata(const std::array<unsigned char, kMetadataSize>& bytes);


// The payload length on disk: padded files round the length up (Padmé) so
// that the size of the encrypted file reveals little about the plaintext.
std::uint64_t PaddedLength(std::uint64_t length, bool padded);

// Number of chunks of `chunkSize` a payload of `length` bytes takes (at
// least one, the final one).
std::uint64_t ChunkCount(std::uint64_t payloadLength, std::size_t chunkSize);

// The end of a self-decrypting file: where the encrypted data starts.
using TrailerBytes = std::array<unsigned char, kTrailerSize>;
TrailerBytes SerializeTrailer(std::uint64_t dataOffset);
// The data offset, or false when `bytes` is no trailer.
bool ParseTrailer(const TrailerBytes& bytes, std::uint64_t& dataOffset);

}  // namespace tav
