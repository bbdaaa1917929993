#pragma once

#include <memory>
#include <string>

#include "tav/secure_buffer.h"

namespace tav {

// Moves a key given on the command line into locked memory and overwrites
// the argument, so that it no longer shows in the process list.
std::unique_ptr<SecureBuffer> TakeKeyArgument(char* argument);

// Reads one line as the key: from the terminal without echo after `prompt`,
// or from standard input when that is not a terminal.
std::unique_ptr<SecureBuffer> ReadKeyLine(const char* prompt);

}  // namespace tav
