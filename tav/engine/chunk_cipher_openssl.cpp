#include <openssl/evp.h>
#include <sodium.h>

#include <new>

#include "tav/engine/chunk_cipher.h"

namespace tav {

namespace {

// OpenSSL keeps the key in the context's own memory, which it wipes when
// the context is freed.
class OpensslChunkCipher : public ChunkCipher {
public:
    explicit OpensslChunkCipher(const unsigned char* key) : context_(EVP_CIPHER_CTX_new()) {
        if (context_ == nullptr || EVP_EncryptInit_ex(context_, EVP_chacha20_poly1305(), nullptr, key, nullptr) != 1) {
            throw std::bad_alloc();
        }
    }
    ~OpensslChunkCipher() override { EVP_CIPHER_CTX_free(context_); }
    OpensslChunkCipher(const OpensslChunkCipher&) = delete;
    OpensslChunkCipher& operator=(const OpensslChunkCipher&) = delete;

    void Seal(const unsigned char* nonce, const unsigned char* ad, std::size_t adSize, unsigned char* data,
              std::size_t size, unsigned char* tag) override {
        int n = 0;
        const bool sealed = EVP_CipherInit_ex(context_, nullptr, nullptr, nullptr, nonce, 1) == 1 &&
                            (adSize == 0 || EVP_CipherUpdate(context_, nullptr, &n, ad, static_cast<int>(adSize)) == 1) &&
                            (size == 0 || EVP_CipherUpdate(context_, data, &n, data, static_cast<int>(size)) == 1) &&
                            EVP_CipherFinal_ex(context_, data + size, &n) == 1 &&
                            EVP_CIPHER_CTX_ctrl(context_, EVP_CTRL_AEAD_GET_TAG, static_cast<int>(kAeadTagSize), tag) == 1;
        if (!sealed) throw std::bad_alloc();
    }

    bool Open(const unsigned char* nonce, const unsigned char* ad, std::size_t adSize, unsigned char* data,
              std::size_t size, const unsigned char* tag) override {
        int n = 0;
        const bool authentic =
            EVP_CipherInit_ex(context_, nullptr, nullptr, nullptr, nonce, 0) == 1 &&
            EVP_CIPHER_CTX_ctrl(context_, EVP_CTRL_AEAD_SET_TAG, static_cast<int>(kAeadTagSize),
                                const_cast<unsigned char*>(tag)) == 1 &&
            (adSize == 0 || EVP_CipherUpdate(context_, nullptr, &n, ad, static_cast<int>(adSize)) == 1) &&
            (size == 0 || EVP_CipherUpdate(context_, data, &n, data, static_cast<int>(size)) == 1) &&
            EVP_CipherFinal_ex(context_, data + size, &n) == 1;
        if (!authentic) sodium_memzero(data, size);
        return authentic;
    }

private:
    EVP_CIPHER_CTX* context_;
};

}  // namespace

std::unique_ptr<ChunkCipher> MakeChunkCipher(const unsigned char* key) {
    return std::make_unique<OpensslChunkCipher>(key);
}

}  // namespace tav
