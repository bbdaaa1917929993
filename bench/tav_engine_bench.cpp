// TAV's sealing engine measured without file I/O, next to raw loops of the
// same AEAD, and the bare key derivation TAV pays per file.
//   tav_engine_bench [MiB]   (default 1024)
// Prints one line per figure: name, MiB/s (or seconds for the derivation).
#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tav/engine/chunk_cipher.h"
#include "tav/format/format.h"
#include "tav/engine/pipeline.h"

namespace {

using Clock = std::chrono::steady_clock;
using CipherMaker = std::unique_ptr<tav::ChunkCipher> (*)(const unsigned char*);

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Run>
double MedianSeconds(Run run) {
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        run();
        times.push_back(Seconds(start));
    }
    return Median(times);
}

// Each of `threads` threads seals its share of `total` bytes in chunks,
// over and over the same buffer: the ceiling for any engine.
double RawLoop(CipherMaker make, unsigned threads, std::uint64_t total) {
    const unsigned char key[tav::kAeadKeySize] = {7};
    return MedianSeconds([&] {
        std::vector<std::thread> pool;
        for (unsigned t = 0; t < threads; ++t) {
            pool.emplace_back([&, t] {
                auto cipher = make(key);
                std::vector<unsigned char> chunk(tav::kChunkSizeV2 + tav::kAeadTagSize, static_cast<unsigned char>(t));
                const std::uint64_t chunks = total / tav::kChunkSizeV2 / threads;
                for (std::uint64_t i = 0; i < chunks; ++i) {
                    const tav::AeadNonce nonce = tav::ChunkNonce(i, false);
                    cipher->Seal(nonce.data(), nullptr, 0, chunk.data(), tav::kChunkSizeV2,
                                 chunk.data() + tav::kChunkSizeV2);
                }
            });
        }
        for (std::thread& thread : pool) thread.join();
    });
}

// The pipeline TAV runs, with reading and writing left out.
double Engine(unsigned workers, std::uint64_t total) {
    const unsigned char key[tav::kAeadKeySize] = {7};
    return MedianSeconds([&] {
        std::vector<std::unique_ptr<tav::ChunkCipher>> ciphers;
        for (unsigned w = 0; w < workers; ++w) ciphers.push_back(tav::MakeChunkCipher(key));
        tav::ChunkPass pass;
        pass.chunks = total / tav::kChunkSizeV2;
        pass.slotSize = tav::kChunkSizeV2 + tav::kAeadTagSize;
        pass.workers = workers;
        pass.read = [](std::uint64_t, unsigned char*) { return tav::kChunkSizeV2; };
        pass.transform = [&](std::uint64_t i, unsigned char* slot, std::size_t size, unsigned worker) {
            const tav::AeadNonce nonce = tav::ChunkNonce(i, i + 1 == pass.chunks);
            ciphers[worker]->Seal(nonce.data(), nullptr, 0, slot, size, slot + size);
            return size + tav::kAeadTagSize;
        };
        pass.write = [](std::uint64_t, const unsigned char*, std::size_t) {};
        tav::RunChunkPass(pass);
    });
}

double BareKeyDerivation() {
    tav::SecureBuffer key(8), master(tav::kMasterKeySize);
    std::fill(key.data(), key.data() + key.size(), 'k');
    const std::array<unsigned char, tav::kSaltSize> salt{};
    return MedianSeconds([&] { tav::DeriveMasterKey(key, salt, tav::KdfParamsFor(1, false), master); });
}

}  // namespace

int main(int argc, char** argv) {
    if (sodium_init() < 0) return 1;
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const std::uint64_t total = mib << 20;
    const unsigned cores = tav::WorkerCount();
    const auto rate = [total](double seconds) { return static_cast<double>(total) / (1 << 20) / seconds; };
    std::printf("raw-openssl-1-core %.0f\n", rate(RawLoop(tav::MakeChunkCipher, 1, total)));
    std::printf("raw-openssl-all-cores %.0f\n", rate(RawLoop(tav::MakeChunkCipher, cores, total)));
    std::printf("raw-libsodium-1-core %.0f\n", rate(RawLoop(tav::MakeSodiumChunkCipher, 1, total)));
    std::printf("raw-libsodium-all-cores %.0f\n", rate(RawLoop(tav::MakeSodiumChunkCipher, cores, total)));
    for (const unsigned workers : {1u, 2u, 4u}) std::printf("engine-%u-workers %.0f\n", workers, rate(Engine(workers, total)));
    std::printf("engine-default-workers %.0f\n", rate(Engine(cores, total)));
    std::printf("bare-key-derivation-seconds %.3f\n", BareKeyDerivation());
    std::printf("cores %u\n", cores);
    return 0;
}
