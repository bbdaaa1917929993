#pragma once

#include <string_view>

namespace tav {

// True when standard error is a terminal, so that a person watches it.
bool ErrorsGoToATerminal();

// Writes `text`, UTF-8, to standard error as it is; a Windows console is
// given its characters, whatever its code page.
void WriteError(std::string_view text);

}  // namespace tav
