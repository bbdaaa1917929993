// The real tool on both systems: its key-derivation cost, and the
// checked-in vectors that pin the file format (made by the Linux build).
#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "tests/support/tav_fixture.h"

namespace {

namespace fs = std::filesystem;
using test::ReadFile;

constexpr const char* kVectorKey = "correct horse battery staple";

std::uint64_t LittleEndian(const std::string& bytes, std::size_t offset, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = size; i > 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[offset + i - 1]);
    return value;
}

TEST(Vectors, DecryptToTheirPlaintext) {
    test::TempFolder folder;
    const std::string vectors = TAV_VECTORS;
    const std::vector<std::string> names[] = {
        {"v1/empty.txt", "v1/hello.txt", "v1/chunk-plus-one.bin", "v1/paranoid.txt"},
        {"v2/empty.txt", "v2/hello.txt", "v2/chunk-262143.bin", "v2/chunk-262144.bin", "v2/chunk-262145.bin",
         "v2/paranoid.txt"},
    };
    for (const auto& version : names) {
        for (const std::string& name : version) {
            const std::string encrypted = test::EncryptedVector(vectors, name);
            for (const std::string decrypt : {"D", "d"}) {
                SCOPED_TRACE(name + " " + decrypt);
                fs::remove(folder.file("out"));
                const auto result = test::Run(TAV_PATH, {decrypt, encrypted, folder.file("out"), kVectorKey});
                ASSERT_EQ(result.status, 0) << result.errors;
                EXPECT_TRUE(ReadFile(folder.file("out")) == ReadFile(vectors + "/" + name));
            }
        }
    }
    for (const std::string hello : {"/v1/hello_txt.TAV", "/v2/hello_txt.TAV"}) {
        EXPECT_EQ(test::Run(TAV_PATH, {"D", vectors + hello, folder.file("x"), "Correct horse battery staple"}).status, 2);
    }
}

// A version 2 file put together from docs/tav-format.md with libsodium
// alone, byte by byte: what the document says is what TAV reads.
std::string BuiltByHand(const std::string& key, const std::string& name, const std::string& plain) {
    constexpr std::size_t kChunk = 262144;
    std::string header(96, '\0');
    std::memcpy(header.data(), "TAVFILE\x1a", 8);
    header[8] = 2;
    header[9] = 2;
    const std::uint32_t ops = 1;
    const std::uint64_t mem = 8192;
    std::memcpy(&header[12], &ops, 4);  // little-endian, as is this machine
    std::memcpy(&header[16], &mem, 8);
    auto* bytes = reinterpret_cast<unsigned char*>(header.data());
    randombytes_buf(bytes + 24, 16 + 24);  // salt, nonce
    unsigned char master[32], keys[64];
    EXPECT_EQ(crypto_pwhash(master, 32, key.data(), key.size(), bytes + 24, ops, mem, crypto_pwhash_ALG_ARGON2ID13), 0);
    crypto_generichash(keys, 64, bytes + 40, 24, master, 32);
    crypto_generichash(bytes + 64, 16, bytes, 64, keys + 32, 32);
    crypto_generichash(bytes + 80, 16, bytes, 80, nullptr, 0);

    const auto seal = [&keys](std::string message, const unsigned char* nonce, const std::string& ad) {
        unsigned long long size = 0;
        std::string sealed(message.size() + 16, '\0');
        crypto_aead_chacha20poly1305_ietf_encrypt(reinterpret_cast<unsigned char*>(sealed.data()), &size,
                                                  reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                                                  reinterpret_cast<const unsigned char*>(ad.data()), ad.size(), nullptr,
                                                  nonce, keys);
        return sealed;
    };
    std::string metadata(264, '\0');
    const std::uint64_t length = plain.size();
    std::memcpy(metadata.data(), &length, 8);
    metadata[8] = static_cast<char>(name.size());
    std::memcpy(&metadata[9], name.data(), name.size());
    unsigned char nonce[12] = {0};
    nonce[11] = 2;
    std::string file = header + seal(metadata, nonce, header);
    const std::size_t chunks = plain.empty() ? 1 : (plain.size() + kChunk - 1) / kChunk;
    for (std::size_t i = 0; i < chunks; ++i) {
        std::memset(nonce, 0, sizeof nonce);
        for (int b = 0; b < 8; ++b) nonce[10 - b] = static_cast<unsigned char>(std::uint64_t{i} >> (8 * b));
        nonce[11] = i + 1 == chunks ? 1 : 0;
        file += seal(plain.substr(i * kChunk, kChunk), nonce, "");
    }
    return file;
}

// The plaintext of a version 2 file, opened from docs/tav-format.md with
// libsodium alone; "" with a failure recorded when anything does not open.
std::string OpenedByHand(const std::string& key, const std::string& file) {
    constexpr std::size_t kSealedChunk = 262144 + 16;
    const auto* bytes = reinterpret_cast<const unsigned char*>(file.data());
    unsigned char master[32], keys[64];
    EXPECT_EQ(crypto_pwhash(master, 32, key.data(), key.size(), bytes + 24, LittleEndian(file, 12, 4),
                            LittleEndian(file, 16, 8), crypto_pwhash_ALG_ARGON2ID13),
              0);
    crypto_generichash(keys, 64, bytes + 40, 24, master, 32);
    const auto open = [&](std::size_t at, std::size_t size, const unsigned char* nonce, const unsigned char* ad,
                          std::size_t adSize, std::string& out) {
        std::string plain(size - 16, '\0');
        const bool opened = crypto_aead_chacha20poly1305_ietf_decrypt(
                                reinterpret_cast<unsigned char*>(plain.data()), nullptr, nullptr, bytes + at, size, ad,
                                adSize, nonce, keys) == 0;
        out += plain;
        return opened;
    };
    unsigned char nonce[12] = {0};
    nonce[11] = 2;
    std::string metadata;
    if (!open(96, 280, nonce, bytes, 96, metadata)) ADD_FAILURE() << "the metadata does not open";
    const std::uint64_t length = LittleEndian(metadata, 0, 8);
    std::string plain;
    const std::size_t chunks = (file.size() - 96 - 280 + kSealedChunk - 1) / kSealedChunk;
    for (std::size_t i = 0; i < chunks; ++i) {
        std::memset(nonce, 0, sizeof nonce);
        for (int b = 0; b < 8; ++b) nonce[10 - b] = static_cast<unsigned char>(std::uint64_t{i} >> (8 * b));
        nonce[11] = i + 1 == chunks ? 1 : 0;
        const std::size_t at = 96 + 280 + i * kSealedChunk;
        if (!open(at, std::min(kSealedChunk, file.size() - at), nonce, nullptr, 0, plain)) {
            ADD_FAILURE() << "chunk " << i << " of " << chunks << " does not open";
            return "";
        }
    }
    return plain.substr(0, length);
}

// Both ways between TAV and the document, on payloads long enough for
// every byte of the chunk index that a file of today's sizes uses to change
// (300 chunks: an index kept in one byte would repeat a nonce).
TEST(Version2, TavAndTheDocumentAgreeOnLongPayloads) {
    ASSERT_GE(sodium_init(), 0);
    test::TempFolder folder;
    std::string plain(300 * 262144 + 7, '\0');
    randombytes_buf(plain.data(), plain.size());
    test::WriteFile(folder.file("long.bin"), plain);
    ASSERT_EQ(test::Run(TAV_PATH, {"e1", folder.file("long.bin"), folder.file("long_bin.TAV"), "k"}).status, 0);
    EXPECT_TRUE(OpenedByHand("k", ReadFile(folder.file("long_bin.TAV"))) == plain);
    test::WriteFile(folder.file("by-hand.TAV"), BuiltByHand("hand key", "long.bin", plain));
    const auto result = test::Run(TAV_PATH, {"D", folder.file("by-hand.TAV"), folder.file("out"), "hand key"});
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_TRUE(ReadFile(folder.file("out")) == plain);
}

TEST(Version2, AFileBuiltFromTheDocumentDecrypts) {
    ASSERT_GE(sodium_init(), 0);
    test::TempFolder folder;
    for (const std::size_t size : {0ul, 5ul, 262144ul, 600000ul}) {
        SCOPED_TRACE(size);
        std::string plain(size, '\0');
        randombytes_buf(plain.data(), plain.size());
        test::WriteFile(folder.file("by-hand.TAV"), BuiltByHand("hand key", "by-hand.bin", plain));
        for (const std::string decrypt : {"D", "d"}) {
            fs::remove(folder.file("out"));
            const auto result = test::Run(TAV_PATH, {decrypt, folder.file("by-hand.TAV"), folder.file("out"), "hand key"});
            ASSERT_EQ(result.status, 0) << result.errors;
            EXPECT_TRUE(ReadFile(folder.file("out")) == plain);
        }
    }
}

// One file per way a file can be damaged, for each format version, with the
// status it must give; a failing run leaves no output and says why in one line.
TEST(MalformedVectors, EachGivesItsStatusAndNoOutput) {
    test::TempFolder folder;
    const std::vector<test::MalformedVector> vectors = test::MalformedVectors(TAV_VECTORS);
    for (const test::MalformedVector& vector : vectors) {
        for (const std::string decrypt : {"D", "d"}) {
            SCOPED_TRACE(decrypt + " " + vector.path);
            fs::remove(folder.file("out"));
            const auto result = test::Run(TAV_PATH, {decrypt, vector.path, folder.file("out"), kVectorKey});
            EXPECT_EQ(result.status, vector.status) << result.errors;
            EXPECT_EQ(fs::exists(folder.file("out")), vector.status == 0);
            EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), vector.status == 0 ? 0 : 1)
                << result.errors;
            test::ExpectNoTavTemporaries(folder.path());
            // An existing target is told as such before any other check.
            test::WriteFile(folder.file("taken"), "mine");
            EXPECT_EQ(test::Run(TAV_PATH, {decrypt, vector.path, folder.file("taken"), "wrong key"}).status, 4);
            EXPECT_EQ(ReadFile(folder.file("taken")), "mine");
        }
    }
    EXPECT_GE(vectors.size(), 100u);
}

TEST(RealParameters, RoundTripWithTheStoredCost) {
    test::TempFolder folder;
    test::WriteFile(folder.file("a.txt"), "real cost");
    ASSERT_EQ(test::Run(TAV_PATH, {"e1", folder.file("a.txt"), folder.file("a_txt.TAV"), "k"}).status, 0);
    ASSERT_EQ(test::Run(TAV_PATH, {"e0+", folder.file("a.txt"), folder.file("p_txt.TAV"), "k"}).status, 0);
    const std::string plain = ReadFile(folder.file("a_txt.TAV"));
    const std::string paranoid = ReadFile(folder.file("p_txt.TAV"));
    EXPECT_EQ(plain[8], 2) << "version";
    EXPECT_EQ(LittleEndian(plain, 12, 4), 3u) << "opslimit: rounds + 2";
    EXPECT_EQ(LittleEndian(plain, 16, 8), 256u << 20) << "memlimit";
    EXPECT_EQ(LittleEndian(paranoid, 16, 8), 1u << 30);
    EXPECT_EQ(paranoid[10], 1) << "padded";

    ASSERT_EQ(test::Run(TAV_PATH, {"D", folder.file("a_txt.TAV"), folder.file("back.txt"), "k"}).status, 0);
    EXPECT_EQ(ReadFile(folder.file("back.txt")), "real cost");
}

}  // namespace
