// The real tool on both systems: its key-derivation cost, the checked-in
// files that pin the file format (made by the Linux build), and the format
// document itself, followed with libsodium alone.
#include <gtest/gtest.h>
#include <sodium.h>

#include <array>
#include <filesystem>

#include "tests/support/tav_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace test;

constexpr const char* kVectorKey = "correct horse battery staple";
constexpr std::size_t kChunk = 262144, kTag = 16, kHeader = 96, kSealedMetadata = 264 + kTag;

class Vectors : public TavTest {
protected:
    RunResult Real(const std::vector<std::string>& arguments) { return test::Run(TAV_PATH, arguments); }

    // The real tool's D and d both turn `encrypted` into `plain`.
    void ExpectDecryptsTo(const std::string& encrypted, const std::string& key, const std::string& plain) {
        for (const std::string decrypt : {"D", "d"}) {
            fs::remove(file("out"));
            const auto result = Real({decrypt, encrypted, file("out"), key});
            EXPECT_EQ(result.status, kOk) << decrypt << " " << encrypted << ": " << result.errors;
            EXPECT_TRUE(ReadFile(file("out")) == plain) << decrypt << " " << encrypted;
        }
    }
};

const unsigned char* Bytes(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }
unsigned char* Bytes(std::string& text) { return reinterpret_cast<unsigned char*>(text.data()); }

TEST_F(Vectors, DecryptToTheirPlaintext) {
    for (const std::string name : {"v1/empty.txt", "v1/hello.txt", "v1/chunk-plus-one.bin", "v1/paranoid.txt",
                                   "v2/empty.txt", "v2/hello.txt", "v2/chunk-262143.bin", "v2/chunk-262144.bin",
                                   "v2/chunk-262145.bin", "v2/paranoid.txt"}) {
        ExpectDecryptsTo(EncryptedVector(TAV_VECTORS, name), kVectorKey, ReadFile(TAV_VECTORS "/" + name));
    }
}

// A version 2 file as docs/tav-format.md describes it: the file's keys
// from the user's key and the header, each message's nonce, and the
// messages sealed and opened.
class Document {
public:
    Document(const std::string& key, const std::string& header) {
        unsigned char master[32];
        EXPECT_EQ(crypto_pwhash(master, 32, key.data(), key.size(), Bytes(header) + 24, LittleEndian(header, 12, 4),
                                LittleEndian(header, 16, 8), crypto_pwhash_ALG_ARGON2ID13),
                  0);
        crypto_generichash(keys_, 64, Bytes(header) + 40, 24, master, 32);
    }

    const unsigned char* checkKey() const { return keys_ + 32; }

    // Chunk `i`: `i` as an 11-byte big-endian number, then 1 for the last
    // chunk and 0 for the others; the metadata: eleven zeros, then 2.
    static std::array<unsigned char, 12> Nonce(std::uint64_t i, unsigned char last) {
        std::array<unsigned char, 12> nonce{};
        for (int b = 0; b < 8; ++b) nonce[10 - b] = static_cast<unsigned char>(i >> (8 * b));
        nonce[11] = last;
        return nonce;
    }

    std::string Seal(std::string message, const std::array<unsigned char, 12>& nonce, const std::string& ad) const {
        message.resize(message.size() + kTag);
        crypto_aead_chacha20poly1305_ietf_encrypt(Bytes(message), nullptr, Bytes(message), message.size() - kTag,
                                                  Bytes(ad), ad.size(), nullptr, nonce.data(), keys_);
        return message;
    }

    // The message, with a failure recorded when it does not open.
    std::string Open(std::string sealed, const std::array<unsigned char, 12>& nonce, const std::string& ad) const {
        EXPECT_EQ(crypto_aead_chacha20poly1305_ietf_decrypt(Bytes(sealed), nullptr, nullptr, Bytes(sealed),
                                                            sealed.size(), Bytes(ad), ad.size(), nonce.data(), keys_), 0);
        return sealed.substr(0, sealed.size() - kTag);
    }

private:
    unsigned char keys_[64];  // the payload key, then the check key
};

std::string BuiltByHand(const std::string& key, const std::string& name, const std::string& plain) {
    std::string header(kHeader, '\0');
    header.replace(0, 10, "TAVFILE\x1a\x02\x02", 10);  // magic, version, Argon2id
    header[12] = 1;                                     // opslimit 1 and memlimit 8192, little-endian
    header[17] = 0x20;
    randombytes_buf(Bytes(header) + 24, 16 + 24);  // salt, nonce
    const Document document(key, header);
    crypto_generichash(Bytes(header) + 64, 16, Bytes(header), 64, document.checkKey(), 32);
    crypto_generichash(Bytes(header) + 80, 16, Bytes(header), 80, nullptr, 0);
    std::string metadata(264, '\0');
    for (int b = 0; b < 8; ++b) metadata[b] = static_cast<char>(plain.size() >> (8 * b));
    metadata[8] = static_cast<char>(name.size());
    metadata.replace(9, name.size(), name);
    std::string file = header + document.Seal(metadata, Document::Nonce(0, 2), header);
    const std::size_t chunks = std::max<std::size_t>(1, (plain.size() + kChunk - 1) / kChunk);
    for (std::size_t i = 0; i < chunks; ++i) {
        file += document.Seal(plain.substr(i * kChunk, kChunk), Document::Nonce(i, i + 1 == chunks), "");
    }
    return file;
}

std::string OpenedByHand(const std::string& key, const std::string& file) {
    const std::string header = file.substr(0, kHeader);
    const Document document(key, header);
    const std::string metadata = document.Open(file.substr(kHeader, kSealedMetadata), Document::Nonce(0, 2), header);
    const std::size_t start = kHeader + kSealedMetadata, sealed = kChunk + kTag;
    const std::size_t chunks = (file.size() - start + sealed - 1) / sealed;
    std::string plain;
    for (std::size_t i = 0; i < chunks; ++i) {
        plain += document.Open(file.substr(start + i * sealed, sealed), Document::Nonce(i, i + 1 == chunks), "");
    }
    return plain.substr(0, LittleEndian(metadata, 0, 8));
}

// Both ways between TAV and the document, around the chunk size and on a
// payload long enough for a chunk index kept in one byte to repeat a nonce.
TEST_F(Vectors, Version2TavAndTheDocumentAgree) {
    ASSERT_GE(sodium_init(), 0);
    for (const std::size_t size : {std::size_t{0}, std::size_t{5}, kChunk, std::size_t{600000}, 300 * kChunk + 7}) {
        SCOPED_TRACE(size);
        std::string plain(size, '\0');
        randombytes_buf(plain.data(), plain.size());
        WriteFile(file("plain.bin"), plain);
        fs::remove(file("plain.TAV"));
        ASSERT_EQ(Tool({"e1", file("plain.bin"), file("plain.TAV"), "k"}).status, kOk);
        EXPECT_TRUE(OpenedByHand("k", ReadFile(file("plain.TAV"))) == plain);
        WriteFile(file("by-hand.TAV"), BuiltByHand("hand key", "by-hand.bin", plain));
        ExpectDecryptsTo(file("by-hand.TAV"), "hand key", plain);
    }
}

// One file per way a file can be damaged, for each format version, with the
// status it must give; an existing target is told as such before any other
// check.
TEST_F(Vectors, MalformedOnesGiveTheirStatusAndNoOutput) {
    const std::vector<MalformedVector> vectors = MalformedVectors(TAV_VECTORS);
    EXPECT_GE(vectors.size(), 100u);
    WriteFile(file("taken"), "mine");
    for (const MalformedVector& vector : vectors) {
        for (const std::string decrypt : {"D", "d"}) {
            SCOPED_TRACE(decrypt + " " + vector.path);
            fs::remove(file("out"));
            const auto result = Real({decrypt, vector.path, file("out"), kVectorKey});
            if (vector.status != kOk) ExpectRefused(result, vector.status, file("out"));
            EXPECT_EQ(fs::exists(file("out")), vector.status == kOk) << result.errors;
            EXPECT_EQ(Real({decrypt, vector.path, file("taken"), "wrong key"}).status, kTargetExists);
        }
    }
    EXPECT_EQ(ReadFile(file("taken")), "mine");
}

TEST_F(Vectors, TheRealToolStoresItsCost) {
    WriteFile(file("a.txt"), "real cost");
    ASSERT_EQ(Real({"e1", file("a.txt"), file("a_txt.TAV"), "k"}).status, kOk);
    ASSERT_EQ(Real({"e0+", file("a.txt"), file("p_txt.TAV"), "k"}).status, kOk);
    const std::string plain = ReadFile(file("a_txt.TAV")), paranoid = ReadFile(file("p_txt.TAV"));
    EXPECT_EQ(plain[8], 2) << "version";
    EXPECT_EQ(LittleEndian(plain, 12, 4), 3u) << "opslimit: rounds + 2";
    EXPECT_EQ(LittleEndian(plain, 16, 8), 256u << 20) << "memlimit";
    EXPECT_EQ(LittleEndian(paranoid, 16, 8), 1u << 30);
    EXPECT_EQ(paranoid[10], 1) << "padded";
}

}  // namespace
