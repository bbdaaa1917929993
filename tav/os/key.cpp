#include <cstring>

#include "tav/base/failure.h"
#include "tav/os/key.h"
#include "tav/os/key_line.h"

namespace tav {

namespace {

constexpr std::size_t kMaxKeyLine = 64 * 1024;

std::unique_ptr<SecureBuffer> CopiedKey(const unsigned char* bytes, std::size_t size) {
    auto key = std::make_unique<SecureBuffer>(size);
    if (size > 0) std::memcpy(key->data(), bytes, size);  // an empty key's bytes may be no pointer at all
    return key;
}

}  // namespace

// Only the wipe is the library's here, and it needs no start-up.
KeyArgument::KeyArgument(char* argument) : bytes_(argument, argument + std::strlen(argument)) {
    sodium_memzero(argument, bytes_.size());
}

KeyArgument::~KeyArgument() { sodium_memzero(bytes_.data(), bytes_.size()); }

std::unique_ptr<SecureBuffer> KeyArgument::Take() {
    auto key = NonEmptyKey(CopiedKey(bytes_.data(), bytes_.size()));
    sodium_memzero(bytes_.data(), bytes_.size());
    return key;
}

std::unique_ptr<SecureBuffer> ReadKeyBytes(const std::function<bool(unsigned char&)>& readByte) {
    SecureBuffer line(kMaxKeyLine);
    std::size_t size = 0;
    unsigned char c;
    while (readByte(c) && c != '\n') {
        if (size == line.size()) throw Failure(Exit::Usage, "the key is too long (at most 65536 bytes on standard input)");
        line.data()[size++] = c;
    }
    if (size > 0 && line.data()[size - 1] == '\r') --size;
    return CopiedKey(line.data(), size);
}

std::unique_ptr<SecureBuffer> NonEmptyKey(std::unique_ptr<SecureBuffer> key) {
    if (key->size() == 0) throw Failure(Exit::Usage, "the key is empty");
    return key;
}

}  // namespace tav
