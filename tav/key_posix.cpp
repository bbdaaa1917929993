#include "tav/key.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tav/failure.h"
#include "tav/hardening.h"

namespace tav {

namespace {

constexpr std::size_t kMaxKeyLine = 64 * 1024;

std::unique_ptr<SecureBuffer> CheckedKey(const unsigned char* bytes, std::size_t size) {
    if (size == 0) throw Failure(Exit::Usage, "the key is empty");
    auto key = std::make_unique<SecureBuffer>(size);
    std::memcpy(key->data(), bytes, size);
    return key;
}

// Turns terminal echo off for as long as it lives; a signal that ends the
// process meanwhile turns it back on too.
class EchoOff {
public:
    EchoOff() : active_(::tcgetattr(STDIN_FILENO, &saved_) == 0) {
        if (!active_) return;
        SetTerminalToRestore(&saved_);
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    ~EchoOff() {
        if (!active_) return;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
        SetTerminalToRestore(nullptr);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    termios saved_{};
    bool active_;
};

}  // namespace

std::unique_ptr<SecureBuffer> TakeKeyArgument(char* argument) {
    const std::size_t size = std::strlen(argument);
    auto key = CheckedKey(reinterpret_cast<const unsigned char*>(argument), size);
    sodium_memzero(argument, size);
    return key;
}

std::unique_ptr<SecureBuffer> ReadKeyLine(const char* prompt) {
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    std::unique_ptr<EchoOff> echoOff;
    if (terminal) {
        std::fputs(prompt, stderr);
        std::fflush(stderr);
        echoOff = std::make_unique<EchoOff>();
    }
    SecureBuffer line(kMaxKeyLine);
    std::size_t size = 0;
    unsigned char c;
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw Failure(Exit::Io, "cannot read the key from standard input");
        if (got == 0 || c == '\n') break;
        if (size == line.size()) throw Failure(Exit::Usage, "the key is too long (at most 65536 bytes on standard input)");
        line.data()[size++] = c;
    }
    if (terminal) std::fputs("\n", stderr);
    if (size > 0 && line.data()[size - 1] == '\r') --size;
    return CheckedKey(line.data(), size);
}

}  // namespace tav
