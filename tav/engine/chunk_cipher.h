#pragma once

#include <cstddef>
#include <memory>

namespace tav {

inline constexpr std::size_t kAeadKeySize = 32;
inline constexpr std::size_t kAeadNonceSize = 12;
inline constexpr std::size_t kAeadTagSize = 16;

// ChaCha20-Poly1305 as RFC 8439 defines it (12-byte nonce, detached 16-byte
// tag), under one key, working in place. Two implementations give the same
// bytes: OpenSSL's, the fast engine TAV is built with where it is there, and
// libsodium's, the reference the tests hold it to. One object serves one
// thread at a time; it does not choose nonces.
class ChunkCipher {
public:
    virtual ~ChunkCipher() = default;
    virtual void Seal(const unsigned char* nonce, const unsigned char* ad, std::size_t adSize, unsigned char* data,
                      std::size_t size, unsigned char* tag) = 0;
    // False when the data is not authentic; `data` is then wiped.
    virtual bool Open(const unsigned char* nonce, const unsigned char* ad, std::size_t adSize, unsigned char* data,
                      std::size_t size, const unsigned char* tag) = 0;
};

// The engine this build of TAV uses.
std::unique_ptr<ChunkCipher> MakeChunkCipher(const unsigned char* key);

// libsodium's implementation.
std::unique_ptr<ChunkCipher> MakeSodiumChunkCipher(const unsigned char* key);

}  // namespace tav
