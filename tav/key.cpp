#include <cstring>

#include "tav/failure.h"
#include "tav/key.h"
#include "tav/key_line.h"

namespace tav {

namespace {

constexpr std::size_t kMaxKeyLine = 64 * 1024;

std::unique_ptr<SecureBuffer> CopiedKey(const unsigned char* bytes, std::size_t size) {
    auto key = std::make_unique<SecureBuffer>(size);
    std::memcpy(key->data(), bytes, size);
    return key;
}

}  // namespace

std::unique_ptr<SecureBuffer> TakeKeyArgument(char* argument) {
    const std::size_t size = std::strlen(argument);
    auto key = NonEmptyKey(CopiedKey(reinterpret_cast<const unsigned char*>(argument), size));
    sodium_memzero(argument, size);
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
