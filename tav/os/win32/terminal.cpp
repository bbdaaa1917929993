#include <windows.h>
#include <io.h>

#include <cstdio>

#include "tav/os/terminal.h"
#include "tav/os/win32/unicode.h"

namespace tav {

bool ErrorsGoToATerminal() { return _isatty(_fileno(stderr)) != 0; }

// A console shows bytes in its own code page, which holds few of the
// characters a name or a message may have; it is given UTF-16 instead.
void WriteError(std::string_view text) {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    std::wstring wide;
    if (GetConsoleMode(error, &mode) && WideFromUtf8(text, wide)) {
        std::fflush(stderr);
        DWORD written = 0;
        WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace tav
