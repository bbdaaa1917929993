// The key on Windows: taken from the command line (then wiped there), or
// read from the console with echo off, or as one line of standard input.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "tav/failure.h"
#include "tav/key.h"

namespace tav {

namespace {

constexpr std::size_t kMaxKeyLine = 64 * 1024;

std::unique_ptr<SecureBuffer> CheckedKey(const unsigned char* bytes, std::size_t size) {
    if (size == 0) throw Failure(Exit::Usage, "the key is empty");
    auto key = std::make_unique<SecureBuffer>(size);
    std::memcpy(key->data(), bytes, size);
    return key;
}

HANDLE g_console = INVALID_HANDLE_VALUE;
DWORD g_savedMode = 0;

// Ctrl-C while the key is typed: echo comes back before the process ends.
BOOL WINAPI RestoreEcho(DWORD /*event*/) {
    SetConsoleMode(g_console, g_savedMode);
    return FALSE;
}

// Turns console echo off for as long as it lives.
class EchoOff {
public:
    explicit EchoOff(HANDLE console) {
        g_console = console;
        GetConsoleMode(console, &g_savedMode);
        SetConsoleCtrlHandler(&RestoreEcho, TRUE);
        SetConsoleMode(console, (g_savedMode | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~ENABLE_ECHO_INPUT);
    }
    ~EchoOff() {
        SetConsoleMode(g_console, g_savedMode);
        SetConsoleCtrlHandler(&RestoreEcho, FALSE);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
};

bool ReadByte(HANDLE input, bool console, unsigned char& c) {
    DWORD got = 0;
    const BOOL ok = console ? ReadConsoleA(input, &c, 1, &got, nullptr) : ReadFile(input, &c, 1, &got, nullptr);
    if (!ok && GetLastError() != ERROR_BROKEN_PIPE) throw Failure(Exit::Io, "cannot read the key from standard input");
    return ok && got == 1;
}

}  // namespace

std::unique_ptr<SecureBuffer> TakeKeyArgument(char* argument) {
    const std::size_t size = std::strlen(argument);
    auto key = CheckedKey(reinterpret_cast<const unsigned char*>(argument), size);
    sodium_memzero(argument, size);
    return key;
}

std::unique_ptr<SecureBuffer> ReadKeyLine(const char* prompt) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode;
    const bool console = GetConsoleMode(input, &mode) != 0;
    std::unique_ptr<EchoOff> echoOff;
    if (console) {
        std::fputs(prompt, stderr);
        std::fflush(stderr);
        echoOff = std::make_unique<EchoOff>(input);
    }
    SecureBuffer line(kMaxKeyLine);
    std::size_t size = 0;
    unsigned char c;
    while (ReadByte(input, console, c) && c != '\n') {
        if (size == line.size()) throw Failure(Exit::Usage, "the key is too long (at most 65536 bytes on standard input)");
        line.data()[size++] = c;
    }
    if (console) std::fputs("\n", stderr);
    if (size > 0 && line.data()[size - 1] == '\r') --size;
    return CheckedKey(line.data(), size);
}

}  // namespace tav
