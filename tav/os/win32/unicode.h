#pragma once

#include <string>
#include <string_view>

// Text at the boundary with Windows, which speaks UTF-16 where TAV speaks
// UTF-8; not for use elsewhere. Both conversions are exact or fail: no
// character is ever replaced.
namespace tav {

// UTF-8 from UTF-16; false for a string with an unpaired surrogate.
bool Utf8FromWide(std::wstring_view wide, std::string& utf8);

// UTF-16 from UTF-8; false for bytes that are not UTF-8.
bool WideFromUtf8(std::string_view utf8, std::wstring& wide);

}  // namespace tav
