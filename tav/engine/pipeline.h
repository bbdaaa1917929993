#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace tav {

// One pass over a payload's chunks on all cores. Each worker takes the next
// chunk, reads it, transforms it (seals or opens it) and writes it when its
// turn comes, so the chunks are written in order while the other workers
// read and transform the ones after it: reading, transforming and writing
// overlap without a hand-off between threads. A worker holds one chunk of
// `slotSize` bytes at a time, so memory stays flat whatever the size of the
// file. An exception thrown anywhere stops every worker, and nothing is
// written after it; of several, the one of the earliest chunk is rethrown
// here, so a failure is told the same way on every run. It does not choose
// chunk sizes or know about files.
struct ChunkPass {
    std::uint64_t chunks = 0;
    std::size_t slotSize = 0;
    unsigned workers = 1;
    // Fills `slot` with chunk `index` and returns how many bytes it holds.
    // Called from several workers at once.
    std::function<std::size_t(std::uint64_t index, unsigned char* slot)> read;
    // Works on the `size` bytes in `slot` in place with worker `worker`'s
    // own state, and returns how many bytes of it are the result.
    std::function<std::size_t(std::uint64_t index, unsigned char* slot, std::size_t size, unsigned worker)> transform;
    // Takes the result of chunk `index`; called for one chunk at a time, in order.
    std::function<void(std::uint64_t index, const unsigned char* slot, std::size_t size)> write;
};

void RunChunkPass(const ChunkPass& pass);

// The number of workers for this machine: every core, at least one.
unsigned WorkerCount();

}  // namespace tav
