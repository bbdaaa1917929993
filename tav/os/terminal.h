#pragma once

namespace tav {

// True when standard error is a terminal, so that a person watches it.
bool ErrorsGoToATerminal();

}  // namespace tav
