// The key on Windows: taken from the command line (then wiped there), or
// read from the console with echo off, or as one line of standard input.
#include <windows.h>

#include <cstdio>

#include "tav/base/failure.h"
#include "tav/os/key.h"
#include "tav/os/key_line.h"

namespace tav {

namespace {

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
    std::unique_ptr<SecureBuffer> key =
        ReadKeyBytes([input, console](unsigned char& c) { return ReadByte(input, console, c); });
    if (console) std::fputs("\n", stderr);
    return NonEmptyKey(std::move(key));
}

}  // namespace tav
