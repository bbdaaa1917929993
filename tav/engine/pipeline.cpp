#include "tav/engine/pipeline.h"

#include <sodium.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace tav {

namespace {

// Every worker takes the next chunk, reads it, transforms it, and writes it
// when its turn comes: chunks are written in order while the other workers
// read and transform the ones after it. A worker holds one chunk at a time.
class Pass {
public:
    explicit Pass(const ChunkPass& pass) : pass_(pass) {}

    void Run() {
        const unsigned workers = static_cast<unsigned>(std::min<std::uint64_t>(std::max(1u, pass_.workers), pass_.chunks));
        std::vector<std::thread> threads;
        for (unsigned w = 1; w < workers; ++w) threads.emplace_back([this, w] { Guarded(w); });
        Guarded(0);
        for (std::thread& thread : threads) thread.join();
        if (error_) std::rethrow_exception(error_);
    }

private:
    // Of several failures, the one of the earliest chunk is told: a chunk
    // before a failing one is still worked on, so that is always the same
    // one, whichever worker was quicker.
    void Guarded(unsigned worker) {
        std::uint64_t chunk = 0;
        try {
            Work(worker, chunk);
        } catch (...) {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (chunk < errorChunk_) {
                error_ = std::current_exception();
                errorChunk_ = chunk;
            }
            turnTaken_.notify_all();
        }
    }

    void Work(unsigned worker, std::uint64_t& i) {
        std::vector<unsigned char> slot(pass_.slotSize);
        struct Wipe {
            std::vector<unsigned char>& bytes;
            ~Wipe() { sodium_memzero(bytes.data(), bytes.size()); }  // it may have held plaintext
        } wipe{slot};
        for (;;) {
            i = next_++;
            if (i >= pass_.chunks || i > errorChunk_) return;
            std::size_t size = pass_.read(i, slot.data());
            size = pass_.transform(i, slot.data(), size, worker);
            if (!WaitForTurn(i)) return;
            pass_.write(i, slot.data(), size);
            PassTurn(i + 1);
        }
    }

    // The turn mostly comes within the time another worker takes to write a
    // chunk, and a worker waiting for it has nothing else to do: it waits on
    // the spot, yielding the processor, for up to a millisecond before it
    // sleeps. A sleep and a wake-up for every chunk cost a system call each,
    // and under Wine round trips to its server that kept the second core
    // from helping at all.
    bool WaitForTurn(std::uint64_t index) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1);
        while (!failed() && turn_.load(std::memory_order_acquire) != index &&
               std::chrono::steady_clock::now() < until) {
            std::this_thread::yield();
        }
        std::unique_lock<std::mutex> lock(mutex_);
        turnTaken_.wait(lock, [&] { return failed() || turn_ == index; });
        return !failed();
    }

    bool failed() const { return errorChunk_ != kNoError; }

    void PassTurn(std::uint64_t index) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            turn_.store(index, std::memory_order_release);
        }
        turnTaken_.notify_all();
    }

    const ChunkPass& pass_;
    std::atomic<std::uint64_t> next_{0};
    std::mutex mutex_;
    std::condition_variable turnTaken_;
    std::atomic<std::uint64_t> turn_{0};  // set under mutex_, read without it while waiting on the spot
    static constexpr std::uint64_t kNoError = UINT64_MAX;
    std::exception_ptr error_;
    std::atomic<std::uint64_t> errorChunk_{kNoError};  // the chunk of error_, set under mutex_
};

}  // namespace

void RunChunkPass(const ChunkPass& pass) {
    if (pass.chunks == 0) return;
    Pass(pass).Run();
}

unsigned WorkerCount() { return std::max(1u, std::thread::hardware_concurrency()); }

}  // namespace tav
