#include "tav/pipeline.h"

#include <sodium.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tav {

namespace {

// A chunk's place in flight. Each slot has its own lock, so a thread waking
// up is one that waits for this very slot.
struct Slot {
    enum class State { Free, Read, Done };
    std::vector<unsigned char> bytes;
    std::size_t size = 0;
    std::uint64_t index = 0;
    State state = State::Free;
    std::mutex mutex;
    std::condition_variable changed;
};

class Pass {
public:
    explicit Pass(const ChunkPass& pass) : pass_(pass) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(std::max(2u, pass.slots), pass.chunks));
        for (std::size_t i = 0; i < count; ++i) {
            slots_.push_back(std::make_unique<Slot>());
            slots_.back()->bytes.resize(pass.slotSize);
        }
    }

    ~Pass() {
        // What passed through the slots may be plaintext.
        for (auto& slot : slots_) sodium_memzero(slot->bytes.data(), slot->bytes.size());
    }

    void Run() {
        std::vector<std::thread> threads;
        threads.emplace_back([this] { Guarded([this] { ReadAll(); }); });
        for (unsigned w = 0; w < std::max(1u, pass_.workers); ++w) {
            threads.emplace_back([this, w] { Guarded([this, w] { Transform(w); }); });
        }
        Guarded([this] { WriteAll(); });
        for (std::thread& thread : threads) thread.join();
        if (error_) std::rethrow_exception(error_);
    }

private:
    Slot& SlotOf(std::uint64_t index) { return *slots_[static_cast<std::size_t>(index % slots_.size())]; }

    template <typename Work>
    void Guarded(Work work) {
        try {
            work();
        } catch (...) {
            {
                const std::lock_guard<std::mutex> lock(errorMutex_);
                if (!error_) error_ = std::current_exception();
            }
            failed_ = true;
            for (auto& slot : slots_) {
                const std::lock_guard<std::mutex> lock(slot->mutex);
                slot->changed.notify_all();
            }
        }
    }

    // Waits until chunk `index`'s slot is ready for the next step: Free (it
    // holds no chunk still to be written), or holding this chunk in `state`.
    // False when the pass failed meanwhile.
    bool WaitFor(std::uint64_t index, Slot::State state) {
        Slot& slot = SlotOf(index);
        std::unique_lock<std::mutex> lock(slot.mutex);
        slot.changed.wait(lock, [&] {
            if (failed_) return true;
            if (state == Slot::State::Free) return slot.state == Slot::State::Free;
            return slot.state == state && slot.index == index;
        });
        return !failed_;
    }

    void Publish(std::uint64_t index, Slot::State state) {
        Slot& slot = SlotOf(index);
        {
            const std::lock_guard<std::mutex> lock(slot.mutex);
            slot.index = index;
            slot.state = state;
        }
        slot.changed.notify_all();
    }

    void ReadAll() {
        for (std::uint64_t i = 0; i < pass_.chunks; ++i) {
            if (!WaitFor(i, Slot::State::Free)) return;
            Slot& slot = SlotOf(i);
            slot.size = pass_.read(i, slot.bytes.data());
            Publish(i, Slot::State::Read);
        }
    }

    void Transform(unsigned worker) {
        for (;;) {
            const std::uint64_t i = nextToTransform_++;
            if (i >= pass_.chunks || !WaitFor(i, Slot::State::Read)) return;
            Slot& slot = SlotOf(i);
            slot.size = pass_.transform(i, slot.bytes.data(), slot.size, worker);
            Publish(i, Slot::State::Done);
        }
    }

    void WriteAll() {
        for (std::uint64_t i = 0; i < pass_.chunks; ++i) {
            if (!WaitFor(i, Slot::State::Done)) return;
            Slot& slot = SlotOf(i);
            pass_.write(i, slot.bytes.data(), slot.size);
            Publish(i, Slot::State::Free);
        }
    }

    const ChunkPass& pass_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::atomic<std::uint64_t> nextToTransform_{0};
    std::atomic<bool> failed_{false};
    std::mutex errorMutex_;
    std::exception_ptr error_;
};

}  // namespace

void RunChunkPass(const ChunkPass& pass) {
    if (pass.chunks == 0) return;
    Pass(pass).Run();
}

unsigned WorkerCount() { return std::max(1u, std::thread::hardware_concurrency()); }

}  // namespace tav
