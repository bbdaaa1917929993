#include <unistd.h>

#include "tav/os/terminal.h"

namespace tav {

bool ErrorsGoToATerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace tav
