// The key on Windows: taken from the command line (then wiped there), or
// read from the console with echo off, in UTF-16 and so as typed, or as one
// line of standard input, whose bytes are taken as they come (UTF-8, as
// every other system's TAV reads them).
#include <windows.h>

#include <sodium.h>

#include <algorithm>
#include <cstdio>

#include "tav/base/failure.h"
#include "tav/os/key.h"
#include "tav/os/key_line.h"
#include "tav/os/terminal.h"

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

bool ReadFileByte(HANDLE input, unsigned char& c) {
    DWORD got = 0;
    const BOOL ok = ReadFile(input, &c, 1, &got, nullptr);
    if (!ok && GetLastError() != ERROR_BROKEN_PIPE) throw Failure(Exit::Io, "cannot read the key from standard input");
    return ok && got == 1;
}

// The console's characters as UTF-8 bytes, one at a time: the console is
// read in UTF-16, so that every character typed arrives, whatever the
// console's code page.
class ConsoleBytes {
public:
    explicit ConsoleBytes(HANDLE console) : console_(console) {}
    ~ConsoleBytes() { sodium_memzero(bytes_, sizeof bytes_); }
    ConsoleBytes(const ConsoleBytes&) = delete;
    ConsoleBytes& operator=(const ConsoleBytes&) = delete;

    bool Next(unsigned char& c) {
        if (next_ == count_ && !ReadCharacter()) return false;
        c = bytes_[next_++];
        return true;
    }

private:
    bool ReadUnit(wchar_t& unit) {
        DWORD got = 0;
        if (!ReadConsoleW(console_, &unit, 1, &got, nullptr)) {
            throw Failure(Exit::Io, "cannot read the key from the console");
        }
        return got == 1;
    }

    [[noreturn]] static void NotUnicode() {
        throw Failure(Exit::Usage, "the key holds a character that is not valid Unicode (an unpaired surrogate)");
    }

    bool ReadCharacter() {
        wchar_t unit = 0;
        if (!ReadUnit(unit)) return false;
        char32_t point = unit;
        if (unit >= 0xDC00 && unit <= 0xDFFF) NotUnicode();
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            wchar_t low = 0;
            if (!ReadUnit(low) || low < 0xDC00 || low > 0xDFFF) NotUnicode();
            point = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (static_cast<char32_t>(low) - 0xDC00);
        }
        Encode(point);
        return true;
    }

    void Encode(char32_t point) {
        next_ = 0;
        if (point < 0x80) {
            bytes_[0] = static_cast<unsigned char>(point);
            count_ = 1;
            return;
        }
        count_ = point < 0x800 ? 2 : point < 0x10000 ? 3 : 4;
        for (std::size_t i = count_ - 1; i > 0; --i, point >>= 6) bytes_[i] = static_cast<unsigned char>(0x80 | (point & 0x3F));
        static constexpr unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
        bytes_[0] = static_cast<unsigned char>(kLead[count_] | point);
    }

    HANDLE console_;
    unsigned char bytes_[4] = {};
    std::size_t count_ = 0;
    std::size_t next_ = 0;
};

}  // namespace

std::unique_ptr<SecureBuffer> ReadKeyLine(const char* prompt) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode;
    const bool console = GetConsoleMode(input, &mode) != 0;
    std::unique_ptr<EchoOff> echoOff;
    if (console) {
        WriteError(prompt);
        echoOff = std::make_unique<EchoOff>(input);
    }
    std::unique_ptr<SecureBuffer> key;
    if (console) {
        ConsoleBytes bytes(input);
        key = ReadKeyBytes([&bytes](unsigned char& c) { return bytes.Next(c); });
    } else {
        key = ReadKeyBytes([input](unsigned char& c) { return ReadFileByte(input, c); });
    }
    if (console) WriteError("\n");
    return NonEmptyKey(std::move(key));
}

// UTF-8 to UTF-16 to the ANSI code page, each step exact: no best fit, no
// default character, and the same characters when read back.
std::unique_ptr<SecureBuffer> KeyInEarlierEncoding(const SecureBuffer& key) {
    const auto* bytes = reinterpret_cast<const char*>(key.data());
    const int size = static_cast<int>(key.size());
    if (std::all_of(key.data(), key.data() + key.size(), [](unsigned char c) { return c < 0x80; })) return nullptr;
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, size, nullptr, 0);
    if (units <= 0) return nullptr;
    SecureBuffer wide(static_cast<std::size_t>(units) * sizeof(wchar_t));
    auto* text = reinterpret_cast<wchar_t*>(wide.data());
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, size, text, units);
    BOOL replaced = FALSE;
    const int ansiSize = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, units, nullptr, 0, nullptr, &replaced);
    if (ansiSize <= 0 || replaced) return nullptr;
    auto ansi = std::make_unique<SecureBuffer>(static_cast<std::size_t>(ansiSize));
    auto* ansiText = reinterpret_cast<char*>(ansi->data());
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, units, ansiText, ansiSize, nullptr, &replaced);
    SecureBuffer back(wide.size());
    const int backUnits = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansiText, ansiSize,
                                              reinterpret_cast<wchar_t*>(back.data()), units);
    if (replaced || backUnits != units || sodium_memcmp(back.data(), wide.data(), wide.size()) != 0) return nullptr;
    return ansi;
}

}  // namespace tav
