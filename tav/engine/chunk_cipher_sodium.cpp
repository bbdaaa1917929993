#include <sodium.h>

#include "tav/engine/chunk_cipher.h"
#include "tav/base/secure_buffer.h"

namespace tav {

namespace {

class SodiumChunkCipher : public ChunkCipher {
public:
    explicit SodiumChunkCipher(const unsigned char* key) : key_(kAeadKeySize) {
        std::copy(key, key + kAeadKeySize, key_.data());
    }

    void Seal(const unsigned char* nonce, const unsigned char* ad, std::size_t adSize, unsigned char* data,
              std::size_t size, unsigned char* tag) override {
        crypto_aead_chacha20poly1305_ietf_encrypt_detached(data, tag, nullptr, data, size, ad, adSize, nullptr, nonce,
                                                           key_.data());
    }

    bool Open(const unsigned char* nonce, const unsigned char* ad, std::size_t adSize, unsigned char* data,
              std::size_t size, const unsigned char* tag) override {
        if (crypto_aead_chacha20poly1305_ietf_decrypt_detached(data, nullptr, data, size, tag, ad, adSize, nonce,
                                                               key_.data()) == 0) {
            return true;
        }
        sodium_memzero(data, size);
        return false;
    }

private:
    SecureBuffer key_;
};

}  // namespace

std::unique_ptr<ChunkCipher> MakeSodiumChunkCipher(const unsigned char* key) {
    return std::make_unique<SodiumChunkCipher>(key);
}

}  // namespace tav
