#pragma once

#include <cstddef>
#include <string_view>

namespace tav {

// The length of the well-formed UTF-8 sequence at the start of `text`, with
// its code point in `codePoint`; 0 when there is none (an empty text, a
// stray byte, an overlong form, a surrogate, a value past U+10FFFF).
std::size_t Utf8Sequence(std::string_view text, char32_t& codePoint);

}  // namespace tav
