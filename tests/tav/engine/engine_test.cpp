// The payload engine: the AEAD implementations against each other, and the
// chunk pipeline's order, bounds and failures.
#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <numeric>
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
// other's output; a changed byte fails and leaves no plaintext. (A chunk
// under another chunk's nonce: Vectors.MalformedOnesGiveTheirStatusAndNoOutput.)
TEST(ChunkCipher, TheEngineMatchesTheReferenceByteForByte) {
    ASSERT_GE(sodium_init(), 0);
    for (const std::size_t size : {0ul, 1ul, 63ul, 64ul, 65ul, 1000ul, 262144ul, 262145ul}) {
        SCOPED_TRACE(size);
        const auto key = Random(tav::kAeadKeySize), nonce = Random(tav::kAeadNonceSize), plain = Random(size), ad = Random(size % 97);
        const auto engine = tav::MakeChunkCipher(key.data()), reference = tav::MakeSodiumChunkCipher(key.data());
        std::vector<unsigned char> sealed[2] = {plain, plain}, tags[2] = {std::vector<unsigned char>(16), std::vector<unsigned char>(16)};
        engine->Seal(nonce.data(), ad.data(), size % 97, sealed[0].data(), size, tags[0].data());
        reference->Seal(nonce.data(), ad.data(), size % 97, sealed[1].data(), size, tags[1].data());
        EXPECT_TRUE(sealed[0] == sealed[1] && tags[0] == tags[1]);
        tav::ChunkCipher* ciphers[2] = {reference.get(), engine.get()};
        for (int i = 0; i < 2; ++i) {
            std::vector<unsigned char> opened = sealed[i], tag = tags[i];
            ASSERT_TRUE(ciphers[i]->Open(nonce.data(), ad.data(), size % 97, opened.data(), size, tag.data()));
            EXPECT_TRUE(opened == plain);
            opened = sealed[i];
            if (size > 0) opened[size / 2] ^= 1; else tag[0] ^= 1;
            EXPECT_FALSE(ciphers[i]->Open(nonce.data(), ad.data(), size % 97, opened.data(), size, tag.data()));
            EXPECT_TRUE(std::all_of(opened.begin(), opened.end() - 1, [](unsigned char c) { return c == 0; }));
            EXPECT_EQ(opened[size], sealed[i][size]) << "the guard byte";
        }
    }
}

// A pass over `chunks` chunks on `workers` workers, each transform taking its
// own time, that throws at chunk 500 in the step `failIn` names: the chunks
// written in order, what it threw, and the most chunks read but not written.
struct Passed { std::vector<std::uint64_t> written; std::string error; unsigned mostInFlight = 0; };

Passed Pass(std::uint64_t chunks, unsigned workers, const std::string& failIn) {
    Passed passed;
    std::atomic<unsigned> inFlight{0}, most{0};
    const auto step = [&](const char* here, std::uint64_t i) {
        if (i == 500 && failIn == here) throw std::runtime_error("stop in " + failIn);
    };
    tav::ChunkPass pass;
    pass.chunks = chunks;
    pass.slotSize = 8;
    pass.workers = workers;
    pass.read = [&](std::uint64_t i, unsigned char* slot) {
        step("read", i);
        most = std::max(most.load(), ++inFlight);
        std::memcpy(slot, &i, sizeof i);
        return sizeof i;
    };
    pass.transform = [&](std::uint64_t i, unsigned char*, std::size_t size, unsigned) {
        step("transform", i);
        std::this_thread::sleep_for(std::chrono::microseconds((i * 7919) % 300));
        return size;
    };
    pass.write = [&](std::uint64_t i, const unsigned char* slot, std::size_t) {
        step("write", i);
        passed.written.resize(passed.written.size() + 1);
        std::memcpy(&passed.written.back(), slot, sizeof i);
        --inFlight;
    };
    try {
        tav::RunChunkPass(pass);
    } catch (const std::runtime_error& error) {
        passed.error = error.what();
    }
    passed.mostInFlight = most;
    return passed;
}

// Chunks 0 to `count` - 1.
std::vector<std::uint64_t> InOrder(std::size_t count) { std::vector<std::uint64_t> c(count); std::iota(c.begin(), c.end(), 0); return c; }

// Chunks are written in order, each once, by workers holding one chunk each;
// a failure anywhere stops the pass, nothing from its chunk on is written,
// and the failure is the one reported.
TEST(ChunkPass, WritesInOrderAndStopsAtTheFirstFailure) {
    for (const unsigned workers : {1u, 2u, 5u}) {
        for (const std::uint64_t chunks : {1ull, 3ull, 200ull}) {
            const Passed passed = Pass(chunks, workers, "");
            EXPECT_EQ(passed.written, InOrder(chunks)) << workers << " workers, " << chunks << " chunks";
            EXPECT_LE(passed.mostInFlight, workers);
        }
    }
    for (const std::string failIn : {"read", "transform", "write"}) {
        const Passed passed = Pass(1000, 3, failIn);
        EXPECT_EQ(passed.error, "stop in " + failIn);
        EXPECT_FALSE(passed.written.empty()) << failIn;
        EXPECT_EQ(passed.written, InOrder(std::min<std::size_t>(passed.written.size(), 500))) << failIn;
    }
}

}  // namespace
