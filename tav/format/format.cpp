#include "tav/format/format.h"

#include <algorithm>
#include <cstring>

#include "tav/base/failure.h"
#include "tav/os/hardening.h"
#include "tav/tuning.h"

namespace tav {

namespace {

constexpr unsigned char kMagic[8] = {'T', 'A', 'V', 'F', 'I', 'L', 'E', 0x1a};
constexpr unsigned char kTrailerMagic[8] = {'T', 'A', 'V', 'S', 'F', 'X', 0x1a, 0x01};
constexpr std::size_t kKeyCheckOffset = 64;
constexpr std::size_t kChecksumOffset = 80;
constexpr std::size_t kTagSize = 16;

void PutLe(unsigned char* out, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint64_t GetLe(const unsigned char* in, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = size; i > 0; --i) value = (value << 8) | in[i - 1];
    return value;
}

// The hash state left on the stack holds a keyed hash's key: wiped at once.
void Blake2b(unsigned char* out, const unsigned char* in, std::size_t size, const unsigned char* key) {
    crypto_generichash(out, kTagSize, in, size, key, key == nullptr ? 0 : crypto_generichash_KEYBYTES);
    if (key != nullptr) WipeStack();
}

}  // namespace

bool KdfParamsAllowed(const KdfParams& kdf) {
    return kdf.opsLimit >= crypto_pwhash_argon2id_OPSLIMIT_MIN && kdf.opsLimit <= kMaxOpsLimit &&
           kdf.memLimit >= crypto_pwhash_argon2id_MEMLIMIT_MIN && kdf.memLimit <= kMaxMemLimit;
}

KdfParams KdfParamsFor(std::uint32_t rounds, bool paranoia) {
    return {std::max<std::uint32_t>(rounds, 1) + 2, tuning::KdfMemLimit(paranoia)};
}

void RunArgon2id(const SecureBuffer& key, const unsigned char* salt, const KdfParams& kdf, unsigned char* out,
                 std::size_t size) {
    if (crypto_pwhash(out, size, reinterpret_cast<const char*>(key.data()), key.size(), salt, kdf.opsLimit,
                      static_cast<std::size_t>(kdf.memLimit), crypto_pwhash_ALG_ARGON2ID13) != 0) {
        throw Failure(Exit::Io, "not enough memory for the key derivation");
    }
    WipeStack();
}

void DeriveMasterKey(const SecureBuffer& key, const std::array<unsigned char, kSaltSize>& salt, const KdfParams& kdf,
                     SecureBuffer& master) {
    RunArgon2id(key, salt.data(), kdf, master.data(), kMasterKeySize);
}

void DeriveFileKeys(const SecureBuffer& master, const std::array<unsigned char, kNonceSize>& nonce, DerivedKeys& out) {
    crypto_generichash(out.bytes.data(), out.bytes.size(), nonce.data(), nonce.size(), master.data(), kMasterKeySize);
    WipeStack();
}

void DeriveKeys(const SecureBuffer& key, const Header& header, DerivedKeys& out) {
    if (header.version == kVersion1) {
        RunArgon2id(key, header.salt.data(), header.kdf, out.bytes.data(), out.bytes.size());
        return;
    }
    {
        SecureBuffer master(kMasterKeySize);
        DeriveMasterKey(key, header.salt, header.kdf, master);
        DeriveFileKeys(master, header.nonce, out);
    }
    WipeStack();
}

AeadNonce ChunkNonce(std::uint64_t index, bool last) {
    AeadNonce nonce{};
    for (int i = 0; i < 8; ++i) nonce[10 - i] = static_cast<unsigned char>(index >> (8 * i));
    nonce[11] = last ? 1 : 0;
    return nonce;
}

AeadNonce MetadataNonce() {
    AeadNonce nonce{};
    nonce[11] = 2;
    return nonce;
}

HeaderBytes SerializeHeader(const Header& header, const DerivedKeys& keys) {
    HeaderBytes bytes{};
    std::memcpy(bytes.data(), kMagic, sizeof kMagic);
    bytes[8] = header.version;
    bytes[9] = kArgon2id;
    bytes[10] = header.flags;
    bytes[11] = 0;
    PutLe(&bytes[12], header.kdf.opsLimit, 4);
    PutLe(&bytes[16], header.kdf.memLimit, 8);
    std::memcpy(&bytes[24], header.salt.data(), kSaltSize);
    std::memcpy(&bytes[40], header.nonce.data(), kNonceSize);
    Blake2b(&bytes[kKeyCheckOffset], bytes.data(), kKeyCheckOffset, keys.checkKey());
    Blake2b(&bytes[kChecksumOffset], bytes.data(), kChecksumOffset, nullptr);
    return bytes;
}

Header ParseHeader(const HeaderBytes& bytes) {
    if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) throw Failure(Exit::Damaged, "not a TAV file");
    if (bytes[8] != kVersion1 && bytes[8] != kVersion2) {
        throw Failure(Exit::Damaged, "unsupported format version " + std::to_string(bytes[8]));
    }
    unsigned char checksum[kTagSize];
    Blake2b(checksum, bytes.data(), kChecksumOffset, nullptr);
    if (sodium_memcmp(checksum, &bytes[kChecksumOffset], kTagSize) != 0) {
        throw Failure(Exit::Damaged, "the file's header is damaged");
    }
    Header header;
    header.version = bytes[8];
    header.flags = bytes[10];
    header.kdf.opsLimit = static_cast<std::uint32_t>(GetLe(&bytes[12], 4));
    header.kdf.memLimit = GetLe(&bytes[16], 8);
    const std::uint8_t knownFlags = header.version == kVersion1 ? kFlagPadded : kFlagPadded | kFlagFolder;
    if (bytes[9] != kArgon2id || bytes[11] != 0 || (header.flags & ~knownFlags) != 0) {
        throw Failure(Exit::Damaged, "the file uses options this version of TAV does not know");
    }
    if (!KdfParamsAllowed(header.kdf)) {
        throw Failure(Exit::Damaged, "the file asks for an unreasonable key-derivation cost");
    }
    std::memcpy(header.salt.data(), &bytes[24], kSaltSize);
    std::memcpy(header.nonce.data(), &bytes[40], kNonceSize);
    return header;
}

bool KeyCheckMatches(const HeaderBytes& bytes, const DerivedKeys& keys) {
    unsigned char check[kTagSize];
    Blake2b(check, bytes.data(), kKeyCheckOffset, keys.checkKey());
    return sodium_memcmp(check, &bytes[kKeyCheckOffset], kTagSize) == 0;
}

std::array<unsigned char, kMetadataSize> SerializeMetadata(const Metadata& metadata) {
    std::array<unsigned char, kMetadataSize> bytes{};
    PutLe(bytes.data(), metadata.length, 8);
    const std::size_t nameSize = std::min(metadata.name.size(), kMaxNameSize);
    bytes[8] = static_cast<unsigned char>(nameSize);
    std::memcpy(&bytes[9], metadata.name.data(), nameSize);
    return bytes;
}

Metadata ParseMetadata(const std::array<unsigned char, kMetadataSize>& bytes) {
    Metadata metadata;
    metadata.length = GetLe(bytes.data(), 8);
    metadata.name.assign(reinterpret_cast<const char*>(&bytes[9]), bytes[8]);
    return metadata;
}

std::uint64_t PaddedLength(std::uint64_t length, bool padded) {
    if (!padded || length < 2) return length;
    // Padmé: keep the top bits of the length's binary exponent, zero the
    // rest; at most 12% overhead, and few distinct sizes per magnitude.
    const int exponent = 63 - __builtin_clzll(length);
    const int exponentBits = 32 - __builtin_clz(static_cast<unsigned>(exponent));
    const int lowBits = exponent - exponentBits;
    if (lowBits <= 0) return length;
    const std::uint64_t mask = (std::uint64_t{1} << lowBits) - 1;
    return (length + mask) & ~mask;
}

std::uint64_t ChunkCount(std::uint64_t payloadLength, std::size_t chunkSize) {
    return payloadLength == 0 ? 1 : (payloadLength + chunkSize - 1) / chunkSize;
}

TrailerBytes SerializeTrailer(std::uint64_t dataOffset) {
    TrailerBytes bytes{};
    PutLe(bytes.data(), dataOffset, 8);
    std::memcpy(&bytes[8], kTrailerMagic, sizeof kTrailerMagic);
    return bytes;
}

bool ParseTrailer(const TrailerBytes& bytes, std::uint64_t& dataOffset) {
    if (std::memcmp(&bytes[8], kTrailerMagic, sizeof kTrailerMagic) != 0) return false;
    dataOffset = GetLe(bytes.data(), 8);
    return true;
}

}  // namespace tav
