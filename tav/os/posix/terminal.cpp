#include <unistd.h>

#include <cstdio>

#include "tav/os/terminal.h"

namespace tav {

bool ErrorsGoToATerminal() { return ::isatty(STDERR_FILENO) == 1; }

void WriteError(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace tav
