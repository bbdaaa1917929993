#pragma once

// The program's text and paths as the wide functions of Windows take them,
// and back; for the Windows side of the platform only. Conversions are
// exact: a lone surrogate travels as generalised UTF-8 (platform/text.h).

#include <string>
#include <string_view>

namespace platform {

// `text` in UTF-16; false for bytes that are not generalised UTF-8, which
// nothing Windows gives the program holds.
bool WideFromText(std::string_view text, std::wstring& wide);

// The program's own text for the screen: always generalised UTF-8 on
// Windows (it came from the system, or from the program's ASCII), so the
// conversion cannot fail; should it, nothing is shown rather than
// something else.
std::wstring Wide(std::string_view text);

std::string TextFromWide(std::wstring_view wide);

// `path` as a full "\\?\C:\..." (or "\\?\UNC\server\...") path, which the
// wide file functions take past 260 characters; false when it does not convert.
bool SystemPath(const std::string& path, std::wstring& full);

}  // namespace platform
