#pragma once

#include <sodium.h>

#include <cstddef>
#include <new>
#include <string_view>

namespace tav {

// Bytes for keys and key material: locked in memory so they are never
// swapped out, guarded against overruns, and wiped when freed.
class SecureBuffer {
public:
    explicit SecureBuffer(std::size_t size) : size_(size), data_(sodium_malloc(size == 0 ? 1 : size)) {
        if (data_ == nullptr) throw std::bad_alloc();
    }
    ~SecureBuffer() { sodium_free(data_); }
    SecureBuffer(const SecureBuffer&) = delete;
    SecureBuffer& operator=(const SecureBuffer&) = delete;

    unsigned char* data() { return static_cast<unsigned char*>(data_); }
    const unsigned char* data() const { return static_cast<const unsigned char*>(data_); }
    std::size_t size() const { return size_; }

private:
    std::size_t size_;
    void* data_;
};

}  // namespace tav
