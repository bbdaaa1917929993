#pragma once

#include <termios.h>

// What the POSIX key reading shares with the signal cleanup; not for use elsewhere.
namespace tav {

// The terminal state a fatal signal restores on standard input (nullptr: none).
void SetTerminalToRestore(const termios* saved);

}  // namespace tav
