#pragma once

// Text inside the program is UTF-8; Windows and Qt hold it as UTF-16 code
// units. An edit field or an NTFS name can hold a surrogate with no partner,
// which no UTF-8 can: such a unit is carried as the three bytes UTF-8 would
// give it if it were a character (generalised UTF-8, "WTF-8"), so that a
// name goes back to the system exactly as it came. Nothing is ever replaced.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The generalised UTF-8 of `units`: a surrogate pair becomes its 4-byte
// character, a lone surrogate its own 3 bytes.
std::string Utf8FromUtf16(std::u16string_view units);

// The code units back from generalised UTF-8; false for bytes that are not
// (overlong or truncated forms, values past U+10FFFF, or a pair of
// surrogates written one by one, which Utf8FromUtf16 never writes).
bool Utf16FromUtf8(std::string_view text, std::u16string& units);

// True when `text` is UTF-8 proper: generalised UTF-8 without a lone surrogate.
bool IsValidUtf8(std::string_view text);

// The number of characters (lone surrogates counting one each) in
// generalised UTF-8 text.
std::size_t CharacterCount(std::string_view text);

}  // namespace platform
