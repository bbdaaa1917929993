#include <io.h>

#include <cstdio>

#include "tav/os/terminal.h"

namespace tav {

bool ErrorsGoToATerminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace tav
