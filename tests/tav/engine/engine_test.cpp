// The payload engine: the AEAD implementations against each other, and the
// chunk pipeline's order, bounds and failures.
#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <chrono>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tav/engine/chunk_cipher.h"
#include "tav/engine/pipeline.h"

namespace {

// `size` random bytes and one more, a guard that no call may change; so the
// data is never a null pointer, even when `size` is 0.
std::vector<unsigned char> Random(std::size_t size) {
    std::vector<unsigned char> bytes(size + 1);
    randombytes_buf(bytes.data(), bytes.size());
    return bytes;
}

// The engine and libsodium's reference produce the same bytes and open each
// other's output; a changed byte anywhere fails and leaves no plaintext.
TEST(ChunkCipher, TheEngineMatchesTheReferenceByteForByte) {
    ASSERT_GE(sodium_init(), 0);
    for (const std::size_t size : {0ul, 1ul, 63ul, 64ul, 65ul, 1000ul, 262144ul, 262145ul}) {
        SCOPED_TRACE(size);
        const auto key = Random(tav::kAeadKeySize);
        const auto nonce = Random(tav::kAeadNonceSize);
        const auto ad = Random(size % 97);
        const std::size_t adSize = size % 97;
        const auto plain = Random(size);
        auto engine = tav::MakeChunkCipher(key.data());
        auto reference = tav::MakeSodiumChunkCipher(key.data());

        std::vector<unsigned char> a = plain, b = plain, tagA(16), tagB(16);
        engine->Seal(nonce.data(), ad.data(), adSize, a.data(), size, tagA.data());
        reference->Seal(nonce.data(), ad.data(), adSize, b.data(), size, tagB.data());
        EXPECT_TRUE(a == b);
        EXPECT_TRUE(tagA == tagB);

        std::vector<unsigned char> opened = a;
        ASSERT_TRUE(reference->Open(nonce.data(), ad.data(), adSize, opened.data(), size, tagA.data()));
        EXPECT_TRUE(opened == plain);
        opened = b;
        ASSERT_TRUE(engine->Open(nonce.data(), ad.data(), adSize, opened.data(), size, tagB.data()));
        EXPECT_TRUE(opened == plain);

        for (tav::ChunkCipher* cipher : {engine.get(), reference.get()}) {
            std::vector<unsigned char> tag = tagA, damaged = a;
            if (size > 0) damaged[size / 2] ^= 1; else tag[0] ^= 1;
            EXPECT_FALSE(cipher->Open(nonce.data(), ad.data(), adSize, damaged.data(), size, tag.data()));
            EXPECT_TRUE(std::all_of(damaged.begin(), damaged.begin() + static_cast<std::ptrdiff_t>(size),
                                    [](unsigned char c) { return c == 0; }));
            EXPECT_EQ(damaged[size], a[size]) << "the guard byte";
            auto otherNonce = nonce;
            otherNonce[11] ^= 1;
            damaged = a;
            EXPECT_FALSE(cipher->Open(otherNonce.data(), ad.data(), adSize, damaged.data(), size, tagA.data()));
        }
    }
}

// A pass over chunks whose transform takes a random time on each of
// `workers` workers: the writes still come in order, each chunk once.
std::vector<std::uint64_t> WrittenOrder(std::uint64_t chunks, unsigned workers) {
    std::vector<std::uint64_t> written;
    std::atomic<unsigned> inFlight{0}, mostInFlight{0};
    tav::ChunkPass pass;
    pass.chunks = chunks;
    pass.slotSize = 8;
    pass.workers = workers;
    pass.read = [&](std::uint64_t i, unsigned char* slot) {
        const unsigned now = ++inFlight;
        mostInFlight = std::max(mostInFlight.load(), now);
        std::memcpy(slot, &i, sizeof i);
        return sizeof i;
    };
    pass.transform = [](std::uint64_t i, unsigned char*, std::size_t size, unsigned) {
        std::this_thread::sleep_for(std::chrono::microseconds((i * 7919) % 300));
        return size;
    };
    pass.write = [&](std::uint64_t i, const unsigned char* slot, std::size_t) {
        std::uint64_t value;
        std::memcpy(&value, slot, sizeof value);
        EXPECT_EQ(value, i);
        written.push_back(value);
        --inFlight;
    };
    tav::RunChunkPass(pass);
    EXPECT_LE(mostInFlight.load(), workers) << "each worker holds one chunk at a time";
    return written;
}

TEST(ChunkPass, WritesInOrderHoldingAChunkAWorker) {
    for (const unsigned workers : {1u, 2u, 5u}) {
        for (const std::uint64_t chunks : {1ull, 3ull, 200ull}) {
            SCOPED_TRACE(std::to_string(workers) + " workers, " + std::to_string(chunks) + " chunks");
            std::vector<std::uint64_t> expected(chunks);
            for (std::uint64_t i = 0; i < chunks; ++i) expected[i] = i;
            EXPECT_EQ(WrittenOrder(chunks, workers), expected);
        }
    }
}

// A failure anywhere stops the pass: nothing from that chunk on is written,
// and the first failure is the one reported.
TEST(ChunkPass, TheFirstFailureStopsEverything) {
    for (const char* where : {"read", "transform", "write"}) {
        SCOPED_TRACE(where);
        std::uint64_t lastWritten = 0;
        bool wroteAny = false;
        tav::ChunkPass pass;
        pass.chunks = 1000;
        pass.slotSize = 1;
        pass.workers = 3;
        const auto failAt = [where](const char* here, std::uint64_t i) {
            if (i == 500 && std::string(here) == where) throw std::runtime_error(std::string("stop in ") + here);
        };
        pass.read = [&](std::uint64_t i, unsigned char*) { failAt("read", i); return std::size_t{1}; };
        pass.transform = [&](std::uint64_t i, unsigned char*, std::size_t size, unsigned) {
            failAt("transform", i);
            return size;
        };
        pass.write = [&](std::uint64_t i, const unsigned char*, std::size_t) {
            failAt("write", i);
            lastWritten = i;
            wroteAny = true;
        };
        try {
            tav::RunChunkPass(pass);
            ADD_FAILURE() << "no failure";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()), std::string("stop in ") + where);
        }
        EXPECT_TRUE(wroteAny);
        EXPECT_LT(lastWritten, 500u);
    }
}

}  // namespace
