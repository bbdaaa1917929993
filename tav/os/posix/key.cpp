#include "tav/os/key.h"
#include "tav/os/key_line.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "tav/base/failure.h"
#include "tav/os/posix/hardening.h"

namespace tav {

namespace {

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

std::unique_ptr<SecureBuffer> ReadKeyLine(const char* prompt) {
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    std::unique_ptr<EchoOff> echoOff;
    if (terminal) {
        std::fputs(prompt, stderr);
        std::fflush(stderr);
        echoOff = std::make_unique<EchoOff>();
    }
    std::unique_ptr<SecureBuffer> key = ReadKeyBytes([](unsigned char& c) {
        for (;;) {
            const ssize_t got = ::read(STDIN_FILENO, &c, 1);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) throw Failure(Exit::Io, "cannot read the key from standard input");
            return got == 1;
        }
    });
    if (terminal) std::fputs("\n", stderr);
    return NonEmptyKey(std::move(key));
}

// TAV here has always hashed the key's bytes as they came.
std::unique_ptr<SecureBuffer> KeyInEarlierEncoding(const SecureBuffer& /*key*/) { return nullptr; }

}  // namespace tav
