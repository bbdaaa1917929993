#pragma once

#include <string>
#include <string_view>

namespace tav {

// `text` made safe to print on one line of a terminal: control characters
// (C0, DEL and C1) and bytes that are not UTF-8 become \xNN escapes, so a
// file name can neither break a message into lines nor send the terminal
// escape sequences. Printable UTF-8 stays as it is.
std::string Printable(std::string_view text);

}  // namespace tav
